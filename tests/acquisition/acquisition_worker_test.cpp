// The acquisition worker against a scripted instrument: whole runs of the state machine in both
// acquisition modes, the level bookkeeping at its edges, failures and the stop.
#include "acquisition/acquisition_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "acquisition/messages.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "test_support.h"

namespace lx9 {
namespace {

using namespace std::chrono_literals;
using test::RecordingSink;
using test::resetSharedFlags;
using test::ScriptedLink;

constexpr int kLength = 16;

// Rising readings from `from` to `to` cm by `by` per cycle.
std::vector<int> rise(int from, int to, int by) {
    std::vector<int> r;
    for (int t = from; t <= to; t += by)
        r.push_back(t);
    return r;
}

std::vector<uint32_t> withoutLiftSpeed(const std::vector<uint32_t>& ids) {
    std::vector<uint32_t> r;
    std::copy_if(ids.begin(), ids.end(), std::back_inserter(r),
                 [](uint32_t id) { return id != kMsgLiftSpeed; });
    return r;
}

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetSharedFlags();
        info = test::smallTest(kLength, 100, 1.0f);  // levels 0..10, 10 cm apart
        test::makeLists(lists, kLength);
        state = makeState(kStateIdle);
        levelCount = expectedLevelCount(info);
    }
    void TearDown() override {
        if (worker) {
            EXPECT_TRUE(worker->stop());
        }
        resetSharedFlags();
    }

    WorkerOptions options() {
        WorkerOptions o;
        o.info = SharedInfo{info, infoLock};
        o.lists = &lists;
        o.state = &state;
        o.levelCount = &levelCount;
        o.processCurrentPoints = test::fakeProcess;
        o.buildSet1 = [](const CInfo&) { return _Ctrl_SET1_INFO_DLL{}; };
        o.buildSet2 = [](const CInfo&) { return _Ctrl_SET2_INFO_DLL{}; };
        o.buildJobText = [](const CInfo&) { return std::array<uint8_t, kJobTextBlockSize>{}; };
        o.timing = test::fastTiming();
        return o;
    }

    void startWorker() {
        worker = std::make_unique<AcquisitionWorker>(link, sink, options());
        ASSERT_TRUE(worker->start());
    }

    // The operator: after `freeFrames` frames of free sampling, start recording and let the
    // probes follow `readings`.
    void recordAfterFreeSampling(int freeFrames, std::vector<int> readings) {
        // The sink copies its hook for every message: the count lives outside it.
        auto seen = std::make_shared<int>(0);
        sink.setHook([this, freeFrames, readings, seen](const Message& m) {
            if (m.id == kMsgFrameReady && stateCode(state.load()) == kStateFreeSampling &&
                ++*seen == freeFrames) {
                link.setReadings(readings);
                state = makeState(kStateRecordStart);
            }
        });
        state = makeState(kStateFreeSampling);
        startWorker();
    }

    // Waveform and depth of every point of list k.
    std::vector<std::pair<float, std::vector<uint16_t>>> points(int k) {
        std::vector<std::pair<float, std::vector<uint16_t>>> r;
        auto g = lists[k]->lock();
        for (SamplePoint* p = lists[k]->first; p; p = p->next)
            r.emplace_back(p->depth, std::vector<uint16_t>(p->samples.begin(), p->samples.end()));
        return r;
    }

    static std::vector<uint16_t> slotOf(const std::vector<uint16_t>& frame, int slot) {
        return {frame.begin() + slot * kLength, frame.begin() + (slot + 1) * kLength};
    }

    CInfo info;
    std::mutex infoLock;
    OwnedSectionLists lists;
    std::atomic<uint32_t> state{0};
    std::atomic<int32_t> levelCount{0};
    RecordingSink sink;
    ScriptedLink link{kLength};
    std::unique_ptr<AcquisitionWorker> worker;
};

TEST_F(WorkerTest, WholeRunInModeOneStoresEachLevelOnceFromItsFrameAndEnds) {
    recordAfterFreeSampling(3, rise(0, 120, 3));
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd));
    ASSERT_TRUE(worker->waitEnded(2s));
    EXPECT_FALSE(testRunning);
    EXPECT_TRUE(endReached);
    EXPECT_EQ(state.load(), makeState(kStateEndContinuous));

    // 3 frames of free sampling, the first level, then one frame per step up to level 10.
    const auto frames = link.frames();
    ASSERT_EQ(frames.size(), 14u);
    for (int k = 0; k < kMaxSections; ++k) {
        const auto stored = points(k);
        ASSERT_EQ(stored.size(), 11u) << "section " << k;
        for (int level = 0; level <= 10; ++level) {
            EXPECT_FLOAT_EQ(stored[level].first, static_cast<float>(1.0 - 0.1 * level))
                << "section " << k << " level " << level;
            EXPECT_EQ(stored[level].second, slotOf(frames[3 + level], k))
                << "section " << k << " level " << level;
        }
        auto g = lists[k]->lock();
        for (SamplePoint* p = lists[k]->first; p; p = p->next)
            EXPECT_GE(p->tIndex, 0);  // every point processed
    }

    std::vector<uint32_t> expected(14, kMsgFrameReady);
    expected.push_back(kMsgLastLevelStored);
    expected.push_back(kMsgTestEnd);
    EXPECT_EQ(withoutLiftSpeed(sink.ids()), expected);
    std::vector<Message> ends;
    for (const Message& m : sink.messages())
        if (m.id == kMsgLastLevelStored || m.id == kMsgTestEnd) ends.push_back(m);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[0].wParam, 1u);
    EXPECT_EQ(ends[0].lParam, endStamp.load());
    EXPECT_EQ(ends[1].wParam, 1u);  // the worker has stopped
    EXPECT_EQ(ends[1].lParam, 0);
    EXPECT_EQ(link.callCount("SetLeakInfo"), 0);
}

TEST_F(WorkerTest, LiftSpeedIsPostedEveryCycleWithThreeHundred) {
    link.setReadings({0}, 42);
    state = makeState(kStateIdle);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgLiftSpeed, 5));
    worker->stop();
    for (const Message& m : sink.messages()) {
        ASSERT_EQ(m.id, kMsgLiftSpeed);
        EXPECT_EQ(m.wParam, 42u);
        EXPECT_EQ(m.lParam, 300);
    }
    // The record-height command goes once at the start, its result ignored.
    EXPECT_EQ(link.calls().front(), "StartRecordHeight");
}

TEST_F(WorkerTest, FreeSamplingReplacesTheCurrentPointAtTheReadingsDepth) {
    link.setReadings({0, 12, 27});
    state = makeState(kStateFreeSampling);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgFrameReady, 3));
    worker->stop();
    const auto frames = link.frames();
    for (int k = 0; k < kMaxSections; ++k) {
        auto g = lists[k]->lock();
        ASSERT_EQ(lists[k]->count, 1);
        EXPECT_EQ(lists[k]->current->samples, slotOf(frames.back(), k));
    }
    auto g = lists[0]->lock();
    EXPECT_FLOAT_EQ(lists[0]->current->depth, 1.0f - 0.27f);
}

TEST_F(WorkerTest, FreeSamplingLeavesTheListsAloneWhileTheyAreRebuilt) {
    listsReady = false;
    state = makeState(kStateFreeSampling);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgLiftSpeed, 4));
    worker->stop();
    EXPECT_GE(link.frames().size(), 3u);  // frames are still taken
    EXPECT_EQ(sink.count(kMsgFrameReady), 0);
    auto g = lists[0]->lock();
    EXPECT_EQ(lists[0]->count, 0);
}

TEST_F(WorkerTest, LoweringRemovesLevelsOneMessageEachAndTheyAreRecordedAgain) {
    std::vector<int> readings = rise(0, 51, 3);  // levels 0..5 stored
    for (int t : {45, 38, 30})
        readings.push_back(t);  // down to level 3's travel
    auto up = rise(33, 120, 3);
    readings.insert(readings.end(), up.begin(), up.end());
    recordAfterFreeSampling(1, readings);
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd));

    EXPECT_EQ(sink.count(kMsgPointsRemoved), 2);  // levels 5 and 4
    EXPECT_EQ(sink.count(kMsgMissedPoints), 0);
    const auto frames = link.frames();
    for (int k = 0; k < kMaxSections; ++k) {
        const auto stored = points(k);
        ASSERT_EQ(stored.size(), 11u);
        for (int level = 0; level <= 10; ++level)
            EXPECT_FLOAT_EQ(stored[level].first, static_cast<float>(1.0 - 0.1 * level));
        // Levels 4 and 5 hold their second frames: 1 free + 6 first-pass frames came before.
        EXPECT_EQ(stored[4].second, slotOf(frames[7], k));
        EXPECT_EQ(stored[5].second, slotOf(frames[8], k));
    }
    // Each removal is reported after the frame of the level it removes and before the level is
    // recorded again.
    auto ids = withoutLiftSpeed(sink.ids());
    auto removal = std::find(ids.begin(), ids.end(), kMsgPointsRemoved);
    ASSERT_EQ(std::distance(ids.begin(), removal), 7);
}

TEST_F(WorkerTest, AJumpOfMoreThanAStepAndAHalfHoldsForTheMissedPoints) {
    std::vector<int> readings = rise(0, 21, 3);  // levels 0..2
    for (int t : {60, 60, 60, 50, 40, 34, 34})
        readings.push_back(t);
    auto up = rise(37, 120, 3);
    readings.insert(readings.end(), up.begin(), up.end());
    recordAfterFreeSampling(1, readings);
    ASSERT_TRUE(sink.waitFor(kMsgProbesBack));
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd));

    const auto messages = sink.messages();
    std::vector<Message> notices;
    std::copy_if(messages.begin(), messages.end(), std::back_inserter(notices), [](const Message& m) {
        return m.id == kMsgMissedPoints || m.id == kMsgDepthReading || m.id == kMsgProbesBack;
    });
    // +95 with the reading and the expected level (30 cm), +90 while the probes stay at or
    // above 35 cm (60, 50, 40), +122 once below.
    ASSERT_EQ(notices.size(), 5u);
    EXPECT_EQ(notices[0].id, kMsgMissedPoints);
    EXPECT_EQ(notices[0].wParam, 60u);
    EXPECT_EQ(notices[0].lParam, 30);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(notices[i].id, kMsgDepthReading);
        EXPECT_EQ(notices[i].lParam, 30);
    }
    EXPECT_EQ(notices[1].wParam, 60u);
    EXPECT_EQ(notices[3].wParam, 40u);
    EXPECT_EQ(notices[4].id, kMsgProbesBack);

    const auto calls = link.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetLeakInfo"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetLEDStatus(1)"), 1);
    for (int k = 0; k < kMaxSections; ++k)
        ASSERT_EQ(points(k).size(), 11u);
}

TEST_F(WorkerTest, ReleasingTheHoldTakesNoFrameInThatCycle) {
    std::vector<int> readings = rise(0, 21, 3);
    for (int t : {60, 60, 20})
        readings.push_back(t);  // the hold, then well below the expected level
    recordAfterFreeSampling(1, readings);
    ASSERT_TRUE(sink.waitFor(kMsgProbesBack));
    ASSERT_TRUE(sink.waitFor(kMsgLiftSpeed, sink.count(kMsgLiftSpeed) + 3));
    worker->stop();
    EXPECT_EQ(state.load(), makeState(kStateRecordContinuous));
    EXPECT_EQ(points(0).size(), 3u);  // levels 0..2, nothing more while the probes stay at 20 cm
}

// A late reply of the link can hand the worker an old reading: one far reading that the next one
// does not confirm changes nothing, neither downwards (no level removed) nor upwards (no hold).
TEST_F(WorkerTest, AStrayReadingIsIgnoredUnlessTheNextOneConfirmsIt) {
    std::vector<int> readings = rise(0, 51, 3);  // levels 0..5
    readings.push_back(10);                      // an old reading
    readings.push_back(52);
    readings.push_back(200);  // and one from nowhere
    auto up = rise(53, 120, 3);
    readings.insert(readings.end(), up.begin(), up.end());
    recordAfterFreeSampling(1, readings);
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd));
    EXPECT_EQ(sink.count(kMsgPointsRemoved), 0);
    EXPECT_EQ(sink.count(kMsgMissedPoints), 0);
    for (int k = 0; k < kMaxSections; ++k)
        EXPECT_EQ(points(k).size(), 11u);
}

// A 10 mm step (no tolerance) with the probes rising 2 cm per cycle: no two readings are ever
// close, yet the rise goes on. The hold comes with the first level skipped, not when the probes
// stop at 60 cm; a single far reading that the next one does not follow is still dropped.
TEST_F(WorkerTest, AContinuingFastRiseHoldsAtTheFirstSkippedLevel) {
    info.stepMm = 10;
    levelCount = expectedLevelCount(info);
    std::vector<int> readings = {0, 1};  // levels 0 and 1
    readings.push_back(40);              // a stray reply, not followed
    auto up = rise(1, 60, 2);            // then 2 cm per cycle up to 61 cm, where the probes stop
    readings.insert(readings.end(), up.begin(), up.end());
    for (int i = 0; i < 20; ++i)
        readings.push_back(61);
    recordAfterFreeSampling(1, readings);
    ASSERT_TRUE(sink.waitFor(kMsgMissedPoints));
    worker->stop();
    const auto messages = sink.messages();
    const auto missed = std::find_if(messages.begin(), messages.end(),
                                     [](const Message& m) { return m.id == kMsgMissedPoints; });
    // 1 cm (level 1, accepted), 3 cm: a far reading, 5 cm goes on the same way: the hold, with
    // level 2 (2 cm) expected.
    EXPECT_EQ(missed->wParam, 5u);
    EXPECT_EQ(missed->lParam, 2);
    EXPECT_EQ(points(0).size(), 2u);
    EXPECT_EQ(state.load(), makeState(kStateRecordContinuous, kSubStateMissedHold));
}

// The console enables its buttons by the state it finds when a message arrives: the worker's own
// change of state comes before the message that reports it (the first level, the probes back).
TEST_F(WorkerTest, TheStateChangesBeforeTheMessageThatReportsIt) {
    struct Seen {
        std::mutex lock;
        std::vector<std::pair<uint32_t, uint32_t>> posts;  // id, state when posted
    };
    auto seen = std::make_shared<Seen>();
    std::vector<int> readings = rise(0, 21, 3);
    for (int t : {60, 60, 20})
        readings.push_back(t);
    sink.setHook([this, seen, readings](const Message& m) {
        std::lock_guard<std::mutex> g(seen->lock);
        seen->posts.emplace_back(m.id, state.load());
        if (m.id == kMsgFrameReady && stateCode(state.load()) == kStateFreeSampling) {
            link.setReadings(readings);
            state = makeState(kStateRecordStart);
        }
    });
    state = makeState(kStateFreeSampling);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgProbesBack));
    worker->stop();
    std::lock_guard<std::mutex> g(seen->lock);
    std::vector<uint32_t> atFrame, atBack;
    for (const auto& [id, at] : seen->posts) {
        if (id == kMsgFrameReady && stateCode(at) != kStateFreeSampling) atFrame.push_back(at);
        if (id == kMsgProbesBack) atBack.push_back(at);
    }
    ASSERT_GE(atFrame.size(), 1u);
    EXPECT_EQ(atFrame.front(), makeState(kStateRecordContinuous));                // not 0xF700 any more
    EXPECT_EQ(atBack, std::vector<uint32_t>{makeState(kStateRecordContinuous)});  // the hold is over
}

TEST_F(WorkerTest, FixedPointFiringUsesItsOwnStateCodes) {
    info.continuousFiring = false;
    std::vector<int> readings = rise(0, 21, 3);
    readings.push_back(60);
    recordAfterFreeSampling(1, readings);
    ASSERT_TRUE(sink.waitFor(kMsgMissedPoints));
    worker->stop();
    EXPECT_EQ(state.load(), makeState(kStateRecordFixed, kSubStateMissedHold));
}

TEST_F(WorkerTest, PassingTwoLevelsAtOnceFillsTheSecondWithACopy) {
    std::vector<int> readings = rise(0, 21, 3);  // levels 0..2; level 3 expected at 25 cm
    readings.push_back(36);                      // 15 cm: passes levels 3 and 4 (35 cm)
    auto up = rise(39, 120, 3);
    readings.insert(readings.end(), up.begin(), up.end());
    recordAfterFreeSampling(1, readings);
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd));
    EXPECT_EQ(sink.count(kMsgMissedPoints), 0);

    for (int k = 0; k < kMaxSections; ++k) {
        const auto stored = points(k);
        ASSERT_EQ(stored.size(), 11u);
        EXPECT_EQ(stored[4].second, stored[3].second);
        EXPECT_FLOAT_EQ(stored[4].first, 0.6f);
        auto g = lists[k]->lock();
        const SamplePoint* p3 = lists[k]->point(3);
        const SamplePoint* p4 = lists[k]->point(4);
        EXPECT_EQ(p4->tIndex, p3->tIndex);
        EXPECT_EQ(p4->velocity, p3->velocity);
    }
    // One frame for the two levels: 1 free + 11 levels - 1 copied.
    EXPECT_EQ(link.frames().size(), 11u);
}

TEST_F(WorkerTest, AProbeAboveTheFirstStepWhenRecordingStartsTakesAFrameAndHolds) {
    info.stepMm = 10;  // 1 cm steps, no tolerance
    levelCount = expectedLevelCount(info);
    link.setReadings({5});
    state = makeState(kStateRecordStart);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgMissedPoints));
    worker->stop();
    EXPECT_EQ(sink.count(kMsgFrameReady), 1);
    EXPECT_EQ(points(0).size(), 1u);
    const auto messages = sink.messages();
    auto it = std::find_if(messages.begin(), messages.end(),
                           [](const Message& m) { return m.id == kMsgMissedPoints; });
    EXPECT_EQ(it->wParam, 5u);
    EXPECT_EQ(it->lParam, 1);  // one step
    EXPECT_EQ(stateCode(state.load()), kStateRecordContinuous);
}

TEST_F(WorkerTest, ContinueAfterEndKeepsTheWorkerRunningAndPostsZero) {
    sink.setHook([](const Message& m) {
        if (m.id == kMsgLastLevelStored) continueAfterEnd = true;  // the console's "return" answer
    });
    link.setReadings(rise(0, 120, 3));
    state = makeState(kStateRecordStart);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd));
    ASSERT_TRUE(sink.waitFor(kMsgLiftSpeed, sink.count(kMsgLiftSpeed) + 2));
    EXPECT_TRUE(worker->running());
    EXPECT_TRUE(testRunning);
    EXPECT_EQ(sink.count(kMsgTestEnd), 1);  // once, not every cycle of the end state
    const auto messages = sink.messages();
    auto it =
        std::find_if(messages.begin(), messages.end(), [](const Message& m) { return m.id == kMsgTestEnd; });
    EXPECT_EQ(it->wParam, 0u);
}

TEST_F(WorkerTest, DepthDisplayStatePostsTheReading) {
    link.setReadings({77});
    state = makeState(kStateLiveDepth);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgDepthReading, 2));
    worker->stop();
    for (const Message& m : sink.messages()) {
        if (m.id != kMsgDepthReading) continue;
        EXPECT_EQ(m.wParam, 0u);
        EXPECT_EQ(m.lParam, 77);
    }
    EXPECT_EQ(link.frames().size(), 0u);
}

TEST_F(WorkerTest, PausedRecordingPollsDepthButTakesNoFrame) {
    link.setReadings(rise(0, 120, 3));
    state = makeState(kStateRecordContinuous, kSubStatePaused);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgLiftSpeed, 5));
    worker->stop();
    EXPECT_EQ(link.frames().size(), 0u);
    EXPECT_EQ(sink.count(kMsgFrameReady), 0);
}

TEST_F(WorkerTest, PauseFlagSkipsTheMeasuringPart) {
    pauseWorker = true;
    state = makeState(kStateFreeSampling);
    startWorker();
    std::this_thread::sleep_for(60ms);
    worker->stop();
    EXPECT_EQ(link.callCount("GetSampleHeight"), 0);
    EXPECT_EQ(sink.messages().size(), 0u);
    EXPECT_FALSE(pauseWorker);  // stopping clears it
}

TEST_F(WorkerTest, AFailingStepIsAbandonedAndFiveFailuresPostTheNoticeOnce) {
    link.failAlways("GetSampleHeight", true);
    state = makeState(kStateFreeSampling);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgCommFailure));
    // Many more failed cycles: still one notice, and nothing else reaches the console.
    const int reads = link.callCount("GetSampleHeight");
    while (link.callCount("GetSampleHeight") < reads + 100)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(sink.count(kMsgCommFailure), 1);
    EXPECT_EQ(sink.count(kMsgLiftSpeed), 0);
    EXPECT_EQ(link.frames().size(), 0u);

    link.failAlways("GetSampleHeight", false);
    ASSERT_TRUE(sink.waitFor(kMsgCommRestored));
    ASSERT_TRUE(sink.waitFor(kMsgFrameReady, 3));
    worker->stop();
    EXPECT_EQ(sink.count(kMsgCommFailure), 1);
    EXPECT_EQ(sink.count(kMsgCommRestored), 1);
    auto ids = sink.ids();
    auto failure = std::find(ids.begin(), ids.end(), kMsgCommFailure);
    auto restored = std::find(ids.begin(), ids.end(), kMsgCommRestored);
    EXPECT_LT(failure, restored);
    EXPECT_EQ(std::find(ids.begin(), ids.end(), kMsgLiftSpeed) - ids.begin(), 1);  // first good cycle
}

// With no time to retry, each failed step is one call: four in a row post nothing, the fifth posts
// the notice (at the next cycle), and the next whole cycle ends it.
TEST_F(WorkerTest, TheNoticeComesWithTheFifthFailedStepNotTheFourth) {
    WorkerOptions o = options();
    o.timing.retryLimit = std::chrono::milliseconds(0);
    link.failNext("GetSampleHeight", 4);
    state = makeState(kStateFreeSampling);
    worker = std::make_unique<AcquisitionWorker>(link, sink, o);
    ASSERT_TRUE(worker->start());
    ASSERT_TRUE(sink.waitFor(kMsgFrameReady, 2));
    EXPECT_EQ(sink.count(kMsgCommFailure), 0);

    link.failNext("GetSampleHeight", 5);
    ASSERT_TRUE(sink.waitFor(kMsgCommRestored));
    worker->stop();
    EXPECT_EQ(sink.count(kMsgCommFailure), 1);
    EXPECT_EQ(sink.count(kMsgCommRestored), 1);
}

TEST_F(WorkerTest, BatteryIsReadOnTheFirstTwoCyclesThenRarely) {
    link.setBattery(7);
    state = makeState(kStateIdle);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgLiftSpeed, 40));
    worker->stop();
    EXPECT_EQ(link.callCount("GetBatteryQuantity"), 2);
    EXPECT_EQ(batteryLevel, 7);
}

TEST_F(WorkerTest, AFailedBatteryReadKeepsThePreviousLevel) {
    batteryLevel = 4;
    link.failAlways("GetBatteryQuantity", true);
    state = makeState(kStateIdle);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgLiftSpeed, 10));
    worker->stop();
    EXPECT_EQ(batteryLevel, 4);
}

TEST_F(WorkerTest, ModeTwoSendsEveryParameterBeforeTheFirstFrame) {
    info.cacheMode = 1;
    holdForParameters = true;
    link.failNext("SetPara2", 2);
    state = makeState(kStateFreeSampling);
    startWorker();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(link.calls(), std::vector<std::string>{"StartRecordHeight"});  // holding: nothing sent
    EXPECT_TRUE(pendingSet1 && pendingSet2 && pendingSet3 && pendingHeight && pendingCode);
    pendingSampleOn = true;  // recovery: resume the instrument's test
    holdForParameters = false;
    ASSERT_TRUE(sink.waitFor(kMsgFrameReady, 2));
    worker->stop();

    const auto calls = link.calls();
    auto at = [&](const std::string& c) { return std::find(calls.begin(), calls.end(), c) - calls.begin(); };
    const auto firstFrame = at("ReadData(0)");
    for (const char* c :
         {"SetPara1", "SetPara2", "SetPara3(254)", "SetHeight(100,100)", "Set", "SetSample(1)"})
        EXPECT_LT(at(c), firstFrame) << c;
    EXPECT_LT(at("SetPara1"), at("SetPara3(254)"));
    EXPECT_LT(at("SetPara3(254)"), at("SetHeight(100,100)"));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetPara2"), 3);  // two refusals, then through
    EXPECT_EQ(link.callCount("GetSampleHeight"), 0);
    EXPECT_EQ(link.callCount("StartSample"), 0);
    EXPECT_FALSE(pendingSampleOn);
    for (uint16_t key : link.heightKeys())
        EXPECT_EQ(key, 0);
}

TEST_F(WorkerTest, ModeTwoRecordsByKeyedRecords) {
    info.cacheMode = 1;
    pendingSet1 = pendingSet2 = pendingSet3 = pendingHeight = true;
    link.setReadings(rise(0, 120, 3));
    state = makeState(kStateRecordStart);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd));
    std::vector<std::string> reads;
    for (const auto& c : link.calls())
        if (c.rfind("ReadData", 0) == 0) reads.push_back(c);
    std::vector<std::string> expected;
    for (int level = 0; level <= 10; ++level)
        expected.push_back("ReadData(" + std::to_string(level * 10) + ")");
    EXPECT_EQ(reads, expected);
    EXPECT_EQ(link.callCount("SetLeakInfo"), 0);
    for (int k = 0; k < kMaxSections; ++k)
        EXPECT_EQ(points(k).size(), 11u);
}

TEST_F(WorkerTest, ModeTwoKeepsRetryingARefusedParameterAndTakesNoFrame) {
    info.cacheMode = 1;
    pendingSet1 = pendingSet2 = pendingSet3 = pendingHeight = true;
    link.failAlways("SetHeight", true);
    state = makeState(kStateFreeSampling);
    startWorker();
    while (link.callCount("SetHeight") < 10)
        std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(sink.waitFor(kMsgCommFailure));
    worker->stop();
    EXPECT_EQ(link.frames().size(), 0u);
    EXPECT_EQ(link.callCount("SetPara1"), 1);  // sent once; only the refused one repeats
}

TEST_F(WorkerTest, ModeOneSendsTheRecordHeightWhenAsked) {
    pendingRecordHeight = true;  // cleared at the worker's start
    state = makeState(kStateIdle);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgLiftSpeed, 2));
    pendingRecordHeight = true;
    ASSERT_TRUE(sink.waitFor(kMsgLiftSpeed, sink.count(kMsgLiftSpeed) + 2));
    worker->stop();
    EXPECT_EQ(link.callCount("StartRecordHeight"), 2);  // the start's, and the one asked for
    EXPECT_FALSE(pendingRecordHeight);
}

TEST_F(WorkerTest, ThreeChannelsTakeTheirPairSlotsInSectionOrder) {
    info.channels[2].enabled = false;  // CH1, CH2, CH4: pairs 1-2, 1-4, 2-4
    info.sectionCount = 3;
    link.setReadings({0});
    state = makeState(kStateFreeSampling);
    startWorker();
    ASSERT_TRUE(sink.waitFor(kMsgFrameReady));
    worker->stop();
    const auto frame = link.frames().back();  // the last frame taken is the one stored
    const int slots[] = {0, 2, 4};
    for (int k = 0; k < 3; ++k) {
        auto g = lists[k]->lock();
        EXPECT_EQ(lists[k]->current->samples, slotOf(frame, slots[k]));
    }
    auto g = lists[3]->lock();
    EXPECT_EQ(lists[3]->count, 0);  // sections not in use stay empty
}

// A link whose depth read takes its time, like an exchange waiting for its reply.
class SlowLink : public ScriptedLink {
  public:
    using ScriptedLink::ScriptedLink;
    uint8_t GetSampleHeight(uint16_t* d, uint16_t* s) override {
        std::this_thread::sleep_for(300ms);
        return ScriptedLink::GetSampleHeight(d, s);
    }
};

TEST_F(WorkerTest, StopWaitsForTheExchangeInFlightAndOnlyOneWorkerRuns) {
    SlowLink slow(kLength);
    state = makeState(kStateFreeSampling);
    AcquisitionWorker first(slow, sink, options());
    ASSERT_TRUE(first.start());
    EXPECT_FALSE(first.start());
    AcquisitionWorker second(link, sink, options());
    EXPECT_FALSE(second.start());  // the link has one caller at a time
    std::this_thread::sleep_for(50ms);
    const auto begun = std::chrono::steady_clock::now();
    EXPECT_TRUE(first.stop());
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 1s);
    EXPECT_FALSE(first.running());
    EXPECT_TRUE(second.start());
    EXPECT_TRUE(second.stop());
    EXPECT_TRUE(first.start());  // a stopped worker can start again
    EXPECT_TRUE(first.stop());
}

TEST_F(WorkerTest, StopEndsTheOneSecondSleepOfTheEndState) {
    WorkerOptions o = options();
    o.timing.endSleep = 1000ms;
    // The start clears the flag; set it as "return to the test" would, before the end is handled.
    sink.setHook([](const Message& m) {
        if (m.id == kMsgLiftSpeed) continueAfterEnd = true;
    });
    state = makeState(kStateEndContinuous);
    worker = std::make_unique<AcquisitionWorker>(link, sink, o);
    ASSERT_TRUE(worker->start());
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd, 1));
    std::this_thread::sleep_for(20ms);
    const auto begun = std::chrono::steady_clock::now();
    EXPECT_TRUE(worker->stop());
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 500ms);
}

}  // namespace
}  // namespace lx9
