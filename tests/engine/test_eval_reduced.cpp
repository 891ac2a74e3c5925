// The evaluation with reduced material: colour-mirror symmetry over random
// endings, and a board evaluated after another scoring as a fresh one.
#include <gtest/gtest.h>

#include <random>

#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"
#include "helpers/eval_positions.h"

using namespace engine;
using testing_eval::buildEvalPosition;
using testing_eval::EvalPosition;
using testing_eval::runEvaluatorStages;

namespace {

// A random ending: both kings, up to `pieces` knights, bishops and rooks
// (and now and then a queen), and up to twelve pawns on ranks 2-7.
std::string randomEnding(std::mt19937& rng, int32_t pieces) {
  char cell[8][8];
  for (auto& row : cell)
    for (char& c : row) c = '.';
  auto place = [&](char c, int32_t minRank, int32_t maxRank) {
    for (int32_t tries = 0; tries < 200; ++tries) {
      int32_t f = rng() % 8, r = rng() % 8;
      if (r < minRank || r > maxRank || cell[r][f] != '.') continue;
      cell[r][f] = c;
      return;
    }
  };
  place('K', 0, 7);
  place('k', 0, 7);
  const char* pool = "NnBbRrNnBbRrQq";
  int32_t count = rng() % (pieces + 1);
  for (int32_t i = 0; i < count; ++i) place(pool[rng() % 14], 0, 7);
  int32_t whitePawns = rng() % 7, blackPawns = rng() % 7;
  for (int32_t i = 0; i < whitePawns; ++i) place('P', 1, 6);
  for (int32_t i = 0; i < blackPawns; ++i) place('p', 1, 6);
  std::string field;
  for (int32_t r = 7; r >= 0; --r) {
    int32_t empty = 0;
    for (int32_t f = 0; f < 8; ++f) {
      if (cell[r][f] == '.') {
        ++empty;
        continue;
      }
      if (empty) field += char('0' + empty);
      empty = 0;
      field += cell[r][f];
    }
    if (empty) field += char('0' + empty);
    if (r) field += '/';
  }
  return field;
}

}  // namespace

TEST(EndgameMirror, MirroredEndingsScoreTheNegatedValue) {
  std::mt19937 rng(1208);
  int32_t compared = 0, pawnEndings = 0;
  for (int32_t i = 0; i < 4000; ++i) {
    std::string field = randomEnding(rng, i % 4);
    int32_t side = rng() % 2 ? White : Black;
    int32_t clock = i % 3 == 0 ? int32_t(rng() % 110) : 0;
    EvalPosition probe;
    buildEvalPosition(probe, field, side);
    if (probe.board->materialSum > middlegameThreshold) continue;
    testing_eval::MirrorPair pair = testing_eval::mirrorPair(field, side, 0, clock);
    if (!pair.compared) continue;
    ++compared;
    if (probe.board->materialSum == 0) ++pawnEndings;
    EXPECT_LE(std::abs(pair.score + pair.mirrorScore), pair.tolerance) << field << " side " << side << " clock " << clock;
  }
  EXPECT_GE(compared, 1000);
  EXPECT_GE(pawnEndings, 200);
}

TEST(EvaluatorState, NothingLeaksFromOneCallIntoTheNext) {
  // Each call rebuilds every table, mark, base value and pawn term, so a
  // board evaluated after another position scores as a fresh one.
  std::mt19937 rng(77);
  EvalPosition reused;
  for (int32_t i = 0; i < 200; ++i) {
    std::string first = randomEnding(rng, 3), second = randomEnding(rng, 3);
    EvalPosition fresh;
    buildEvalPosition(fresh, second, White);
    int32_t expected = runEvaluatorStages(fresh, White);
    buildEvalPosition(reused, first, Black);
    runEvaluatorStages(reused, Black);
    // Rebuild the pieces only: the evaluation block and kinds keep what the
    // first evaluation left until the evaluator rewrites them.
    EvalPosition scratch;
    buildEvalPosition(scratch, second, White);
    scratch.board->evalBlock = reused.board->evalBlock;
    for (int32_t k = 0; k < KindCount; ++k) scratch.board->kinds[k].baseValue = reused.board->kinds[k].baseValue;
    EXPECT_EQ(runEvaluatorStages(scratch, White), expected) << first << " then " << second;
    EXPECT_EQ(runEvaluatorStages(scratch, White), expected) << second << " twice";
  }
}
