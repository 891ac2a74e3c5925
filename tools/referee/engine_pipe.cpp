#include "engine_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace referee {

long long nowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool startEngine(EnginePipe* engine) {
  signal(SIGPIPE, SIG_IGN);
  int toChild[2];
  int fromChild[2];
  // Close-on-exec, so the second engine does not hold the first one's pipes.
  if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    std::vector<char*> argv;
    for (std::string& word : engine->command) argv.push_back(word.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  engine->pid = pid;
  engine->input = toChild[1];
  engine->output = fromChild[0];
  engine->pending.clear();
  return true;
}

void sendLine(EnginePipe* engine, const std::string& line) {
  std::string bytes = line + "\n";
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(engine->input, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += size_t(n);
  }
}

bool readLine(EnginePipe* engine, std::string* line, long long deadlineUs) {
  for (;;) {
    size_t end = engine->pending.find('\n');
    if (end != std::string::npos) {
      *line = engine->pending.substr(0, end);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      engine->pending.erase(0, end + 1);
      return true;
    }
    long long left = deadlineUs - nowMicroseconds();
    if (left <= 0) return false;
    // poll counts whole milliseconds: round up, so the wait never ends early.
    pollfd wait = {engine->output, POLLIN, 0};
    if (poll(&wait, 1, int((left + 999) / 1000)) <= 0) continue;
    char buffer[4096];
    ssize_t n = read(engine->output, buffer, sizeof(buffer));
    if (n <= 0) return false;
    engine->pending.append(buffer, size_t(n));
  }
}

void stopEngine(EnginePipe* engine) {
  if (engine->pid < 0) return;
  sendLine(engine, "quit");
  close(engine->input);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(engine->pid, nullptr, WNOHANG) == engine->pid) break;
    if (i == 99) {
      kill(engine->pid, SIGKILL);
      waitpid(engine->pid, nullptr, 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  close(engine->output);
  engine->pid = -1;
}

}  // namespace referee
