#include "data/sample_data_list.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "data/cinfo.h"
#include "data/globals.h"
#include "data/run_state.h"

namespace lx9 {
namespace {

// point(i) reads the shared state word and level count; each test sets them and restores them.
class SampleDataListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedState_ = testState.load();
        savedLevels_ = maxPointCount.load();
        testState = makeState(kStateRecordContinuous);
        maxPointCount = 401;
    }
    void TearDown() override {
        testState = savedState_;
        maxPointCount = savedLevels_;
    }

    static void fill(CSampleDataList& list, int n) {
        std::vector<uint16_t> wave(list.sampleLength, 2048);
        for (int i = 0; i < n; ++i) {
            wave[0] = static_cast<uint16_t>(i);
            ASSERT_TRUE(list.append(wave.data(), 20.0f - 0.05f * i));
        }
    }

  private:
    uint32_t savedState_ = 0;
    int32_t savedLevels_ = 0;
};

TEST_F(SampleDataListTest, AppendCopiesTheWaveAndMakesThePointCurrent) {
    CSampleDataList list(4);
    EXPECT_FALSE(list.append(nullptr, 1.0f));
    EXPECT_EQ(list.count, 0);

    uint16_t wave[4] = {1, 2, 3, 4};
    ASSERT_TRUE(list.append(wave, 19.5f));
    wave[0] = 99;  // the point owns a private copy
    auto g = list.lock();
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.first, list.current);
    EXPECT_EQ(list.first, list.tail);
    EXPECT_EQ(list.first, list.lastAdded);
    EXPECT_EQ(list.first->samples, (std::vector<uint16_t>{1, 2, 3, 4}));
    EXPECT_EQ(list.first->depth, 19.5f);
    EXPECT_EQ(list.first->tIndex, 0);
}

TEST_F(SampleDataListTest, PlaceholdersAreSilenceAndDoNotMoveCurrent) {
    CSampleDataList list(8);
    ASSERT_TRUE(list.appendPlaceholder());
    {
        auto g = list.lock();
        EXPECT_EQ(list.current, list.first);  // an empty list's placeholder becomes current
        EXPECT_EQ(list.first->samples, std::vector<uint16_t>(8, 2048));
        EXPECT_EQ(list.first->depth, 0.0f);
    }
    fill(list, 1);
    ASSERT_TRUE(list.appendPlaceholder());
    auto g = list.lock();
    EXPECT_EQ(list.placeholderCount, 2);
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(list.current, list.first->next);  // the real point stays current
    EXPECT_EQ(list.lastAdded, list.tail);
}

TEST_F(SampleDataListTest, IndexedAccessRules) {
    CSampleDataList list(2);
    EXPECT_EQ(list.point(0), nullptr);  // empty list
    fill(list, 10);
    auto g = list.lock();
    EXPECT_EQ(list.point(10), nullptr);       // point(count): none
    EXPECT_EQ(list.point(11), list.current);  // beyond count: current
    EXPECT_EQ(list.point(-3), list.first);    // negative: first
    EXPECT_EQ(list.point(0), list.first);
    EXPECT_EQ(list.point(9), list.tail);
    EXPECT_EQ(list.point(4)->samples[0], 4);

    // Outside the file view the index wraps at maxPointCount (real-time windows of 4 here).
    maxPointCount = 4;
    EXPECT_EQ(list.point(6)->samples[0], 2);
    EXPECT_EQ(list.point(8), list.first);  // 8 % 4 == 0
    EXPECT_EQ(list.point(-5), list.first);
    testState = makeState(kStateViewing);
    EXPECT_EQ(list.point(6)->samples[0], 6);
    EXPECT_EQ(list.point(-3), list.first);

    testState = makeState(kStateRecordContinuous);
    maxPointCount = 0;  // nothing expected yet: no wrap, no division by zero
    EXPECT_EQ(list.point(7)->samples[0], 7);
}

TEST_F(SampleDataListTest, RemoveLastStepsBack) {
    CSampleDataList list(2);
    fill(list, 3);
    ASSERT_TRUE(list.removeLast());
    {
        auto g = list.lock();
        EXPECT_EQ(list.count, 2);
        EXPECT_EQ(list.tail->samples[0], 1);
        EXPECT_EQ(list.current, list.tail);
        EXPECT_EQ(list.tail->next, nullptr);
        EXPECT_EQ(list.point(2), nullptr);
    }
    ASSERT_TRUE(list.removeLast());
    ASSERT_TRUE(list.removeLast());
    EXPECT_FALSE(list.removeLast());
    auto g = list.lock();
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.current, nullptr);
    EXPECT_EQ(list.count, 0);
}

TEST_F(SampleDataListTest, AppendAtTheSixteenBitLimitIsRefused) {
    CSampleDataList list(1);
    uint16_t s = 7;
    for (int i = 0; i < 65535; ++i)
        ASSERT_TRUE(list.append(&s, 0.0f));
    SamplePoint* tail = list.tail;
    EXPECT_FALSE(list.append(&s, 0.0f));
    EXPECT_FALSE(list.appendPlaceholder());
    EXPECT_EQ(list.count, 65535);
    EXPECT_EQ(list.tail, tail);
    EXPECT_EQ(list.tail->next, nullptr);
}

TEST_F(SampleDataListTest, DerivedArraysAndGrades) {
    CInfo info;
    info.resetToDefaults();
    info.sampleInterval = 0.5f;
    info.sections[2].spacing = 400;
    CSampleDataList list(4, 2);
    uint16_t wave[4] = {2048, 2048 + 1024, 2048, 2048};
    ASSERT_TRUE(list.append(wave, 20.0f));
    ASSERT_TRUE(list.append(wave, 19.95f));
    ASSERT_TRUE(list.appendPlaceholder());
    auto g = list.lock();
    SamplePoint* a = list.point(0);
    a->tIndex = 199;  // T = 200 * 0.5 + 0 = 100 µs
    a->delay = 0.0f;
    a->gain = 1.0f;
    a->ampIndex = 1;  // V = 1024 * 2 / 2048 / 1 = 1 V: 20 log10(1 / 2.5e-8) = 152.04 dB
    a->amplitudeDb = 77.0f;
    SamplePoint* b = list.point(1);
    b->tIndex = -1;
    b->delay = 0.0f;  // T = 0: no velocity
    list.computeTimes(info);
    list.computeVelocities(info);
    list.copyDb();
    EXPECT_EQ(list.timeArray, (std::vector<float>{100.0f, 0.0f, 0.5f}));
    EXPECT_FLOAT_EQ(list.velocityArray[0], 4.0f);  // 400 mm / 100 µs
    EXPECT_EQ(list.velocityArray[1], 0.0f);
    EXPECT_FLOAT_EQ(list.velocityArray[2], 800.0f);  // placeholder: tIndex 0, T = dt = 0.5 µs
    EXPECT_EQ(list.dbArray, (std::vector<float>{77.0f, 0.0f, 0.0f}));

    list.computeGrades(info, 4.0f, 160.0f);
    EXPECT_EQ(list.gradeArray[0], 2.0f);  // v 4.0 > 0.925 vc: class 1; 152.04 dB in (152, 156]: class 2
    EXPECT_EQ(list.gradeArray[1], 4.0f);  // no velocity and no gain (0 dB): class 4
    EXPECT_EQ(list.criticalVelocity, 4.0f);
    EXPECT_EQ(list.criticalAmplitudeDb, 160.0f);
    EXPECT_EQ(list.current, list.first);
}

TEST(PointGrade, ClassBoundaries) {
    const double vc = 4.0, ac = 100.0;
    EXPECT_EQ(pointGrade(3.5, ac - 9, vc, ac), 3);  // velocity class 2, amplitude class 3
    EXPECT_EQ(pointGrade(3.7, ac, vc, ac), 2);      // 0.925 vc exactly is class 2
    EXPECT_EQ(pointGrade(3.7001, ac, vc, ac), 1);
    EXPECT_EQ(pointGrade(3.4, ac, vc, ac), 3);      // 0.85 vc exactly is class 3
    EXPECT_EQ(pointGrade(3.0, ac, vc, ac), 4);      // 0.75 vc exactly is class 4
    EXPECT_EQ(pointGrade(5.0, ac - 4, vc, ac), 2);  // ac - 4 exactly is class 2
    EXPECT_EQ(pointGrade(5.0, ac - 3.9, vc, ac), 1);
    EXPECT_EQ(pointGrade(5.0, ac - 8, vc, ac), 3);
    EXPECT_EQ(pointGrade(5.0, ac - 12, vc, ac), 4);
    EXPECT_EQ(pointGrade(5.0, ac - 11.9, vc, ac), 3);
}

// The worker appends while a view walks the chain: every walk sees a consistent chain.
TEST_F(SampleDataListTest, ConcurrentAppendAndWalk) {
    CSampleDataList list(16);
    testState = makeState(kStateViewing);  // no wrap while walking by index
    std::atomic<bool> done{false};
    std::thread writer([&] {
        std::vector<uint16_t> wave(16, 2048);
        for (int i = 0; i < 65535; ++i) {
            wave[0] = static_cast<uint16_t>(i);
            ASSERT_TRUE(list.append(wave.data(), static_cast<float>(i)));
        }
        done = true;
    });
    long walks = 0;
    while (!done.load() || walks == 0) {
        {
            auto g = list.lock();
            const int n = list.count;
            // Every 64th pass walks the whole chain; the others check its growing end.
            int seen = 0;
            if (walks % 64 == 0) {
                for (const SamplePoint* p = list.first; p; p = p->next, ++seen) {
                    ASSERT_EQ(p->samples.size(), 16u);
                    ASSERT_EQ(p->samples[0], seen);
                }
                ASSERT_EQ(seen, n);
            }
            int k = n - 1;
            for (const SamplePoint* p = list.tail; p && k >= n - 32; p = p->prev, --k) {
                ASSERT_EQ(p->samples[0], k);
                ASSERT_EQ(list.point(k), p);
            }
        }
        ++walks;
        std::this_thread::yield();
    }
    writer.join();
    EXPECT_EQ(list.count, 65535);
}

// The worker's stores: in-place overwrite of the current point, stores by chain position, copies
// for skipped levels. Each leaves the stored point current with its pick reset.
// A batch links as that many appends would, and the list keeps working one point at a time
// around it: slots of removed points are reused, blocks of both kinds are freed with the list
// (the address-sanitizer build checks every one), and a batch that would overflow is refused.
TEST_F(SampleDataListTest, BatchesLinkLikeAppendsAndMixWithSinglePoints) {
    auto batchOf = [](size_t n, uint16_t firstCode) {
        PointBatch batch(n);
        for (size_t i = 0; i < n; ++i) {
            batch[i].samples.assign(3, static_cast<uint16_t>(firstCode + i));
            batch[i].depth = static_cast<float>(firstCode + i);
        }
        return batch;
    };
    auto codes = [](CSampleDataList& list) {
        std::vector<int> out;
        auto g = list.lock();
        int i = 0;
        for (const SamplePoint* p = list.first; p; p = p->next, ++i) {
            EXPECT_EQ(list.pointAt(i), p);
            EXPECT_EQ(p->prev, i == 0 ? nullptr : list.pointAt(i - 1));
            out.push_back(p->samples[0]);
        }
        EXPECT_EQ(i, list.count);
        EXPECT_EQ(list.tail, list.count ? list.pointAt(list.count - 1) : nullptr);
        return out;
    };

    CSampleDataList list(3);
    PointBatch first = batchOf(4, 10);
    ASSERT_TRUE(list.appendBatch(first));
    EXPECT_EQ(first.size(), 0u);
    {
        auto g = list.lock();
        EXPECT_EQ(list.current, list.tail);  // as append(): the last point is current
        EXPECT_EQ(list.lastAdded, list.tail);
        EXPECT_EQ(list.first->depth, 10.0f);
    }
    const uint16_t wave[3] = {50, 50, 50};
    for (int i = 0; i < 20; ++i)  // past the first block of single points
        ASSERT_TRUE(list.append(wave, 1.0f));
    for (int i = 0; i < 15; ++i)
        ASSERT_TRUE(list.removeLast());
    ASSERT_TRUE(list.storeAt(9, wave, 3, 2.0f));  // a reused slot, refilled
    PointBatch second = batchOf(2, 20);
    ASSERT_TRUE(list.appendBatch(second));
    ASSERT_TRUE(list.copyPoint(1, 12, 3.0f));
    EXPECT_EQ(codes(list), (std::vector<int>{10, 11, 12, 13, 50, 50, 50, 50, 50, 50, 20, 21, 11}));
    {
        auto g = list.lock();
        EXPECT_EQ(list.current, list.tail);
        EXPECT_EQ(list.pointAt(10)->samples, (std::vector<uint16_t>{20, 20, 20}));
        EXPECT_EQ(list.pointAt(9)->samples, (std::vector<uint16_t>{50, 50, 50}));
        EXPECT_EQ(list.pointAt(9)->tIndex, -1);
    }
    // Removing everything, batch points included, and building again.
    while (list.removeLast()) {
    }
    EXPECT_EQ(codes(list), std::vector<int>{});
    PointBatch third = batchOf(3, 30);
    ASSERT_TRUE(list.appendBatch(third));
    ASSERT_TRUE(list.append(wave, 1.0f));
    EXPECT_EQ(codes(list), (std::vector<int>{30, 31, 32, 50}));

    // One point too many: nothing changes, and the batch still holds its points.
    CSampleDataList full(1);
    PointBatch most(CSampleDataList::kMaxPoints - 1);
    ASSERT_TRUE(full.appendBatch(most));
    PointBatch two = batchOf(2, 7);
    EXPECT_FALSE(full.appendBatch(two));
    EXPECT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].samples[0], 8);
    EXPECT_EQ(full.count, CSampleDataList::kMaxPoints - 1);
    EXPECT_TRUE(full.append(wave, 0.0f));
    EXPECT_FALSE(full.append(wave, 0.0f));
}

TEST_F(SampleDataListTest, WorkerStoresOverwriteAppendAndCopy) {
    CSampleDataList list(4);
    const uint16_t a[4] = {1, 2, 3, 4}, b[2] = {7, 8};
    ASSERT_TRUE(list.storeCurrent(a, 4, 5.0f));  // an empty list gets its first point
    ASSERT_TRUE(list.storeCurrent(b, 2, 4.5f));  // a short frame pads with the zero line
    {
        auto g = list.lock();
        ASSERT_EQ(list.count, 1);
        EXPECT_EQ(list.current->samples, (std::vector<uint16_t>{7, 8, 2048, 2048}));
        EXPECT_EQ(list.current->depth, 4.5f);
        EXPECT_EQ(list.current->tIndex, -1);
        list.current->tIndex = 33;
        list.current->velocity = 4000.0f;
    }
    EXPECT_FALSE(list.storeAt(2, a, 4, 1.0f));  // beyond the end
    ASSERT_TRUE(list.storeAt(1, a, 4, 4.0f));   // appends
    ASSERT_TRUE(list.copyPoint(0, 2, 3.5f));    // level 2 copies level 0, picks included
    {
        auto g = list.lock();
        ASSERT_EQ(list.count, 3);
        const SamplePoint* copy = list.point(2);
        EXPECT_EQ(list.current, copy);
        EXPECT_EQ(copy->samples, list.first->samples);
        EXPECT_EQ(copy->tIndex, 33);
        EXPECT_EQ(copy->velocity, 4000.0f);
        EXPECT_EQ(copy->depth, 3.5f);
    }
    ASSERT_TRUE(list.storeAt(0, a, 4, 6.0f));  // overwrites in place
    ASSERT_TRUE(list.setCurrentAt(1));
    EXPECT_FALSE(list.setCurrentAt(3));
    auto g = list.lock();
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(list.first->samples, (std::vector<uint16_t>{1, 2, 3, 4}));
    EXPECT_EQ(list.first->tIndex, -1);
    EXPECT_EQ(list.current, list.first->next);
}

}  // namespace
}  // namespace lx9
