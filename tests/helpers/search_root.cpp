#include "helpers/search_root.h"

#include <gtest/gtest.h>

#include "engine/eval/evaluate.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/module/engine_entries.h"
#include "engine/search/hook_slots.h"
#include "engine/search/rootsearch.h"
#include "engine/search/search.h"
#include "engine/search/threads.h"
#include "helpers/module_host.h"

using namespace engine;

namespace testing_search {

// Started once per process: the master alone and a small table, no hooks.
static void startEngineCore() {
  static bool started = false;
  if (started) return;
  started = true;
  engineParameters = defaultEngineParameters;
  engineParameters.words[ParamThreads] = 1;
  initEngine(8u << 20, 0);
  infoHook.store(nullptr);
  currMoveHook.store(nullptr);
  timerHook.store(nullptr);
  tablebaseHook.store(nullptr);
}

Position* prepareRoot(int32_t depth) {
  Position* root = &rootPosition;
  ThreadBoard* board = root->board;
  resetStopFlags();
  futilityMargin = 10;
  board->splitPoint = &noSplitPosition;
  board->splitOwner = board;
  board->splitNode = nullptr;
  setBoardGeneration(board, 1);
  searchGeneration.store(1);
  root->firstReply = noMove;
  root->killers[0] = root->killers[1] = noMove;
  root->parent = nullptr;
  root->matedScore = -9998;
  root->stateFlags = (root->stateFlags & ~StateDriftPending) | 0x1000 | 0x2000;
  resetMoveStack(root);
  evaluate(root, 1);
  prepareHashForSearch(&engineHash, 1);
  searchDepth = depth;
  previousScore = -9999;
  root->futilityBase = -9999;
  iterationDone.store(0);
  root->threatGrade = 0;
  detectThreat(root, -9999, 0);
  return root;
}

Position* rootOf(const std::string& fen, int32_t depth, const std::vector<const char*>& gameMoves) {
  startEngineCore();
  clearEngineHash();
  EXPECT_EQ(setEnginePosition(fen.c_str()), 0) << fen;
  for (const char* m : gameMoves) playEngineMove(testing_host::moveOf(m), 0);
  return prepareRoot(depth);
}

}  // namespace testing_search
