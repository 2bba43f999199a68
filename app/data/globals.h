// The records every subsystem shares for the whole run. Who writes what, and when:
// - currentInfo / savedInfo: the UI thread, and the service thread while it opens a file (the
//   console changes nothing meanwhile);
// - sectionLists: re-created by the console on the UI thread while the worker is stopped; the
//   points inside are guarded by each list's own lock;
// - maxPointCount, testState: atomics, written by the console and the worker.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

extern CInfo currentInfo;
extern CInfo savedInfo;
extern std::array<std::unique_ptr<CSampleDataList>, kMaxSections> sectionLists;

// Depth levels the current test is expected to hold (see expectedLevelCount).
extern std::atomic<int32_t> maxPointCount;

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

inline constexpr uint32_t stateCode(uint32_t state) { return state >> 16; }
inline constexpr uint32_t subState(uint32_t state) { return state & 0xFFFF; }
inline constexpr uint32_t makeState(uint32_t code, uint32_t sub = 0) { return (code << 16) | sub; }

// Upload settings owned by the application and persisted after the test record.
struct UploadSettings {
    std::string instrumentNumber;
    std::string serialNumber;
    uint32_t serverAddress = 0x7F000001;  // host order; the loopback address
    uint16_t serverPort = 5005;

    bool operator==(const UploadSettings&) const = default;
};
extern UploadSettings uploadSettings;

}  // namespace lx9
