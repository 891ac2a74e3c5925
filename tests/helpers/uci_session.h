// Protocol sessions of quillon_uci, on top of the pipes of uci_process: a
// program with the stand-in module brought to "readyok" with the book off,
// the output a batch of command lines produces up to the "readyok" that
// follows them, and the parts of UCI output lines that the tests read.
#pragma once
#include <string>
#include <vector>

#include "helpers/uci_process.h"

namespace testing_uci {

// How long a session waits for an answer of the stand-in module.
constexpr int SessionReplyMs = 10000;

// Starts quillon_uci with the stand-in module (through `prefix`, as
// startUci does), switches the book off and waits for "readyok"; false
// when the program does not start or does not answer.
bool startStubSession(UciProcess* process, const std::vector<std::string>& prefix = {});

// Whether the stand-in module's own trace lines ("stub ...") are kept.
enum class StubLines { Keep, Drop };

// Sends the lines, then "isready", and returns what the program printed
// before its "readyok"; a missing "readyok" fails the running test.
std::vector<std::string> answerBeforeReady(UciProcess* process, const std::vector<std::string>& lines,
                                           StubLines stub = StubLines::Keep);

// How many lines start with `prefix`.
int countPrefix(const std::vector<std::string>& lines, const std::string& prefix);

// The last line, or "" when there is none.
std::string lastLine(const std::vector<std::string>& lines);

// The move of the "bestmove" line that ends `lines`, or "" without one.
std::string bestMoveText(const std::vector<std::string>& lines);

// The number after the word `key` in an "info" line, or `missing`.
long long infoNumber(const std::string& line, const std::string& key, long long missing);

}  // namespace testing_uci
