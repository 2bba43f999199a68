// The background service thread: owns the data-file writer and does every file operation of a
// running test, and reads a file opened for viewing, so that file work never stalls the console
// or the worker. It runs a loop over its own mailbox and ends on WM_QUIT, even with requests
// still queued behind it (their senders are released with a failure).
//
// Threading contract:
// - mailbox(), post() and quit() may be called from any thread; the console keeps mailbox() as
//   the thread's address (what the program calls serviceThreadId).
// - Every handler runs on the service thread. It reads the test record as a copy taken under
//   its lock (`info`), and writes it back (opening a file) under the same lock; it reads and fills the
//   point lists through their own locks.
// - The console posts file work only while the worker is paused or between levels, and never two
//   requests that overlap in meaning; the queue serialises them.
// - Reports go to the console: WM_USER+100 and +106 are sent (the thread waits until the
//   console has handled them), +104, +105 and the file-error message are posted.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "acquisition/acquisition_worker.h"
#include "acquisition/console_sink.h"
#include "acquisition/mailbox.h"
#include "acquisition/messages.h"
#include "data/cinfo.h"
#include "data/globals.h"

namespace lx9 {

class CSaveFile;

struct ServiceOptions {
    std::optional<SharedInfo> info;              // default: sharedCurrentInfo()
    OwnedSectionLists* lists = nullptr;          // default: sectionLists
    std::atomic<int32_t>* levelCount = nullptr;  // default: maxPointCount
    std::function<std::string()> date;           // the DATE line of a new file; default: today
};

class CBackServiceThread {
  public:
    explicit CBackServiceThread(ConsoleSink& console, ServiceOptions options = {});
    // Quits and waits for the thread, however long the work in hand takes.
    ~CBackServiceThread();
    CBackServiceThread(const CBackServiceThread&) = delete;
    CBackServiceThread& operator=(const CBackServiceThread&) = delete;

    // Starts the loop at once, one step below normal priority. False when it already ran.
    bool start();
    Mailbox& mailbox() { return box_; }
    bool post(Message message) { return box_.post(std::move(message)); }
    bool post(uint32_t id, uintptr_t wParam = 0, intptr_t lParam = 0) {
        return box_.post(id, wParam, lParam);
    }
    // Posts WM_QUIT: the loop ends after the message in hand.
    void quit() { box_.post(WM_QUIT); }
    // Waits up to `timeout` for the loop to end; true when it has (the thread is then joined).
    bool join(std::chrono::milliseconds timeout);

    // Levels written into the current pair so far (any thread; for progress and tests). A level
    // is counted once it is on disk.
    int32_t levelsWritten() const { return levelsWritten_.load(); }
    const std::atomic<int32_t>& levelsWrittenCounter() const { return levelsWritten_; }
    // Held while a reload refills ring positions; the worker holds it while it stores a level.
    std::mutex& ringLock() { return ringLock_; }

  private:
    void run();
    intptr_t handle(const Message& m);
    CInfo copyInfo();
    int32_t windowLevels() const;
    void fileError(uint32_t request, const std::string& reason);
    void startRealTimeSave();
    void finishFiles(uintptr_t target);
    void writeHalfWindow(int32_t newest);
    void reloadRecent(int32_t level);
    static bool ringHolds(const SectionLists& lists, int32_t position);
    void closeFiles();
    void openFile(const Message& m);
    void sendProgress(uintptr_t target, int done, int total);
    void noteWritten();

    ConsoleSink& console_;
    ServiceOptions options_;
    Mailbox box_;
    std::thread thread_;
    bool quit_ = false;   // service thread only
    std::mutex endLock_;  // guards ended_
    std::condition_variable endedCv_;
    bool ended_ = false;
    bool started_ = false;  // the starting thread only
    std::atomic<int32_t> levelsWritten_{0};
    std::unique_ptr<CSaveFile> writer_;  // service thread only
    std::mutex ringLock_;                // guards the ring positions against a reload mid-store
};

}  // namespace lx9
