// Perft: leaf counts of well-known positions (tests/data/perft.epd) through
// set-up, picker, make, key update and unmake; a checked walk in which the
// board and the parent's state come back unchanged after every unmake and
// every incremental key equals one built anew; divides against the plain
// reference's legal moves.
//
// Each position runs at the deepest depth whose count lies within the leaf
// budget (else at the shallowest depth listed); QUILLON_PERFT_MAX_LEAVES
// sets another budget for deeper runs by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/board/setup.h"
#include "engine/control/control.h"
#include "helpers/board_builder.h"
#include "helpers/perft.h"
#include "helpers/reference_legal.h"

using namespace engine;

namespace {

// About 80 million leaves over the 115 positions: a few seconds in the
// release build.
constexpr uint64_t DefaultLeafBudget = 5'000'000;

struct PerftCase {
  std::string name;
  std::string fen;
  std::vector<std::pair<int32_t, uint64_t>> counts;  // (depth, leaves), depth ascending
};

std::vector<PerftCase> loadCases() {
  std::vector<PerftCase> cases;
  std::ifstream in(std::string(QUILLON_TEST_DATA) + "/perft.epd");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    PerftCase c;
    std::istringstream fields(line);
    std::string field;
    std::getline(fields, c.fen, ';');
    while (std::getline(fields, field, ';')) {
      std::istringstream words(field);
      std::string opcode;
      words >> opcode;
      if (opcode == "id") {
        words >> c.name;
      } else if (opcode.size() > 1 && opcode[0] == 'D') {
        uint64_t leaves = 0;
        words >> leaves;
        c.counts.push_back({std::stoi(opcode.substr(1)), leaves});
      }
    }
    cases.push_back(c);
  }
  return cases;
}

void PrintTo(const PerftCase& c, std::ostream* out) { *out << c.name << " " << c.fen; }

uint64_t leafBudget() {
  const char* text = std::getenv("QUILLON_PERFT_MAX_LEAVES");
  return text != nullptr ? std::strtoull(text, nullptr, 10) : DefaultLeafBudget;
}

// The deepest count within the budget, else the shallowest listed.
std::pair<int32_t, uint64_t> chosenCount(const PerftCase& c) {
  std::pair<int32_t, uint64_t> chosen = c.counts.front();
  for (const auto& entry : c.counts)
    if (entry.second <= leafBudget()) chosen = entry;
  return chosen;
}

class PerftCount : public ::testing::TestWithParam<PerftCase> {};

TEST_P(PerftCount, MatchesTheKnownLeafCount) {
  const PerftCase& c = GetParam();
  ASSERT_TRUE(perft::setUp(c.fen.c_str())) << c.fen;
  auto work = std::make_unique<perft::PerftPlies>();
  const auto [depth, leaves] = chosenCount(c);
  EXPECT_EQ(perft::countLeaves(&rootPosition, depth, work.get()), leaves) << c.fen << " depth " << depth;
}

INSTANTIATE_TEST_SUITE_P(KnownPositions, PerftCount, ::testing::ValuesIn(loadCases()),
                         [](const ::testing::TestParamInfo<PerftCase>& testCase) { return testCase.param.name; });

// The six standard positions (the first seven lines, the mirror included).
std::vector<PerftCase> standardCases() {
  std::vector<PerftCase> cases = loadCases();
  cases.resize(std::min<size_t>(cases.size(), 7));
  return cases;
}

class PerftChecked : public ::testing::TestWithParam<PerftCase> {};

TEST_P(PerftChecked, UnmakeRestoresEverythingAndKeysMatch) {
  const PerftCase& c = GetParam();
  ASSERT_TRUE(perft::setUp(c.fen.c_str()));
  auto work = std::make_unique<perft::PerftPlies>();
  constexpr int32_t CheckedDepth = 3;
  const perft::CheckReport report = perft::checkedWalk(&rootPosition, CheckedDepth, work.get());
  EXPECT_EQ(report.leaves, c.counts.at(CheckedDepth - 1).second);
  EXPECT_EQ(report.boardMismatches, 0u) << "first at " << report.firstFailure;
  EXPECT_EQ(report.positionMismatches, 0u) << "first at " << report.firstFailure;
  EXPECT_EQ(report.keyMismatches, 0u) << "first at " << report.firstFailure;
}

INSTANTIATE_TEST_SUITE_P(StandardPositions, PerftChecked, ::testing::ValuesIn(standardCases()),
                         [](const ::testing::TestParamInfo<PerftCase>& testCase) { return testCase.param.name; });

// The divide's root moves are exactly the reference's legal moves, and its
// counts add up to the whole walk.
TEST(PerftDivide, RootMovesAreTheReferenceLegalMoves) {
  for (const PerftCase& c : loadCases()) {
    ASSERT_TRUE(perft::setUp(c.fen.c_str())) << c.fen;
    auto work = std::make_unique<perft::PerftPlies>();
    const std::vector<perft::DivideEntry> entries = perft::divide(&rootPosition, 2, work.get());
    std::vector<Move> engineMoves;
    uint64_t sum = 0;
    for (const perft::DivideEntry& entry : entries) {
      engineMoves.push_back(entry.move);
      sum += entry.leaves;
    }
    std::vector<Move> referenceMoves = reference::legalMoves(reference::gridFromFullFen(c.fen));
    std::sort(engineMoves.begin(), engineMoves.end());
    std::sort(referenceMoves.begin(), referenceMoves.end());
    EXPECT_EQ(engineMoves, referenceMoves) << c.fen;
    EXPECT_EQ(sum, perft::countLeaves(&rootPosition, 2, work.get())) << c.fen;
  }
}

// The perft position 4 and its colour mirror give the same divide: each
// root move's count equals that of its mirrored move.
TEST(PerftDivide, MirroredPositionGivesMirroredDivide) {
  auto work = std::make_unique<perft::PerftPlies>();
  const std::vector<PerftCase> cases = standardCases();
  ASSERT_TRUE(perft::setUp(cases.at(3).fen.c_str()));
  std::vector<perft::DivideEntry> original = perft::divide(&rootPosition, 3, work.get());
  ASSERT_TRUE(perft::setUp(cases.at(4).fen.c_str()));
  std::vector<perft::DivideEntry> mirrored = perft::divide(&rootPosition, 3, work.get());
  ASSERT_EQ(original.size(), mirrored.size());
  // Mirror a move: ranks flipped, an under-promotion's offset turned round.
  auto flip = [](Move move) {
    const int32_t from = moveFrom(move) ^ 0x70;
    const int32_t toByte = moveToByte(move);
    const int32_t to = decodeToSquare(toByte) ^ 0x70;
    const int32_t piece = promotionPiece(toByte);
    const bool under = (toByte & 0x80) != 0;
    return makeMove16(from, under ? underPromotionByte(to, piece, rankOf(to) == 7 ? White : Black) : to);
  };
  for (const perft::DivideEntry& entry : original) {
    const Move wanted = flip(entry.move);
    auto found = std::find_if(mirrored.begin(), mirrored.end(),
                              [&](const perft::DivideEntry& other) { return other.move == wanted; });
    ASSERT_NE(found, mirrored.end()) << testing_board::moveText(entry.move);
    EXPECT_EQ(found->leaves, entry.leaves) << testing_board::moveText(entry.move);
  }
}

}  // namespace
