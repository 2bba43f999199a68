// Whole runs of the console controller against the instrument simulator on loopback, through the
// link library, with the real worker and service thread: start-up, free sampling, recording to
// the end with the save dialog, pause and resume, a gain change reaching the instrument, missed
// points and the resample, ending a test without saving, and opening the saved pair.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "acquisition/acquisition_rules.h"
#include "acquisition/console_controller.h"
#include "acquisition/console_runtime.h"
#include "acquisition/link_form.h"
#include "acquisition/messages.h"
#include "acquisition/reset_form.h"
#include "data/data_file_reader.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "instrument/parameter_records.h"
#include "link/protocol.h"
#include "setup/setup_form.h"
#include "sim_rig.h"
#include "test_support.h"
#include "tests/acquisition/console_fakes.h"

namespace lx9 {
namespace {

using namespace std::chrono_literals;
using test::resetSharedFlags;
using test::ScriptedSink;
using test::SimRig;

constexpr int kLength = 512;

// A test of a pile `heightM` high: 100 mm steps, four channels, six sections, the automatic pick,
// no digital filter.
CInfo pileTest(float heightM, int cacheMode) {
    CInfo info;
    info.resetToDefaults();
    info.startDepth = heightM;
    info.pileLength = heightM;
    info.stepMm = 100;
    info.sampleLength = kLength;
    info.cacheMode = cacheMode;
    info.digitalFilter = false;
    info.continuousFiring = true;
    info.rebuildSectionNames();
    return info;
}

class TestView : public ConsoleView {
  public:
    void redraw(uint32_t parts) override {
        redraws |= parts;
        if (onRedraw) onRedraw(parts);
    }
    void dialogOpened(ConsoleDialog d) override { opened.push_back(d); }
    void dialogClosed(ConsoleDialog d) override { closed.push_back(d); }
    void runConnectionDialog(LinkForm& form) override {
        form.connect();
        connectionText = form.text();
        if (form.phase() == LinkForm::Phase::Connected)
            form.accept();
        else
            form.abandon();
    }
    bool confirm(ResetForm& form) override {
        confirmed.push_back(form.text());
        return confirmAnswer;
    }
    std::optional<std::string> askDataFileName() override { return dataFile; }
    std::optional<std::string> askOpenFileName() override { return openFile; }
    void setTimer(int id, std::chrono::milliseconds period, bool) override { timers[id] = period; }
    void killTimer(int id) override { timers.erase(id); }
    void showCommNotice(const std::string& text) override { notices.push_back(text); }
    void closeCommNotice() override { notices.push_back("closed"); }
    void showTransientNotice(const std::string& text) override { notices.push_back(text); }
    void closeWindow() override { windowClosed = true; }

    int count(ConsoleDialog d) const { return static_cast<int>(std::count(opened.begin(), opened.end(), d)); }

    uint32_t redraws = 0;
    std::vector<ConsoleDialog> opened, closed;
    std::string connectionText;
    std::vector<std::string> confirmed;
    bool confirmAnswer = true;
    std::optional<std::string> dataFile, openFile;
    std::map<int, std::chrono::milliseconds> timers;
    std::vector<std::string> notices;
    bool windowClosed = false;
    std::function<void(uint32_t)> onRedraw;
};

class ConsoleRun : public ::testing::Test {
  protected:
    void SetUp() override {
        resetSharedFlags();
        dir = std::filesystem::temp_directory_path() /
              ("lx9_console_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        view.dataFile = (dir / "PILE").string();
    }
    void TearDown() override {
        console.reset();
        rig.reset();
        for (auto& list : sectionLists)
            list.reset();
        resetSharedFlags();
        std::filesystem::remove_all(dir);
    }

    void start(const CInfo& test, sim::Scenario scenario, double tickS = 0.01) {
        rig = std::make_unique<SimRig>(std::move(scenario), tickS);
        startConsole(test);
    }
    void startConsole(const CInfo& test) {
        currentInfo = test;
        ConsoleOptions o;
        o.settingsFile = dir / "set.ini";
        o.loadSettings = false;
        o.timing.worker = test::fastTiming();
        o.date = [] { return std::string("2026-12-7"); };
        console = std::make_unique<ConsoleController>(rig->link(), view, sink, o);
        console->startUp();
    }

    // Handles the console's messages until `done` holds; the operator acts between messages.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            console->dispatchMessages(2ms);
            if (operatorStep) operatorStep();
        }
        return true;
    }
    bool waitState(uint32_t code, std::chrono::milliseconds timeout = 30s) {
        return runUntil([&] { return stateCode(testState.load()) == code; }, timeout);
    }
    int framesSeen() const { return frames; }

    // Sampling, then a new file once a few frames were shown.
    void sampleThenRecord() {
        console->click(kBtnSample);
        ASSERT_EQ(stateCode(testState.load()), kStateFreeSampling);
        ASSERT_TRUE(runUntil([&] { return sectionLists[0] && levelsIn(0) == 1 && ++polls > 3; }));
        // The operator starts recording with the probes still at the start level.
        ASSERT_EQ(
            rig->simulator().withModel([](sim::InstrumentModel& m, double now) { return m.readingCm(now); }),
            0);
        console->click(kBtnNewSave);
        ASSERT_EQ(stateCode(testState.load()), kStateRecordStart);
    }
    int levelsIn(int k) const {
        auto g = sectionLists[static_cast<size_t>(k)]->lock();
        return sectionLists[static_cast<size_t>(k)]->count;
    }
    // Saves as soon as the save dialog offers it.
    void saveWhenAsked() {
        operatorStep = [this] {
            if (SaveForm* s = console->saveForm(); s && s->buttonsVisible()) {
                s->clickSave();
                console->dialogChanged();
            }
        };
    }

    std::filesystem::path dir;
    std::unique_ptr<SimRig> rig;
    TestView view;
    ScriptedSink sink;
    std::unique_ptr<ConsoleController> console;
    std::function<void()> operatorStep;
    int frames = 0;
    int polls = 0;
};

TEST_F(ConsoleRun, StartUpConnectsReadsAndPushes) {
    start(pileTest(2.0f, 0), test::quietPile(2.0, 1.0, 5.0, kLength));
    EXPECT_TRUE(console->connected());
    EXPECT_EQ(view.connectionText, "已成功连接到仪器！");
    EXPECT_EQ(currentInfo.firmwareVersion, 5);
    EXPECT_EQ(batteryLevel.load(), 80);
    EXPECT_EQ(console->battery(), (BarIndicator{10, kColourGreen}));
    const _Ctrl_Code_INFO_DLL pushed = codeConfig.get();
    const _Ctrl_Code_INFO_DLL expected = fillCodeConfig(currentInfo);
    EXPECT_EQ(std::memcmp(&pushed, &expected, sizeof pushed), 0);
    EXPECT_EQ(rig->simulator().withModel([](sim::InstrumentModel& m, double) { return m.led(); }), 0);
    EXPECT_EQ(view.timers[kTimerIndicators], 500ms);
    // Idle, connected, but no new file before the first sampling.
    EXPECT_TRUE(console->buttons().at(kBtnSetup));
    EXPECT_TRUE(console->buttons().at(kBtnSample));
    EXPECT_FALSE(console->buttons().at(kBtnNewSave));
    EXPECT_TRUE(console->buttons().at(kBtnOpen));
    EXPECT_TRUE(console->buttons().uploadShown);
    EXPECT_EQ(console->caption(kBtnSample), "采样");
    EXPECT_TRUE(sink.said.empty());
    EXPECT_TRUE(console->workerRunning());
    EXPECT_TRUE(pauseWorker.load());
}

// LX9's main owns what the console runs on: a console that ends leaves the runtime's service
// thread and mailbox to the program (only its own worker stops); the console's close stops them
// all, worker first; ending the runtime afterwards does nothing more.
TEST_F(ConsoleRun, TheProgramsRuntimeOutlivesTheConsoleUntilItCloses) {
    rig = std::make_unique<SimRig>(test::quietPile(2.0, 1.0, 60.0, kLength), 0.01);
    currentInfo = pileTest(2.0f, 0);
    ConsoleOptions o;
    o.settingsFile = dir / "set.ini";
    o.loadSettings = false;
    o.timing.worker = test::fastTiming();
    auto runtime = std::make_unique<ConsoleRuntime>();
    {
        ConsoleController first(rig->link(), view, sink, *runtime, o);
        first.startUp();
        ASSERT_TRUE(first.workerRunning());
        ASSERT_NE(runtime->worker(), nullptr);
    }
    EXPECT_EQ(runtime->worker(), nullptr);
    ASSERT_NE(runtime->service(), nullptr);
    EXPECT_TRUE(runtime->mailbox().post(kMsgRefreshWave));

    ConsoleController second(rig->link(), view, sink, *runtime, o);
    view.redraws = 0;
    EXPECT_GE(second.dispatchMessages(), 1);  // the message left for the first console
    EXPECT_NE(view.redraws & kViewWaveform, 0u);
    second.startUp();
    EXPECT_TRUE(second.workerRunning());
    second.close();
    EXPECT_FALSE(second.workerRunning());
    EXPECT_EQ(runtime->service(), nullptr);
    EXPECT_FALSE(runtime->mailbox().post(kMsgRefreshWave));
}

TEST_F(ConsoleRun, StartUpWithoutAnInstrument) {
    rig = std::make_unique<SimRig>(test::quietPile(2.0, 1.0, 5.0, kLength), 0.01);
    rig->simulator().startBurst(60000);  // nothing answers
    startConsole(pileTest(2.0f, 0));
    EXPECT_FALSE(console->connected());
    EXPECT_EQ(view.connectionText, "仪器未连接！");
    for (int id : {kBtnSetup, kBtnNewSave, kBtnMode, kBtnAdjust})
        EXPECT_FALSE(console->buttons().at(id)) << id;
    EXPECT_TRUE(console->buttons().at(kBtnOpen));
    EXPECT_TRUE(console->buttons().at(kBtnClose));
    // "采样" is the retry of the connection: it stays enabled, and a retry that reaches the
    // instrument connects the console.
    ASSERT_TRUE(console->buttons().at(kBtnSample));
    console->click(kBtnSample);
    EXPECT_EQ(sink.last(), "发送操作命令失败");
    EXPECT_EQ(stateCode(testState.load()), kStateIdle);
    rig->simulator().setFaults(sim::FaultPlan{});  // the instrument answers again
    console->click(kBtnSample);
    EXPECT_EQ(stateCode(testState.load()), kStateFreeSampling);
    EXPECT_TRUE(console->connected());
    console->click(kBtnSample);  // paused: the setup and the rest follow the connected console
    EXPECT_TRUE(console->buttons().at(kBtnSetup));
    EXPECT_TRUE(console->buttons().at(kBtnNewSave));
}

TEST_F(ConsoleRun, BufferedStartUpSendsEveryParameterRecord) {
    start(pileTest(2.0f, 1), test::quietPile(2.0, 1.0, 5.0, kLength));
    EXPECT_FALSE(holdForParameters.load());
    // The instrument holds the test once the last record arrives, a moment before the worker
    // has its reply and clears that record's flag: wait for both.
    auto anyPending = [] {
        return pendingSet1.load() || pendingSet2.load() || pendingSet3.load() || pendingHeight.load();
    };
    EXPECT_TRUE(runUntil([&] {
        return !anyPending() &&
               rig->simulator().withModel([](sim::InstrumentModel& m, double) { return m.holdsTest(); });
    })) << "records still to send: "
        << anyPending();
}

// A test held in the instrument: the records the console reads back are those it sent.
void holdATest(SimRig& rig, const CInfo& test) {
    ASSERT_EQ(rig.link().GetCommunicateStatus(), 1);
    ASSERT_EQ(rig.link().SetPara1(fillSet1(test)), 1);
    ASSERT_EQ(rig.link().SetPara2(fillSet2(test)), 1);
    JobTextBlock job = fillJobText(test);
    ASSERT_EQ(rig.link().SetPara3(job.data(), static_cast<int32_t>(job.size())), 1);
    ASSERT_EQ(
        rig.link().SetHeight(static_cast<int32_t>(startHeightCm(test)), static_cast<uint16_t>(test.stepMm)),
        1);
    ASSERT_EQ(rig.link().GetCommunicateStatus(), 2);
}

TEST_F(ConsoleRun, HeldTestDeclinedIsEndedOnTheInstrument) {
    rig = std::make_unique<SimRig>(test::quietPile(2.0, 1.0, 5.0, kLength), 0.01);
    holdATest(*rig, pileTest(2.0f, 1));
    sink.answers = {false};
    startConsole(pileTest(2.0f, 1));
    ASSERT_EQ(sink.said.size(), 1u);
    EXPECT_EQ(sink.said[0], (test::Said{"主机中有未保存的数据，是否要恢复实验？", "提示", true}));
    EXPECT_FALSE(rig->simulator().withModel([](sim::InstrumentModel& m, double) { return m.holdsTest(); }));
    EXPECT_EQ(stateCode(testState.load()), kStateIdle);
}

TEST_F(ConsoleRun, HeldTestRecoveredRunsToItsEndAndIsSaved) {
    rig = std::make_unique<SimRig>(test::quietPile(1.0, 1.0, 0.5, kLength), 0.01);
    CInfo held = pileTest(1.0f, 1);
    held.siteName = "恢复工地";
    held.pileId = "R-7";
    holdATest(*rig, held);
    sink.answers = {true};
    CInfo other = pileTest(2.0f, 1);  // the settings on this computer differ from the held test
    // A slow redraw of the recovered test gives the worker cycles before the start-up ends: the
    // instrument must still be told to resume sampling.
    view.onRedraw = [](uint32_t parts) {
        if (parts & kViewReset) std::this_thread::sleep_for(100ms);
    };
    startConsole(other);
    view.onRedraw = {};
    EXPECT_EQ(currentInfo.siteName, "恢复工地");
    EXPECT_EQ(currentInfo.pileId, "R-7");
    EXPECT_FLOAT_EQ(currentInfo.startDepth, 1.0f);
    EXPECT_EQ(currentInfo.chtPath, (dir / "PILE.CHT").string());
    saveWhenAsked();
    ASSERT_TRUE(runUntil([&] { return console->lastSaveResult() == SaveForm::Result::Saved; }));
    EXPECT_EQ(stateCode(testState.load()), kStateIdle);
    for (int i = 0; i < 500 && !std::filesystem::exists(dir / "PILE.CHT"); ++i)
        std::this_thread::sleep_for(10ms);
    COpenfile file((dir / "PILE").string());
    CInfo read;
    read.resetToDefaults();
    ASSERT_TRUE(file.parseHeader(read)) << file.errorText();
    EXPECT_EQ(read.pileId, "R-7");
    OwnedSectionLists lists;
    test::makeLists(lists, kLength);
    ASSERT_TRUE(file.readRows(read, listPointers(lists))) << file.errorText();
    EXPECT_EQ(file.levelsRead(), 11);
    EXPECT_GE(rig->link().sampleOnCalls(), 1);
    EXPECT_EQ(currentInfo.siteName, other.siteName);  // the settings are back after the save
}

TEST_F(ConsoleRun, HeldTestWhoseRecordsNeverComeIsLeftAlone) {
    rig = std::make_unique<SimRig>(test::quietPile(2.0, 1.0, 5.0, kLength), 0.01);
    // An armed cache without records: every Q answers with 5 bytes (result 2).
    ASSERT_EQ(rig->link().GetCommunicateStatus(), 1);
    ASSERT_EQ(rig->link().SetHeight(200, 100), 1);
    sink.answers = {true};
    startConsole(pileTest(2.0f, 1));
    ASSERT_EQ(sink.said.size(), 2u);
    EXPECT_EQ(sink.said[1].text, "无法读取主机中未保存的实验数据，本次不恢复实验。");
    EXPECT_EQ(stateCode(testState.load()), kStateIdle);
    EXPECT_TRUE(rig->simulator().withModel([](sim::InstrumentModel& m, double) { return m.holdsTest(); }));
}

TEST_F(ConsoleRun, FreeSamplingPauseAndResume) {
    start(pileTest(2.0f, 0), test::quietPile(2.0, 1.0, 60.0, kLength));
    console->click(kBtnSample);
    EXPECT_EQ(testState.load(), 0xF6000000u);
    EXPECT_EQ(console->caption(kBtnSample), "暂停");
    EXPECT_TRUE(console->buttons().at(kBtnNewSave));
    EXPECT_FALSE(console->buttons().at(kBtnSetup));
    ASSERT_TRUE(runUntil([&] { return levelsIn(0) == 1 && levelsIn(5) == 1; }));
    view.redraws = 0;
    ASSERT_TRUE(runUntil([&] { return (view.redraws & kViewWaveform) != 0; }));

    console->click(kBtnSample);  // pause
    EXPECT_EQ(testState.load(), 0xF6000004u);
    EXPECT_TRUE(pauseWorker.load());
    EXPECT_EQ(console->caption(kBtnSample), "采样");
    EXPECT_TRUE(console->buttons().at(kBtnSetup));
    EXPECT_EQ(view.timers.count(kTimerReconnect), 1u);  // clicked while it read "暂停"
    console->onTimer(kTimerReconnect);
    EXPECT_EQ(view.timers.count(kTimerReconnect), 0u);

    console->click(kBtnSample);  // resume
    EXPECT_EQ(testState.load(), 0xF6000000u);
    EXPECT_FALSE(pauseWorker.load());
}

TEST_F(ConsoleRun, ResumeWithoutTheInstrumentKeepsThePause) {
    start(pileTest(2.0f, 0), test::quietPile(2.0, 1.0, 60.0, kLength));
    console->click(kBtnSample);
    ASSERT_TRUE(runUntil([&] { return levelsIn(0) == 1; }));
    console->click(kBtnSample);
    rig->simulator().startBurst(60000);
    console->click(kBtnSample);
    EXPECT_EQ(sink.last(), "发送操作命令失败");
    EXPECT_EQ(testState.load(), 0xF6000004u);
    EXPECT_TRUE(pauseWorker.load());
}

// Checks every level of the pair at its depth; returns how many levels hold a flat (zero-line)
// waveform in the first section.
int expectPairOpens(const std::filesystem::path& base, int levels, float depth0, float stepM) {
    // A pair saved at the end is renamed into place just after the last progress report.
    for (int i = 0; i < 500 && !std::filesystem::exists(base.string() + ".CHT"); ++i)
        std::this_thread::sleep_for(10ms);
    COpenfile file(base.string());
    CInfo read;
    read.resetToDefaults();
    EXPECT_TRUE(file.parseHeader(read)) << file.errorText();
    OwnedSectionLists lists;
    test::makeLists(lists, kLength);
    EXPECT_TRUE(file.readRows(read, listPointers(lists))) << file.errorText();
    EXPECT_EQ(file.levelsRead(), levels);
    int flat = 0;
    for (int k = 0; k < 6; ++k) {
        auto g = lists[k]->lock();
        EXPECT_EQ(lists[k]->count, levels) << k;
        int level = 0;
        for (const SamplePoint* p = lists[k]->first; p; p = p->next, ++level) {
            EXPECT_NEAR(p->depth, depth0 - level * stepM, 0.006) << k << "/" << level;
            if (k == 0 &&
                std::all_of(p->samples.begin(), p->samples.end(), [](uint16_t c) { return c == 2048; }))
                ++flat;
        }
    }
    return flat;
}

class RecordingRun : public ConsoleRun, public ::testing::WithParamInterface<int> {};

TEST_P(RecordingRun, RecordsToTheEndAndSavesThroughTheDialog) {
    const int cacheMode = GetParam();
    start(pileTest(2.0f, cacheMode), test::quietPile(2.0, 1.0, 5.0, kLength));
    sampleThenRecord();
    EXPECT_EQ(console->caption(kBtnNewSave), "测试完成");
    // Recording: the buttons follow the worker's change of state at its next message.
    ASSERT_TRUE(runUntil([&] { return console->buttons().at(kBtnFix); }));
    EXPECT_EQ(stateCode(testState.load()), kStateRecordContinuous);
    EXPECT_EQ(console->caption(kBtnSample), "暂停");
    EXPECT_FALSE(console->buttons().at(kBtnAdjust));
    ASSERT_TRUE(runUntil([&] { return console->saveForm() != nullptr; }));
    EXPECT_EQ(testState.load(), 0xABCD0000u);
    EXPECT_FALSE(console->saveForm()->returnEnabled());  // the worker stopped by itself
    EXPECT_EQ(console->caption(kBtnSample), "测试完成");
    EXPECT_EQ(console->levelsStored(), 21);
    std::vector<int> progress;
    operatorStep = [&] {
        if (SaveForm* s = console->saveForm()) {
            if (s->buttonsVisible() && progress.empty()) {
                s->clickSave();
                console->dialogChanged();
            }
            if (s->progressVisible()) progress.push_back(s->progressPosition());
        }
    };
    ASSERT_TRUE(runUntil([&] { return console->lastSaveResult() == SaveForm::Result::Saved; }));
    EXPECT_EQ(stateCode(testState.load()), kStateIdle);
    EXPECT_EQ(view.count(ConsoleDialog::Save), 1);
    EXPECT_EQ(console->liftSpeed(), 0);  // the save dialog's WM_USER+121 (0, 0)
    EXPECT_EQ(console->lastTestLevels(), 21);
    expectPairOpens(dir / "PILE", 21, 2.0f, 0.1f);
    if (cacheMode == 1) {
        // The instrument's record of the test was ended: at most the new idle worker's armed
        // start level is held.
        EXPECT_LE(
            rig->simulator().withModel([](sim::InstrumentModel& m, double) { return m.storedLevels(); }), 1u);
    }
    // The console idles as after start-up, ready for the next test.
    EXPECT_TRUE(console->workerRunning());
    EXPECT_TRUE(pauseWorker.load());
    EXPECT_TRUE(console->buttons().at(kBtnNewSave));
    console->click(kBtnSample);
    EXPECT_EQ(stateCode(testState.load()), kStateFreeSampling);
}

// A buffered test (a recovered one, say) whose settings are for real-time acquisition, ended at
// its top without saving: the instrument's record of it is still ended.
TEST_F(ConsoleRun, ABufferedTestEndedWithoutSavingEndsTheInstrumentsRecord) {
    start(pileTest(1.0f, 1), test::quietPile(1.0, 1.0, 1.0, kLength));
    savedInfo.cacheMode = 0;
    sampleThenRecord();
    ASSERT_TRUE(runUntil([&] { return console->saveForm() != nullptr; }));
    const int before = rig->link().endOffCalls();
    console->saveForm()->clickNoSave()->ok();
    console->dialogChanged();
    ASSERT_TRUE(waitState(kStateIdle));
    EXPECT_EQ(rig->link().endOffCalls(), before + 1);
}

INSTANTIATE_TEST_SUITE_P(BothModes, RecordingRun, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "RealTime" : "Buffered"; });

TEST_F(ConsoleRun, RealTimeSaveWritesAsItGoes) {
    CInfo test = pileTest(8.0f, 0);
    test.saveMode = std::string(kSaveRealTime);
    start(test, test::quietPile(8.0, 1.0, 5.0, kLength));
    sampleThenRecord();
    EXPECT_EQ(maxPointCount.load(), 50);
    // WM_USER+96 has the service thread create the pair at once.
    EXPECT_TRUE(runUntil([&] { return std::filesystem::exists(dir / "PILE.CHT"); }));
    saveWhenAsked();
    ASSERT_TRUE(runUntil([&] { return console->lastSaveResult() == SaveForm::Result::Saved; }, 60s));
    EXPECT_EQ(console->fileErrors(), 0);
    expectPairOpens(dir / "PILE", 81, 8.0f, 0.1f);
}

// A real-time test abandoned after its first half window, then a short real-time test (it fits
// in memory, so it is saved at its end): the writer of the first must not take the second's
// levels into the deleted pair; the second ends with its whole pair and no file error.
TEST_F(ConsoleRun, AShortRealTimeTestAfterAnAbandonedOneGetsItsOwnPair) {
    CInfo test = pileTest(8.0f, 0);
    test.saveMode = std::string(kSaveRealTime);
    start(test, test::quietPile(8.0, 2.0, 1.0, kLength));
    sampleThenRecord();
    ASSERT_TRUE(runUntil([&] { return console->levelsStored() >= 30; }));
    console->click(kBtnNewSave);  // "测试完成"
    ASSERT_NE(console->saveForm(), nullptr);
    console->saveForm()->clickNoSave()->ok();
    console->dialogChanged();
    ASSERT_TRUE(waitState(kStateIdle));
    EXPECT_FALSE(std::filesystem::exists(dir / "PILE.CHT"));

    CInfo shortTest = pileTest(2.0f, 0);
    shortTest.saveMode = std::string(kSaveRealTime);
    {
        std::lock_guard<std::mutex> g(sharedCurrentInfo().lock());  // the idle worker reads it
        currentInfo = shortTest;
    }
    savedInfo = shortTest;
    view.dataFile = (dir / "SHORT").string();
    sampleThenRecord();
    saveWhenAsked();
    ASSERT_TRUE(runUntil([&] { return console->lastSaveResult() == SaveForm::Result::Saved; }));
    EXPECT_EQ(expectPairOpens(dir / "SHORT", 21, 2.0f, 0.1f), 0);
    EXPECT_EQ(console->fileErrors(), 0);
    for (const auto& said : sink.said)
        EXPECT_EQ(said.text.find("数据文件"), std::string::npos) << said.text;
    EXPECT_FALSE(std::filesystem::exists(dir / "PILE.CHT"));
}

// A jerk of the winch past more than the 50 levels kept in memory, then a resample at the
// probes: the placeholders never take the place of measured levels not yet written (25..30 here),
// and every row is at its own depth.
TEST_F(ConsoleRun, AResampleBeyondTheRingKeepsEveryMeasuredLevel) {
    CInfo test = pileTest(10.0f, 0);
    test.saveMode = std::string(kSaveRealTime);
    sim::Scenario s = test::quietPile(10.0, 1.0, 1.0, kLength);
    using Move = sim::WinchMove;
    s.winch.moves = {Move{Move::Kind::Rise, 3.15, 0.0}, Move{Move::Kind::Rise, 5.8, 60.0},
                     Move{Move::Kind::Stop, 2.0, 0.0}, Move{Move::Kind::Rise, 2.0, 0.0}};
    start(test, s);
    sampleThenRecord();
    ASSERT_TRUE(runUntil([&] { return console->leakForm() != nullptr; }, 60s));
    const int32_t firstMissed = console->leakForm()->expectedCm() / 10;
    ASSERT_GE(firstMissed, 31);
    // The operator waits for the probes to come to rest at the top of the jerk (8.95 m): 重采
    // shows their height, and is cancelled while they are still on their way.
    ResampleForm* r = nullptr;
    ASSERT_TRUE(runUntil(
        [&] {
            if (r) {
                r->cancel();
                console->dialogChanged();
            }
            console->click(kBtnNewSave);  // "重采"
            r = console->resampleForm();
            return r && r->currentHeightCm() >= 890;
        },
        60s));
    const int32_t above = ((r->currentHeightCm() + 9) / 10) * 10 + 10;  // the next level above the probes
    ASSERT_GE(above / 10 - firstMissed, 50);
    ASSERT_EQ(r->enterHeight(above), ResampleForm::Outcome::Accepted);
    console->dialogChanged();
    saveWhenAsked();
    ASSERT_TRUE(runUntil([&] { return console->lastSaveResult() == SaveForm::Result::Saved; }, 60s));
    EXPECT_EQ(console->fileErrors(), 0);
    EXPECT_EQ(expectPairOpens(dir / "PILE", 101, 10.0f, 0.1f), above / 10 - firstMissed);
}

TEST_F(ConsoleRun, PauseAndResumeWhileRecording) {
    sim::Scenario s = test::quietPile(2.0, 1.0, 5.0, kLength);
    // Half a metre up, then a 1 s stop while the operator pauses and resumes.
    s.winch.moves = {sim::WinchMove{sim::WinchMove::Kind::Rise, 0.5, 0.0},
                     sim::WinchMove{sim::WinchMove::Kind::Stop, 1.0, 0.0}};
    start(pileTest(2.0f, 0), s);
    sampleThenRecord();
    ASSERT_TRUE(runUntil([&] { return console->levelsStored() >= 3; }));
    console->click(kBtnSample);
    EXPECT_EQ(subState(testState.load()), kSubStatePaused);
    EXPECT_EQ(console->caption(kBtnSample), "采样");
    EXPECT_TRUE(console->buttons().at(kBtnPageBack));
    EXPECT_EQ(rig->simulator().withModel([](sim::InstrumentModel& m, double) { return m.led(); }), 0);
    const int32_t before = console->levelsStored();
    std::this_thread::sleep_for(50ms);
    console->dispatchMessages();
    EXPECT_EQ(console->levelsStored(), before);  // nothing recorded while paused
    console->click(kBtnSample);
    EXPECT_EQ(subState(testState.load()), 0u);
    saveWhenAsked();
    ASSERT_TRUE(runUntil([&] { return console->lastSaveResult() == SaveForm::Result::Saved; }));
    EXPECT_EQ(console->missedPointNotices(), 0);
}

TEST_F(ConsoleRun, GainChangeMidTestReachesTheInstrument) {
    CInfo test = pileTest(2.0f, 0);
    test.sections[0].gain = 100;
    start(test, test::quietPile(2.0, 0.5, 5.0, kLength));
    sampleThenRecord();
    ASSERT_TRUE(runUntil([&] { return console->levelsStored() >= 2; }));
    auto gainCode = [&] {
        return rig->simulator().withModel(
            [](sim::InstrumentModel& m, double) { return m.channelConfig().gainCode[0]; });
    };
    EXPECT_EQ(gainCode(), kaxil::gainCode(100));
    console->click(sectionControlId(0, SectionAdjust::GainUp));
    EXPECT_EQ(currentInfo.sections[0].gain, 200);
    EXPECT_EQ(currentInfo.appliedSections[0].gain, 200);
    EXPECT_EQ(codeConfig.get().groups[0].pairs[0].gain, 200);
    ASSERT_TRUE(runUntil([&] { return gainCode() == kaxil::gainCode(200); }));
    console->click(sectionControlId(0, SectionAdjust::DelayRight));
    EXPECT_FLOAT_EQ(currentInfo.sections[0].delay, 90.0f);
    EXPECT_FLOAT_EQ(currentInfo.appliedSections[0].delay, 90.0f);
}

TEST_F(ConsoleRun, MissedPointsShowTheNoticeAndResampleGoesOn) {
    sim::Scenario s = test::quietPile(3.0, 1.0, 5.0, kLength);
    // A jerk of the winch: 60 cm in one go, far more than one step between two cycles.
    s.winch.moves = {sim::WinchMove{sim::WinchMove::Kind::Rise, 0.5, 0.0},
                     sim::WinchMove{sim::WinchMove::Kind::Rise, 0.6, 60.0}};
    start(pileTest(3.0f, 0), s);
    sampleThenRecord();
    ASSERT_TRUE(runUntil([&] { return console->leakForm() != nullptr; }));
    EXPECT_EQ(console->missedPointNotices(), 1);
    EXPECT_EQ(subState(testState.load()), kSubStateMissedHold);
    EXPECT_EQ(console->caption(kBtnNewSave), "重采");
    EXPECT_GE(rig->simulator().withModel([](sim::InstrumentModel& m, double) { return m.leakSignals(); }), 1);
    LeakForm* leak = console->leakForm();
    EXPECT_GT(leak->currentCm(), leak->expectedCm());
    const int32_t leakExpected = leak->expectedCm();

    console->click(kBtnNewSave);
    ResampleForm* r = console->resampleForm();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->pileLengthCm(), 300);
    const int32_t h = r->currentHeightCm();
    const int32_t above = ((h + 9) / 10) * 10 + 10;  // the next level above the probes
    ASSERT_EQ(r->enterHeight(above), ResampleForm::Outcome::Accepted);
    console->dialogChanged();
    EXPECT_EQ(console->leakForm(), nullptr);
    EXPECT_EQ(subState(testState.load()), 0u);
    EXPECT_EQ(view.notices.back(), "重采高度为:" + std::to_string(above));
    saveWhenAsked();
    ASSERT_TRUE(runUntil([&] { return console->lastSaveResult() == SaveForm::Result::Saved; }));
    // The levels between the missed one and the resample height were never measured: they are
    // in the file at their depths with a flat waveform.
    const int skipped = (above - leakExpected) / 10;
    EXPECT_EQ(expectPairOpens(dir / "PILE", 31, 3.0f, 0.1f), skipped);
}

TEST_F(ConsoleRun, FinishingDuringAMissedPointHoldSavesWhatWasMeasured) {
    sim::Scenario s = test::quietPile(3.0, 1.0, 5.0, kLength);
    s.winch.moves = {sim::WinchMove{sim::WinchMove::Kind::Rise, 0.5, 0.0},
                     sim::WinchMove{sim::WinchMove::Kind::Rise, 0.6, 60.0}};
    start(pileTest(3.0f, 0), s);
    EXPECT_FALSE(console->finishTest());  // nothing recorded yet
    sampleThenRecord();
    ASSERT_TRUE(runUntil([&] { return console->leakForm() != nullptr; }));
    const int32_t measured = console->levelsStored();
    ASSERT_TRUE(console->finishTest());  // what Ctrl-C does in lx9 acquire
    EXPECT_TRUE(console->saveForm()->returnEnabled());
    saveWhenAsked();
    ASSERT_TRUE(runUntil([&] { return console->lastSaveResult() == SaveForm::Result::Saved; }));
    EXPECT_EQ(expectPairOpens(dir / "PILE", measured, 3.0f, 0.1f), 0);
    EXPECT_EQ(console->leakForm(), nullptr);
}

TEST_F(ConsoleRun, EndingEarlyWithoutSavingAbandonsTheTest) {
    CInfo test = pileTest(8.0f, 0);
    test.saveMode = std::string(kSaveRealTime);
    start(test, test::quietPile(8.0, 1.0, 5.0, kLength));
    sampleThenRecord();
    ASSERT_TRUE(runUntil([&] { return console->levelsStored() >= 5; }));
    console->click(kBtnNewSave);  // "测试完成"
    SaveForm* s = console->saveForm();
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->returnEnabled());  // the worker still runs
    NoSaveForm* confirm = s->clickNoSave();
    ASSERT_NE(confirm, nullptr);
    confirm->ok();
    console->dialogChanged();
    ASSERT_TRUE(runUntil([&] { return stateCode(testState.load()) == kStateIdle; }));
    EXPECT_EQ(console->lastSaveResult(), SaveForm::Result::NotSaved);
    EXPECT_FALSE(std::filesystem::exists(dir / "PILE.CHT"));
    EXPECT_FALSE(std::filesystem::exists(dir / "PILE.CHD"));
    EXPECT_EQ(currentInfo.chtPath, "");  // the settings are back
    EXPECT_TRUE(console->workerRunning());
}

TEST_F(ConsoleRun, ASavedPairOpensForViewingAndCloses) {
    start(pileTest(1.0f, 0), test::quietPile(1.0, 1.0, 5.0, kLength));
    sampleThenRecord();
    saveWhenAsked();
    ASSERT_TRUE(runUntil([&] { return console->lastSaveResult() == SaveForm::Result::Saved; }));
    operatorStep = nullptr;

    view.openFile = (dir / "PILE.CHT").string();
    console->click(kBtnOpen);
    EXPECT_EQ(stateCode(testState.load()), kStateViewing);
    ASSERT_TRUE(runUntil([&] { return console->viewingFile(); }));
    EXPECT_EQ(console->promptForm(), nullptr);
    EXPECT_EQ(console->caption(kBtnSample), "关闭文件");
    EXPECT_EQ(levelsIn(0), 11);
    EXPECT_EQ(currentInfo.chdPath, (dir / "PILE.CHD").string());
    // A viewed file can be looked at, analysed and closed; nothing can be acquired.
    for (int id : {kBtnSample, kBtnMode, kBtnAnalyse, kBtnClose})
        EXPECT_TRUE(console->buttons().at(id)) << id;
    for (int id : {kBtnSetup, kBtnNewSave, kBtnAdjust, kBtnOpen})
        EXPECT_FALSE(console->buttons().at(id)) << id;

    view.confirmAnswer = false;
    console->click(kBtnSample);
    EXPECT_EQ(view.confirmed, (std::vector<std::string>{"是否确认关闭文件？"}));
    EXPECT_TRUE(console->viewingFile());
    view.confirmAnswer = true;
    console->click(kBtnSample);
    EXPECT_FALSE(console->viewingFile());
    EXPECT_EQ(stateCode(testState.load()), kStateIdle);
    EXPECT_EQ(currentInfo.chdPath, "");  // the settings again
    EXPECT_EQ(levelsIn(0), 0);
    EXPECT_EQ(console->caption(kBtnSample), "采样");
}

TEST_F(ConsoleRun, OpeningAMissingFileFailsBackToIdle) {
    start(pileTest(1.0f, 0), test::quietPile(1.0, 1.0, 5.0, kLength));
    view.openFile = (dir / "NONE.CHT").string();
    console->click(kBtnOpen);
    ASSERT_TRUE(runUntil([&] {
        PromptForm* p = console->promptForm();
        return p && p->phase() == PromptForm::Phase::Failed;
    }));
    PromptForm* p = console->promptForm();
    EXPECT_EQ(p->text(), "           打开文件失败！");
    EXPECT_EQ(stateCode(testState.load()), kStateIdle);
    p->ok();
    console->dialogChanged();
    EXPECT_EQ(console->promptForm(), nullptr);
    EXPECT_TRUE(console->workerRunning());
    EXPECT_TRUE(console->buttons().at(kBtnSample));
}

TEST_F(ConsoleRun, CommunicationFailureNoticeComesAndGoes) {
    start(pileTest(2.0f, 0), test::quietPile(2.0, 1.0, 60.0, kLength));
    console->click(kBtnSample);
    ASSERT_TRUE(runUntil([&] { return levelsIn(0) == 1; }));
    rig->simulator().startBurst(80);  // eight exchanges lost (simulator time moves per call)
    ASSERT_TRUE(runUntil([&] { return console->commNoticeShown(); }));
    EXPECT_EQ(view.notices.front(), "通讯出错，请检测网络！");
    ASSERT_TRUE(runUntil([&] { return !console->commNoticeShown(); }));
    EXPECT_EQ(view.notices.back(), "closed");
    EXPECT_EQ(std::count(view.notices.begin(), view.notices.end(), "通讯出错，请检测网络！"), 1);
}

// The notice closed by hand is shown again at the next failure; a button follows the state the
// worker has set even before its message arrives.
TEST_F(ConsoleRun, NoticeClosedByHandAndButtonsFollowTheState) {
    start(pileTest(2.0f, 0), test::quietPile(2.0, 1.0, 60.0, kLength));
    console->handleMessage(Message{kMsgCommFailure, 0, 0, 0, {}});
    EXPECT_TRUE(console->commNoticeShown());
    console->commNoticeClosed();
    EXPECT_FALSE(console->commNoticeShown());
    console->handleMessage(Message{kMsgCommRestored, 0, 0, 0, {}});
    console->handleMessage(Message{kMsgCommFailure, 0, 0, 0, {}});
    EXPECT_EQ(view.notices, (std::vector<std::string>{"通讯出错，请检测网络！", "通讯出错，请检测网络！"}));

    // The worker entered recording (its message still on the way): 固定 is enabled there.
    EXPECT_FALSE(console->buttons().at(kBtnFix));
    testState = makeState(kStateRecordContinuous);
    console->click(kBtnFix);
    EXPECT_TRUE(console->displayFixed());
    testState = makeState(kStateIdle);
}

// Closing, and destroying without closing, end within a bounded time whatever the console is
// doing, also while the service thread waits on the console (save progress, a file's header).
TEST_F(ConsoleRun, CloseEndsWithinBoundedTimeInEveryState) {
    enum class Case { Idle, Sampling, Recording, Paused, Saving, Opening };
    for (const Case c :
         {Case::Idle, Case::Sampling, Case::Recording, Case::Paused, Case::Saving, Case::Opening}) {
        for (const bool destroyOnly : {false, true}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(c)) + (destroyOnly ? " destroyed" : " closed"));
            console.reset();
            rig.reset();
            resetSharedFlags();
            polls = 0;
            operatorStep = {};
            start(pileTest(1.0f, 0), test::quietPile(1.0, 1.0, c == Case::Paused ? 60.0 : 0.5, kLength));
            if (c == Case::Sampling) console->click(kBtnSample);
            if (c == Case::Recording || c == Case::Paused || c == Case::Saving) sampleThenRecord();
            if (c == Case::Paused) console->click(kBtnSample);
            if (c == Case::Saving) {
                ASSERT_TRUE(runUntil([&] { return console->saveForm() != nullptr; }));
                console->saveForm()->clickSave();
                std::this_thread::sleep_for(300ms);  // the service thread now waits on its report
            }
            if (c == Case::Opening) {
                ASSERT_TRUE(std::filesystem::exists(dir / "PILE.CHT"));  // saved by the case before
                view.openFile = (dir / "PILE").string();
                console->click(kBtnOpen);
                std::this_thread::sleep_for(300ms);  // the header is read: it waits on the console
            }
            const auto began = std::chrono::steady_clock::now();
            if (destroyOnly)
                console.reset();
            else
                console->close();
            EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);
            console.reset();
            EXPECT_LT(std::chrono::steady_clock::now() - began, 8s);
        }
    }
}

TEST_F(ConsoleRun, SetupDuringPausedSamplingRestartsTheWorker) {
    start(pileTest(2.0f, 0), test::quietPile(2.0, 1.0, 60.0, kLength));
    console->click(kBtnSample);
    ASSERT_TRUE(runUntil([&] { return levelsIn(0) == 1; }));
    console->click(kBtnSample);  // paused: the setup may open
    ASSERT_TRUE(console->buttons().at(kBtnSetup));
    SetupForm setup(sharedCurrentInfo(), savedInfo, *console, sink);
    setup.chooseStep(50);
    ASSERT_EQ(setup.ok().outcome, FormOutcome::Accepted) << sink.last();
    EXPECT_EQ(currentInfo.stepMm, 50);
    EXPECT_EQ(maxPointCount.load(), 41);
    EXPECT_EQ(levelsIn(0), 41);  // placeholders for the new test's levels
    EXPECT_TRUE(console->workerRunning());
    EXPECT_TRUE(listsReady.load());  // set again through the console once the new worker runs
    EXPECT_TRUE(pauseWorker.load());
    EXPECT_EQ(codeConfig.get().stepMm, 50);
    CInfo stored;
    UploadSettings upload;
    ASSERT_EQ(loadSettings(stored, upload, dir / "set.ini"), LoadResult::Loaded);
    EXPECT_EQ(stored.stepMm, 50);
    console->click(kBtnSample);  // resume with the new worker
    EXPECT_FALSE(pauseWorker.load());
    ASSERT_TRUE(runUntil([&] {
        auto g = sectionLists[0]->lock();
        const SamplePoint* p = sectionLists[0]->current;
        return p && std::any_of(p->samples.begin(), p->samples.end(), [](uint16_t c) { return c != 2048; });
    }));
}

TEST_F(ConsoleRun, LiveDepthGoesToTheDialogThatShowsIt) {
    start(pileTest(2.0f, 0), test::quietPile(2.0, 1.0, 0.0, kLength));
    std::vector<uint16_t> depths;
    console->setDepthListener([&](uint16_t cm) { depths.push_back(cm); });
    // What the calibration's correction run does when it starts.
    testState = makeState(kStateLiveDepth);
    pauseWorker = false;
    ASSERT_TRUE(runUntil([&] { return depths.size() >= 5 && depths.back() > depths.front(); }));
    testState = makeState(kStateIdle);
    pauseWorker = true;
    console->setDepthListener({});
}

TEST_F(ConsoleRun, AdjustmentDialogPushesEachChangeAtOnce) {
    start(pileTest(2.0f, 0), test::quietPile(2.0, 1.0, 60.0, kLength));
    console->click(kBtnSample);
    console->click(kBtnAdjust);
    PlusInputForm* adjust = console->plusInputForm();
    ASSERT_NE(adjust, nullptr);
    EXPECT_EQ(view.opened.back(), ConsoleDialog::PlusInput);
    ASSERT_TRUE(adjust->chooseGain(1, "2000"));
    auto gainCode = [&] {
        return rig->simulator().withModel(
            [](sim::InstrumentModel& m, double) { return m.channelConfig().gainCode[1]; });
    };
    ASSERT_TRUE(runUntil([&] { return gainCode() == kaxil::gainCode(2000); }));
    adjust->ok();
    console->dialogChanged();
    EXPECT_EQ(console->plusInputForm(), nullptr);
    EXPECT_EQ(view.closed.back(), ConsoleDialog::PlusInput);
    EXPECT_EQ(savedInfo.sections[1].gain, 2000);
}

TEST_F(ConsoleRun, ChoosingBufferedModeLaterSendsTheParameterRecords) {
    start(pileTest(2.0f, 0), test::quietPile(2.0, 1.0, 60.0, kLength));
    EXPECT_TRUE(holdForParameters.load());  // real-time start: the hold is never needed
    console->click(kBtnMode);
    ModalForm* mode = console->modalForm();
    ASSERT_NE(mode, nullptr);
    mode->chooseCacheMode(1);
    ASSERT_EQ(mode->ok(), ModalForm::Outcome::Accepted);
    console->dialogChanged();
    EXPECT_EQ(currentInfo.cacheMode, 1);
    EXPECT_FALSE(holdForParameters.load());
    console->click(kBtnSample);
    ASSERT_TRUE(runUntil([&] {
        return rig->simulator().withModel([](sim::InstrumentModel& m, double) { return m.holdsTest(); });
    }));
}

TEST_F(ConsoleRun, CloseStoresTheSettingsAndStopsBothThreads) {
    start(pileTest(2.0f, 0), test::quietPile(2.0, 1.0, 60.0, kLength));
    console->click(kBtnSample);
    console->click(kBtnSample);  // paused: 关闭 is enabled
    console->click(kBtnClose);
    EXPECT_TRUE(console->closed());
    EXPECT_TRUE(view.windowClosed);
    EXPECT_FALSE(console->workerRunning());
    EXPECT_FALSE(testRunning.load());
    CInfo stored;
    UploadSettings upload;
    EXPECT_EQ(loadSettings(stored, upload, dir / "set.ini"), LoadResult::Loaded);
    EXPECT_FLOAT_EQ(stored.startDepth, 2.0f);
    EXPECT_TRUE(stored.consoleFlagB);
    EXPECT_FALSE(stored.consoleFlagA);
    // The window then closes and starts the program again.
    const auto commands = console->windowClosing(dir / "LX9");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].program, dir / "LX9");
    EXPECT_EQ(commands[0].arguments, (std::vector<std::string>{"-1"}));
}

}  // namespace
}  // namespace lx9
