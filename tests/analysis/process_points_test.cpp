#include "analysis/process_points.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "analysis/auto_pick.h"
#include "analysis/first_arrival.h"
#include "analysis/signal_filter.h"
#include "analysis/variance_pick.h"
#include "data/globals.h"
#include "test_traces.h"

namespace lx9 {
namespace {

using testing::burst;
using testing::flat;
using Lists = std::array<std::unique_ptr<CSampleDataList>, kMaxSections>;

CInfo amplitudeSettings() {
    CInfo info;
    info.resetToDefaults();  // dt 1 µs, 512 samples, section delay 100 µs, gain 80, spacing 340 mm
    info.pickMethod = std::string(kPickAmplitude);
    info.amplitudeThreshold = 100;
    info.digitalFilter = false;
    return info;
}

std::vector<uint16_t> stepAt(int index, int n = 512, uint16_t high = 2548) {
    std::vector<uint16_t> s = flat(n);
    for (int k = index; k < n; ++k)
        s[k] = high;
    return s;
}

Lists listsWith(int count, int length = 512) {
    Lists lists;
    for (int i = 0; i < count; ++i)
        lists[i] = std::make_unique<CSampleDataList>(length, i);
    return lists;
}

TEST(ProcessCurrentPoints, StoresPickCopiesAndMetrics) {
    const CInfo info = amplitudeSettings();
    Lists lists = listsWith(1);
    const std::vector<uint16_t> s = stepAt(99);
    ASSERT_TRUE(lists[0]->append(s.data(), 12.5f));
    ProcessCurrentPoints(info, lists);

    auto guard = lists[0]->lock();
    const SamplePoint& p = *lists[0]->current;
    EXPECT_EQ(p.tIndex, 99);
    EXPECT_EQ(p.ampIndex, 100);
    EXPECT_EQ(p.threshold, 100.0f);
    EXPECT_EQ(p.gain, 80.0f);
    EXPECT_EQ(p.delay, 100.0f);
    EXPECT_FLOAT_EQ(p.velocity, 340.0f / 200.0f * 1e6f);  // T = (99 + 1)·1 + 100 µs
    // 500 codes at gain 80: 500·2·2⁻¹¹ V / 80 = 6.1035 mV, divided by 0.732.
    EXPECT_FLOAT_EQ(p.amplitude, static_cast<float>(6.103515625 / 0.732));
    EXPECT_EQ(p.samples, s);  // the digital filter is off
    EXPECT_EQ(p.depth, 12.5f);
}

TEST(ProcessCurrentPoints, ConditionsInPlaceWhenTheFilterIsOn) {
    CInfo info = amplitudeSettings();
    info.digitalFilter = true;
    Lists lists = listsWith(1);
    const std::vector<uint16_t> s = burst({.n = 512, .onset = 150, .frequency = 40000, .noise = 10});
    ASSERT_TRUE(lists[0]->append(s.data(), 3.0f));
    ProcessCurrentPoints(info, lists);

    std::vector<uint16_t> conditioned = s;
    ConditionWave(conditioned.data(), 512, 1.0, 20000, 60000);
    const ArrivalPick expected = PickByAmplitude(conditioned.data(), 512, 2147);
    auto guard = lists[0]->lock();
    EXPECT_EQ(lists[0]->current->samples, conditioned);
    EXPECT_EQ(lists[0]->current->tIndex, expected.arrival);
    EXPECT_EQ(lists[0]->current->ampIndex, expected.peak);
}

TEST(ProcessCurrentPoints, SectionsSlotsAndCurrentPoints) {
    CInfo info = amplitudeSettings();
    info.sectionCount = 3;
    info.sections[1].spacing = 500;
    info.sections[1].delay = 50;
    info.sections[1].gain = 20;
    Lists lists = listsWith(4);
    lists[2].reset();  // a missing slot is skipped
    const std::vector<uint16_t> early = stepAt(49), late = stepAt(149);
    ASSERT_TRUE(lists[0]->append(early.data(), 1.0f));
    ASSERT_TRUE(lists[1]->append(early.data(), 1.0f));
    ASSERT_TRUE(lists[1]->append(late.data(), 1.05f));  // the new point is the current one
    ASSERT_TRUE(lists[3]->append(early.data(), 1.0f));  // beyond sectionCount
    for (int i : {0, 1, 3}) {
        auto guard = lists[i]->lock();
        for (int k = 0; k < lists[i]->count; ++k)
            lists[i]->point(k)->tIndex = -1;
    }
    ProcessCurrentPoints(info, lists);

    auto g0 = lists[0]->lock();
    EXPECT_EQ(lists[0]->current->tIndex, 49);
    auto g1 = lists[1]->lock();
    EXPECT_EQ(lists[1]->first->tIndex, -1);  // not the current point
    const SamplePoint& p = *lists[1]->current;
    EXPECT_EQ(p.tIndex, 149);
    EXPECT_EQ(p.delay, 50.0f);  // section 1's own settings
    EXPECT_EQ(p.gain, 20.0f);
    EXPECT_FLOAT_EQ(p.velocity, 500.0f / 200.0f * 1e6f);  // (149 + 1) + 50 µs over 500 mm
    auto g3 = lists[3]->lock();
    EXPECT_EQ(lists[3]->current->tIndex, -1);
}

TEST(ProcessCurrentPoints, MethodsByTheirExactText) {
    CInfo info = amplitudeSettings();
    info.sampleInterval = 2.0f;
    const std::vector<uint16_t> s = burst({.n = 512, .onset = 150.3, .frequency = 40000, .dt = 2.0});

    info.pickMethod = std::string(kPickAutomatic);
    std::vector<uint16_t> copy = s;
    PointPick pick = PickWaveform(info, 0, copy, 1.0f);
    const AutoPick times = PickAuto(s.data(), 512, 2.0, 100, 30000);
    EXPECT_EQ(pick.tIndex, static_cast<int>(times.arrivalTime / 2));  // truncate(time / dt)
    EXPECT_EQ(pick.ampIndex, static_cast<int>(times.peakTime / 2));
    EXPECT_EQ(pick.tIndex, 150);

    // Any text other than the amplitude and automatic ones picks by variance; only the exact
    // variance text meets the baseline with the tangent.
    VarianceSettings v;
    v.window = VarianceWindow(info.mainFrequency, 2.0);
    for (const char* method : {"方差判读", "自动判读 ", ""}) {
        info.pickMethod = method;
        v.tangentToBaseline = info.pickMethod == kPickVariance;
        copy = s;
        pick = PickWaveform(info, 0, copy, 1.0f);
        EXPECT_EQ(pick.tIndex, PickByVariance(s.data(), 512, v)) << method;
        EXPECT_EQ(pick.ampIndex, FindPeakAfter(s.data(), 512, pick.tIndex)) << method;
    }
}

TEST(ProcessCurrentPoints, PicksStayInsideShortTraces) {
    CInfo info = amplitudeSettings();
    info.pickMethod = std::string(kPickVariance);
    std::vector<uint16_t> s = flat(100);  // nothing found: 511 would lie beyond the trace
    PointPick pick = PickWaveform(info, 0, s, 1.0f);
    EXPECT_EQ(pick.tIndex, 99);
    EXPECT_EQ(pick.ampIndex, 99);

    // The settings' length bounds the examined samples; a shorter waveform bounds it further.
    EXPECT_EQ(pickLength(info, 1024), 512);
    info.sampleLength = 1024;
    EXPECT_EQ(pickLength(info, 512), 512);
    info.sampleLength = 0;
    EXPECT_EQ(pickLength(info, 300), 300);
}

TEST(ProcessCurrentPoints, WriteBackOnlyToThePointTaken) {
    const CInfo info = amplitudeSettings();
    CSampleDataList list(512, 0);
    const std::vector<uint16_t> a = stepAt(99), b = stepAt(199);
    ASSERT_TRUE(list.append(a.data(), 1.0f));

    std::optional<PointWork> work = TakeCurrentPoint(list);
    ASSERT_TRUE(work);
    work->samples = work->taken;
    work->pick = PickWaveform(info, 0, work->samples, work->depth);
    // Meanwhile the probes were lowered and raised again: a different point is current.
    ASSERT_TRUE(list.removeLast());
    ASSERT_TRUE(list.append(b.data(), 1.0f));
    {
        auto guard = list.lock();
        list.current->tIndex = -1;
    }
    EXPECT_FALSE(StoreCurrentPoint(list, *work));
    {
        auto guard = list.lock();
        EXPECT_EQ(list.current->tIndex, -1);
    }

    work = TakeCurrentPoint(list);
    work->samples = work->taken;
    work->pick = PickWaveform(info, 0, work->samples, work->depth);
    EXPECT_TRUE(StoreCurrentPoint(list, *work));
    auto guard = list.lock();
    EXPECT_EQ(list.current->tIndex, 199);

    CSampleDataList empty(512, 0);
    EXPECT_FALSE(TakeCurrentPoint(empty));
}

TEST(ProcessCurrentPoints, WorkerFormUsesTheSharedRecords) {
    currentInfo = amplitudeSettings();
    currentInfo.sectionCount = 1;
    sectionLists[0] = std::make_unique<CSampleDataList>(512, 0);
    const std::vector<uint16_t> s = stepAt(77);
    ASSERT_TRUE(sectionLists[0]->append(s.data(), 2.0f));
    ProcessCurrentPoints();
    {
        auto guard = sectionLists[0]->lock();
        EXPECT_EQ(sectionLists[0]->current->tIndex, 77);
    }
    sectionLists[0].reset();
    currentInfo = CInfo();
}

TEST(ProcessCurrentPoints, WorkerAndViewsShareTheLists) {
    // The worker appends and picks while a view walks the lists and reads points; run under
    // ThreadSanitizer this proves the lock contract.
    CInfo info = amplitudeSettings();
    info.digitalFilter = true;
    info.pickMethod = std::string(kPickAutomatic);
    info.sectionCount = 2;
    Lists lists = listsWith(2);
    std::atomic<bool> done{false};
    std::thread view([&] {
        long seen = 0;
        while (!done.load()) {
            for (int i = 0; i < 2; ++i) {
                auto guard = lists[i]->lock();
                for (int k = 0; k < lists[i]->count; ++k) {
                    const SamplePoint* p = lists[i]->point(k);
                    if (p && p->tIndex >= 0 && !p->samples.empty()) seen += p->samples[p->tIndex];
                }
            }
        }
        EXPECT_GE(seen, 0);
    });
    for (int level = 0; level < 60; ++level) {
        const std::vector<uint16_t> s =
            burst({.n = 512, .onset = 100.0 + level, .noise = 20, .seed = static_cast<unsigned>(level)});
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(lists[i]->append(s.data(), 20.0f - 0.05f * level));
        ProcessCurrentPoints(info, lists);
        if (level % 10 == 9) {
            for (int i = 0; i < 2; ++i)
                ASSERT_TRUE(lists[i]->removeLast());
        }
    }
    done = true;
    view.join();
    auto guard = lists[0]->lock();
    EXPECT_EQ(lists[0]->count, 54);
    EXPECT_NEAR(lists[0]->current->tIndex, 100 + 59 + 2, 4);  // conditioned: a little later
}

}  // namespace
}  // namespace lx9
