// The acquisition worker: the thread that drives the instrument during a test. Each cycle it
// sends the pending parameter changes, reads the probes' depth and, by the test state word, takes
// a frame, stores one point per section at each step, detects missed levels, removes levels when
// the probes are lowered, detects the end, and reports to the console by posted messages.
//
// Threading contract:
// - start() and stop() are called by the console on the user-interface thread (or by the
//   composition root); the worker thread is the only other thread that touches this object.
// - The worker is steered through the shared atomics of run_state.h and testState; it reads the
//   test record only as a copy taken under its lock (`info`) at the top of each cycle, and changes
//   the point lists only through their locked store operations.
// - The instrument link is used by the worker thread alone while the worker runs; the console
//   calls it only while the worker is paused or stopped.
// - At most one worker runs in the process at a time (the link is not safe for two callers).
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "acquisition/console_sink.h"
#include "data/cinfo.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "data/sample_data_list.h"
#include "instrument/instrument_link.h"
#include "link/kaxil_records.h"

namespace lx9 {

// The lists a test owns (sectionLists and its test doubles); SectionLists is their pointer view.
using OwnedSectionLists = std::array<std::unique_ptr<CSampleDataList>, kMaxSections>;

// The worker's sleeps and time-outs. The defaults are the production values; tests shorten them.
struct WorkerTiming {
    std::chrono::milliseconds retryLimit{500};  // a retried step gives up after this long
    std::chrono::milliseconds retrySleep{10};   // between tries, and after a failed step
    std::chrono::milliseconds shortSleep{20};   // parameter hold, failed single sends, pauses, idle states
    std::chrono::milliseconds cycleSleep{10};   // at the end of every cycle
    std::chrono::milliseconds endSleep{1000};   // further, in the end states
    // stop() waits this long for the thread to end: the longest exchange (a data read's one
    // second) plus a margin. Every sleep of the worker ends early on stop().
    std::chrono::milliseconds stopWait{2000};
};

// What the worker needs from the rest of the program, with the program's globals as defaults.
struct WorkerOptions {
    std::optional<SharedInfo> info;              // default: sharedCurrentInfo()
    OwnedSectionLists* lists = nullptr;          // default: sectionLists
    std::atomic<uint32_t>* state = nullptr;      // default: testState
    std::atomic<int32_t>* levelCount = nullptr;  // default: maxPointCount
    // Levels of a real-time test already on disk (the service thread's count); none: every ring
    // position is free. A real-time test never stores a level over one not yet written.
    const std::atomic<int32_t>* levelsOnDisk = nullptr;
    // Held while a level is stored into the ring, and by the service thread while it refills
    // ring positions from the files; none: no reload runs beside the worker.
    std::mutex* ringLock = nullptr;
    // Conditions and picks the current point of every section (per-cycle processing); runs on
    // the worker thread with the cycle's copy of the record. Default: ProcessCurrentPoints.
    std::function<void(const CInfo&, OwnedSectionLists&)> processCurrentPoints;
    // Builders of the parameter records sent in acquisition mode two; default: the program's
    // (fillSet1, fillSet2, fillJobText).
    std::function<_Ctrl_SET1_INFO_DLL(const CInfo&)> buildSet1;
    std::function<_Ctrl_SET2_INFO_DLL(const CInfo&)> buildSet2;
    std::function<std::array<uint8_t, kJobTextBlockSize>(const CInfo&)> buildJobText;
    WorkerTiming timing;
};

class AcquisitionWorker {
  public:
    AcquisitionWorker(InstrumentLink& link, ConsoleSink& console, WorkerOptions options = {});
    ~AcquisitionWorker();  // stops the worker and waits for it, however long that takes
    AcquisitionWorker(const AcquisitionWorker&) = delete;
    AcquisitionWorker& operator=(const AcquisitionWorker&) = delete;

    // Sets testRunning and starts the thread. False, and nothing started, while a worker (this
    // one or another) still runs.
    bool start();
    // Clears testRunning and pauseWorker and waits up to timing.stopWait for the thread to end.
    // True when it has ended (or never ran); false when it is still inside an exchange, in which
    // case it ends by itself and no new worker can start until it has.
    bool stop();
    // Waits up to `timeout` for the thread to end by itself (the end of a test). True when ended.
    bool waitEnded(std::chrono::milliseconds timeout);
    bool running() const { return running_.load(); }
    // Levels recorded in the current test (any thread): what the console's real-time save
    // window counts. Updated before the frame's WM_USER+128 is posted.
    int32_t levelsStored() const { return levelsStored_.load(); }
    // The console's resample: recording goes on from `level`, with the probes' present reading as
    // the new reference; the levels between the last one stored and it stay missed (zero-line
    // points at their depths). Taken at the next recording cycle that is not paused; a level at
    // or below the next one expected changes nothing. Any thread.
    void requestLevel(int32_t level) { requestedLevel_ = level; }

  private:
    enum class Result { Done, Failed };

    void run();
    void cycle();
    // The steps of a cycle, in order; those returning bool return false when the cycle ends there.
    void holdParameters();
    void postFailureNotice();
    bool sendParameterRecords();
    bool sendStartHeight();
    bool sendChannelConfig();
    bool sendSwitches();
    bool readInstrument(bool modeTwo);
    bool runState(uint32_t state, bool modeTwo, int32_t tolerance);
    bool sampleFreely(uint32_t state, bool modeTwo, int32_t travel);
    void finishCycle(uint32_t code);
    bool sleepFor(std::chrono::milliseconds d);
    template <class Op>
    Result retried(Op op, bool battery, uint8_t* value = nullptr);
    void countFailure();
    bool singleSend(const std::function<uint8_t()>& op);
    void advanceCounter();
    bool changeState(uint32_t from, uint32_t to);

    Result takeFrame(bool modeTwo);
    int sectionsInUse() const;
    const uint16_t* slot(int k) const;
    void storeCurrentPoints(double travelCm);
    void storeLevel(int32_t level);
    void copyLevel(int32_t level);
    void stepBack();
    bool skipTo(int32_t level);
    bool ringFree(int32_t level) const;
    std::unique_lock<std::mutex> lockRing() const;
    void process();
    void setLevels(int32_t levels);
    uint32_t recordingCode() const;
    void applyMissedPointRule(uint32_t state);
    void reachEnd(uint32_t state);
    bool handleStartOfRecording(uint32_t state, int32_t travel, int32_t tolerance);
    bool handleRecording(uint32_t state, int32_t travel, int32_t tolerance);
    bool plausible(int32_t travel, int32_t bound);
    void handleEnd();
    int32_t storedLevelCount() const;
    int32_t ringSize() const;

    InstrumentLink& link_;
    ConsoleSink& console_;
    WorkerOptions options_;

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int32_t> levelsStored_{0};
    std::atomic<int32_t> requestedLevel_{-1};  // the console's resample level, -1 none
    std::mutex sleepLock_;                     // guards nothing but the wake-up of sleepFor
    std::condition_variable wake_;
    std::mutex endLock_;  // guards ended_ for waitEnded
    std::condition_variable endedCv_;
    bool ended_ = true;

    // Worker thread only, from here on.
    CInfo info_;  // the cycle's copy of the record
    std::vector<uint16_t> frameBuffer_;
    std::vector<uint16_t> arranged_;
    int32_t frameLength_ = 0;  // samples per waveform of this run's frame buffer
    int failures_ = 0;         // consecutive failed steps, 0..5
    bool noticePosted_ = false;
    int cycleCounter_ = 0;
    bool sentSet1_ = false, sentSet2_ = false, sentSet3_ = false, sentHeight_ = false, sentCode_ = false;
    uint16_t reading_ = 0;  // current depth reading (cm)
    uint16_t liftSpeed_ = 0;
    int32_t levels_ = 0;                // levels stored in this recording; the next one expected is levels_
    int32_t previousTravel_ = 0;        // the reading the level bookkeeping last acted on
    int32_t lastReading_ = 0;           // the last reading accepted as plausible
    std::optional<int32_t> candidate_;  // a far reading waiting for its confirmation
    bool endPosted_ = false;
};

}  // namespace lx9
