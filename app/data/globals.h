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

// A test record other threads read or change, with the lock that guards it; whoever is handed
// one changes the record, and copies it from a thread other than its writer's, only under that
// lock. Non-owning: the record and the lock outlive it. A record only its caller's thread sees (a
// file opened for a report, a view or a command) is passed as a plain CInfo instead.
class SharedInfo {
  public:
    SharedInfo(CInfo& record, std::mutex& lock) : record_(&record), lock_(&lock) {}

    CInfo& record() const { return *record_; }
    std::mutex& lock() const { return *lock_; }
    // The whole record, copied under the lock.
    CInfo copy() const {
        std::lock_guard<std::mutex> g(*lock_);
        return *record_;
    }
    // Runs change(record) under the lock.
    template <class F>
    void change(F&& change) const {
        std::lock_guard<std::mutex> g(*lock_);
        change(*record_);
    }

  private:
    CInfo* record_;
    std::mutex* lock_;
};

// currentInfo with currentInfoLock: what the console, the worker, the service thread, the forms
// and the views of the running program share.
SharedInfo sharedCurrentInfo();
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
