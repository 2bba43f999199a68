#include "setup/setup_form.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "data/globals.h"
#include "data/run_state.h"
#include "setup_fakes.h"

namespace lx9 {
namespace {

using test::RecordingConsole;
using test::RecordingSink;
using test::ScriptedLink;

class SetupFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        current = test::defaultInfo();
        saved = current;
        testState = makeState(kStateIdle);
        listsReady = true;
    }
    void TearDown() override { testState = makeState(kStateIdle); }

    SetupForm& open(InstrumentLink* link = nullptr) {
        form = std::make_unique<SetupForm>(SharedInfo{current, infoLock}, saved, console, sink, link);
        return *form;
    }

    // Names of the rows the arrangement measures (display box enabled).
    std::vector<std::string> measuredRows() const {
        std::vector<std::string> names;
        for (int r = 0; r < kMaxSections; ++r) {
            if (form->controls().rows[r].displayEnabled) names.emplace_back(kPairNames[r]);
        }
        return names;
    }

    CInfo current, saved;
    std::mutex infoLock;
    RecordingConsole console;
    RecordingSink sink;
    std::unique_ptr<SetupForm> form;
};

using Rows = std::vector<std::string>;

TEST_F(SetupFormTest, OpensWithTheRecordsTexts) {
    const SetupControls& c = open().controls();
    EXPECT_EQ(c.pipeCount, "4");
    EXPECT_EQ(c.step, "50");
    EXPECT_EQ(c.startDepth, "20.00");
    EXPECT_EQ(c.pileLength, "20.00");
    EXPECT_EQ(c.pileDiameter, "20");
    EXPECT_EQ(c.filter, "全通");
    EXPECT_EQ(c.testMode, kHorizontal);
    EXPECT_TRUE(c.pairwise && !c.oneToMany && c.pairwiseEnabled);
    EXPECT_TRUE(c.bufferedMode && c.bufferedEnabled && !c.realTimeMode);
    EXPECT_TRUE(c.showTestTypeAtStart);  // from the console
    EXPECT_EQ(c.rows[2].delay, "100.0");
    EXPECT_EQ(c.rows[2].gain, "80");
    EXPECT_EQ(c.rows[2].spacing, "340");
    EXPECT_EQ(measuredRows(), (Rows{"1-2", "1-3", "1-4", "2-3", "2-4", "3-4"}));
    for (const auto& row : c.rows)
        EXPECT_TRUE(row.display);
    EXPECT_FALSE(form->rowFieldsEnabled(0));  // horizontal

    current.sections[0].highPass = 10.0f;
    current.sections[4].display = false;
    EXPECT_EQ(open().controls().filter, "带通");
    EXPECT_FALSE(form->controls().rows[4].display);  // a stored hidden row stays hidden
    EXPECT_TRUE(form->controls().rows[4].displayEnabled);
}

TEST_F(SetupFormTest, BufferedModeIsUnavailableForAStepOf10OrFirmware4) {
    current.stepMm = 10;
    const SetupControls& a = open().controls();
    EXPECT_FALSE(a.bufferedEnabled);
    EXPECT_TRUE(a.realTimeMode && !a.bufferedMode);

    current.stepMm = 50;
    current.firmwareVersion = 4;
    const SetupControls& b = open().controls();
    EXPECT_FALSE(b.bufferedEnabled);
    EXPECT_TRUE(b.realTimeMode);
    form->chooseStep(100);  // still no cache on that instrument
    EXPECT_FALSE(form->controls().bufferedEnabled);

    current.firmwareVersion = 5;
    open().chooseStep(10);
    EXPECT_FALSE(form->controls().bufferedEnabled);
    EXPECT_TRUE(form->controls().realTimeMode);
    form->chooseStep(50);
    EXPECT_TRUE(form->controls().bufferedEnabled);
    EXPECT_TRUE(form->controls().realTimeMode);  // the operator chooses buffered again himself
    for (const auto& row : form->controls().rows)
        EXPECT_EQ(row.step, "50");
}

TEST_F(SetupFormTest, FirmwareVersionIsReadOnceAndAFailureIsNotKept) {
    ScriptedLink link;
    EXPECT_EQ(open(&link).hardwareVersionText(), "硬件版本：获取失败");
    EXPECT_EQ(current.firmwareVersion, 0);
    open(&link);
    EXPECT_EQ(link.firmwareReads, 2);  // tried again

    link.firmware = 0x83;
    EXPECT_EQ(open(&link).hardwareVersionText(), "硬件版本：2.3");
    EXPECT_EQ(current.firmwareVersion, 0x83);
    open(&link);
    EXPECT_EQ(link.firmwareReads, 3);  // cached

    current.firmwareVersion = 0x05;
    EXPECT_EQ(open().hardwareVersionText(), "硬件版本：1.5");
    EXPECT_EQ(form->softwareVersionText(), "软件版本：1.1.41122");
}

TEST_F(SetupFormTest, SectionsFollowPipesAndChannelsInBothTransceiveModes) {
    SetupForm& f = open();
    const std::vector<std::pair<int, Rows>> pairwise = {{2, {"1-2"}},
                                                        {3, {"1-2", "1-3", "2-3"}},
                                                        {4, {"1-2", "1-3", "1-4", "2-3", "2-4", "3-4"}},
                                                        {5, {"1-2", "1-3", "1-4", "2-3", "2-4", "3-4"}}};
    for (const auto& [pipes, rows] : pairwise) {
        f.choosePipeCount(pipes);
        EXPECT_EQ(measuredRows(), rows) << pipes << " pipes, pairwise";
    }
    f.setPairwise(false);
    const std::vector<std::pair<int, Rows>> oneToMany = {
        {2, {"1-2"}}, {3, {"1-2", "1-3"}}, {4, {"1-2", "1-3", "1-4"}}, {5, {"1-2", "1-3", "1-4"}}};
    for (int mode : {kHorizontal, kInclined}) {
        f.setTestMode(mode);
        for (const auto& [pipes, rows] : oneToMany) {
            f.choosePipeCount(pipes);
            EXPECT_EQ(measuredRows(), rows) << pipes << " pipes, mode " << mode;
        }
    }
    f.setTestMode(kFan);
    for (int pipes = 2; pipes <= 5; ++pipes) {
        f.choosePipeCount(pipes);
        EXPECT_EQ(measuredRows(), Rows{"1-2"}) << pipes << " pipes, fan";
    }
    const auto& ch = f.controls().channels;
    EXPECT_TRUE(ch[0].checked && ch[1].checked && !ch[2].checked && !ch[3].checked);
    EXPECT_FALSE(ch[2].enabled || ch[3].enabled);
    EXPECT_EQ(ch[0].state, "发射");
    EXPECT_EQ(ch[1].state, "接收1");
}

TEST_F(SetupFormTest, DerivationUsesThePipeNumbers) {
    SetupForm& f = open();
    f.choosePipeCount(3);
    f.chooseChannelPipe(2, "管5");  // pairs with pipe 5 have no row
    EXPECT_EQ(measuredRows(), Rows{"1-2"});
    f.chooseChannelPipe(2, "管1");  // a repeated pipe counts once
    EXPECT_EQ(measuredRows(), Rows{"1-2"});

    f.setPairwise(false);
    f.choosePipeCount(3);
    f.chooseChannelPipe(0, "管2");
    f.chooseChannelPipe(1, "管3");
    f.chooseChannelPipe(2, "管4");
    EXPECT_EQ(measuredRows(), (Rows{"2-3", "2-4"}));
    f.chooseChannelPipe(1, "管1");  // "2-1" names no row
    EXPECT_EQ(measuredRows(), Rows{"2-4"});
}

TEST_F(SetupFormTest, ChoosingATransmitterClearsTheChannelsBelowAndRelabels) {
    SetupForm& f = open();
    f.setPairwise(false);
    f.chooseChannelState(1, "发射");
    const auto& ch = f.controls().channels;
    EXPECT_FALSE(ch[0].checked);
    EXPECT_EQ(ch[1].state, "发射");
    EXPECT_EQ(ch[2].state, "接收1");
    EXPECT_EQ(ch[3].state, "接收2");
    EXPECT_EQ(measuredRows(), (Rows{"2-3", "2-4"}));
    f.chooseChannelState(2, "发射");
    EXPECT_FALSE(ch[1].checked);
    EXPECT_EQ(ch[3].state, "接收1");
    EXPECT_EQ(measuredRows(), Rows{"3-4"});
    EXPECT_EQ(channelStateChoices(0), std::vector<std::string>{"发射"});
    EXPECT_EQ(channelStateChoices(3), std::vector<std::string>{"接收"});
    EXPECT_EQ(gainChoices().size(), 13u);
    EXPECT_EQ(gainChoices()[3], "8");

    const std::vector<SketchLink> arrows = {{3, 4, true}};
    EXPECT_EQ(f.sketchLinks(), arrows);
    f.setPairwise(true);
    f.choosePipeCount(3);
    const std::vector<SketchLink> lines = {{1, 2, false}, {1, 3, false}, {2, 3, false}};
    EXPECT_EQ(f.sketchLinks(), lines);
}

TEST_F(SetupFormTest, StartDepthAndPileLengthEntriesWriteThrough) {
    SetupForm& f = open();
    EXPECT_FALSE(f.enterStartDepth(0.0));
    EXPECT_EQ(sink.last(), "输入无效，始测深度超出范围(0-200)！");
    EXPECT_FALSE(f.enterStartDepth(200.01));
    EXPECT_EQ(f.controls().startDepth, "20.00");

    EXPECT_TRUE(f.enterStartDepth(15.0));  // below the pile length: start depth alone
    EXPECT_EQ(f.controls().startDepth, "15.00");
    EXPECT_EQ(f.controls().pileLength, "20.00");
    EXPECT_EQ(current.startDepth, 15.0f);
    EXPECT_TRUE(f.enterStartDepth(200.0));  // above it: both
    EXPECT_EQ(f.controls().pileLength, "200.00");
    EXPECT_EQ(current.pileLength, 200.0f);

    EXPECT_FALSE(f.enterPileLength(-1.0));
    EXPECT_EQ(sink.last(), "输入无效，桩长超出范围(0-200)！");
    EXPECT_TRUE(f.enterPileLength(12.5));  // below the start depth: both, without asking
    EXPECT_TRUE(sink.questions.empty());
    EXPECT_EQ(f.controls().startDepth, "12.50");
    EXPECT_EQ(current.startDepth, 12.5f);

    sink.answers = {false, true};
    EXPECT_TRUE(f.enterPileLength(18.0));
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(sink.questions[0], "输入桩长大于始测深度，是否将 始测深度 设为与 桩长 相等？");
    EXPECT_EQ(f.controls().startDepth, "12.50");
    EXPECT_EQ(f.controls().pileLength, "18.00");
    EXPECT_TRUE(f.enterPileLength(19.0));
    EXPECT_EQ(f.controls().startDepth, "19.00");

    // Cancel keeps exactly these write-throughs.
    f.chooseStep(100);
    f.enterSpacing(0, 500);
    EXPECT_EQ(f.cancel(), FormOutcome::Cancelled);
    CInfo expected = test::defaultInfo();
    expected.testDate = current.testDate;
    expected.startDepth = expected.pileLength = 19.0f;
    EXPECT_EQ(current, expected);
    EXPECT_TRUE(console.calls.empty());
}

TEST_F(SetupFormTest, OtherEntryRules) {
    SetupForm& f = open();
    EXPECT_TRUE(f.enterOffsetAngle(-360.9));  // truncated first
    EXPECT_EQ(f.controls().offsetAngle, "-360");
    EXPECT_FALSE(f.enterOffsetAngle(361.0));
    EXPECT_EQ(sink.last(), "输入无效，偏移角超出范围(-360-360)！");
    EXPECT_EQ(f.controls().offsetAngle, "-360");

    f.enterPileDiameter(1234.6);
    EXPECT_EQ(f.controls().pileDiameter, "1235");
    f.enterSpacing(2, 412.9);
    f.enterHeightDiff(2, -37.8);
    EXPECT_EQ(f.controls().rows[2].spacing, "412");
    EXPECT_EQ(f.controls().rows[2].heightDiff, "-37");

    // What OK refuses is refused at entry with OK's text: any negative delay, and one beyond
    // 32767 sampling intervals.
    EXPECT_FALSE(f.enterDelay(1, -0.05));
    EXPECT_EQ(sink.last(), "修改失败,剖面 2 的延时不能为负！");
    current.sampleInterval = 0.5f;
    EXPECT_FALSE(f.enterDelay(4, 16383.6));
    EXPECT_EQ(sink.last(), "剖面 5 的 延时 超出范围，请重新输入！");
    EXPECT_TRUE(f.enterDelay(4, 16383.5));
    EXPECT_EQ(f.controls().rows[4].delay, "16383.5");
    EXPECT_TRUE(f.enterDelay(1, 12.34));
    EXPECT_EQ(f.controls().rows[1].delay, "12.3");

    f.enterRowStartDepth(3, 7.5);
    f.chooseFilter("带通");
    for (const auto& row : f.controls().rows) {
        EXPECT_EQ(row.startDepth, "7.50");
        EXPECT_EQ(row.highPass, "10.00");
        EXPECT_EQ(row.lowPass, "60");
    }
    f.chooseFilter("全通");
    EXPECT_EQ(f.controls().rows[5].highPass, "0.5");
    EXPECT_EQ(f.controls().rows[5].lowPass, "500");
}

TEST_F(SetupFormTest, TestModeHandlers) {
    SetupForm& f = open();
    f.enterHeightDiff(0, 100);
    f.setTestMode(kInclined);
    EXPECT_FALSE(f.controls().pairwise || f.controls().pairwiseEnabled);
    EXPECT_TRUE(f.controls().oneToMany);
    EXPECT_FALSE(f.controls().startDepthEnabled);
    EXPECT_TRUE(f.rowFieldsEnabled(0));
    EXPECT_FALSE(f.rowFieldsEnabled(5));  // 3-4 is not measured one-to-many from pipe 1
    f.setPairwise(true);                  // refused while disabled
    EXPECT_FALSE(f.controls().pairwise);
    EXPECT_EQ(f.controls().rows[0].heightDiff, "100");
    f.setTestMode(kHorizontal);
    EXPECT_TRUE(f.controls().pairwiseEnabled && f.controls().startDepthEnabled);
    EXPECT_EQ(f.controls().rows[0].heightDiff, "0");
}

// The descriptions the setup dialog is generated from: kind, pad title, whether a minus goes
// through, and enabling that follows the test mode.
TEST_F(SetupFormTest, FieldDescriptionsFollowTheRules) {
    SetupForm& f = open();
    f.setTestMode(kInclined);
    using F = SetupField;
    struct Case {
        FieldRef ref;
        InputKind kind;
        std::string title;
        bool allowNegative, visible, enabled;
    } cases[] = {
        {{F::SiteName, 0}, InputKind::Typed, "工程名称", false, true, true},
        {{F::Step, 0}, InputKind::Chooser, "移距(mm)", false, true, true},
        {{F::StartDepth, 0}, InputKind::Keypad, "始测深度(m)", false, true, false},  // inclined
        {{F::OffsetAngle, 0}, InputKind::Keypad, "偏移角", true, true, true},
        {{F::SaveMode, 0}, InputKind::Chooser, "保存方式", false, true, false},
        {{F::ChannelState, 2}, InputKind::Chooser, "CH3的通道状态", false, true, true},
        {{F::RowDelay, 1}, InputKind::Keypad, "剖面1-3的延时(us)", true, true, true},
        {{F::RowHeightDiff, 0}, InputKind::Keypad, "剖面1-2的高度差(mm)", true, true, true},
        {{F::RowHeightDiff, 5}, InputKind::Keypad, "剖面3-4的高度差(mm)", true, true, false},  // not measured
        {{F::RowStep, 0}, InputKind::ReadOnly, "剖面1-2的移距(mm)", false, true, true},
        {{F::RowLowPass, 3}, InputKind::Chooser, "剖面2-3的低通(kHz)", false, false, true},
    };
    for (const auto& c : cases) {
        const FieldSpec meta = f.field(c.ref);
        EXPECT_EQ(meta.kind, c.kind) << c.title;
        EXPECT_EQ(meta.title, c.title);
        EXPECT_EQ(meta.allowNegative, c.allowNegative) << c.title;
        EXPECT_EQ(meta.visible, c.visible) << c.title;
        EXPECT_EQ(meta.enabled, c.enabled) << c.title;
    }
    EXPECT_EQ(f.field({F::RowGain, 0}).choices, gainChoices());
    EXPECT_EQ(f.field({F::ChannelState, 0}).choices, std::vector<std::string>{"发射"});
    // Pad results go through the field's own entry rule.
    EXPECT_FALSE(f.enterNumber({F::OffsetAngle, 0}, -360.5 - 1));
    EXPECT_EQ(sink.last(), "输入无效，偏移角超出范围(-360-360)！");
    EXPECT_TRUE(f.enterChoice({F::Step, 0}, "250"));
    EXPECT_EQ(f.field({F::RowStep, 4}).text, "250");
    EXPECT_FALSE(f.enterChoice({F::StartDepth, 0}, "20"));  // a keypad field takes no choice
}

// Each case breaks one thing of a valid set and expects the rule's text and field.
struct Breakage {
    const char* what;
    std::function<void(SetupForm&)> apply;
    std::string message;
    FieldRef focus;
};

TEST_F(SetupFormTest, ValidationRulesAtTheirEdges) {
    using F = SetupField;
    auto text = [](std::string SetupControls::*field, std::string value) {
        return [=](SetupForm& f) { f.workingCopy().*field = value; };
    };
    auto row = [](int r, std::string SectionRow::*field, std::string value) {
        return [=](SetupForm& f) { f.workingCopy().rows[r].*field = value; };
    };
    auto inclined = [](SetupForm& f) { f.setTestMode(kInclined); };
    auto fan = [](SetupForm& f) { f.setTestMode(kFan); };
    std::string twentyFive, twentyFour;
    for (int i = 0; i < 25; ++i)
        twentyFive += "桩";
    twentyFour = twentyFive.substr(3);

    const std::vector<Breakage> refused = {
        {"site", text(&SetupControls::siteName, ""), "请输入工地名称！", {F::SiteName}},
        {"unit", text(&SetupControls::unitName, ""), "请输入检测单位名称！", {F::UnitName}},
        {"person", text(&SetupControls::personName, ""), "请输入检测人员名称！", {F::PersonName}},
        {"pile id", text(&SetupControls::pileId, ""), "请输入桩号！", {F::PileId}},
        {"site 50 bytes",
         text(&SetupControls::siteName, twentyFive),
         "工程名称过长(最多49个字节，约24个汉字)，请重新输入！",
         {F::SiteName}},
        {"pile id 50 bytes",
         text(&SetupControls::pileId, std::string(50, 'P')),
         "桩号过长(最多49个字节，约24个汉字)，请重新输入！",
         {F::PileId}},
        {"pipes 1", text(&SetupControls::pipeCount, "1"), "管数超出范围，请重新输入！", {F::PipeCount}},
        {"pipes 6", text(&SetupControls::pipeCount, "6"), "管数超出范围，请重新输入！", {F::PipeCount}},
        {"length 0",
         text(&SetupControls::pileLength, "0"),
         "桩长超出范围(0-200)，请重新输入！",
         {F::PileLength}},
        {"length 200.01",
         text(&SetupControls::pileLength, "200.01"),
         "桩长超出范围(0-200)，请重新输入！",
         {F::PileLength}},
        {"diameter 0",
         text(&SetupControls::pileDiameter, "0"),
         "桩径超出范围(0-9999)，请重新输入！",
         {F::PileDiameter}},
        {"diameter 10000",
         text(&SetupControls::pileDiameter, "10000"),
         "桩径超出范围(0-9999)，请重新输入！",
         {F::PileDiameter}},
        {"angle -361",
         text(&SetupControls::offsetAngle, "-361"),
         "偏移角超出范围(-360-360)，请重新输入！",
         {F::OffsetAngle}},
        {"no test mode",
         [](SetupForm& f) { f.workingCopy().testMode = -1; },
         "请选择一种测试方式！",
         {F::TestMode}},
        {"no transceive mode",
         [](SetupForm& f) { f.workingCopy().pairwise = false; },
         "请选择一种收发方式！",
         {F::TransceiveMode}},
        {"one channel",
         [](SetupForm& f) {
             for (int ch = 1; ch < 4; ++ch)
                 f.setChannelChecked(ch, false);
         },
         "请选择至少2个通道进行测试！",
         {F::ChannelActive}},
        {"no transmitter",
         [](SetupForm& f) {
             f.setPairwise(false);
             f.workingCopy().channels[0].state = "接收1";
         },
         "在一发多收模式下，请选择一个发射管！",
         {F::ChannelState}},
        {"no receiver",
         [](SetupForm& f) {
             f.setPairwise(false);
             for (int ch = 1; ch < 4; ++ch)
                 f.workingCopy().channels[ch].state = "";
         },
         "在一发多收模式下，请至少选择一个接收管！",
         {F::ChannelState}},
        {"nothing shown",
         [](SetupForm& f) {
             for (int r = 0; r < 6; ++r)
                 f.setDisplay(r, false);
         },
         "请选择至少1个剖面显示数据！",
         {F::RowDisplay}},
        {"save mode", text(&SetupControls::saveMode, ""), "请选择一种保存方式！", {F::SaveMode}},
        {"pick", text(&SetupControls::pickMethod, ""), "请选择一种波形判读算法！", {F::PickMethod}},
        {"standard", text(&SetupControls::standard, ""), "请选择一种测试标准！", {F::Standard}},
        {"same pipe",
         [](SetupForm& f) { f.workingCopy().channels[3].pipe = "管2"; },
         "所选埋管重复，请更改选择！",
         {F::ChannelPipe, 3}},
        {"start depth 0",
         text(&SetupControls::startDepth, "0"),
         "平测模式始测深度超出范围(0-200)，请重新输入！",
         {F::StartDepth}},
        {"step 30",
         text(&SetupControls::step, "30"),
         "移距输入错误，只能是10、50、100、150、200、250、500中的一个，请重新输入！",
         {F::Step}},
        {"step 30 inclined",
         [&](SetupForm& f) {
             inclined(f);
             f.workingCopy().step = "30";
         },
         "移距输入错误，只能是10、50、100、150、200、250、500中的一个，请重新输入！",
         {F::Step}},
        {"CH1 receives",
         [](SetupForm& f) {
             f.setPairwise(false);
             f.workingCopy().channels[0].state = "接收1";
             f.workingCopy().channels[1].state = "发射";
         },
         "发射的通道号不能小于接收的通道号，CH1只能作为发射通道使用，不能作为接收通道使用！请重新选择！",
         {F::ChannelState, 0}},
        {"CH2 receives",
         [](SetupForm& f) {
             f.setPairwise(false);
             f.workingCopy().channels[0].checked = false;
             f.workingCopy().channels[2].state = "发射";
         },
         "发射的通道号不能小于接收的通道号，此种设置下，CH2只能为发射！请重新选择！",
         {F::ChannelState, 1}},
        {"CH3 receives",
         [](SetupForm& f) {
             f.setPairwise(false);
             f.workingCopy().channels[0].checked = f.workingCopy().channels[1].checked = false;
             f.workingCopy().channels[3].state = "发射";
             f.workingCopy().channels[2].state = "接收1";
         },
         "发射的通道号不能小于接收通道号，此种情况下，CH3只能为发射！请重新选择！",
         {F::ChannelState, 2}},
        {"pipes fall",
         [](SetupForm& f) {
             f.workingCopy().channels[1].pipe = "管4";
             f.workingCopy().channels[3].pipe = "管2";
         },
         "埋管规则：通道小的埋管号不能大于通道大的埋管号！CH2的埋管号不能比CH3的埋管号大，请重新选择！",
         {F::ChannelPipe, 1}},
        {"spacing 0",
         row(2, &SectionRow::spacing, "0"),
         "剖面 3 的 跨距 超出范围(0-9999)，请重新输入！ ",
         {F::RowSpacing, 2}},
        {"spacing 10000",
         row(5, &SectionRow::spacing, "10000"),
         "剖面 6 的 跨距 超出范围(0-9999)，请重新输入！ ",
         {F::RowSpacing, 5}},
        {"spacing 0 of a hidden measured row",
         [](SetupForm& f) {
             f.setDisplay(3, false);
             f.workingCopy().rows[3].spacing = "0";
         },
         "剖面 4 的 跨距 超出范围(0-9999)，请重新输入！ ",
         {F::RowSpacing, 3}},
        {"gain 3",
         row(0, &SectionRow::gain, "3"),
         "剖面 1 的 增益 不是1到10000之间的固定数值，请重新输入！",
         {F::RowGain, 0}},
        {"delay 32768 samples",
         row(1, &SectionRow::delay, "32768"),
         "剖面 2 的 延时 超出范围，请重新输入！",
         {F::RowDelay, 1}},
        {"delay -0.1",
         row(1, &SectionRow::delay, "-0.1"),
         "修改失败,剖面 2 的延时不能为负！",
         {F::RowDelay, 1}},
        {"fan row start 0",
         [&](SetupForm& f) {
             fan(f);
             f.workingCopy().rows[0].startDepth = "0";
         },
         "扇形测模式剖面 1 的 始测深度 超出范围(0-200)，请重新输入！",
         {F::RowStartDepth, 0}},
        {"fan row step 20",
         [&](SetupForm& f) {
             fan(f);
             f.workingCopy().rows[0].step = "20";
         },
         "扇形测模式剖面 1 的 移距 不是10到500之间的固定数值，请重新输入！",
         {F::RowStep, 0}},
        {"fan height 10000",
         [&](SetupForm& f) {
             fan(f);
             f.workingCopy().rows[0].heightDiff = "-10000";
         },
         "扇形测模式剖面 1 的 高度差 超出范围(-9999-9999)，请重新输入！",
         {F::RowHeightDiff, 0}},
        {"inclined row start 200.5",
         [&](SetupForm& f) {
             inclined(f);
             f.workingCopy().rows[1].startDepth = "200.5";
         },
         "斜测模式剖面 2 的 始测深度 超出范围(0-200)，请重新输入！",
         {F::RowStartDepth, 1}},
        {"inclined row step",
         [&](SetupForm& f) {
             inclined(f);
             f.workingCopy().rows[0].step = "0";
         },
         "斜测模式剖面 1 的 移距 不是10到500之间的固定数值，请重新输入！",
         {F::RowStep, 0}},
        {"inclined height beyond spacing",
         [&](SetupForm& f) {
             inclined(f);
             f.workingCopy().rows[2].heightDiff = "-341";
         },
         "斜测模式剖面 3 的 高度差 超出允许范围(-340，340)，请重新输入！",
         {F::RowHeightDiff, 2}},
        {"inclined steps differ",
         [&](SetupForm& f) {
             inclined(f);
             f.workingCopy().rows[1].step = "100";
         },
         "斜测模式剖面 1 和 2 的 移距 不同，请重新输入！",
         {F::RowStep, 1}},
        {"inclined start above the head",
         [&](SetupForm& f) {
             inclined(f);
             f.workingCopy().rows[0].startDepth = "0.30";
             f.workingCopy().rows[0].heightDiff = "300";
         },
         "斜测模式剖面 1 的 始测深度 减去 高度差 后不大于0，请重新输入！",
         {F::RowHeightDiff, 0}},
    };
    for (const auto& b : refused) {
        current = test::defaultInfo();
        SetupForm& f = open();
        ASSERT_FALSE(f.validate()) << "defaults must be valid";
        b.apply(f);
        sink.messages.clear();
        const OkResult result = f.ok();
        EXPECT_EQ(result.outcome, FormOutcome::Open) << b.what;
        ASSERT_EQ(sink.messages.size(), 1u) << b.what;
        EXPECT_EQ(sink.messages[0], b.message) << b.what;
        EXPECT_EQ(result.focus, b.focus) << b.what;
    }
    EXPECT_TRUE(console.calls.empty());  // a refused OK touches nothing

    const std::vector<std::pair<const char*, std::function<void(SetupForm&)>>> accepted = {
        {"site 48 bytes", text(&SetupControls::siteName, twentyFour)},
        {"pile id 49 bytes", text(&SetupControls::pileId, std::string(49, 'P'))},
        {"pipes 5", text(&SetupControls::pipeCount, "5")},
        {"length 200", text(&SetupControls::pileLength, "200")},
        {"diameter 9999", text(&SetupControls::pileDiameter, "9999")},
        {"angle -360", text(&SetupControls::offsetAngle, "-360")},
        {"spacing 1", row(2, &SectionRow::spacing, "1")},
        {"spacing 9999", row(2, &SectionRow::spacing, "9999")},
        {"gain 8000 from the chooser", row(0, &SectionRow::gain, "8000")},
        {"a row that is not measured is not checked",
         [](SetupForm& f) {
             f.choosePipeCount(2);
             f.workingCopy().rows[5].spacing = "0";
             f.workingCopy().rows[5].gain = "3";
         }},
        {"gain 10000", row(0, &SectionRow::gain, "10000")},
        {"delay 32767 samples", row(1, &SectionRow::delay, "32767")},
        {"one-to-many skips the display and method checks",
         [](SetupForm& f) {
             f.setPairwise(false);
             f.workingCopy().standard = "";
             for (int r = 0; r < 6; ++r)
                 f.setDisplay(r, false);
         }},
        {"inclined height equal to spacing",
         [&](SetupForm& f) {
             inclined(f);
             f.workingCopy().rows[0].heightDiff = "-340";
         }},
        {"fan keeps its one section", fan},
    };
    for (const auto& [what, apply] : accepted) {
        current = test::defaultInfo();
        SetupForm& f = open();
        apply(f);
        const auto refusal = f.validate();
        EXPECT_FALSE(refusal) << what << ": " << (refusal ? refusal->message : "");
    }
}

TEST_F(SetupFormTest, TheFirstFailingRuleWins) {
    SetupForm& f = open();
    f.workingCopy().pipeCount = "9";
    f.workingCopy().rows[0].gain = "3";
    f.workingCopy().personName = "";
    EXPECT_EQ(f.validate()->message, "请输入检测人员名称！");
    f.workingCopy().personName = "x";
    EXPECT_EQ(f.validate()->message, "管数超出范围，请重新输入！");
    f.workingCopy().pipeCount = "4";
    f.workingCopy().rows[4].spacing = "0";
    EXPECT_EQ(f.validate()->message, "剖面 1 的 增益 不是1到10000之间的固定数值，请重新输入！");
}

TEST_F(SetupFormTest, OkWritesTheRecordMeasuredSectionsFirst) {
    current.sections[3].zeroTime = 7.5f;  // the record of 2-3
    current.waveTrainStyle = 3;
    SetupForm& f = open();
    f.setSiteName("工地A");
    f.setPairwise(false);
    f.choosePipeCount(3);
    f.chooseChannelPipe(0, "管2");
    f.chooseChannelPipe(1, "管3");
    f.chooseChannelPipe(2, "管4");  // measures 2-3 and 2-4
    f.enterSpacing(3, 600);
    f.chooseGain(4, "400");
    f.chooseFilter("带通");
    f.chooseSaveMode(std::string(kSaveRealTime));
    f.chooseAcquisitionBuffered(false);

    ASSERT_EQ(f.ok().outcome, FormOutcome::Accepted);
    EXPECT_EQ(current.siteName, "工地A");
    EXPECT_EQ(current.sectionCount, 2);
    EXPECT_FALSE(current.pairwiseMode);
    EXPECT_EQ(current.pipeCount, 3);
    EXPECT_EQ(current.waveTrainStyle, 1);
    EXPECT_EQ(current.cacheMode, 0);
    const std::vector<std::string> order = {"2-3", "2-4", "1-2", "1-3", "1-4", "3-4"};
    for (int k = 0; k < kMaxSections; ++k) {
        const SectionPara& s = current.sections[k];
        EXPECT_EQ(s.name, order[k]);
        EXPECT_EQ(s.present, k < 2) << k;
        EXPECT_EQ(s.display, k < 2) << k;
        EXPECT_EQ(s.highPass, 10.0f);
        EXPECT_EQ(s.lowPass, 60.0f);
    }
    EXPECT_EQ(current.sections[0].spacing, 600);
    EXPECT_EQ(current.sections[0].zeroTime, 7.5f);  // follows its pair, not its slot
    EXPECT_EQ(current.sections[1].gain, 400);
    EXPECT_EQ(current.channels[0].pipe, "管2");
    EXPECT_EQ(current.channels[0].role, "发射");
    EXPECT_EQ(current.channels[2].role, "接收2");
    EXPECT_FALSE(current.channels[3].enabled);
    EXPECT_EQ(current.sectionNames[1], "1-3");  // three pipes, two sections
    EXPECT_EQ(current.sectionNames[2], "");
    EXPECT_EQ(saved, current);
    EXPECT_EQ(console.stored, current);
    EXPECT_EQ(console.calls, (std::vector<std::string>{"modeChanged", "store", "push", "testType"}));

    // Reopened, each row shows its own record again.
    SetupForm& again = open();
    EXPECT_EQ(again.controls().rows[3].spacing, "600");
    EXPECT_EQ(again.controls().rows[4].gain, "400");
    EXPECT_EQ(again.controls().rows[0].spacing, "340");
}

TEST_F(SetupFormTest, InclinedSpacingIsStoredSlantAndSurvivesReopening) {
    SetupForm& f = open();
    f.setTestMode(kInclined);
    f.enterSpacing(0, 400);
    f.enterHeightDiff(0, -300);
    f.enterSpacing(1, 340);
    f.enterHeightDiff(1, 100);
    ASSERT_EQ(f.ok().outcome, FormOutcome::Accepted) << sink.last();
    EXPECT_EQ(current.sections[0].spacing, 500);
    EXPECT_EQ(current.sections[1].spacing, 354);  // trunc(sqrt(340² + 100²)) = trunc(354.40)
    SetupForm& again = open();
    EXPECT_EQ(again.controls().rows[0].spacing, "400");
    EXPECT_EQ(again.controls().rows[1].spacing, "340");
    ASSERT_EQ(again.ok().outcome, FormOutcome::Accepted);
    EXPECT_EQ(current.sections[0].spacing, 500);
    EXPECT_EQ(current.sections[1].spacing, 354);
}

TEST_F(SetupFormTest, OkBufferedForcesTheSampleLength) {
    current.sampleLength = 1024;
    current.cacheMode = 0;
    SetupForm& f = open();
    f.chooseAcquisitionBuffered(true);
    ASSERT_EQ(f.ok().outcome, FormOutcome::Accepted);
    EXPECT_EQ(current.cacheMode, 1);
    EXPECT_EQ(current.sampleLength, 512);
    EXPECT_EQ(console.stored.sampleLength, 512);  // stored and pushed with it
}

TEST_F(SetupFormTest, OkDuringFreeSamplingRestartsTheWorkerAroundNewLists) {
    testState = makeState(kStateFreeSampling, kSubStatePaused);
    struct Console : RecordingConsole {
        void stopWorker() override { calls.push_back(listsReady ? "stop(ready)" : "stop"); }
        void startWorker() override { calls.push_back(listsReady ? "start(ready)" : "start"); }
    } sampling;
    SetupForm f({current, infoLock}, saved, sampling, sink);
    ASSERT_EQ(f.ok().outcome, FormOutcome::Accepted);
    EXPECT_EQ(sampling.calls,
              (std::vector<std::string>{"store", "push", "stop", "lists", "start", "testType"}));
    EXPECT_TRUE(sampling.listsReady);
}

TEST_F(SetupFormTest, AFailedStoreIsReportedAndOkStillCompletes) {
    console.storeResult = StoreResult{false, "cannot write set.ini"};
    SetupForm& f = open();
    f.setPileId("P-7");
    EXPECT_EQ(f.ok().outcome, FormOutcome::Accepted);
    EXPECT_EQ(sink.messages, std::vector<std::string>{"cannot write set.ini"});
    EXPECT_EQ(saved.pileId, "P-7");
}

TEST_F(SetupFormTest, PresetsWriteDelaysAndGains) {
    SetupForm& f = open();
    EXPECT_TRUE(f.applyPreset(3));
    const std::vector<std::string> delays = {"80", "200", "80", "80", "200", "80"};
    const std::vector<std::string> gains = {"200", "400", "200", "200", "400", "200"};
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(f.controls().rows[r].delay, delays[r]);
        EXPECT_EQ(f.controls().rows[r].gain, gains[r]);
    }
    EXPECT_FALSE(f.applyPreset(4));
    EXPECT_EQ(presetChoices(), (std::vector<std::string>{"设置1", "设置2", "设置3"}));
    ASSERT_EQ(f.ok().outcome, FormOutcome::Accepted);
    EXPECT_EQ(current.sections[1].delay, 200.0f);
}

}  // namespace
}  // namespace lx9
