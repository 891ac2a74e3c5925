#include "helpers/uci_session.h"

#include <gtest/gtest.h>

#include <sstream>

namespace testing_uci {

bool startStubSession(UciProcess* process, const std::vector<std::string>& prefix) {
  if (!startUci(process, ModuleChoice::StubModule, prefix)) return false;
  sendLine(process, "setoption name OwnBook value false");
  sendLine(process, "isready");
  return lastLine(readUntil(process, "readyok", SessionReplyMs)) == "readyok";
}

std::vector<std::string> answerBeforeReady(UciProcess* process, const std::vector<std::string>& lines,
                                           StubLines stub) {
  for (const std::string& line : lines) sendLine(process, line);
  sendLine(process, "isready");
  std::vector<std::string> output = readUntil(process, "readyok", SessionReplyMs);
  if (lastLine(output) != "readyok") ADD_FAILURE() << "no readyok after the lines sent";
  std::vector<std::string> answer;
  for (const std::string& line : output) {
    if (line == "readyok") continue;
    if (stub == StubLines::Drop && line.rfind("stub ", 0) == 0) continue;
    answer.push_back(line);
  }
  return answer;
}

int countPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
  return n;
}

std::string lastLine(const std::vector<std::string>& lines) { return lines.empty() ? "" : lines.back(); }

std::string bestMoveText(const std::vector<std::string>& lines) {
  const std::string last = lastLine(lines);
  if (last.rfind("bestmove ", 0) != 0) return "";
  const std::string rest = last.substr(9);
  return rest.substr(0, rest.find(' '));
}

long long infoNumber(const std::string& line, const std::string& key, long long missing) {
  std::istringstream words(line);
  std::string word;
  while (words >> word)
    if (word == key) {
      long long n;
      if (words >> n) return n;
    }
  return missing;
}

}  // namespace testing_uci
