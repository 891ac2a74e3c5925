#include "helpers/uci_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "helpers/module_file.h"
#include "platform/module.h"

namespace testing_uci {

namespace fs = std::filesystem;

long long nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::vector<std::string> sendAndRead(UciProcess* process, const std::string& line, const std::string& prefix,
                                     int timeoutMs, long long* elapsed) {
  const long long start = nowMs();
  sendLine(process, line);
  std::vector<std::string> lines = readUntil(process, prefix, timeoutMs);
  *elapsed = nowMs() - start;
  return lines;
}

bool startUci(UciProcess* process, ModuleChoice module, const std::vector<std::string>& prefix) {
  char pattern[] = "/tmp/quillon_uci_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  process->directory = pattern;
  const fs::path binary = fs::path(QUILLON_BINARY_DIR);
  fs::copy_file(binary / "quillon_uci", fs::path(process->directory) / "quillon_uci");
  const fs::path moduleName = fs::path(testing_host::modulePath()).filename();
  // A module the build did not leave is not copied: the program then says
  // so, and the test fails on that rather than on an exception here.
  std::error_code missing;
  if (module == ModuleChoice::StubModule)
    fs::copy_file(binary / "stub_module" / moduleName, fs::path(process->directory) / moduleName, missing);
  if (module == ModuleChoice::RealModule)
    fs::copy_file(binary / moduleName, fs::path(process->directory) / moduleName, missing);
  if (module == ModuleChoice::EmptyFile) std::ofstream(fs::path(process->directory) / moduleName).put('\0');

  std::vector<std::string> words = prefix;
  words.push_back(process->directory + "/quillon_uci");
  return startProgram(process, words);
}

bool startProgram(UciProcess* process, const std::vector<std::string>& words) {
  signal(SIGPIPE, SIG_IGN);
  int toChild[2];
  int fromChild[2];
  // Close-on-exec, so a second engine started later does not inherit this
  // one's pipe ends: its input would never reach end of file otherwise.
  if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    close(toChild[0]);
    close(toChild[1]);
    close(fromChild[0]);
    close(fromChild[1]);
    if (!process->directory.empty() && chdir(process->directory.c_str()) != 0) _exit(127);
    std::vector<std::string> copy = words;
    std::vector<char*> argv;
    for (std::string& w : copy) argv.push_back(w.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  process->pid = pid;
  process->input = toChild[1];
  process->output = fromChild[0];
  process->pending.clear();
  return true;
}

void sendRaw(UciProcess* process, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(process->input, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void sendLine(UciProcess* process, const std::string& line) { sendRaw(process, line + "\n"); }

bool readLine(UciProcess* process, std::string* line, int timeoutMs) {
  long long deadline = nowMs() + timeoutMs;
  for (;;) {
    size_t newline = process->pending.find('\n');
    if (newline != std::string::npos) {
      *line = process->pending.substr(0, newline);
      process->pending.erase(0, newline + 1);
      return true;
    }
    long long left = deadline - nowMs();
    if (left <= 0) return false;
    pollfd poller{process->output, POLLIN, 0};
    if (poll(&poller, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[4096];
    ssize_t n = read(process->output, buffer, sizeof(buffer));
    if (n <= 0) return false;
    process->pending.append(buffer, static_cast<size_t>(n));
  }
}

std::vector<std::string> readUntil(UciProcess* process, const std::string& prefix, int timeoutMs) {
  std::vector<std::string> lines;
  long long deadline = nowMs() + timeoutMs;
  std::string line;
  while (readLine(process, &line, static_cast<int>(std::max<long long>(0, deadline - nowMs())))) {
    lines.push_back(line);
    if (line.compare(0, prefix.size(), prefix) == 0) break;
  }
  return lines;
}

std::vector<std::string> readFor(UciProcess* process, int ms) {
  std::vector<std::string> lines;
  long long deadline = nowMs() + ms;
  std::string line;
  while (readLine(process, &line, static_cast<int>(std::max<long long>(0, deadline - nowMs())))) lines.push_back(line);
  return lines;
}

std::vector<std::string> readAvailable(UciProcess* process, int quietMs) {
  std::vector<std::string> lines;
  std::string line;
  while (readLine(process, &line, quietMs)) lines.push_back(line);
  return lines;
}

void closeOutput(UciProcess* process) {
  if (process->output >= 0) close(process->output);
  process->output = -1;
}

int finishUci(UciProcess* process, int timeoutMs) {
  if (process->input >= 0) close(process->input);
  process->input = -1;
  long long deadline = nowMs() + timeoutMs;
  int status = 0;
  int result = -1;
  while (nowMs() < deadline) {
    pid_t done = waitpid(process->pid, &status, WNOHANG);
    if (done == process->pid) {
      result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    usleep(5000);
  }
  if (result == -1) {
    kill(process->pid, SIGKILL);
    waitpid(process->pid, &status, 0);
  }
  if (process->output >= 0) close(process->output);
  process->output = -1;
  std::error_code ignored;
  if (!process->directory.empty()) fs::remove_all(process->directory, ignored);
  return result;
}

void writeFileInDirectory(const UciProcess* process, const std::string& name, const std::string& bytes) {
  std::ofstream out(fs::path(process->directory) / name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool startRealEngine(UciProcess* process, int timeoutMs, std::string* reason) {
  if (!startUci(process, ModuleChoice::RealModule)) {
    *reason = "the program could not be started";
    return false;
  }
  sendLine(process, "setoption name OwnBook value false");
  sendLine(process, "isready");
  std::string said;
  std::string line;
  while (readLine(process, &line, timeoutMs)) {
    if (line == "readyok") return true;
    said += line + "\n";
  }
  finishUci(process, timeoutMs);
  // The loader's own words for the module the program was given.
  const char* error = nullptr;
  const std::string path = testing_host::modulePath();
  void* module = testing_host::loadModuleFromPath(path.c_str(), &error);
  *reason = "no readyok from the program with the real module; it printed: " + (said.empty() ? "nothing" : said) +
            "loading " + path + ": " +
            (module == nullptr ? (error != nullptr ? error : "refused")
                               : (platform::findModuleSymbol(module, "EngineInit") == nullptr ? "no EngineInit"
                                                                                             : "loads"));
  return false;
}

}  // namespace testing_uci
