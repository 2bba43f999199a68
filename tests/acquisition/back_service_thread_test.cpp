// The service thread with the real data-file classes, on files in a temporary folder: the
// requests of a test and their reports, file errors, the open for viewing, and the quit.
#include "acquisition/back_service_thread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <future>
#include <thread>

#include "acquisition/messages.h"
#include "data/data_file_reader.h"
#include "test_support.h"

namespace lx9 {
namespace {

using namespace std::chrono_literals;
using test::RecordingSink;

constexpr int kLength = 512;

uint16_t sampleAt(int level, int section, int j) {
    return static_cast<uint16_t>(2048 + ((level * 31 + section * 7 + j) % 400) - 200);
}

class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("lx9_service_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        info = test::smallTest(kLength, 100, 10.0f);
        info.chtPath = (dir_ / "T.CHT").string();
        info.chdPath = (dir_ / "T.CHD").string();
        test::makeLists(lists, kLength);
        levelCount = expectedLevelCount(info);
    }
    void TearDown() override {
        service.reset();
        std::filesystem::remove_all(dir_);
    }

    void startService() {
        ServiceOptions o;
        o.info = SharedInfo{info, infoLock};
        o.lists = &lists;
        o.levelCount = &levelCount;
        o.date = [] { return std::string("2024-3-15"); };
        service = std::make_unique<CBackServiceThread>(sink, o);
        ASSERT_TRUE(service->start());
    }

    // Levels first..last-1 appended to every list as the worker would have stored them.
    void record(int first, int last) {
        std::vector<uint16_t> wave(kLength);
        for (int n = first; n < last; ++n)
            for (int k = 0; k < kMaxSections; ++k) {
                for (int j = 0; j < kLength; ++j)
                    wave[j] = sampleAt(n, k, j);
                ASSERT_TRUE(
                    lists[k]->storeAt(n, wave.data(), wave.size(), static_cast<float>(10.0 - n * 0.1)));
                auto g = lists[k]->lock();
                SamplePoint& p = *lists[k]->current;
                p.tIndex = 100 + n % 7;
                p.ampIndex = p.tIndex + 10;
                p.gain = 80.0f;
                p.delay = 100.0f;
            }
    }

    // Runs the queue empty: a request posted now has been handled when this returns.
    void settle() { ASSERT_TRUE(service->mailbox().send(0)); }

    // Reads the pair back; every level's waveforms must be those recorded.
    int readBack(int expectLevels) {
        CInfo read;
        read.resetToDefaults();
        OwnedSectionLists back;
        const auto report = openDataFile((dir_ / "T").string(), read, [&](const CInfo& header) {
            test::makeLists(back, header.sampleLength);
            return listPointers(back);
        });
        EXPECT_TRUE(report.ok) << report.error;
        if (!report.ok) return -1;
        for (int k = 0; k < kMaxSections; ++k) {
            auto g = back[k]->lock();
            EXPECT_EQ(back[k]->count, expectLevels);
            int n = 0;
            for (const SamplePoint* p = back[k]->first; p; p = p->next, ++n) {
                EXPECT_NEAR(p->depth, 10.0 - n * 0.1, 0.005);
                for (int j = 0; j < kLength; j += 97)
                    EXPECT_EQ(p->samples[j], sampleAt(n, k, j)) << k << "/" << n;
            }
        }
        return report.levels;
    }

    std::vector<Message> of(uint32_t id) {
        std::vector<Message> r;
        for (const Message& m : sink.messages())
            if (m.id == id) r.push_back(m);
        return r;
    }

    std::filesystem::path dir_;
    CInfo info;
    std::mutex infoLock;
    OwnedSectionLists lists;
    std::atomic<int32_t> levelCount{0};
    RecordingSink sink;
    std::unique_ptr<CBackServiceThread> service;
};

TEST_F(ServiceTest, QuitEndsTheLoopWithRequestsStillQueued) {
    ServiceOptions o;
    o.info = SharedInfo{info, infoLock};
    o.lists = &lists;
    o.levelCount = &levelCount;
    service = std::make_unique<CBackServiceThread>(sink, o);
    service->quit();
    service->post(kMsgStartRealTimeSave);
    auto waiting = std::async(std::launch::async, [&] { return service->mailbox().send(kMsgCloseFiles); });
    while (service->mailbox().pending() < 3)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(service->start());
    EXPECT_FALSE(waiting.get());  // released, not handled
    EXPECT_TRUE(service->join(5s));
    EXPECT_FALSE(std::filesystem::exists(info.chtPath));  // the request behind the quit never ran
    EXPECT_FALSE(service->post(kMsgStartRealTimeSave));   // a message to an ended thread is lost
    EXPECT_TRUE(sink.messages().empty());
}

TEST_F(ServiceTest, SaveAtEndWritesTheWholePairAndReportsToTheDialog) {
    record(0, 45);
    startService();
    service->post(Message{kMsgFinishFiles, 5, 0, 0, {}});
    settle();
    const auto progress = of(kMsgSaveProgress);
    ASSERT_FALSE(progress.empty());
    for (const Message& m : progress)
        EXPECT_EQ(m.target, 5u);
    EXPECT_EQ(progress.back().wParam, 45u);
    EXPECT_EQ(progress.back().lParam, 45);
    EXPECT_TRUE(of(kMsgFileError).empty());
    EXPECT_EQ(service->levelsWritten(), 45);
    EXPECT_EQ(readBack(45), 45);
}

TEST_F(ServiceTest, RealTimeWritesHalfWindowsThenOnlyWhatIsLeft) {
    info.saveMode = std::string(kSaveRealTime);
    levelCount = expectedLevelCount(info);
    ASSERT_EQ(levelCount.load(), 50);
    startService();
    service->post(kMsgStartRealTimeSave);
    record(0, 26);
    service->post(kMsgWriteHalfWindow, 25);  // levels 0..24
    service->post(kMsgReloadRecent, 0);
    settle();
    EXPECT_EQ(service->levelsWritten(), 25);
    service->post(kMsgWriteHalfWindow, 25);  // asked twice: nothing is written twice
    record(26, 32);
    service->post(Message{kMsgFinishFiles, 8, 0, 0, {}});
    settle();
    EXPECT_TRUE(of(kMsgFileError).empty()) << of(kMsgFileError).front().text;
    EXPECT_EQ(service->levelsWritten(), 32);
    // Levels 25..31: seven of seven, each of the last ten reported.
    const auto progress = of(kMsgSaveProgress);
    ASSERT_EQ(progress.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(progress[i].wParam, static_cast<uintptr_t>(i + 1));
        EXPECT_EQ(progress[i].lParam, 7);
        EXPECT_EQ(progress[i].target, 8u);
    }
    EXPECT_EQ(readBack(32), 32);
}

TEST_F(ServiceTest, RealTimeLevelsComeFromTheirPlaceInTheRing) {
    info.saveMode = std::string(kSaveRealTime);
    levelCount = 4;  // a ring of four levels: two per half window
    startService();
    service->post(kMsgStartRealTimeSave);
    std::vector<uint16_t> wave(kLength);
    for (int n = 0; n < 7; ++n) {
        for (int k = 0; k < kMaxSections; ++k) {
            for (int j = 0; j < kLength; ++j)
                wave[j] = sampleAt(n, k, j);
            ASSERT_TRUE(
                lists[k]->storeAt(n % 4, wave.data(), wave.size(), static_cast<float>(10.0 - n * 0.1)));
        }
        if (n % 2 == 1) service->post(kMsgWriteHalfWindow, static_cast<uintptr_t>(n + 1));
        settle();
    }
    service->post(Message{kMsgFinishFiles, 1, 0, 0, {}});
    settle();
    ASSERT_TRUE(of(kMsgFileError).empty()) << of(kMsgFileError).front().text;
    EXPECT_EQ(readBack(7), 7);
}

TEST_F(ServiceTest, AFileThatCannotBeCreatedIsReported) {
    info.chtPath = (dir_ / "missing" / "T.CHT").string();
    info.chdPath = (dir_ / "missing" / "T.CHD").string();
    startService();
    service->post(kMsgStartRealTimeSave);
    record(0, 3);
    service->post(Message{kMsgFinishFiles, 5, 0, 0, {}});
    settle();
    const auto errors = of(kMsgFileError);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].wParam, kMsgStartRealTimeSave);
    EXPECT_EQ(errors[1].wParam, kMsgFinishFiles);
    for (const Message& e : errors)
        EXPECT_NE(e.text.find("missing"), std::string::npos) << e.text;
    for (const Message& m : of(kMsgSaveProgress))
        EXPECT_NE(m.wParam, static_cast<uintptr_t>(m.lParam));
}

// The disk fills up in the middle of a half window: the failure is reported with its reason, and
// every level written before it reads back intact.
TEST_F(ServiceTest, ADiskThatFillsUpLosesNothingAlreadyWritten) {
    info.saveMode = std::string(kSaveRealTime);
    levelCount = 50;
    startService();
    service->post(kMsgStartRealTimeSave);
    settle();
    record(0, 26);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 6 * 6 * kLength * 2 + 100;  // six levels of waveforms, and a little
    setrlimit(RLIMIT_FSIZE, &small);
    service->post(kMsgWriteHalfWindow, 25);
    settle();
    setrlimit(RLIMIT_FSIZE, &saved);
    const auto errors = of(kMsgFileError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].wParam, kMsgWriteHalfWindow);
    EXPECT_FALSE(errors[0].text.empty());
    const int written = service->levelsWritten();
    EXPECT_EQ(written, 6);
    service->post(kMsgCloseFiles);
    settle();
    EXPECT_EQ(readBack(written), written);
}

TEST_F(ServiceTest, OpeningAFileReportsTheHeaderThenSuccess) {
    record(0, 12);
    info.pileId = "88#";
    startService();
    service->post(Message{kMsgFinishFiles, 5, 0, 0, {}});
    settle();

    // The console, viewing: a fresh record and fresh lists, re-created when the header is read.
    info.resetToDefaults();
    info.sampleLength = 1024;
    test::makeLists(lists, 1024);
    sink.clear();
    sink.setHook([this](const Message& m) {
        if (m.id != kMsgHeaderRead) return;
        std::lock_guard<std::mutex> g(infoLock);
        test::makeLists(lists, info.sampleLength);
    });
    service->post(Message{kMsgOpenFile, 0, 9, 0, (dir_ / "T").string()});
    settle();
    const auto ids = sink.ids();
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids[0], kMsgHeaderRead);
    EXPECT_EQ(ids[1], kMsgFileOpened);
    for (const Message& m : sink.messages())
        EXPECT_EQ(m.target, 9u);
    EXPECT_EQ(info.pileId, "88#");
    EXPECT_EQ(info.sampleLength, kLength);
    auto g = lists[2]->lock();
    EXPECT_EQ(lists[2]->count, 12);
    EXPECT_EQ(lists[2]->sampleLength, kLength);
}

TEST_F(ServiceTest, AFailedOpenRestoresTheRecord) {
    info.pileId = "kept";
    const CInfo before = info;
    startService();
    service->post(Message{kMsgOpenFile, 0, 9, 0, (dir_ / "NOSUCH").string()});
    settle();
    const auto ids = sink.ids();
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0], kMsgOpenFailed);
    EXPECT_FALSE(sink.messages()[0].text.empty());
    std::lock_guard<std::mutex> g(infoLock);
    EXPECT_TRUE(info == before);
}

TEST_F(ServiceTest, ClosedFilesTakeNoMoreLevels) {
    info.saveMode = std::string(kSaveRealTime);
    levelCount = 50;
    startService();
    service->post(kMsgStartRealTimeSave);
    service->post(kMsgCloseFiles);
    record(0, 25);
    service->post(kMsgWriteHalfWindow, 25);
    settle();
    const auto errors = of(kMsgFileError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].wParam, kMsgWriteHalfWindow);
    EXPECT_EQ(service->levelsWritten(), 0);
}

}  // namespace
}  // namespace lx9
