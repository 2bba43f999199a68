#include "acquisition/acquisition_worker.h"

#include <pthread.h>

#include <algorithm>
#include <cstdlib>

#include "acquisition/acquisition_rules.h"
#include "acquisition/messages.h"
#include "analysis/process_points.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "instrument/parameter_records.h"

namespace lx9 {
namespace {

using Clock = std::chrono::steady_clock;

// The link is not safe for two callers: one worker in the whole process at a time.
std::atomic<bool> workerActive{false};

constexpr int kFailureLimit = 5;
constexpr int kMaxFrameLength = 5461;  // 6 slots of 16-bit words must fit a 16-bit byte count

// Levels are being stored (the start of a recording is not: it waits for the start level).
bool isStoringCode(uint32_t code) {
    return code == kStateRecordContinuous || code == kStateRecordFixed;
}
bool isEndCode(uint32_t code) {
    return code == kStateEndContinuous || code == kStateEndFixed;
}

}  // namespace

AcquisitionWorker::AcquisitionWorker(InstrumentLink& link, ConsoleSink& console, WorkerOptions options)
    : link_(link), console_(console), options_(std::move(options)) {
    if (!options_.info) options_.info = sharedCurrentInfo();
    if (!options_.lists) options_.lists = &sectionLists;
    if (!options_.state) options_.state = &testState;
    if (!options_.levelCount) options_.levelCount = &maxPointCount;
    if (!options_.processCurrentPoints)
        options_.processCurrentPoints = [](const CInfo& info, OwnedSectionLists& lists) {
            ProcessCurrentPoints(info, lists);
        };
    if (!options_.buildSet1) options_.buildSet1 = fillSet1;
    if (!options_.buildSet2) options_.buildSet2 = fillSet2;
    if (!options_.buildJobText) options_.buildJobText = fillJobText;
}

AcquisitionWorker::~AcquisitionWorker() {
    if (running_) {
        testRunning = false;
        { std::lock_guard<std::mutex> g(sleepLock_); }
        wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

bool AcquisitionWorker::start() {
    if (running_) return false;
    if (thread_.joinable()) thread_.join();  // a run that ended by itself
    bool idle = false;
    if (!workerActive.compare_exchange_strong(idle, true)) return false;
    testRunning = true;
    {
        std::lock_guard<std::mutex> g(endLock_);
        ended_ = false;
    }
    running_ = true;
    // The original asks for a suspended thread with a 2048-byte stack and resumes it; a stack
    // that small is below any thread's minimum and was rounded up, so the default stack is used.
    thread_ = std::thread([this] { run(); });
    return true;
}

bool AcquisitionWorker::stop() {
    if (!thread_.joinable()) return true;
    if (running_) {
        testRunning = false;
        pauseWorker = false;
        { std::lock_guard<std::mutex> g(sleepLock_); }
        wake_.notify_all();
    }
    if (!waitEnded(options_.timing.stopWait)) return false;
    thread_.join();
    return true;
}

bool AcquisitionWorker::waitEnded(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> g(endLock_);
    return endedCv_.wait_for(g, timeout, [&] { return ended_; });
}

bool AcquisitionWorker::sleepFor(std::chrono::milliseconds d) {
    std::unique_lock<std::mutex> g(sleepLock_);
    return !wake_.wait_for(g, d, [] { return !testRunning.load(); });
}

void AcquisitionWorker::countFailure() {
    failures_ = std::min(failures_ + 1, kFailureLimit);
}

// One exchange retried for up to retryLimit while it returns 0 (and the worker is not being
// stopped); 2 or more is a failure too, except for the battery, whose level is its result.
template <class Op>
AcquisitionWorker::Result AcquisitionWorker::retried(Op op, bool battery, uint8_t* value) {
    const auto started = Clock::now();
    uint8_t r = op();
    bool failed = false;
    while (r == 0 && testRunning) {
        sleepFor(options_.timing.retrySleep);
        if (Clock::now() - started >= options_.timing.retryLimit) {
            failed = true;
            break;
        }
        r = op();
    }
    // A stop in the middle of the retries leaves nothing valid to go on with.
    if (r == 0) failed = true;
    if (!battery && r >= 2) failed = true;
    if (value) *value = r;
    if (failed) {
        sleepFor(options_.timing.retrySleep);
        countFailure();
        return Result::Failed;
    }
    failures_ = 0;
    return Result::Done;
}

// A parameter send of acquisition mode two: one attempt that must answer exactly 1.
bool AcquisitionWorker::singleSend(const std::function<uint8_t()>& op) {
    if (op() == 1) return true;
    sleepFor(options_.timing.shortSleep);
    countFailure();
    return false;
}

void AcquisitionWorker::advanceCounter() {
    if (++cycleCounter_ >= 10000) cycleCounter_ = 1;
}

// The console may change the state word at any moment (pause, resample); the worker's own change
// applies only if the word still holds what this cycle read, else the console's change wins and
// the worker looks again at its next cycle.
bool AcquisitionWorker::changeState(uint32_t from, uint32_t to) {
    return options_.state->compare_exchange_strong(from, to);
}

int32_t AcquisitionWorker::ringSize() const {
    // A real-time test keeps maxPointCount levels in memory, level i in chain position i mod H;
    // the service thread writes each half window before the ring comes round to it.
    if (info_.saveMode != kSaveRealTime) return 0;
    return std::max<int32_t>(options_.levelCount->load(), 0);
}

int32_t AcquisitionWorker::storedLevelCount() const {
    const int used = std::clamp(info_.sectionCount, 0, kMaxSections);
    for (int k = 0; k < used; ++k) {
        if (CSampleDataList* list = (*options_.lists)[k].get()) {
            auto g = list->lock();
            return list->count;
        }
    }
    return 0;
}

void AcquisitionWorker::run() {
    pthread_setname_np(pthread_self(), "lx9-worker");  // for top -H and debuggers
    info_ = options_.info->copy();
    frameLength_ = std::clamp(info_.sampleLength, 1, kMaxFrameLength);
    frameBuffer_.assign(static_cast<size_t>(kMaxSections) * frameLength_, 2048);
    arranged_.assign(frameBuffer_.size(), 2048);
    endReached = false;
    continueAfterEnd = false;
    pendingRecordHeight = false;
    link_.StartRecordHeight();
    resumeArmedStart = true;
    resumeArmedRecording = true;

    while (testRunning)
        cycle();

    frameBuffer_ = {};
    arranged_ = {};
    running_ = false;
    workerActive = false;
    {
        std::lock_guard<std::mutex> g(endLock_);
        ended_ = true;
    }
    endedCv_.notify_all();
}

void AcquisitionWorker::cycle() {
    info_ = options_.info->copy();
    const WorkerTiming& timing = options_.timing;
    const bool modeTwo = info_.cacheMode == 1;

    if (modeTwo && holdForParameters) {
        holdParameters();
        return;
    }
    const int32_t tolerance = halfStepToleranceCm(info_.stepMm);
    postFailureNotice();
    if (modeTwo && !sendParameterRecords()) return;

    if (pauseWorker) sleepFor(timing.shortSleep);
    if (!testRunning) return;

    if (modeTwo && !sendStartHeight()) return;
    const uint32_t state = options_.state->load();
    if (!pendingCode) advanceCounter();
    if (!sendChannelConfig()) return;
    if (modeTwo && !sendSwitches()) return;

    if (pauseWorker) {
        sleepFor(timing.shortSleep);
        return;
    }
    if (!readInstrument(modeTwo)) return;

    console_.post(kMsgLiftSpeed, liftSpeed_, 300);
    const uint32_t code = stateCode(state);
    if (!runState(state, modeTwo, tolerance)) return;
    finishCycle(code);
}

void AcquisitionWorker::holdParameters() {
    // Mode two waits for the console's parameters: keep every parameter send armed.
    for (auto* f : {&pendingSampleOn, &pendingSampleOff, &pendingBeginOn, &pendingBeginOff, &pendingEndOn,
                    &pendingEndOff})
        *f = false;
    for (auto* f : {&pendingSet1, &pendingSet2, &pendingSet3, &pendingHeight, &pendingCode})
        *f = true;
    sleepFor(options_.timing.shortSleep);
}

void AcquisitionWorker::postFailureNotice() {
    // The failure notice, once until the steps succeed again.
    if (failures_ < kFailureLimit) return;
    failures_ = kFailureLimit;
    if (commNotice == 0 && !noticePosted_) {
        console_.post(kMsgCommFailure, 0, 0);
        noticePosted_ = true;
    }
}

bool AcquisitionWorker::sendParameterRecords() {
    // One attempt each per cycle.
    if (pendingSet1) {
        if (!singleSend([&]() -> uint8_t { return link_.SetPara1(options_.buildSet1(info_)); })) return false;
        pendingSet1 = false;
        sentSet1_ = true;
    }
    if (pendingSet2) {
        if (!singleSend([&]() -> uint8_t { return link_.SetPara2(options_.buildSet2(info_)); })) return false;
        pendingSet2 = false;
        sentSet2_ = true;
    }
    if (pendingSet3) {
        if (!singleSend([&]() -> uint8_t {
                auto block = options_.buildJobText(info_);
                return link_.SetPara3(block.data(), kJobTextBlockSize);
            }))
            return false;
        pendingSet3 = false;
        sentSet3_ = true;
    }
    return true;
}

bool AcquisitionWorker::sendStartHeight() {
    // Mode two tells the instrument where the test starts.
    if (!pendingHeight) return true;
    const double startHeight = startHeightCm(info_);
    if (!singleSend([&] {
            return link_.SetHeight(static_cast<int32_t>(startHeight), static_cast<uint16_t>(info_.stepMm));
        }))
        return false;
    pendingHeight = false;
    sentHeight_ = true;
    return true;
}

bool AcquisitionWorker::sendChannelConfig() {
    // A failed send waits until the flag is set again.
    if (pendingCode.exchange(false)) {
        _Ctrl_Code_INFO_DLL config = codeConfig.get();
        if (retried([&] { return link_.Set(&config); }, false) == Result::Failed) return false;
        sentCode_ = true;
    }
    return true;
}

bool AcquisitionWorker::sendSwitches() {
    // The switches, then no measurement until all five parameter sends are through.
    struct Switch {
        std::atomic<bool>* flag;
        uint8_t (InstrumentLink::*call)(uint8_t);
        uint8_t arg;
    };
    const Switch switches[] = {
        {&pendingSampleOn, &InstrumentLink::SetSample, 1}, {&pendingSampleOff, &InstrumentLink::SetSample, 0},
        {&pendingBeginOn, &InstrumentLink::SetBegin, 1},   {&pendingBeginOff, &InstrumentLink::SetBegin, 0},
        {&pendingEndOn, &InstrumentLink::SetEnd, 1},       {&pendingEndOff, &InstrumentLink::SetEnd, 0},
    };
    for (const Switch& s : switches) {
        if (!*s.flag) continue;
        if (!singleSend([&] { return (link_.*s.call)(s.arg); })) return false;
        *s.flag = false;
    }
    if (!(sentSet1_ && sentSet2_ && sentSet3_ && sentHeight_ && sentCode_)) {
        for (auto* f : {&pendingSet1, &pendingSet2, &pendingSet3, &pendingHeight, &pendingCode})
            *f = true;
        return false;
    }
    return true;
}

bool AcquisitionWorker::readInstrument(bool modeTwo) {
    // The depth; in mode two the expected level is the key of the record.
    const uint16_t key = static_cast<uint16_t>(levelCm(levels_, info_.stepMm));
    if (retried(
            [&] {
                return modeTwo ? link_.GetHeight(key, &reading_, &liftSpeed_)
                               : link_.GetSampleHeight(&reading_, &liftSpeed_);
            },
            false) == Result::Failed)
        return false;

    if (!modeTwo && pendingRecordHeight) {
        if (retried([&] { return link_.StartRecordHeight(); }, false) == Result::Failed) return false;
        pendingRecordHeight = false;
    }

    // The battery on the first cycles, then rarely.
    if (cycleCounter_ == 0 || cycleCounter_ == 1 || cycleCounter_ == 9000) {
        uint8_t level = 0;
        if (retried([&] { return link_.GetBatteryQuantity(); }, true, &level) == Result::Failed) return false;
        if (level >= 1) batteryLevel = level;
    } else {
        advanceCounter();
    }
    return true;
}

bool AcquisitionWorker::runState(uint32_t state, bool modeTwo, int32_t tolerance) {
    // Readings are unsigned on the wire; a travel below the start level arrives as a large
    // value, so it is taken as signed (no test is 327 m high).
    const int32_t travel = static_cast<int16_t>(reading_);
    const uint32_t code = stateCode(state);
    if (!isEndCode(code)) endPosted_ = false;
    switch (code) {
        case kStateLiveDepth:
            console_.post(kMsgDepthReading, 0, reading_);
            return true;
        case kStateFreeSampling:
            return sampleFreely(state, modeTwo, travel);
        case kStateRecordStart:
            return handleStartOfRecording(state, travel, tolerance);
        case kStateRecordContinuous:
        case kStateRecordFixed:
            return handleRecording(state, travel, tolerance);
        case kStateEndContinuous:
        case kStateEndFixed:
            handleEnd();
            return true;
        default:
            return true;
    }
}

bool AcquisitionWorker::sampleFreely(uint32_t state, bool modeTwo, int32_t travel) {
    if (subState(state) & kSubStatePaused) return true;
    if (takeFrame(modeTwo) == Result::Failed) return false;
    if (listsReady) {
        storeCurrentPoints(travel);
        process();
        console_.post(kMsgFrameReady, 1, 0);
    }
    return true;
}

void AcquisitionWorker::finishCycle(uint32_t code) {
    // A whole cycle went through: the failure notice, if shown, can go.
    if (noticePosted_ || commNotice == 1) {
        console_.post(kMsgCommRestored, 0, 0);
        noticePosted_ = false;
        failures_ = 0;
    }
    const WorkerTiming& timing = options_.timing;
    sleepFor(timing.cycleSleep);
    if (isEndCode(code))
        sleepFor(timing.endSleep);
    else if (code != kStateFreeSampling && code != kStateRecordStart && !isStoringCode(code))
        sleepFor(timing.shortSleep);
}

AcquisitionWorker::Result AcquisitionWorker::takeFrame(bool modeTwo) {
    if (!modeTwo) {
        if (retried([&] { return link_.StartSample(); }, false) == Result::Failed) return Result::Failed;
        if (retried([&] { return link_.GetSampleStatus(); }, false) == Result::Failed) return Result::Failed;
    }
    const uint16_t bytes = static_cast<uint16_t>(frameBuffer_.size() * sizeof(uint16_t));
    const uint16_t key = static_cast<uint16_t>(levelCm(levels_, info_.stepMm));
    uint16_t status = 0;
    if (retried(
            [&] {
                return modeTwo ? link_.ReadData(bytes, key, frameBuffer_.data(), &status)
                               : link_.ReadSampleData(bytes, frameBuffer_.data(), &status);
            },
            false) == Result::Failed)
        return Result::Failed;
    arrangeFrame(frameBuffer_.data(), arranged_.data(), frameLength_, frameSlotOrder(info_));
    return Result::Done;
}

int AcquisitionWorker::sectionsInUse() const {
    return std::clamp(info_.sectionCount, 0, kMaxSections);
}

const uint16_t* AcquisitionWorker::slot(int k) const {
    return arranged_.data() + static_cast<size_t>(k) * static_cast<size_t>(frameLength_);
}

void AcquisitionWorker::storeCurrentPoints(double travelCm) {
    for (int k = 0; k < sectionsInUse(); ++k)
        if (CSampleDataList* list = (*options_.lists)[k].get())
            list->storeCurrent(slot(k), static_cast<size_t>(frameLength_), pointDepth(info_, k, travelCm));
}

// Chain position of a level: the level itself, or its place in the ring of a real-time test.
static int32_t chainIndex(int32_t level, int32_t ring) {
    return ring > 0 ? level % ring : level;
}

static int32_t lockedCount(CSampleDataList& list) {
    auto g = list.lock();
    return list.count;
}

// A list that fell behind (re-created during the test) gets silent placeholders for the levels
// it lacks, so that chain position and level stay the same for every section. Returns the count.
static int32_t padTo(CSampleDataList& list, int32_t index) {
    int32_t count = lockedCount(list);
    for (; count < index; ++count)
        if (!list.appendPlaceholder()) break;
    return count;
}

void AcquisitionWorker::storeLevel(int32_t level) {
    const int32_t ring = ringSize();
    const int32_t index = chainIndex(level, ring);
    const double travel = levelCm(level, info_.stepMm);
    for (int k = 0; k < sectionsInUse(); ++k) {
        CSampleDataList* list = (*options_.lists)[k].get();
        if (!list) continue;
        int32_t count = padTo(*list, index);
        if (ring == 0)
            for (; count > index + 1; --count)
                list->removeLast();
        list->storeAt(index, slot(k), static_cast<size_t>(frameLength_), pointDepth(info_, k, travel));
    }
}

void AcquisitionWorker::copyLevel(int32_t level) {
    const int32_t ring = ringSize();
    const double travel = levelCm(level, info_.stepMm);
    for (int k = 0; k < sectionsInUse(); ++k)
        if (CSampleDataList* list = (*options_.lists)[k].get())
            list->copyPoint(chainIndex(level - 1, ring), chainIndex(level, ring),
                            pointDepth(info_, k, travel));
}

// Drops the newest level (levels_ - 1). In a ring that has come round, the level's slot holds
// on until it is stored again; the level before it becomes current.
void AcquisitionWorker::stepBack() {
    const int32_t ring = ringSize();
    for (int k = 0; k < sectionsInUse(); ++k) {
        CSampleDataList* list = (*options_.lists)[k].get();
        if (!list) continue;
        if (lockedCount(*list) == levels_)
            list->removeLast();
        else
            list->setCurrentAt(chainIndex(levels_ - 2, ring));
    }
}

// A real-time test keeps H levels in memory: level l takes the ring position of level l - H,
// which must be in the files by then, or it would be lost. (The service thread's reload of a
// half window checks, under the ring lock, that its positions still hold those levels.)
bool AcquisitionWorker::ringFree(int32_t level) const {
    const int32_t ring = ringSize();
    if (ring == 0 || !options_.levelsOnDisk) return true;
    return level - ring < options_.levelsOnDisk->load();
}

std::unique_lock<std::mutex> AcquisitionWorker::lockRing() const {
    if (ringSize() == 0 || !options_.ringLock) return {};
    return std::unique_lock<std::mutex>(*options_.ringLock);
}

// The levels from the next one expected up to `level` are left unmeasured: each gets a zero-line
// waveform, not picked, at the level's depth, and `level` is expected next. In a ring, only as
// far as the ring positions are free: false when the skip must go on at a later cycle, once the
// service thread has written the levels it would overwrite.
bool AcquisitionWorker::skipTo(int32_t level) {
    level = std::min(level, std::max(lastLevelIndex(info_), 0));
    if (level <= levels_ || frameLength_ <= 0) return true;
    const int32_t ringLevels = ringSize();
    const std::vector<uint16_t> zeroLine(static_cast<size_t>(frameLength_), uint16_t{2048});
    int32_t l = levels_;
    auto ring = lockRing();
    for (; l < level && ringFree(l); ++l) {
        const int32_t index = chainIndex(l, ringLevels);
        const double travel = levelCm(l, info_.stepMm);
        for (int k = 0; k < sectionsInUse(); ++k) {
            CSampleDataList* list = (*options_.lists)[k].get();
            if (!list) continue;
            padTo(*list, index);
            list->storeAt(index, zeroLine.data(), zeroLine.size(), pointDepth(info_, k, travel));
        }
    }
    if (ring.owns_lock()) ring.unlock();
    const bool whole = l == level;
    if (l > levels_) {
        setLevels(l);
        // The console has the placeholders written, which frees the ring for the rest.
        console_.post(kMsgFrameReady, 1, 0);
    }
    return whole;
}

void AcquisitionWorker::process() {
    options_.processCurrentPoints(info_, *options_.lists);
}

void AcquisitionWorker::setLevels(int32_t levels) {
    levels_ = levels;
    levelsStored_ = levels;
}

uint32_t AcquisitionWorker::recordingCode() const {
    return info_.continuousFiring ? kStateRecordContinuous : kStateRecordFixed;
}

void AcquisitionWorker::applyMissedPointRule(uint32_t state) {
    if (info_.cacheMode != 1)
        for (int i = 0; i < 3 && testRunning; ++i)
            if (link_.SetLeakInfo() != 0) break;
    if (changeState(state, makeState(recordingCode(), kSubStateMissedHold)))
        console_.post(kMsgMissedPoints, reading_, levelCm(levels_, info_.stepMm));
}

void AcquisitionWorker::reachEnd(uint32_t state) {
    const uint32_t code = info_.continuousFiring ? kStateEndContinuous : kStateEndFixed;
    if (!changeState(state, makeState(code))) return;  // looked at again next cycle
    continueAfterEnd = false;
    endReached = true;
    endStamp = endStampNow();
    console_.post(kMsgLastLevelStored, 1, endStamp.load());
}

// Level bookkeeping (the arithmetic the worker chooses; readings t in cm, S the step in cm, T
// the half-step tolerance, level i at travel L(i) = i x S, n levels stored, level n expected):
// - start of recording: the first level is level 0, whatever the reading; it counts as reached
//   when t <= S + T, else the missed-point hold starts at once; level 1 is expected next;
// - lowered: while n > 1 and t <= L(n - 2) (a whole step below the newest level) the newest level
//   is dropped, one +129 each; the level is expected again;
// - reached: t >= L(n) - T. The levels passed are n .. k, k the highest with L(k) - T <= t (not
//   beyond the last level). A move of more than S + T since the previous reading, or more than
//   two levels passed, is a missed point; otherwise level n takes the frame and, when the reading
//   also passed level n + 1, that level takes a copy of it (gap filling). Level n + 1 is never
//   passed without a frame by a move of at most S + T from below level n - T, so this bound only
//   fills the level a fast but steady lift skips between two cycles;
// - hold: while t >= L(n) + T the console gets the two heights; below, the hold ends without a
//   frame;
// - end: when the last level (the one at the start height) has been stored.
bool AcquisitionWorker::handleStartOfRecording(uint32_t state, int32_t travel, int32_t tolerance) {
    if (subState(state) & kSubStatePaused) return true;
    resumeArmedStart = false;
    setLevels(0);  // the level reference starts again; in mode two the first record's key is 0
    if (takeFrame(info_.cacheMode == 1) == Result::Failed) return false;
    // The first level replaces whatever the lists held while free sampling.
    for (int k = 0; k < sectionsInUse(); ++k) {
        CSampleDataList* list = (*options_.lists)[k].get();
        if (!list) continue;
        for (;;) {
            int32_t count;
            {
                auto g = list->lock();
                count = list->count;
            }
            if (count <= 1 || !list->removeLast()) break;
        }
    }
    storeCurrentPoints(levelCm(0, info_.stepMm));
    process();
    setLevels(1);
    previousTravel_ = travel;
    lastReading_ = travel;
    candidate_.reset();
    // The state changes before the console hears of the frame: it enables its buttons by the
    // state it finds when the message arrives.
    const int32_t step = levelCm(1, info_.stepMm);
    if (lastLevelIndex(info_) <= 0) {
        console_.post(kMsgFrameReady, 1, 0);
        reachEnd(state);
    } else if (travel <= step + tolerance) {
        changeState(state, makeState(recordingCode()));
        console_.post(kMsgFrameReady, 1, 0);
    } else {
        console_.post(kMsgFrameReady, 1, 0);
        applyMissedPointRule(state);
    }
    return true;
}

// The link is stop-and-wait without sequence numbers: a reply that arrives after its exchange
// timed out can be taken as the answer to a later request of the same kind, and an old depth
// reading looks exactly like probes that were lowered (levels would be removed) or jerked up (a
// false missed point). A reading that lies more than a step and a half from the last accepted one
// is therefore acted on only when the next reading confirms it: one close to it, or one that goes
// on further the same way. Probes that keep rising too fast never give two close readings, and
// the missed-point hold must come with the first levels they skip, not when they stop.
bool AcquisitionWorker::plausible(int32_t travel, int32_t bound) {
    const bool far = std::abs(travel - lastReading_) > bound;
    const bool confirmed =
        candidate_ && (std::abs(travel - *candidate_) <= bound ||
                       (*candidate_ > lastReading_ ? travel > *candidate_ : travel < *candidate_));
    if (far && !confirmed) {
        candidate_ = travel;
        return false;
    }
    candidate_.reset();
    lastReading_ = travel;
    return true;
}

bool AcquisitionWorker::handleRecording(uint32_t state, int32_t travel, int32_t tolerance) {
    const uint32_t sub = subState(state);
    if (sub & kSubStatePaused) return true;
    if (resumeArmedRecording.exchange(false)) {
        if (levels_ == 0) setLevels(storedLevelCount());
        previousTravel_ = travel;
        lastReading_ = travel;
        candidate_.reset();
    }
    if (const int32_t wanted = requestedLevel_.exchange(-1); wanted >= 0) {
        previousTravel_ = travel;
        lastReading_ = travel;
        candidate_.reset();
        if (!skipTo(wanted)) {
            // The rest of the skip waits for the files; meanwhile no reading is acted on.
            int32_t none = -1;
            requestedLevel_.compare_exchange_strong(none, wanted);
            return true;
        }
    }
    const int32_t stepMm = info_.stepMm;
    if (stepMm <= 0) return true;  // no levels to track
    const int32_t expected = levelCm(levels_, stepMm);
    const int32_t step = levelCm(1, stepMm);
    if (!plausible(travel, step + tolerance)) return true;

    if (sub & kSubStateMissedHold) {
        if (travel >= expected + tolerance) {
            console_.post(kMsgDepthReading, reading_, expected);
        } else {
            changeState(state, makeState(stateCode(state), sub & ~kSubStateMissedHold));
            console_.post(kMsgProbesBack, 0, 0);
            if (info_.cacheMode != 1) link_.SetLEDStatus(1);
            previousTravel_ = travel;
        }
        return true;
    }
    if (sub != 0) return true;

    const int32_t last = lastLevelIndex(info_);
    if (!endReached && levels_ > 0 && levels_ - 1 >= last) {
        reachEnd(state);  // a change of state the console overtook last time
        return true;
    }

    bool lowered = false;
    while (levels_ > 1 && travel <= levelCm(levels_ - 2, stepMm)) {
        stepBack();
        setLevels(levels_ - 1);
        console_.post(kMsgPointsRemoved, 0, 0);
        lowered = true;
    }
    if (lowered || travel < expected - tolerance) {
        previousTravel_ = travel;
        return true;
    }

    int32_t reached = levels_;
    while (reached < last && reached <= levels_ + 1 && travel >= levelCm(reached + 1, stepMm) - tolerance)
        ++reached;
    if (travel - previousTravel_ > step + tolerance || reached > levels_ + 1) {
        applyMissedPointRule(state);
        return true;
    }
    // The service thread is behind: the level is taken at a later cycle rather than over one
    // that is not on disk yet (a probe that passes a level meanwhile has it filled or missed as
    // usual; the reading counts as seen).
    if (!ringFree(reached)) {
        previousTravel_ = travel;
        return true;
    }
    if (takeFrame(info_.cacheMode == 1) == Result::Failed) return false;
    {
        auto ring = lockRing();
        storeLevel(levels_);
    }
    process();
    if (reached > levels_) {
        auto ring = lockRing();
        copyLevel(levels_ + 1);  // with the picks just made
    }
    setLevels(reached + 1);
    console_.post(kMsgFrameReady, 1, 0);
    previousTravel_ = travel;
    if (!endReached && levels_ - 1 >= last) reachEnd(state);
    return true;
}

void AcquisitionWorker::handleEnd() {
    if (endPosted_) return;
    endPosted_ = true;
    endStamp = endStampNow();
    if (continueAfterEnd) {
        console_.post(kMsgTestEnd, 0, 0);
    } else {
        console_.post(kMsgTestEnd, 1, 0);
        testRunning = false;
    }
}

}  // namespace lx9
