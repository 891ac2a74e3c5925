// The evaluation entry on several search threads at once: each thread
// evaluates positions on its own board record while the others do the
// same, and every value must equal the one a lone thread computes. The
// ThreadSanitizer build runs this file to catch races on the evaluation's
// engine-wide state.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "engine/board/setup.h"
#include "engine/eval/evaluate.h"
#include "helpers/eval_positions.h"
#include "helpers/random_positions.h"

using namespace engine;
using testing_eval::buildEvalPosition;
using testing_eval::EvalPosition;

namespace {

constexpr int32_t ThreadCount = 4;
constexpr int32_t PositionsPerThread = 60;
constexpr int32_t Rounds = 5;

struct Job {
  std::vector<testing_board::RandomPosition> positions;
  std::vector<int32_t> clocks;
  std::vector<int32_t> expected;
  std::vector<int32_t> seen;
};

int32_t evaluateOn(EvalPosition& ep, const testing_board::RandomPosition& p, int32_t clock) {
  buildEvalPosition(ep, p.field, p.side, p.castling, clock);
  evaluate(ep.pos.get(), 0);
  return ep.pos->staticValue;
}

}  // namespace

TEST(EvaluateThreads, ThreadsEvaluatingAtOnceAgreeWithALoneThread) {
  engineSide = White;
  openingOffset = 0;
  std::mt19937 rng(91226);
  std::vector<Job> jobs(ThreadCount);
  EvalPosition lone;
  // The weights are derived once, as the root driver does before the
  // helpers start.
  buildEvalPosition(lone, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", White, StateCastlingMask);
  evaluate(lone.pos.get(), 1);
  // Every evaluation writes the same futility margin within a search.
  const int32_t margin = futilityMargin.load();
  for (Job& job : jobs)
    for (int32_t i = 0; i < PositionsPerThread; ++i) {
      job.positions.push_back(testing_board::randomPosition(rng));
      job.clocks.push_back(i % 4 == 0 ? int32_t(rng() % 100) : 0);
      job.expected.push_back(evaluateOn(lone, job.positions.back(), job.clocks.back()));
    }

  std::vector<std::thread> threads;
  for (Job& job : jobs)
    threads.emplace_back([&job] {
      EvalPosition own;
      for (int32_t round = 0; round < Rounds; ++round)
        for (int32_t i = 0; i < PositionsPerThread; ++i)
          job.seen.push_back(evaluateOn(own, job.positions[size_t(i)], job.clocks[size_t(i)]));
    });
  for (std::thread& t : threads) t.join();

  for (const Job& job : jobs) {
    ASSERT_EQ(job.seen.size(), size_t(Rounds * PositionsPerThread));
    for (size_t k = 0; k < job.seen.size(); ++k) {
      size_t i = k % PositionsPerThread;
      EXPECT_EQ(job.seen[k], job.expected[i]) << job.positions[i].field << " side " << job.positions[i].side;
    }
  }
  EXPECT_EQ(futilityMargin.load(), margin);
}
