// The console's resample reaching the worker: after missed points, recording goes on from the
// level asked for; the levels in between are kept as unmeasured points at their depths.
#include <gtest/gtest.h>

#include <algorithm>

#include "acquisition/acquisition_worker.h"
#include "acquisition/messages.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "test_support.h"

namespace lx9 {
namespace {

constexpr int kLength = 16;

std::vector<int> rise(int from, int to, int by) {
    std::vector<int> r;
    for (int t = from; t <= to; t += by)
        r.push_back(t);
    return r;
}

struct Point {
    float depth;
    bool flat;
    int32_t tIndex;
};

// A worker in free sampling over a scripted link, with its own record, lists and state word.
class WorkerResample : public ::testing::Test {
  protected:
    WorkerResample() {
        test::resetSharedFlags();
        test::makeLists(lists, kLength);
    }
    WorkerOptions options() {
        WorkerOptions o;
        o.info = SharedInfo{info, infoLock};
        o.lists = &lists;
        o.state = &state;
        o.levelCount = &levelCount;
        o.processCurrentPoints = test::fakeProcess;
        o.timing = test::fastTiming();
        return o;
    }

    CInfo info = test::smallTest(kLength, 100, 1.0f);  // levels 0..10, 10 cm apart
    std::mutex infoLock;
    OwnedSectionLists lists;
    std::atomic<uint32_t> state{makeState(kStateFreeSampling)};
    std::atomic<int32_t> levelCount{expectedLevelCount(info)};
    test::ScriptedLink link{kLength};
    test::RecordingSink sink;
};

TEST_F(WorkerResample, RecordingGoesOnFromTheLevelAskedFor) {
    AcquisitionWorker worker(link, sink, options());

    // Levels 0..2, then a jump to 60 cm (expected: 30): the console resamples from level 6.
    std::vector<int> readings = rise(0, 21, 3);
    for (int t : {60, 60})
        readings.push_back(t);
    const auto up = rise(61, 110, 3);
    readings.insert(readings.end(), up.begin(), up.end());
    auto started = std::make_shared<bool>(false);
    sink.setHook([&, started](const Message& m) {
        if (m.id == kMsgFrameReady && !*started && stateCode(state.load()) == kStateFreeSampling) {
            *started = true;
            link.setReadings(readings);
            state = makeState(kStateRecordStart);
        }
        if (m.id == kMsgMissedPoints) {
            worker.requestLevel(6);
            worker.requestLevel(6);
            state.fetch_and(~kSubStateMissedHold);
        }
    });
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd));
    worker.stop();

    EXPECT_EQ(sink.count(kMsgMissedPoints), 1);
    EXPECT_EQ(sink.count(kMsgProbesBack), 0);
    for (int k = 0; k < kMaxSections; ++k) {
        std::vector<Point> points;
        {
            auto g = lists[k]->lock();
            for (const SamplePoint* p = lists[k]->first; p; p = p->next)
                points.push_back(
                    {p->depth,
                     std::all_of(p->samples.begin(), p->samples.end(), [](uint16_t c) { return c == 2048; }),
                     p->tIndex});
        }
        ASSERT_EQ(points.size(), 11u) << k;
        for (int level = 0; level <= 10; ++level) {
            EXPECT_NEAR(points[level].depth, 1.0f - level * 0.1f, 1e-5) << k << "/" << level;
            const bool skipped = level >= 3 && level <= 5;
            EXPECT_EQ(points[level].flat, skipped) << k << "/" << level;
            if (skipped) {
                EXPECT_EQ(points[level].tIndex, -1) << k << "/" << level;
            }
        }
    }
    EXPECT_EQ(worker.levelsStored(), 11);
    testRunning = false;
}

TEST_F(WorkerResample, ALevelNotAheadOfTheExpectedOneChangesNothing) {
    AcquisitionWorker worker(link, sink, options());
    auto started = std::make_shared<bool>(false);
    sink.setHook([&, started](const Message& m) {
        if (m.id == kMsgFrameReady && !*started && stateCode(state.load()) == kStateFreeSampling) {
            *started = true;
            worker.requestLevel(0);  // behind the first level: ignored
            link.setReadings(rise(0, 110, 3));
            state = makeState(kStateRecordStart);
        }
    });
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd));
    worker.stop();
    auto g = lists[0]->lock();
    EXPECT_EQ(lists[0]->count, 11);
    for (const SamplePoint* p = lists[0]->first; p; p = p->next)
        EXPECT_FALSE(std::all_of(p->samples.begin(), p->samples.end(), [](uint16_t c) { return c == 2048; }));
    testRunning = false;
}

}  // namespace
}  // namespace lx9
