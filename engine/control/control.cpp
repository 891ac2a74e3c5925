#include "engine/control/control.h"

namespace engine {

std::atomic<int32_t> stopFlag{0};
std::atomic<int32_t> thinkState{ThinkIdle};
std::atomic<int32_t> iterationDone{0};
std::atomic<int32_t> timeDecided{0};
std::atomic<int32_t> timerExtension{0};
std::atomic<int32_t> ponderHitPending{0};

int32_t timerTime = 0;
int32_t maxTime = 0;
int32_t targetTime = 1;

int32_t tbPieceLimit = 0;
int32_t rootScoreFloor = -ScoreBound;

TimeControl timeControl = {TimeFixedDepth, 0, 0, 0, 0};

EngineParameters engineParameters = defaultEngineParameters;
HostCallbacks hostCallbacks = {};

int32_t searchDepth = 3;
int32_t lineIndex = 0;
int32_t previousScore = -ScoreBound;
int32_t easyFactor = 10;
Move easyMove = noMove;
int32_t easyScore = 0;
int32_t hashDepthMark = 0;
std::atomic<int32_t> onFirstRootMove{0};
std::atomic<int32_t> linesReported{0};

std::atomic<int32_t> rootPhase{PhaseFinished};
platform::CriticalSection controlLock;
platform::Event searchWake;

}  // namespace engine
