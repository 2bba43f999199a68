#include "setup/quick_set.h"

#include <gtest/gtest.h>

#include <memory>

#include "data/globals.h"
#include "data/run_state.h"
#include "setup_fakes.h"

namespace lx9 {
namespace {

class QuickSetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        current = test::defaultInfo();
        saved = current;
        testState = makeState(kStateIdle);
        reopen();
    }

    void reopen() {
        quick.reset();
        form = std::make_unique<SetupForm>(SharedInfo{current, infoLock}, saved, console, sink);
        quick = std::make_unique<QuickSet>(*form, SharedInfo{current, infoLock});
    }

    const SetupControls& c() const { return form->controls(); }

    CInfo current, saved;
    std::mutex infoLock;
    test::RecordingConsole console;
    test::RecordingSink sink;
    std::unique_ptr<SetupForm> form;
    std::unique_ptr<QuickSet> quick;
};

TEST_F(QuickSetTest, AssignmentsAreCaseFreeAndWriteTheWorkingCopyOnly) {
    quick->setLine("  l=20,c1=100 ");
    EXPECT_TRUE(quick->enter());
    EXPECT_EQ(quick->line(), "");
    EXPECT_EQ(quick->status(), QuickSetStatus::Success);
    EXPECT_EQ(quick->statusText(), "提示：语句执行成功！ (按键盘上↑或↓键可查看最近15次的输入记录)");
    EXPECT_EQ(c().pileLength, "20");
    EXPECT_EQ(c().rows[0].spacing, "100");
    EXPECT_EQ(c().rows[1].spacing, "340");
    EXPECT_TRUE(quick->execute("L=33.5").ok);
    EXPECT_EQ(c().pileLength, "33.5");
    EXPECT_EQ(current.pileLength, 20.0f);  // only OK writes the record
    EXPECT_EQ(current.historyCount, 2);
    EXPECT_EQ(current.commandHistory[0], "l=20,c1=100");  // as typed, trimmed

    EXPECT_TRUE(quick->execute("D=15").ok);
    EXPECT_EQ(c().startDepth, "15");
    EXPECT_EQ(c().pileLength, "15");
    EXPECT_TRUE(quick->execute("A=-30,C=250.9,T=12.5,PD=800,M=100").ok);
    EXPECT_EQ(c().offsetAngle, "-30");
    EXPECT_EQ(c().pileDiameter, "800");
    EXPECT_EQ(c().step, "100");
    EXPECT_EQ(c().rows[3].step, "50");  // M sets the step field only
    for (const auto& row : c().rows) {
        EXPECT_EQ(row.spacing, "250");
        EXPECT_EQ(row.delay, "12.5");
    }
    EXPECT_TRUE(quick->execute("L=20,,C1=100").ok);  // the empty statement is skipped
    EXPECT_EQ(c().rows[0].spacing, "100");
}

TEST_F(QuickSetTest, ValueSetsAreExactTexts) {
    EXPECT_TRUE(quick->execute("G=10,G2=4").ok);
    EXPECT_EQ(c().rows[0].gain, "10");
    EXPECT_EQ(c().rows[1].gain, "4");
    EXPECT_TRUE(quick->execute("FL=10.0,FL3=50,FH=0.10,FH6=5").ok);
    EXPECT_EQ(c().rows[0].lowPass, "10.00");
    EXPECT_EQ(c().rows[2].lowPass, "50.00");
    EXPECT_EQ(c().rows[0].highPass, "0.10");
    EXPECT_EQ(c().rows[5].highPass, "5");
    EXPECT_TRUE(quick->execute("FL=2").ok);
    EXPECT_EQ(c().rows[4].lowPass, "2.00");

    const std::string gainList =
        "只能是1、2、4、10、20、40、100、200、400、1000、2000、4000、10000 中的一个，请重新输入！";
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"G=8", "错误：增益G的值输入不正确，" + gainList},
        {"g3=8", "错误：G3的增益值输入不正确，" + gainList},
        {"FL=10.000", "错误：低通FL的值输入不正确，只能是2、10、50、500中的一个，请重新输入！"},
        {"FL2=3", "错误：FL2低通的值输入不正确，只能是2、10、50、500中的一个，请重新输入！"},
        {"FH=0.5", "错误：高通FH的值输入不正确，只能是0.01、0.10、5、20中的一个，请重新输入！"},
        {"FH1=0.010", "错误：高通FH1的值输入不正确，只能是0.01、0.10、5、20中的一个，请重新输入！"},
        {"PN=6", "错误：管数PN的值输入不正确，只能是2、3、4、5中的一个，请重新输入！"},
        {"PN=04", "错误：管数PN的值输入不正确，只能是2、3、4、5中的一个，请重新输入！"},
        {"M=30", "错误：移距M的值输入不正确，只能是10、50、100、150、200、250、500中的一个，请重新输入！"},
        {"Q=4", "错误:快速设置Q的值输入不正确，只能是1、2、3中的一个，请重新输入！"},
        {"C1=-5", "错误：C1的值输入不正确，请输入一个正数！"},
        {"XYZ=-1", "错误：XYZ的值输入不正确，请输入一个正数！"},
        {"XYZ=1", "错误：XYZ 是无效的变量，请重新输入！"},
        {"C7=1", "错误：C7 是无效的变量，请重新输入！"},
        {"PN1=3", "错误：PN1 是无效的变量，请重新输入！"},
        {"L=20..5", "错误：L的值输入不正确，请输入一个有效的数字！"},
        {"A=-", "错误：A的值输入不正确，请输入一个有效的数字！"},
        {"T=.", "错误：T的值输入不正确，请输入一个有效的数字！"},
    };
    for (const auto& [line, message] : refused) {
        const SetupControls before = c();
        const QuickSetResult r = quick->execute(line);
        EXPECT_FALSE(r.ok) << line;
        EXPECT_EQ(r.message, message) << line;
        EXPECT_EQ(r.applied, 0) << line;
        EXPECT_EQ(c(), before) << line;
    }
}

TEST_F(QuickSetTest, SyntaxFailuresChangeNothing) {
    EXPECT_TRUE(quick->execute("L=12").ok);
    const std::vector<std::pair<std::string, std::string>> malformed = {
        {"   ", "错误: 输入为空！"},
        {"L=20;", "错误: 输入内容包含有特殊字符！注意：只能输入英文字母、数字、小数点、英文逗号和英文等号!"},
        {"L=20\tC=1",
         "错误: 输入内容包含有特殊字符！注意：只能输入英文字母、数字、小数点、英文逗号和英文等号!"},
        {"桩长=20",
         "错误: 输入内容包含有特殊字符！注意：只能输入英文字母、数字、小数点、英文逗号和英文等号!"},
        {"L=20,XYZ", "错误: 无法识别的输入语句,请按正确格式输入，例如：L=20,C1=100,C2=400"},
        {"L=20,YES NO", "错误: 无法识别的输入语句,请按正确格式输入，例如：L=20,C1=100,C2=400"},
        {"L=20, =5", "错误: 符号\"=\"左边应该有一个变量名称，不能为空,请重新输入!"},
        {"L=20,C1= ", "错误: 符号\"=\"右边没有进行赋值，不能为空,请重新输入!"},
        {"L=20,12=5", "错误: 12是无效的变量，变量名不能为纯数字，请重新输入！"},
        {"L=2O", "错误: 符号\"=\"右边只能为数字，请重新输入！"},
        {"L=1-2", "错误: 符号\"=\"右边只能为数字，请重新输入！"},
        {"L==2", "错误: 符号\"=\"右边只能为数字，请重新输入！"},
    };
    const CInfo historyBefore = current;
    for (const auto& [line, message] : malformed) {
        const SetupControls before = c();
        const QuickSetResult r = quick->execute(line);
        EXPECT_FALSE(r.ok) << line;
        EXPECT_TRUE(r.syntaxRejected) << line;
        EXPECT_EQ(r.message, message) << line;
        EXPECT_EQ(c(), before) << line;
    }
    EXPECT_EQ(current, historyBefore);

    quick->setLine("L=20,XYZ");
    EXPECT_TRUE(quick->enter());
    EXPECT_EQ(quick->line(), "L=20,XYZ");  // kept for correction
    EXPECT_EQ(quick->status(), QuickSetStatus::Error);
    EXPECT_EQ(quick->statusText(), "错误: 无法识别的输入语句,请按正确格式输入，例如：L=20,C1=100,C2=400");
    quick->setLine(" \t ");
    EXPECT_FALSE(quick->enter());  // a blank line leaves Enter to the dialog
}

TEST_F(QuickSetTest, AValueFailureKeepsTheStatementsBeforeIt) {
    const QuickSetResult r = quick->execute("L=31,C2=7,C1=-5,C3=9");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.applied, 2);
    EXPECT_EQ(r.message, "错误：C1的值输入不正确，请输入一个正数！");
    EXPECT_EQ(c().pileLength, "31");
    EXPECT_EQ(c().rows[1].spacing, "7");
    EXPECT_EQ(c().rows[2].spacing, "340");
    EXPECT_EQ(current.historyCount, 1);
    EXPECT_EQ(current.commandHistory[0], "L=31,C2=7,C1=-5,C3=9");
}

TEST_F(QuickSetTest, PresetsAndThePipeCountReapply) {
    form->chooseChannelPipe(3, "管5");
    EXPECT_TRUE(quick->execute("Q=2").ok);
    for (const auto& row : c().rows) {
        EXPECT_EQ(row.delay, "80");
        EXPECT_EQ(row.gain, "200");
    }
    EXPECT_EQ(c().channels[3].pipe, "管4");  // the pipe count is applied again after a line
    EXPECT_TRUE(quick->execute("PN=3").ok);
    EXPECT_FALSE(c().channels[3].checked);
    EXPECT_TRUE(c().rows[3].displayEnabled);   // 2-3
    EXPECT_FALSE(c().rows[2].displayEnabled);  // 1-4
    EXPECT_TRUE(quick->execute("q=1").ok);
    EXPECT_EQ(c().rows[4].delay, "0");
    EXPECT_EQ(c().rows[4].gain, "80");
}

TEST_F(QuickSetTest, CommandsRunOkCancelAndClear) {
    QuickSetResult r = quick->execute("L=20.5,YES,L=99");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.command, QuickSetCommand::Yes);
    EXPECT_EQ(r.outcome, FormOutcome::Accepted);
    EXPECT_EQ(current.pileLength, 20.5f);  // the line stops at YES
    EXPECT_EQ(console.calls.front(), "store");

    reopen();
    r = quick->execute("L=0,yes");  // OK refuses; the dialog stays open
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.outcome, FormOutcome::Open);
    EXPECT_EQ(sink.last(), "桩长超出范围(0-200)，请重新输入！");
    EXPECT_EQ(current.pileLength, 20.5f);

    r = quick->execute("NO");
    EXPECT_EQ(r.command, QuickSetCommand::No);
    EXPECT_EQ(r.outcome, FormOutcome::Cancelled);
    EXPECT_EQ(current.pileLength, 20.5f);

    quick->setLine("clear");
    EXPECT_TRUE(quick->enter());
    EXPECT_EQ(quick->line(), "");
    EXPECT_EQ(quick->lastResult().command, QuickSetCommand::Clear);
}

TEST_F(QuickSetTest, HistoryKeepsFifteenDistinctLinesAndBrowses) {
    EXPECT_TRUE(quick->execute("L=1").ok);
    EXPECT_TRUE(quick->execute("L=1").ok);  // equal to the newest: one entry
    EXPECT_EQ(current.historyCount, 1);
    for (int i = 2; i <= 16; ++i)
        EXPECT_TRUE(quick->execute("L=" + std::to_string(i)).ok);
    EXPECT_EQ(current.historyCount, 15);
    EXPECT_EQ(current.commandHistory[0], "L=2");  // "L=1" pushed out
    EXPECT_EQ(current.commandHistory[14], "L=16");
    EXPECT_EQ(quick->cursor(), 15);

    // Up: newest first, then back to the oldest and no further; Down: forward to the newest.
    quick->up();
    EXPECT_EQ(quick->line(), "L=16");
    quick->up();
    EXPECT_EQ(quick->line(), "L=15");
    for (int i = 0; i < 20; ++i)
        quick->up();
    EXPECT_EQ(quick->line(), "L=2");
    EXPECT_EQ(quick->cursor(), 1);
    quick->down();
    EXPECT_EQ(quick->line(), "L=3");
    EXPECT_EQ(c().pileLength, "16");  // showing an entry runs nothing
    for (int i = 0; i < 20; ++i)
        quick->down();
    EXPECT_EQ(quick->line(), "L=16");
    EXPECT_EQ(quick->cursor(), 15);

    // The history outlives the dialog; the cursor starts at the count.
    reopen();
    EXPECT_EQ(quick->cursor(), 15);
    quick->up();
    EXPECT_EQ(quick->line(), "L=16");

    current.historyCount = 1;
    reopen();
    quick->up();
    EXPECT_EQ(quick->line(), "L=2");
    quick->down();
    EXPECT_EQ(quick->cursor(), 1);
}

TEST_F(QuickSetTest, FixedTexts) {
    EXPECT_EQ(quick->statusText(), QuickSet::initialStatusText());
    EXPECT_EQ(QuickSet::initialStatusText(),
              "提示：按键盘上↑或↓键可查看最近15次的输入记录！输入格式: 变量1=值1,变量2=值2,……,变量n=值n，"
              "不区分大小写，按回车键执行！");
    const std::string help = QuickSet::helpText();
    EXPECT_EQ(help.rfind("状态栏输入提示:\n管数:\"PN=\"\u3000移距:\"M=\"\u3000始测深度:\"D=\"\u3000", 0), 0u);
    EXPECT_NE(help.find("低通:\"FL=\"\u3000\n各剖面跨距:\"C1/C2/C3/C4/C5/C6=\"\u3000" + std::string(25, ' ') +
                        "各剖面增益:\"G1/G2/G3/G4/G5/G6=\"\u3000" + std::string(10, ' ') + "各剖面延时:"),
              std::string::npos);
    EXPECT_NE(
        help.find("\"T1/T2/T3/T4/T5/T6=\"\u3000\n各剖面高通:\"FH1/FH2/FH3/FH4/FH5/FH6=\"\u3000" +
                  std::string(9, ' ') + "各剖面低通:\"FL1/FL2/FL3/FL4/FL5/FL6=\"\u3000快速设置:\"Q=1/2/3\""),
        std::string::npos);
    const std::string tail = "保存并退出:\"YES\"\u3000 不保存并退出:\"NO\"\u3000";
    EXPECT_EQ(help.substr(help.size() - tail.size()), tail);
}

}  // namespace
}  // namespace lx9
