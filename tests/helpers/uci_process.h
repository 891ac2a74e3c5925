// Runs the real quillon_uci over pipes for protocol tests: a copy of the
// program is put in a fresh temporary directory (copied, never linked, as
// the program finds its module beside its own real path), optionally with a
// module beside it; the test writes lines to its standard input and reads
// its output lines with time limits.
#pragma once
#include <string>
#include <vector>

namespace testing_uci {

// Which module goes beside the program.
enum class ModuleChoice { StubModule, RealModule, NoModule, EmptyFile };

struct UciProcess {
  int pid = -1;
  int input = -1;   // the program's standard input
  int output = -1;  // the program's standard output
  std::string pending;
  std::string directory;
};

// A fresh directory holding quillon_uci and the chosen module; the program
// runs there (so relative file names such as the book's resolve there).
// `prefix` runs the program through another one (e.g. taskset, as
// helpers/cpu_pinning.h gives it).
bool startUci(UciProcess* process, ModuleChoice module, const std::vector<std::string>& prefix = {});

// Runs any program (words[0], found on the PATH) over the pipes, in the
// process's directory when one is set.
bool startProgram(UciProcess* process, const std::vector<std::string>& words);

// Starts the program with the real module and the book off, and waits for
// "readyok"; false when it does not come, with `reason` telling why (what
// the program printed, and the loader's message for the module).
bool startRealEngine(UciProcess* process, int timeoutMs, std::string* reason);

void sendLine(UciProcess* process, const std::string& line);
// Writes raw bytes (no newline added).
void sendRaw(UciProcess* process, const std::string& bytes);

// The next output line, or false when none came within the time.
bool readLine(UciProcess* process, std::string* line, int timeoutMs);

// Lines up to and including the first that starts with `prefix`; the last
// element is that line, or the vector ends without it on time-out.
std::vector<std::string> readUntil(UciProcess* process, const std::string& prefix, int timeoutMs);

// Every line that arrives within `ms`, however many come.
std::vector<std::string> readFor(UciProcess* process, int ms);

// Every line that arrives before `quietMs` pass without output.
std::vector<std::string> readAvailable(UciProcess* process, int quietMs);

// Closes the reading end of the program's standard output.
void closeOutput(UciProcess* process);

// Closes standard input and waits for the exit; the exit status (0..255),
// or -1 when the program had to be killed after the time.
int finishUci(UciProcess* process, int timeoutMs);

// Writes a file into the process's directory.
void writeFileInDirectory(const UciProcess* process, const std::string& name, const std::string& bytes);

// Milliseconds of a steady clock.
long long nowMs();

// Sends `line` and reads until a line starting with `prefix` (at most
// `timeoutMs`); `elapsed` gets the milliseconds from the send to the reply.
std::vector<std::string> sendAndRead(UciProcess* process, const std::string& line, const std::string& prefix,
                                     int timeoutMs, long long* elapsed);

}  // namespace testing_uci
