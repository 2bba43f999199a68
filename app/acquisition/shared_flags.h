// The flags through which the console, the setup dialogs and the acquisition worker steer each
// other. Each flag has one writer at a time (the console sets a pending flag, the worker clears
// it after sending); they are atomics so that neither side ever reads a torn or stale value.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "link/kaxil_records.h"

namespace lx9 {

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

// Guards currentInfo while the worker and the service thread run: the console holds it while it
// changes the record; the worker holds it while it copies the record at the top of each cycle,
// the service thread while it copies or refills it.
extern std::mutex currentInfoLock;

}  // namespace lx9
