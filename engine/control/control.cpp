#include "engine/control/control.h"

namespace engine {

std::atomic<int32_t> stopFlag{0};
std::atomic<int32_t> thinkState{ThinkIdle};
std::atomic<int32_t> iterationDone{0};
std::atomic<int32_t> timeDecided{0};
std::atomic<int32_t> timerExtension{0};
std::atomic<int32_t> ponderHitPending{0};

int32_t tbPieceLimit = 0;
int32_t rootScoreFloor = -ScoreBound;

TimeControl timeControl = {TimeFixedDepth, 0, 0, 0, 0};

EngineParameters engineParameters = defaultEngineParameters;
HostCallbacks hostCallbacks = {};

std::atomic<int32_t> rootPhase{PhaseFinished};
platform::CriticalSection controlLock;
platform::Event searchWake;

}  // namespace engine
