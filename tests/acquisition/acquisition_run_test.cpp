// Whole tests against the instrument simulator on loopback, through the link library: the worker
// with the program's real parameter records and per-cycle processing, a test console that plays
// the operator, and the service thread writing a real-time test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "acquisition/acquisition_rules.h"
#include "acquisition/acquisition_worker.h"
#include "acquisition/back_service_thread.h"
#include "acquisition/messages.h"
#include "acquisition/real_time_save_window.h"
#include "data/data_file_reader.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "instrument/parameter_records.h"
#include "sim_rig.h"
#include "test_support.h"

namespace lx9 {
namespace {

using namespace std::chrono_literals;
using test::RecordingSink;
using test::resetSharedFlags;
using test::SimRig;

constexpr int kLength = 1024;
constexpr int kFreeFrames = 3;

// The program's test of a pile `heightM` high with a 100 mm step, four channels, six sections,
// the automatic pick, the digital filter off so that stored waveforms are the frames as received.
CInfo pileTest(float heightM, int cacheMode) {
    CInfo info;
    info.resetToDefaults();
    info.startDepth = heightM;
    info.pileLength = heightM;
    info.stepMm = 100;
    info.sampleLength = kLength;
    info.cacheMode = cacheMode;
    info.digitalFilter = false;
    info.pickMethod = std::string(kPickAutomatic);
    info.continuousFiring = true;
    info.rebuildSectionNames();
    return info;
}

std::vector<uint32_t> notices(const std::vector<uint32_t>& ids) {
    std::vector<uint32_t> r;
    std::copy_if(ids.begin(), ids.end(), std::back_inserter(r),
                 [](uint32_t id) { return id != kMsgLiftSpeed && id != kMsgDepthReading; });
    return r;
}

class WholeRunTest : public ::testing::Test {
  protected:
    void SetUp() override { resetSharedFlags(); }
    void TearDown() override {
        if (worker) {
            EXPECT_TRUE(worker->stop());
        }
        resetSharedFlags();
    }

    // With `service`, the worker never stores a level over a ring position whose level is not on
    // disk yet, as the console wires it.
    void prepare(const CInfo& test, sim::Scenario scenario, double tickS,
                 WorkerTiming timing = test::fastTiming(), ConsoleSink* console = nullptr,
                 CBackServiceThread* service = nullptr) {
        info = test;
        test::makeLists(lists, info.sampleLength);
        levelCount = expectedLevelCount(info);
        codeConfig.set(fillCodeConfig(info));  // the console's parameter push
        rig = std::make_unique<SimRig>(std::move(scenario), tickS);
        ASSERT_EQ(rig->link().GetCommunicateStatus(), 1);  // the console's connection
        WorkerOptions o;
        o.info = SharedInfo{info, infoLock};
        o.lists = &lists;
        o.state = &state;
        o.levelCount = &levelCount;
        o.timing = timing;
        if (service) {
            o.levelsOnDisk = &service->levelsWrittenCounter();
            o.ringLock = &service->ringLock();
        }
        worker = std::make_unique<AcquisitionWorker>(rig->link(), console ? *console : sink, o);
        if (info.cacheMode == 1) {
            // The console's start-up in mode two: every parameter goes to the instrument.
            pendingSet1 = pendingSet2 = pendingSet3 = pendingHeight = true;
        }
    }

    // The operator: free sampling for a few frames, then "新存" at the start level.
    void startFreeSamplingThenRecord() {
        auto seen = std::make_shared<int>(0);
        sink.setHook([this, seen](const Message& m) {
            if (m.id == kMsgFrameReady && stateCode(state.load()) == kStateFreeSampling &&
                ++*seen == kFreeFrames)
                state = makeState(kStateRecordStart);
        });
        state = makeState(kStateFreeSampling);
        ASSERT_TRUE(worker->start());
    }

    // Every level 0..last stored once per section at its depth, with the waveform of the frame the
    // link received for it and a pick.
    void expectEachLevelOnce(int frameOffset) {
        const int levels = lastLevelIndex(info) + 1;
        const auto frames = rig->link().frames();
        const auto order = frameSlotOrder(info);
        for (int k = 0; k < info.sectionCount; ++k) {
            auto g = lists[k]->lock();
            ASSERT_EQ(lists[k]->count, levels) << "section " << k;
            int level = 0;
            for (const SamplePoint* p = lists[k]->first; p; p = p->next, ++level) {
                EXPECT_FLOAT_EQ(p->depth, static_cast<float>(info.startDepth - level * 0.1))
                    << k << "/" << level;
                EXPECT_GE(p->tIndex, 0);
                EXPECT_LT(p->tIndex, kLength);
                EXPECT_GT(p->velocity, 0.0f);
                if (frameOffset < 0) continue;
                const size_t f = static_cast<size_t>(frameOffset + level);
                ASSERT_LT(f, frames.size());
                const auto& words = frames[f].words;
                const auto from = words.begin() + order[k] * kLength;
                EXPECT_TRUE(std::equal(p->samples.begin(), p->samples.end(), from)) << k << "/" << level;
                if (frames[f].cached) {
                    EXPECT_EQ(frames[f].key, level * 10);
                }
            }
        }
    }

    CInfo info;
    std::mutex infoLock;
    OwnedSectionLists lists;
    std::atomic<uint32_t> state{0};
    std::atomic<int32_t> levelCount{0};
    RecordingSink sink;
    std::unique_ptr<SimRig> rig;
    std::unique_ptr<AcquisitionWorker> worker;
};

// 10 m at 100 mm: 101 levels. The winch waits 1 s at the start level, then rises at 1 m/s; the
// simulator's clock moves 10 ms per call, so the probes travel at most 3 cm per cycle.
TEST_F(WholeRunTest, ModeOneRisesThroughEveryLevelOnce) {
    prepare(pileTest(10.0f, 0), test::quietPile(10.0, 1.0, 1.0, kLength), 0.01);
    startFreeSamplingThenRecord();
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd, 1, 60s));
    ASSERT_TRUE(worker->waitEnded(5s));
    EXPECT_EQ(state.load(), makeState(kStateEndContinuous));
    expectEachLevelOnce(kFreeFrames);

    std::vector<uint32_t> expected(kFreeFrames + 101, kMsgFrameReady);
    expected.push_back(kMsgLastLevelStored);
    expected.push_back(kMsgTestEnd);
    EXPECT_EQ(notices(sink.ids()), expected);
    EXPECT_EQ(rig->simulator().withModel([](auto&, double) { return 0; }), 0);
}

TEST_F(WholeRunTest, ModeTwoReadsEveryLevelFromTheCache) {
    prepare(pileTest(10.0f, 1), test::quietPile(10.0, 1.0, 1.0, kLength), 0.01);
    startFreeSamplingThenRecord();
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd, 1, 60s));
    ASSERT_TRUE(worker->waitEnded(5s));
    expectEachLevelOnce(kFreeFrames);
    std::vector<uint32_t> expected(kFreeFrames + 101, kMsgFrameReady);
    expected.push_back(kMsgLastLevelStored);
    expected.push_back(kMsgTestEnd);
    EXPECT_EQ(notices(sink.ids()), expected);
}

// Up 1 m, down 0.35 m (levels removed), then a jerk of 0.3 m in one exchange (missed points: the
// hold), down again below the expected level (the hold ends), and up to the top.
TEST_F(WholeRunTest, LoweringAndAJerkStillEndWithEachLevelOnce) {
    sim::Scenario s = test::quietPile(3.0, 1.0, 1.0, kLength);
    using Move = sim::WinchMove;
    s.winch.moves = {Move{Move::Kind::Rise, 1.0, 0.0}, Move{Move::Kind::Lower, 0.35, 0.0},
                     Move{Move::Kind::Rise, 0.3, 30.0}, Move{Move::Kind::Stop, 0.2, 0.0},
                     Move{Move::Kind::Lower, 0.3, 0.0}};
    prepare(pileTest(3.0f, 0), s, 0.01);
    startFreeSamplingThenRecord();
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd, 1, 60s));
    // Levels 10, 9, 8 on the way down; then, once the hold has ended at 84 cm, level 8 is taken
    // again on the way down (84 cm is within its tolerance) and removed again at 70 cm.
    EXPECT_EQ(sink.count(kMsgPointsRemoved), 4);
    EXPECT_EQ(sink.count(kMsgMissedPoints), 1);
    EXPECT_EQ(sink.count(kMsgProbesBack), 1);
    const auto messages = sink.messages();
    auto missed = std::find_if(messages.begin(), messages.end(),
                               [](const Message& m) { return m.id == kMsgMissedPoints; });
    EXPECT_EQ(missed->lParam, 80);  // levels 8..10 were removed: level 8 is expected
    EXPECT_EQ(missed->wParam, 95u);
    expectEachLevelOnce(-1);
}

// 10 % of requests lost, 5 % answered late, 5 % answered twice: the test still completes with
// each level once, and no failure notice (five failures in a row do not happen at these rates).
TEST_F(WholeRunTest, LostLateAndDuplicatedRepliesStillCompleteTheTest) {
    sim::Scenario s = test::quietPile(1.5, 1.0, 1.0, kLength);
    s.faults.dropPercent = 10.0;
    s.faults.latePercent = 5.0;
    s.faults.duplicatePercent = 5.0;
    WorkerTiming timing = test::fastTiming();
    timing.retryLimit = 500ms;
    prepare(pileTest(1.5f, 0), s, 0.01, timing);
    startFreeSamplingThenRecord();
    ASSERT_TRUE(sink.waitFor(kMsgTestEnd, 1, 120s));
    expectEachLevelOnce(-1);
    EXPECT_EQ(sink.count(kMsgCommFailure), 0);
    EXPECT_EQ(sink.count(kMsgMissedPoints), 0);
    const auto stats = rig->simulator().stats();
    EXPECT_GT(stats.dropped, 0u);
    EXPECT_GT(stats.duplicated, 0u);
}

// A pulled cable: every request lost for a while. Five failed steps post the notice once; the
// first whole cycle afterwards posts its end once.
TEST_F(WholeRunTest, ABurstOfLostRequestsPostsTheNoticePairOnce) {
    WorkerTiming timing = test::fastTiming();
    timing.retryLimit = 500ms;
    prepare(pileTest(10.0f, 0), test::quietPile(10.0, 0.0, 100.0, kLength), 0.01, timing);
    state = makeState(kStateFreeSampling);
    ASSERT_TRUE(worker->start());
    ASSERT_TRUE(sink.waitFor(kMsgFrameReady, 3));
    rig->simulator().startBurst(70.0);  // seven calls' worth of simulator time
    ASSERT_TRUE(sink.waitFor(kMsgCommFailure, 1, 30s));
    ASSERT_TRUE(sink.waitFor(kMsgCommRestored, 1, 30s));
    const int frames = sink.count(kMsgFrameReady);
    ASSERT_TRUE(sink.waitFor(kMsgFrameReady, frames + 3));
    EXPECT_EQ(sink.count(kMsgCommFailure), 1);
    EXPECT_EQ(sink.count(kMsgCommRestored), 1);
}

// A real-time test of 101 levels (50 kept in memory): the console writes each half window through
// the service thread and completes the pair at the end; the pair read back holds every level with
// its frame, and the points still in memory equal their levels in the files.
TEST_F(WholeRunTest, RealTimeSaveThroughTheServiceThread) {
    const auto dir = std::filesystem::temp_directory_path() / ("lx9_rt_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    CInfo test = pileTest(10.0f, 0);
    test.saveMode = std::string(kSaveRealTime);
    test.chtPath = (dir / "PILE.CHT").string();
    test.chdPath = (dir / "PILE.CHD").string();
    // The console: its own thread draining its mailbox, as the Qt console's event loop would.
    Mailbox consoleBox;
    MailboxConsoleSink console(consoleBox);
    ServiceOptions so;
    so.info = SharedInfo{info, infoLock};
    so.lists = &lists;
    so.levelCount = &levelCount;
    CBackServiceThread service(console, so);
    ASSERT_TRUE(service.start());
    // Half a metre a second: a writer slowed by a busy disk holds the worker back rather than
    // letting the probes pass levels (a missed-point hold nobody here would answer).
    prepare(test, test::quietPile(10.0, 0.5, 1.0, kLength), 0.01, test::fastTiming(), &console, &service);
    ASSERT_EQ(levelCount.load(), 50);

    constexpr uintptr_t kSaveDialog = 77;
    RealTimeSaveWindow window(levelCount.load());
    std::atomic<bool> saved{false};
    std::vector<Message> progress, errors;
    int freeFrames = 0;
    std::thread ui([&] {
        while (!saved)
            consoleBox.dispatchOne(
                [&](const Message& m) -> intptr_t {
                    switch (m.id) {
                        case kMsgFrameReady:
                            if (stateCode(state.load()) == kStateFreeSampling &&
                                ++freeFrames == kFreeFrames) {
                                service.post(kMsgStartRealTimeSave);  // "新存"
                                state = makeState(kStateRecordStart);
                                break;
                            }
                            [[fallthrough]];
                        case kMsgLastLevelStored:
                        case kMsgPointsRemoved:
                        case kMsgRefreshPick:
                            if (stateCode(state.load()) != kStateFreeSampling)
                                for (Message& request : window.onLevelsChanged(worker->levelsStored()))
                                    service.post(std::move(request));
                            break;
                        case kMsgTestEnd:
                            service.post(Message{kMsgFinishFiles, kSaveDialog, 0, 0, {}});
                            break;
                        case kMsgSaveProgress:
                            EXPECT_EQ(m.target, kSaveDialog);
                            progress.push_back(m);
                            if (m.wParam == static_cast<uintptr_t>(m.lParam)) saved = true;
                            break;
                        case kMsgFileError:
                            errors.push_back(m);
                            saved = true;
                            break;
                        case kMsgMissedPoints:  // nobody here would resample: end at once, said why
                            errors.push_back(Message{m.id, m.wParam, m.lParam, 0,
                                                     "the probes passed levels while the writer was behind"});
                            saved = true;
                            break;
                        default:
                            break;
                    }
                    return 0;
                },
                50ms);
    });
    state = makeState(kStateFreeSampling);
    ASSERT_TRUE(worker->start());
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!saved && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    saved = true;
    ui.join();
    ASSERT_TRUE(errors.empty()) << errors.front().text;
    ASSERT_FALSE(progress.empty());
    // Every level was on disk before the save was asked for: it only closes the pair.
    EXPECT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress.back().wParam, 101u);
    EXPECT_EQ(service.levelsWritten(), 101);
    ASSERT_TRUE(worker->waitEnded(5s));

    // Read the pair back.
    CInfo read;
    read.resetToDefaults();
    OwnedSectionLists back;
    const auto report = openDataFile((dir / "PILE").string(), read, [&](const CInfo& header) {
        test::makeLists(back, header.sampleLength);
        return listPointers(back);
    });
    ASSERT_TRUE(report.ok) << report.error;
    const auto frames = rig->link().frames();
    const auto order = frameSlotOrder(info);
    for (int k = 0; k < 6; ++k) {
        auto g = back[k]->lock();
        ASSERT_EQ(back[k]->count, 101);
        auto m = lists[k]->lock();
        ASSERT_EQ(lists[k]->count, 50);  // the ring
        int level = 0;
        for (const SamplePoint* p = back[k]->first; p; p = p->next, ++level) {
            EXPECT_NEAR(p->depth, 10.0 - level * 0.1, 0.005);
            const auto& words = frames[kFreeFrames + level].words;
            EXPECT_TRUE(std::equal(p->samples.begin(), p->samples.end(), words.begin() + order[k] * kLength))
                << k << "/" << level;
            // The newest level of each ring slot is in memory as it is in the files.
            const int slot = level % 50;
            if (level == std::max(slot + 50 * ((100 - slot) / 50), slot)) {
                const SamplePoint* kept = lists[k]->first;
                for (int i = 0; i < slot; ++i)
                    kept = kept->next;
                EXPECT_EQ(kept->samples, p->samples) << k << "/" << level;
                EXPECT_NEAR(kept->depth, p->depth, 0.005);
            }
        }
    }
    service.quit();
    EXPECT_TRUE(service.join(5s));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lx9
