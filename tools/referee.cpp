// A match referee for two UCI engines: plays a set of fixed openings, each
// with both colours, on a clock of base time plus increment kept to the
// microsecond, and prints each game and the score with the time figures.
//
// The game is kept on the front end's mirror (the engine core linked in):
// it matches move texts against the legal moves and judges mate,
// stalemate, repetition, the fifty-move rule and a lack of mating material.
// A reply later than the mover's clock loses on time; a move the position
// does not have loses too. Games are drawn at a ply limit. A fixed lag can
// be charged on every reply on top of the time it took, as a GUI with an
// adapter between it and the engine charges (xboard with polyglot: 75-110
// ms a move).
//
// Usage: referee GAMES BASE_MS INC_MS "ENGINE_A ..." "ENGINE_B ..." [A:NAME=VALUE | B:NAME=VALUE | lag=MS]...
// The engine commands are split on blanks; the options are sent as setoption.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "engine/board/setup.h"
#include "engine/hash/hash.h"
#include "frontend/game_position.h"
#include "frontend/move_text.h"
#include "helpers/uci_process.h"

using testing_uci::UciProcess;

namespace {

constexpr int PlyLimit = 400;
constexpr uint32_t TableBytes = 1u << 20;
constexpr int ReadyTimeoutMs = 10000;
// How long past its clock a silent engine is waited for before it is
// restarted; its move is lost on time whenever it comes.
constexpr long long LateGraceUs = 2000000;

// Opening lines, each played once with either engine as White.
const char* const openings[] = {
    "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6",  "e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6", "d2d4 d7d5 c2c4 e7e6 b1c3 g8f6",
    "d2d4 g8f6 c2c4 g7g6 b1c3 f8g7",  "e2e4 e7e6 d2d4 d7d5",                     "e2e4 c7c6 d2d4 d7d5",
    "c2c4 e7e5 b1c3 g8f6",            "g1f3 d7d5 g2g3 g8f6 f1g2",                "e2e4 e7e5 g1f3 g8f6",
    "d2d4 g8f6 c2c4 e7e6 g1f3 b7b6",  "e2e4 d7d5 e4d5 d8d5 b1c3",                "e2e4 g7g6 d2d4 f8g7",
    "d2d4 d7d5 c2c4 c7c6",            "e2e4 e7e5 f1c4 g8f6",                     "c2c4 c7c5 g1f3 b8c6",
    "e2e4 c7c5 b1c3 b8c6 g2g3",
};
constexpr int OpeningCount = int(sizeof(openings) / sizeof(openings[0]));

struct Side {
  UciProcess pipe;
  std::vector<std::string> command;  // program and arguments
  std::vector<std::string> options;
  std::string name;
  int timeLosses = 0;
  int illegalMoves = 0;
  std::vector<double> usedMs;     // per move
  std::vector<double> usedShare;  // per move: used / clock before the move
  long long leastLeftUs = -1;     // least clock left after a move
};

std::vector<std::string> splitWords(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

long long nowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Reads lines until one starts with `prefix`; false on time-out. The line
// goes to `found`, the time it was read to `atUs`.
bool readUntil(UciProcess* pipe, const char* prefix, long long deadlineUs, std::string* found, long long* atUs) {
  std::string line;
  for (long long left; (left = deadlineUs - nowMicroseconds()) > 0;) {
    if (!testing_uci::readLine(pipe, &line, int((left + 999) / 1000))) return false;
    if (line.rfind(prefix, 0) == 0) {
      *atUs = nowMicroseconds();
      *found = line;
      return true;
    }
  }
  return false;
}

void stopSide(Side* side) {
  testing_uci::sendLine(&side->pipe, "quit");
  testing_uci::finishUci(&side->pipe, 1000);
}

bool startSide(Side* side) {
  if (!testing_uci::startProgram(&side->pipe, side->command)) return false;
  testing_uci::sendLine(&side->pipe, "uci");
  std::string line;
  long long at;
  if (!readUntil(&side->pipe, "uciok", nowMicroseconds() + ReadyTimeoutMs * 1000LL, &line, &at)) return false;
  for (const std::string& option : side->options) {
    size_t equals = option.find('=');
    testing_uci::sendLine(&side->pipe,
                          "setoption name " + option.substr(0, equals) + " value " + option.substr(equals + 1));
  }
  return true;
}

bool readySide(Side* side) {
  testing_uci::sendLine(&side->pipe, "ucinewgame");
  testing_uci::sendLine(&side->pipe, "isready");
  std::string line;
  long long at;
  return readUntil(&side->pipe, "readyok", nowMicroseconds() + ReadyTimeoutMs * 1000LL, &line, &at);
}

// A coordinate move text with a lower-case promotion letter, as UCI sends it.
bool isCoordinateText(std::string* text) {
  if (text->size() != 4 && text->size() != 5) return false;
  for (int i = 0; i < 4; ++i)
    if ((*text)[i] < (i % 2 == 0 ? 'a' : '1') || (*text)[i] > (i % 2 == 0 ? 'h' : '8')) return false;
  if (text->size() == 5) {
    (*text)[4] = char(std::tolower((*text)[4]));
    if (std::strchr("qrbn", (*text)[4]) == nullptr) return false;
  }
  return true;
}

// Plays a move text on the mirror; the game-result code after it, or -1
// when the text is not a legal move.
int playText(const std::string& text) {
  engine::Move move = frontend::findMoveByText(&frontend::gamePosition, text.c_str(), nullptr);
  if (move == engine::noMove || !frontend::isLegalMirrorMove(move)) return -1;
  return frontend::playMirrorMove(move, true);
}

const char* reasonText(int code) {
  switch (code) {
    case frontend::ResultCheckmate: return "checkmate";
    case frontend::ResultStalemate: return "stalemate";
    case frontend::ResultRepetition: return "repetition";
    case frontend::ResultNoMatingMaterial: return "no mating material";
    case frontend::ResultFiftyMoves: return "fifty moves";
    default: return "move list full";
  }
}

// One game; the result from White's view: 1 win, 0 draw, -1 loss.
int playGame(Side* white, Side* black, const char* opening, long long baseUs, long long incUs, long long lagUs,
             std::string* reason) {
  engine::setUpGame(&frontend::gamePosition, frontend::startPositionText);
  std::string moves;
  for (const std::string& text : splitWords(opening)) {
    playText(text);
    moves += " " + text;
  }
  long long clock[2] = {baseUs, baseUs};  // White, Black
  Side* sides[2] = {white, black};
  int mover = frontend::mirrorSideToMove() > 0 ? 0 : 1;
  for (int ply = int(splitWords(opening).size()); ply < PlyLimit; ++ply) {
    Side* side = sides[mover];
    testing_uci::sendLine(&side->pipe, "position startpos moves" + moves);
    char go[128];
    std::snprintf(go, sizeof(go), "go wtime %lld btime %lld winc %lld binc %lld", clock[0] / 1000, clock[1] / 1000,
                  incUs / 1000, incUs / 1000);
    const long long sentUs = nowMicroseconds();
    testing_uci::sendLine(&side->pipe, go);
    std::string line;
    long long repliedUs;
    if (!readUntil(&side->pipe, "bestmove", sentUs + clock[mover] + LateGraceUs, &line, &repliedUs)) {
      // Silent long past its clock: a fresh process for the next game.
      stopSide(side);
      if (!startSide(side)) std::exit(2);
      repliedUs = nowMicroseconds();
    }
    // The lag is charged as if the reply had taken that much longer.
    const long long usedUs = repliedUs - sentUs + lagUs;
    if (usedUs > clock[mover]) {
      side->timeLosses += 1;
      *reason = "time";
      return mover == 0 ? -1 : 1;
    }
    side->usedMs.push_back(usedUs / 1000.0);
    side->usedShare.push_back(double(usedUs) / double(clock[mover]));
    clock[mover] += incUs - usedUs;
    if (side->leastLeftUs < 0 || clock[mover] - incUs < side->leastLeftUs) side->leastLeftUs = clock[mover] - incUs;
    std::vector<std::string> words = splitWords(line);
    std::string text = words.size() > 1 ? words[1] : "";
    int code = isCoordinateText(&text) ? playText(text) : -1;
    if (code < 0) {
      side->illegalMoves += 1;
      *reason = "illegal move " + text;
      return mover == 0 ? -1 : 1;
    }
    moves += " " + text;
    if (code != frontend::ResultNone) {
      *reason = reasonText(code);
      return code == frontend::ResultCheckmate ? (mover == 0 ? 1 : -1) : 0;
    }
    mover = 1 - mover;
  }
  *reason = "ply limit";
  return 0;
}

double percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

void printTimes(const Side& side) {
  std::printf("%s: %d time losses, %d illegal moves; %zu moves, time charged per move median %.1f ms, 90th %.1f ms, "
              "max %.1f ms; share of the clock left median %.3f, 90th %.3f, max %.3f; least clock left %.1f ms\n",
              side.name.c_str(), side.timeLosses, side.illegalMoves, side.usedMs.size(), percentile(side.usedMs, 0.5),
              percentile(side.usedMs, 0.9), percentile(side.usedMs, 1.0), percentile(side.usedShare, 0.5),
              percentile(side.usedShare, 0.9), percentile(side.usedShare, 1.0), side.leastLeftUs / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: referee GAMES BASE_MS INC_MS \"ENGINE_A ...\" \"ENGINE_B ...\" [A:NAME=VALUE | B:NAME=VALUE | "
                 "lag=MS]...\n");
    return 1;
  }
  const int games = std::atoi(argv[1]);
  const long long baseUs = std::atoll(argv[2]) * 1000;
  const long long incUs = std::atoll(argv[3]) * 1000;
  Side a, b;
  a.command = splitWords(argv[4]);
  b.command = splitWords(argv[5]);
  a.name = "A (" + std::string(argv[4]) + ")";
  b.name = "B (" + std::string(argv[5]) + ")";
  long long lagUs = 0;
  for (int i = 6; i < argc; ++i) {
    if (std::strncmp(argv[i], "A:", 2) == 0) a.options.push_back(argv[i] + 2);
    if (std::strncmp(argv[i], "B:", 2) == 0) b.options.push_back(argv[i] + 2);
    if (std::strncmp(argv[i], "lag=", 4) == 0) lagUs = std::atoll(argv[i] + 4) * 1000;
  }
  engine::initHashAndKeys(TableBytes);
  frontend::initMirror();
  if (!startSide(&a) || !startSide(&b)) {
    std::fprintf(stderr, "an engine did not start\n");
    return 2;
  }
  int wins = 0, draws = 0, losses = 0;
  for (int game = 0; game < games; ++game) {
    // Each opening twice in a row, A as White first.
    const char* opening = openings[(game / 2) % OpeningCount];
    const bool aWhite = game % 2 == 0;
    if (!readySide(&a) || !readySide(&b)) {
      std::fprintf(stderr, "an engine is not ready\n");
      return 2;
    }
    std::string reason;
    int result = aWhite ? playGame(&a, &b, opening, baseUs, incUs, lagUs, &reason)
                        : playGame(&b, &a, opening, baseUs, incUs, lagUs, &reason);
    const int forA = aWhite ? result : -result;
    wins += forA > 0;
    draws += forA == 0;
    losses += forA < 0;
    std::printf("game %d: %s, A %s: %s (%s), plies %d\n", game + 1, opening, aWhite ? "White" : "Black",
                forA > 0 ? "A wins" : forA < 0 ? "B wins" : "draw", reason.c_str(), engine::gameSetup.played);
    std::fflush(stdout);
  }
  std::printf("A-B: %d-%d-%d (wins-draws-losses of A), score %.1f%%\n", wins, draws, losses,
              100.0 * (wins + 0.5 * draws) / std::max(games, 1));
  printTimes(a);
  printTimes(b);
  stopSide(&a);
  stopSide(&b);
  return 0;
}
