// The records every subsystem shares for the whole run. Who writes what, and when:
// - currentInfo / savedInfo: the UI thread, and the service thread while it opens a file (the
//   console changes nothing meanwhile);
// - sectionLists: re-created by the console on the UI thread while the worker is stopped; the
//   points inside are guarded by each list's own lock;
// - maxPointCount: an atomic, written by the console and the worker;
// - currentInfoLock: held by whoever changes currentInfo while the worker or the service thread
//   runs, and by those threads while they copy it (see SharedInfo).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

extern CInfo currentInfo;
extern CInfo savedInfo;

// Guards currentInfo while the worker and the service thread run: the console holds it while it
// changes the record; the worker holds it while it copies the record at the top of each cycle,
// the service thread while it copies or refills it.
extern std::mutex currentInfoLock;
extern std::array<std::unique_ptr<CSampleDataList>, kMaxSections> sectionLists;

// Depth levels the current test is expected to hold (see expectedLevelCount).
extern std::atomic<int32_t> maxPointCount;

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
