// The end-of-test dialogs and the file-opening prompt against a recording console: what each
// button posts, to whom, in which order, and what it leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "acquisition/messages.h"
#include "acquisition/prompt_form.h"
#include "acquisition/save_form.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "tests/acquisition/console_fakes.h"

namespace lx9 {
namespace {

using test::ScriptedSink;

// Records every instrument call by name; every call succeeds.
class CallLog : public InstrumentLink {
  public:
    std::vector<std::string> calls;
    uint8_t GetCommunicateStatus() override { return log("a"); }
    uint8_t GetFirmwareVersion() override { return log("f"); }
    uint8_t GetBatteryQuantity() override { return log("b"); }
    uint8_t SetLEDStatus(uint8_t s) override { return log("LED" + std::to_string(s)); }
    uint8_t SetLeakInfo() override { return log("l"); }
    uint8_t StartRecordHeight() override { return log("c"); }
    uint8_t StartSample() override { return log("s"); }
    uint8_t GetSampleStatus() override { return 1; }
    uint8_t GetSampleHeight(uint16_t*, uint16_t*) override { return log("h"); }
    uint8_t GetHeight(uint16_t, uint16_t*, uint16_t*) override { return log("H"); }
    uint8_t ReadSampleData(uint16_t, uint16_t*, uint16_t*) override { return log("g"); }
    uint8_t ReadData(uint16_t, uint16_t, uint16_t*, uint16_t*) override { return log("G"); }
    uint8_t SetSample(uint8_t on) override { return log("P" + std::to_string(on)); }
    uint8_t SetBegin(uint8_t on) override { return log("N" + std::to_string(on)); }
    uint8_t SetEnd(uint8_t on) override { return log("E" + std::to_string(on)); }
    uint8_t SetHeight(int32_t, uint16_t) override { return log("S4"); }
    uint8_t Set(_Ctrl_Code_INFO_DLL*) override { return log("d"); }
    uint8_t SetPara1(_Ctrl_SET1_INFO_DLL) override { return log("S1"); }
    uint8_t GetPara1(_Ctrl_SET1_INFO_DLL*) override { return log("Q1"); }
    uint8_t SetPara2(_Ctrl_SET2_INFO_DLL) override { return log("S2"); }
    uint8_t GetPara2(_Ctrl_SET2_INFO_DLL*) override { return log("Q2"); }
    uint8_t SetPara3(uint8_t*, int32_t) override { return log("S3"); }
    uint8_t GetPara3(uint8_t*, int32_t) override { return log("Q3"); }

  private:
    uint8_t log(std::string c) {
        calls.push_back(std::move(c));
        return 1;
    }
};

class RecordingHost : public TestDialogHost {
  public:
    void stopWorkerForEnd() override { events.push_back("stop"); }
    bool postToService(Message m) override {
        events.push_back("service " + std::to_string(m.id - WM_USER));
        service.push_back(m);
        return serviceAlive;
    }
    void postToConsole(Message m) override {
        events.push_back("console " + std::to_string(m.id - WM_USER));
        console.push_back(m);
    }
    void resetAfterTest() override { events.push_back("reset"); }
    void resetViews() override { events.push_back("views"); }
    void recreateForFile() override { events.push_back("lists"); }
    int32_t levelsCollected() const override { return levels; }
    bool testWroteFiles() const override { return wroteFiles; }
    InstrumentLink& instrument() override { return link; }

    std::vector<std::string> events;
    std::vector<Message> service, console;
    CallLog link;
    int32_t levels = 0;
    bool wroteFiles = false;
    bool serviceAlive = true;
};

struct SaveFixture : ::testing::Test {
    void SetUp() override {
        current.resetToDefaults();  // horizontal, start depth 20 m, step 50 mm: 401 levels
        current.chdPath = "/data/PILE1.CHD";
        saved = current;
        saved.siteName = "saved";
        state = makeState(kStateEndContinuous);
        continueAfterEnd = true;
        resumeArmedStart = true;
        resumeArmedRecording = true;
    }
    void TearDown() override {
        continueAfterEnd = false;
        resumeArmedStart = false;
        resumeArmedRecording = false;
    }
    SaveForm form(bool final) { return SaveForm({current, infoLock}, saved, state, host, sink, final, 0x55); }

    CInfo current, saved;
    std::mutex infoLock;
    std::atomic<uint32_t> state{0};
    RecordingHost host;
    ScriptedSink sink;
};

TEST_F(SaveFixture, SaveAtTheEndPostsAndFollowsTheProgress) {
    SaveForm f = form(true);
    EXPECT_FALSE(f.returnEnabled());
    EXPECT_TRUE(f.buttonsVisible());
    EXPECT_FALSE(f.progressVisible());
    f.clickSave();
    f.clickSave();  // ignored
    // The worker stopped by itself in the end state: nothing to stop.
    EXPECT_EQ(host.events, (std::vector<std::string>{"service 99"}));
    EXPECT_EQ(host.service[0].wParam, 0x55u);
    EXPECT_FALSE(continueAfterEnd.load());
    EXPECT_TRUE(f.buttonsVisible());  // until the first report

    f.onProgress(20, 401);
    EXPECT_FALSE(f.buttonsVisible());
    EXPECT_TRUE(f.progressVisible());
    EXPECT_FALSE(f.closeCommandEnabled());
    EXPECT_EQ(f.progressPosition(), 4);
    EXPECT_EQ(f.progressText(), "已保存4%\n保存路径：/data/PILE1.CHD");
    f.onProgress(400, 401);
    EXPECT_EQ(f.progressText(), "已保存99%\n保存路径：/data/PILE1.CHD");
    EXPECT_EQ(f.phase(), SaveForm::Phase::Progress);

    f.onProgress(401, 401);
    EXPECT_EQ(f.phase(), SaveForm::Phase::Closed);
    EXPECT_EQ(f.result(), SaveForm::Result::Saved);
    EXPECT_TRUE(f.stayOpen());
    EXPECT_EQ(current.siteName, "saved");  // savedInfo copied back
    EXPECT_EQ(host.events, (std::vector<std::string>{"service 99", "reset", "console 121"}));
    EXPECT_EQ(host.console[0].wParam, 0u);
    EXPECT_EQ(host.console[0].lParam, 0);
    EXPECT_EQ(host.link.calls, (std::vector<std::string>{"E0"}));  // buffered mode ends the instrument's test
}

TEST_F(SaveFixture, SaveMidTestStopsTheWorkerAndRealTimeModeSendsNoEnd) {
    current.cacheMode = 0;
    state = makeState(kStateRecordContinuous, kSubStatePaused);
    SaveForm f = form(false);
    f.clickSave();
    EXPECT_EQ(host.events, (std::vector<std::string>{"stop", "service 99"}));
    f.onProgress(0, 0);  // an empty test: nothing to divide by
    EXPECT_EQ(f.phase(), SaveForm::Phase::Closed);
    EXPECT_TRUE(host.link.calls.empty());
}

TEST_F(SaveFixture, AFailedSaveBringsTheChoicesBack) {
    // Opened mid-test: the save stops the worker, so the choices that come back have no test to
    // return to.
    state = makeState(kStateRecordContinuous);
    SaveForm f = form(false);
    EXPECT_TRUE(f.returnEnabled());
    EXPECT_FALSE(f.closeCommandEnabled());  // the choice phase too: closing is no answer
    EXPECT_TRUE(f.escapeIgnored());
    f.clickSave();
    f.onProgress(20, 401);
    f.onSaveFailed("/data/PILE1.CHD: No space left on device");
    EXPECT_EQ(f.phase(), SaveForm::Phase::Choice);
    EXPECT_TRUE(f.buttonsVisible());
    EXPECT_EQ(sink.last(), "数据文件保存失败：/data/PILE1.CHD: No space left on device");
    EXPECT_FALSE(f.returnEnabled());
    f.clickReturn();
    EXPECT_EQ(f.phase(), SaveForm::Phase::Choice);
    EXPECT_EQ(stateCode(state.load()), kStateRecordContinuous);
    EXPECT_FALSE(continueAfterEnd.load());
    f.clickSave();  // may be tried again
    EXPECT_EQ(host.service.size(), 2u);
}

TEST_F(SaveFixture, NotSavingWithFewerLevelsClosesTheFilesAndAbandons) {
    host.levels = 400;  // one short of the 401 the pile needs
    EXPECT_EQ(levelsNeeded(current), 401);
    SaveForm f = form(true);
    NoSaveForm* confirm = f.clickNoSave();
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(confirm->caption(), "结束实验");
    EXPECT_EQ(confirm->text(), "是否确认不保存？选择确认将会结束实验");
    EXPECT_EQ(confirm->ok(), NoSaveForm::Outcome::Accepted);
    EXPECT_EQ(host.events, (std::vector<std::string>{"service 123", "console 124", "console 121"}));
    EXPECT_EQ(f.phase(), SaveForm::Phase::Closed);
    EXPECT_EQ(f.result(), SaveForm::Result::NotSaved);
    EXPECT_FALSE(continueAfterEnd.load());
}

TEST_F(SaveFixture, NotSavingAFinishedPileLeavesTheFilesToTheServiceThread) {
    host.levels = 401;
    state = makeState(kStateRecordFixed);
    SaveForm f = form(false);
    f.clickNoSave()->ok();
    EXPECT_EQ(host.events, (std::vector<std::string>{"stop", "console 124", "console 121"}));
}

TEST_F(SaveFixture, NotSavingRemovesOnlyTheFilesThisTestWrote) {
    const auto dir = std::filesystem::temp_directory_path() / ("lx9_nosave_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    current.chtPath = (dir / "P.CHT").string();
    current.chdPath = (dir / "P.CHD").string();
    std::ofstream(current.chtPath) << "old";
    std::ofstream(current.chdPath) << "old";
    {
        SaveForm f = form(true);  // saved at the end: the pair there is an older test
        f.clickNoSave()->ok();
        EXPECT_TRUE(std::filesystem::exists(current.chtPath));
        EXPECT_TRUE(std::filesystem::exists(current.chdPath));
    }
    host.wroteFiles = true;  // real time: the pair is this test's
    SaveForm g = form(true);
    g.clickNoSave()->ok();
    EXPECT_FALSE(std::filesystem::exists(current.chtPath));
    EXPECT_FALSE(std::filesystem::exists(current.chdPath));
    std::filesystem::remove_all(dir);
}

TEST_F(SaveFixture, CancellingTheConfirmationChangesNothing) {
    host.wroteFiles = true;
    SaveForm f = form(true);
    f.clickNoSave()->cancel();
    EXPECT_EQ(f.noSave(), nullptr);
    EXPECT_TRUE(host.events.empty());
    EXPECT_EQ(f.phase(), SaveForm::Phase::Choice);
    EXPECT_TRUE(continueAfterEnd.load());
}

TEST_F(SaveFixture, ReturningToTheTest) {
    current.cacheMode = 0;
    SaveForm disabled = form(true);
    disabled.clickReturn();
    EXPECT_EQ(disabled.phase(), SaveForm::Phase::Choice);

    continueAfterEnd = false;
    SaveForm f = form(false);
    f.clickReturn();
    EXPECT_EQ(state.load(), 0xFA000000u);
    EXPECT_TRUE(continueAfterEnd.load());
    EXPECT_FALSE(resumeArmedStart.load());
    EXPECT_FALSE(resumeArmedRecording.load());
    EXPECT_EQ(host.link.calls, (std::vector<std::string>{"LED1"}));
    EXPECT_EQ(f.result(), SaveForm::Result::ReturnedToTest);

    current.continuousFiring = false;
    current.cacheMode = 1;
    state = makeState(kStateEndFixed);
    host.link.calls.clear();
    SaveForm fixed = form(false);
    fixed.clickReturn();
    EXPECT_EQ(state.load(), 0xFC000000u);
    EXPECT_TRUE(host.link.calls.empty());  // buffered mode: no LED
}

TEST(LevelsNeeded, FromTheBaseHeightOfEachMode) {
    CInfo info;
    info.resetToDefaults();
    info.startDepth = 20.3f;  // 20300 mm, not 20299
    EXPECT_EQ(levelsNeeded(info), 407);
    info.testMode = kFan;
    info.sections[0].sectionStartDepth = 15.0f;
    info.sections[0].heightDiff = 500;
    EXPECT_EQ(levelsNeeded(info), 291);  // 14500 / 50 + 1
    info.stepMm = 0;
    EXPECT_EQ(levelsNeeded(info), 0);
}

// ---- CDlg_Prompt

TEST(PromptForm, OpensThroughTheServiceThread) {
    RecordingHost host;
    std::atomic<uint32_t> state{makeState(kStateViewing)};
    PromptForm p(state, host, "/data/PILE1", 7, 0x66);
    EXPECT_EQ(p.caption(), "打开文件");
    EXPECT_EQ(p.text(), "正在打开，请稍等......");
    EXPECT_FALSE(p.okVisible());
    EXPECT_FALSE(p.closeCommandEnabled());
    EXPECT_FALSE(p.acceptsKeys());
    p.open();
    ASSERT_EQ(host.service.size(), 1u);
    EXPECT_EQ(host.service[0].id, WM_USER + 103);
    EXPECT_EQ(host.service[0].wParam, 7u);
    EXPECT_EQ(host.service[0].lParam, 0x66);
    EXPECT_EQ(host.service[0].text, "/data/PILE1");
    p.onHeaderRead();
    p.onOpened();
    EXPECT_EQ(p.phase(), PromptForm::Phase::Closed);
    EXPECT_TRUE(p.opened());
    EXPECT_EQ(host.events, (std::vector<std::string>{"service 103", "lists", "console 104"}));
    EXPECT_EQ(state.load(), makeState(kStateViewing));
}

TEST(PromptForm, AFailedOpenSaysSoAndGoesIdle) {
    RecordingHost host;
    std::atomic<uint32_t> state{makeState(kStateViewing)};
    PromptForm p(state, host, "/data/NONE", 0, 1);
    p.open();
    p.onFailed("/data/NONE.CHT: No such file or directory");
    EXPECT_EQ(p.caption(), "打开失败");
    EXPECT_EQ(p.text(), "           打开文件失败！");
    EXPECT_EQ(p.reason(), "/data/NONE.CHT: No such file or directory");
    EXPECT_TRUE(p.okVisible());
    EXPECT_TRUE(p.acceptsKeys());
    EXPECT_EQ(state.load(), makeState(kStateIdle));
    EXPECT_EQ(host.events, (std::vector<std::string>{"service 103", "views"}));
    p.ok();
    EXPECT_EQ(p.phase(), PromptForm::Phase::Closed);
    EXPECT_FALSE(p.opened());
}

TEST(PromptForm, OverAnExistingViewLeavesTheViewsAlone) {
    RecordingHost host;
    std::atomic<uint32_t> state{makeState(kStateViewing)};
    PromptForm p(state, host, "/data/P", 0, 1, true);
    p.open();
    p.onHeaderRead();
    p.onFailed("bad");
    EXPECT_EQ(host.events, (std::vector<std::string>{"service 103"}));
}

TEST(PromptForm, AServiceThreadThatEndedFailsAtOnce) {
    RecordingHost host;
    host.serviceAlive = false;
    std::atomic<uint32_t> state{makeState(kStateViewing)};
    PromptForm p(state, host, "/data/P", 0, 1);
    p.open();
    EXPECT_EQ(p.phase(), PromptForm::Phase::Failed);
    EXPECT_EQ(state.load(), makeState(kStateIdle));
}

}  // namespace
}  // namespace lx9
