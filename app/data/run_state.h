// The run state the console, the setup forms, the views and the acquisition worker share: the
// test's state and the flags through which they steer each other. Each flag has one writer at a
// time (the console sets a pending flag, the worker clears it after sending); they are atomics so
// that neither side ever reads a torn or stale value.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "link/kaxil_records.h"

namespace lx9 {

// High 16 bits: state code; low 16 bits: sub-state.
extern std::atomic<uint32_t> testState;

inline constexpr uint32_t kStateIdle = 0xF000;
inline constexpr uint32_t kStateViewing = 0xF400;
inline constexpr uint32_t kStateLiveDepth = 0xF500;
inline constexpr uint32_t kStateFreeSampling = 0xF600;
inline constexpr uint32_t kStateRecordStart = 0xF700;
inline constexpr uint32_t kStateRecordContinuous = 0xFA00;
inline constexpr uint32_t kStateRecordFixed = 0xFC00;
inline constexpr uint32_t kStateEndContinuous = 0xABCD;
inline constexpr uint32_t kStateEndFixed = 0xABFF;
inline constexpr uint32_t kSubStatePaused = 0x4;
inline constexpr uint32_t kSubStateMissedHold = 0x1;

inline constexpr uint32_t stateCode(uint32_t state) {
    return state >> 16;
}
inline constexpr uint32_t subState(uint32_t state) {
    return state & 0xFFFF;
}
inline constexpr uint32_t makeState(uint32_t code, uint32_t sub = 0) {
    return (code << 16) | sub;
}

extern std::atomic<bool> testRunning;  // the worker loops while set
extern std::atomic<bool> pauseWorker;  // the worker skips the measuring part of its cycle

// Pending sends: each asks the worker to send one command at its next cycle.
extern std::atomic<bool> pendingSet1;
extern std::atomic<bool> pendingSet2;
extern std::atomic<bool> pendingSet3;
extern std::atomic<bool> pendingHeight;
extern std::atomic<bool> pendingCode;  // starts true
extern std::atomic<bool> pendingSampleOn;
extern std::atomic<bool> pendingSampleOff;
extern std::atomic<bool> pendingBeginOn;
extern std::atomic<bool> pendingBeginOff;
extern std::atomic<bool> pendingEndOn;
extern std::atomic<bool> pendingEndOff;
extern std::atomic<bool> pendingRecordHeight;

extern std::atomic<bool> holdForParameters;     // mode two: only re-arm the parameter sends
extern std::atomic<bool> resumeArmedStart;      // reset the level bookkeeping at the start of recording
extern std::atomic<bool> resumeArmedRecording;  // ... and in the recording states
extern std::atomic<bool> endReached;
extern std::atomic<bool> continueAfterEnd;
extern std::atomic<int32_t> endStamp;
extern std::atomic<int32_t> batteryLevel;
extern std::atomic<uint8_t> commNotice;  // 0 none, 1 the failure notice is shown
extern std::atomic<bool> listsReady;     // cleared while the setup rebuilds the point lists

// The channel configuration the console's parameter push fills and the worker sends with Set().
// Copied whole under its lock, so the worker never sends a half-updated record.
class CodeConfig {
  public:
    _Ctrl_Code_INFO_DLL get() const {
        std::lock_guard<std::mutex> g(lock_);
        return value_;
    }
    void set(const _Ctrl_Code_INFO_DLL& v) {
        std::lock_guard<std::mutex> g(lock_);
        value_ = v;
    }

  private:
    mutable std::mutex lock_;  // guards value_
    _Ctrl_Code_INFO_DLL value_{};
};
extern CodeConfig codeConfig;

}  // namespace lx9
