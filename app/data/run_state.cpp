#include "data/run_state.h"

namespace lx9 {

std::atomic<bool> testRunning{false};
std::atomic<bool> pauseWorker{false};
std::atomic<bool> pendingSet1{false};
std::atomic<bool> pendingSet2{false};
std::atomic<bool> pendingSet3{false};
std::atomic<bool> pendingHeight{false};
std::atomic<bool> pendingCode{true};
std::atomic<bool> pendingSampleOn{false};
std::atomic<bool> pendingSampleOff{false};
std::atomic<bool> pendingBeginOn{false};
std::atomic<bool> pendingBeginOff{false};
std::atomic<bool> pendingEndOn{false};
std::atomic<bool> pendingEndOff{false};
std::atomic<bool> pendingRecordHeight{false};
std::atomic<bool> holdForParameters{false};
std::atomic<bool> resumeArmedStart{false};
std::atomic<bool> resumeArmedRecording{false};
std::atomic<bool> endReached{false};
std::atomic<bool> continueAfterEnd{false};
std::atomic<int32_t> endStamp{0};
std::atomic<int32_t> batteryLevel{0};
std::atomic<uint8_t> commNotice{0};
std::atomic<bool> listsReady{true};
CodeConfig codeConfig;
std::atomic<uint32_t> testState{makeState(kStateIdle)};

}  // namespace lx9
