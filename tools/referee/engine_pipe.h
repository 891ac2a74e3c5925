// A UCI engine run as a child process over two pipes: the referee writes
// command lines to its standard input and reads its output line by line,
// with a time limit on each read.
#pragma once
#include <string>
#include <vector>

namespace referee {

struct EnginePipe {
  std::vector<std::string> command;  // program and arguments
  int pid = -1;
  int input = -1;   // the engine's standard input
  int output = -1;  // the engine's standard output
  std::string pending;
};

// Starts the engine's program; false when it cannot be run.
bool startEngine(EnginePipe* engine);

void sendLine(EnginePipe* engine, const std::string& line);

// The next output line, or false when none came before `deadlineUs` (a
// reading of nowMicroseconds) or the engine closed its output.
bool readLine(EnginePipe* engine, std::string* line, long long deadlineUs);

// Ends the engine: "quit", then a kill when it has not gone within a second.
void stopEngine(EnginePipe* engine);

// A steady clock in microseconds.
long long nowMicroseconds();

}  // namespace referee
