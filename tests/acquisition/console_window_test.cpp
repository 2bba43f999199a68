// The console window on Qt's offscreen 1024×768 screen, driven like a field tester drives it,
// against the instrument simulator on loopback with the real worker and service thread: the
// connection dialog, 采样 by click and by hotkey, 新存 with an injected file name, the winch
// rising to the end, 保存, and the pair read back equal to the lists; the enabling of the button
// widgets at every state change; the mailbox drained by queued invocation and never re-entered
// from a modal box; the notices, the bars, and what a close starts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "acquisition/console_controller.h"
#include "acquisition/console_window.h"
#include "acquisition/link_dialog.h"
#include "acquisition/messages.h"
#include "data/data_file_reader.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "sim_rig.h"
#include "test_support.h"
#include "ui/file_chooser_dialog.h"
#include "ui/gui_application.h"
#include "ui/message_box_sink.h"

namespace lx9 {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kLength = 512;

std::unique_ptr<ui::OffscreenWidgets> gui;

// The application goes before the program's static objects do: Qt's own statics are gone by then.
struct GuiEnvironment : ::testing::Environment {
    void TearDown() override { gui.reset(); }
};
const auto* const kGuiEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

CInfo pileTest(float heightM) {
    CInfo info;
    info.resetToDefaults();
    info.startDepth = heightM;
    info.pileLength = heightM;
    info.stepMm = 100;
    info.sampleLength = kLength;
    info.cacheMode = 0;
    info.digitalFilter = false;
    info.continuousFiring = true;
    info.waveTrainStyle = 1;
    info.hotkeys = factoryHotkeys();
    info.showHotkeyLetters = 1;
    info.rebuildSectionNames();
    return info;
}

// Runs the event loop until `done` holds.
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 40s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// The button captioned `caption` on the modal dialog in front; null when none.
QPushButton* modalButton(const QString& caption) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return nullptr;
    for (QPushButton* b : modal->findChildren<QPushButton*>())
        if (b->isVisible() && b->isEnabled() && b->text() == caption) return b;
    return nullptr;
}

// Answers the next modal dialog that offers `caption`, noting its text first.
void answerNextModal(const QString& caption, QString* text = nullptr, std::function<void()> before = {}) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, caption, text, before] {
        QPushButton* b = modalButton(caption);
        if (!b) return;
        poll->stop();
        poll->deleteLater();
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && text)
            *text = box->text();
        if (before) before();
        b->click();
    });
    poll->start(10);
}

// Enabled flags of 1002, 1003, 1006, 1005, 1004, 1007, 1008, 1009, 1010, 1011, 1012: the order of
// the enabling table.
constexpr int kTableOrder[] = {1002, 1003, 1006, 1005, 1004, 1007, 1008, 1009, 1010, 1011, 1012};
using Row = std::array<int, 11>;

// The window whose button widgets are read at every state change the controller reports.
class ObservedWindow : public ConsoleWindow {
  public:
    void redraw(uint32_t parts) override {
        ConsoleWindow::redraw(parts);
        if (!(parts & kViewButtons)) return;
        Row row{};
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = button(kTableOrder[i])->isEnabled() ? 1 : 0;
        seen.push_back({controller->buttonsState(), row, button(kBtnUpload)->isVisibleTo(this)});
    }
    ConsoleController* controller = nullptr;
    struct Seen {
        uint32_t state;
        Row row;
        bool uploadShown;
    };
    std::vector<Seen> seen;
};

class WindowRun : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!gui) gui = std::make_unique<ui::OffscreenWidgets>();
    }
    void SetUp() override {
        test::resetSharedFlags();
        dir = fs::temp_directory_path() / ("lx9_window_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        controller.reset();  // stops the worker and the service thread before the window goes
        window.reset();
        rig.reset();
        for (auto& list : sectionLists)
            list.reset();
        test::resetSharedFlags();
        fs::remove_all(dir);
    }

    void start(const CInfo& test, sim::Scenario scenario) {
        rig = std::make_unique<test::SimRig>(std::move(scenario), 0.01);
        currentInfo = test;
        window = std::make_unique<ObservedWindow>();
        boxes = std::make_unique<ui::MessageBoxSink>(window.get());
        window->setMessageBoxes(boxes.get());
        ConsoleOptions o;
        o.settingsFile = dir / "set.ini";
        o.loadSettings = false;
        o.timing.worker = test::fastTiming();
        o.date = [] { return std::string("2026-12-7"); };
        controller = std::make_unique<ConsoleController>(rig->link(), *window, *boxes, o);
        window->attach(*controller);
        window->controller = controller.get();
        window->setFileNameProvider([this](ConsoleWindow::FileRequest) { return (dir / "PILE").string(); });
        ConsoleScreens screens;
        screens.openSetup = [this](QWidget*) { ++setupOpened; };
        screens.openTestDialog = [this](ConsoleDialog d, QWidget*) { opened.push_back(d); };
        window->setScreens(screens);
        window->showConsole(false);
        answerNextModal(QStringLiteral("确定"));
        window->start();
    }

    QPushButton* button(int id) { return window->button(id); }
    uint32_t code() const { return stateCode(testState.load()); }

    fs::path dir;
    std::unique_ptr<test::SimRig> rig;
    std::unique_ptr<ObservedWindow> window;
    std::unique_ptr<ui::MessageBoxSink> boxes;
    std::unique_ptr<ConsoleController> controller;
    int setupOpened = 0;
    std::vector<ConsoleDialog> opened;
};

TEST_F(WindowRun, TheOffscreenScreenIsTheFieldComputers) {
    EXPECT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1024, 768));
}

// What a point of a list holds that the data files keep.
struct Kept {
    float depth;
    std::vector<uint16_t> samples;
    bool operator==(const Kept&) const = default;
};

std::map<int, std::vector<Kept>> snapshot(const std::array<CSampleDataList*, kMaxSections>& lists) {
    std::map<int, std::vector<Kept>> out;
    for (int k = 0; k < kMaxSections; ++k) {
        if (!lists[static_cast<size_t>(k)]) continue;
        auto g = lists[static_cast<size_t>(k)]->lock();
        for (const SamplePoint* p = lists[static_cast<size_t>(k)]->first; p; p = p->next)
            out[k].push_back(
                {std::round(p->depth * 100.0f) / 100.0f, {p->samples.begin(), p->samples.end()}});
    }
    return out;
}

TEST_F(WindowRun, AWholeTestByClickAndHotkeyIsSavedAndReadsBackEqualToTheLists) {
    start(pileTest(2.0f), test::quietPile(2.0, 1.0, 5.0, kLength));
    ASSERT_TRUE(controller->connected());
    EXPECT_EQ(button(kBtnSample)->text(), "采样(C)");
    EXPECT_EQ(button(kBtnUpload)->text(), " 上传(&U)");

    // 采样 by click: the worker's frames reach the window through the queued drain alone.
    QTest::mouseClick(button(kBtnSample), Qt::LeftButton);
    EXPECT_EQ(code(), kStateFreeSampling);
    EXPECT_EQ(button(kBtnSample)->text(), "暂停(C)");
    EXPECT_FALSE(window->timerActive(kTimerReconnect));
    ASSERT_TRUE(runUntil([&] { return !window->pointInfo()->text().startsWith("自动"); }));
    EXPECT_TRUE(window->pointInfo()->text().contains("深度(m):2.00"))
        << window->pointInfo()->text().toStdString();

    // 设置's key while it is disabled does nothing; 采样's key pauses; then 设置's key opens it.
    QTest::keyClick(window.get(), Qt::Key_S);
    EXPECT_EQ(setupOpened, 0);
    QTest::keyClick(window.get(), Qt::Key_C, Qt::ShiftModifier);  // not the pair: no modifier
    EXPECT_EQ(testState.load(), 0xF6000000u);
    QTest::keyClick(window.get(), Qt::Key_C);
    EXPECT_EQ(testState.load(), 0xF6000004u);
    EXPECT_EQ(button(kBtnSample)->text(), "采样(C)");
    EXPECT_TRUE(window->timerActive(kTimerReconnect));  // pressed while it read "暂停": timer 100
    QTest::keyClick(window.get(), Qt::Key_S);
    EXPECT_EQ(setupOpened, 1);
    QTest::keyClick(window.get(), Qt::Key_C);  // resume
    EXPECT_EQ(testState.load(), 0xF6000000u);
    EXPECT_FALSE(window->timerActive(kTimerReconnect));

    // 新存 by its key, with the injected name; the probes still wait at the start level.
    QTest::keyClick(window.get(), Qt::Key_X);
    EXPECT_TRUE(code() == kStateRecordStart || code() == kStateRecordContinuous) << std::hex << code();
    EXPECT_EQ(button(kBtnNewSave)->text(), "测试完成(X)");
    for (int id : kTableOrder) {  // every caption fits its finger-sized button
        QPushButton* b = button(id);
        EXPECT_GE(b->height(), 40) << id;
        EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(b->text()), b->width() - 8) << id;
    }

    // The winch rises to the end; the save dialog opens over the console.
    ASSERT_TRUE(runUntil([&] { return controller->saveForm() != nullptr; }));
    EXPECT_EQ(testState.load(), 0xABCD0000u);
    EXPECT_EQ(std::count(opened.begin(), opened.end(), ConsoleDialog::Save), 1);
    const auto recorded = snapshot(listPointers(sectionLists));
    ASSERT_EQ(recorded.at(0).size(), 21u);

    controller->saveForm()->clickSave();
    controller->dialogChanged();
    ASSERT_TRUE(runUntil([&] { return controller->lastSaveResult() == SaveForm::Result::Saved; }));
    EXPECT_EQ(code(), kStateIdle);
    EXPECT_EQ(window->liftSpeedBar()->value(), 0);

    for (int i = 0; i < 500 && !fs::exists(dir / "PILE.CHT"); ++i)
        std::this_thread::sleep_for(10ms);
    COpenfile file((dir / "PILE").string());
    CInfo read;
    read.resetToDefaults();
    ASSERT_TRUE(file.parseHeader(read)) << file.errorText();
    OwnedSectionLists lists;
    test::makeLists(lists, kLength);
    ASSERT_TRUE(file.readRows(read, listPointers(lists))) << file.errorText();
    EXPECT_EQ(snapshot(listPointers(lists)), recorded);

    // The enabling of the widgets at every state change, against the table (c = 1; style 1 and
    // save at the end leave the page buttons to the table).
    const std::map<uint32_t, Row> table = {
        {0xF6000000u, {0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}}, {0xF6000004u, {1, 1, 1, 1, 1, 0, 0, 0, 1, 0, 1}},
        {0xF7000000u, {0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0}}, {0xFA000000u, {0, 1, 1, 1, 0, 1, 0, 0, 0, 0, 0}},
        {0xABCD0000u, {1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1}}, {0xF0000000u, {1, 1, 1, 1, 1, 0, 0, 0, 1, 0, 1}},
    };
    std::map<uint32_t, int> checked;
    for (size_t i = 0; i < window->seen.size(); ++i) {
        const auto& s = window->seen[i];
        EXPECT_EQ(s.uploadShown, stateCode(s.state) == kStateIdle) << std::hex << s.state;
        auto row = table.find(s.state);
        if (row == table.end()) continue;
        // Before the first sampling 新存 stays off (no lists to record into yet).
        Row expected = row->second;
        if (s.state == 0xF0000000u && i == 0) expected[2] = 0;
        EXPECT_EQ(s.row, expected) << std::hex << s.state << " at change " << std::dec << i;
        ++checked[s.state];
    }
    EXPECT_EQ(checked.size(), table.size());
}

TEST_F(WindowRun, AModalBoxFromAHandlerDefersTheMailboxUntilItCloses) {
    start(pileTest(2.0f), test::quietPile(2.0, 1.0, 60.0, kLength));
    QString boxText;
    bool noticeWhileBox = true;
    int deferredWhileBox = 0;
    answerNextModal(QStringLiteral("确定"), &boxText, [&] {
        // The box is open inside the file-error handler: a notice posted now must wait.
        controller->mailbox().post(kMsgCommFailure);
        runUntil([] { return false; }, 200ms);
        noticeWhileBox = window->commNotice()->isVisible();
        deferredWhileBox = window->deferredEntries();
    });
    controller->mailbox().post(Message{kMsgFileError, 0, 0, 0, "磁盘已满"});
    ASSERT_TRUE(runUntil([&] { return window->commNotice()->isVisible(); }));
    EXPECT_EQ(boxText, "数据文件写入失败：磁盘已满");
    EXPECT_FALSE(noticeWhileBox);
    EXPECT_GE(deferredWhileBox, 1);

    // The notice's "关闭" tells the controller: the next failure shows it again, and a
    // restored link closes it.
    auto* close = window->commNotice()->findChild<QPushButton*>();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "关闭");
    EXPECT_EQ(window->commNotice()->findChild<QLabel*>("text")->text(), "通讯出错，请检测网络！");
    close->click();
    EXPECT_FALSE(window->commNotice()->isVisible());
    EXPECT_FALSE(controller->commNoticeShown());
    controller->mailbox().post(kMsgCommFailure);
    ASSERT_TRUE(runUntil([&] { return window->commNotice()->isVisible(); }));
    controller->mailbox().post(kMsgCommRestored);
    ASSERT_TRUE(runUntil([&] { return !window->commNotice()->isVisible(); }));
}

TEST_F(WindowRun, TheBarsShowTheIndicatorsPositionsAndColours) {
    start(pileTest(2.0f), test::quietPile(2.0, 1.0, 60.0, kLength));
    EXPECT_EQ(window->batteryBar()->value(), 10);  // the simulator's 80: full
    EXPECT_TRUE(window->batteryBar()->styleSheet().contains("#00ff00"));
    struct Case {
        int32_t speed;
        int position;
        const char* colour;
    };
    for (const Case& c :
         {Case{55, 5, "#00ff00"}, Case{60, 6, "#ffff00"}, Case{79, 7, "#ffff00"}, Case{85, 8, "#ff0000"},
          Case{100, 10, "#ff0000"}, Case{-3, 10, "#ff0000"}, Case{0, 0, "#00ff00"}}) {
        controller->mailbox().post(kMsgLiftSpeed, static_cast<uintptr_t>(c.speed), 0);
        ASSERT_TRUE(runUntil([&] { return controller->liftSpeed() == c.speed; }, 5s)) << c.speed;
        EXPECT_EQ(window->liftSpeedBar()->value(), c.position) << c.speed;
        EXPECT_TRUE(window->liftSpeedBar()->styleSheet().contains(c.colour)) << c.speed;
    }
}

TEST_F(WindowRun, WhatEachWayOfClosingStarts) {
    const fs::path exe = dir / "bin" / "LX9";
    fs::create_directories(exe.parent_path() / "tools");
    std::ofstream(exe.string()) << "";
    struct Case {
        const char* name;
        bool office;
        bool helper;  // tools/Msg present
        bool byCloseButton;
        std::vector<LaunchCommand> expected;
    };
    const std::vector<Case> cases = {
        {"full screen, window manager", false, false, false, {{exe, {"-1"}}}},
        {"full screen with tools/Msg",
         false,
         true,
         false,
         {{exe.parent_path() / "tools" / "Msg", {"-1"}}, {exe, {"-1"}}}},
        {"full screen, 关闭", false, true, true, {}},
        {"office window", true, true, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(exe.parent_path() / "tools" / "Msg");
        if (c.helper) std::ofstream((exe.parent_path() / "tools" / "Msg").string()) << "";
        start(pileTest(2.0f), test::quietPile(2.0, 1.0, 60.0, kLength));
        std::vector<LaunchCommand> started;
        window->setOfficeWindow(c.office);
        window->setRelaunch(exe, [&](const LaunchCommand& l) {
            started.push_back(l);
            return true;
        });
        if (c.byCloseButton)
            button(kBtnClose)->click();
        else
            window->close();
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(started, c.expected);
        EXPECT_EQ(window->launched(), c.expected);
        EXPECT_TRUE(fs::exists(dir / "set.ini"));  // every close stores the settings
        EXPECT_EQ(controller->closed(), c.office || c.byCloseButton);
        controller.reset();
        window.reset();
        rig.reset();
        fs::remove(dir / "set.ini");
    }
}

// The connection dialog tries once per turn of the event loop: its bar shows each failed try
// before the next one starts, and "重试" starts again from an empty bar.
TEST(LinkDialog, TheBarMovesAfterEachFailedTryAndRetryStartsAgain) {
    if (!gui) gui = std::make_unique<ui::OffscreenWidgets>();
    // What the dialog shows as each try starts: the failures before it.
    struct WatchedLink : test::ScriptedLink {
        uint8_t GetCommunicateStatus() override {
            if (onTry) onTry();
            return test::ScriptedLink::GetCommunicateStatus();
        }
        std::function<void()> onTry;
    } link;
    link.failNext("GetCommunicateStatus", 4);
    LinkForm form(link);
    LinkDialog dialog(form);
    std::vector<int> barAtTry;
    std::vector<QString> textAtTry;
    link.onTry = [&] {
        barAtTry.push_back(dialog.bar()->value());
        textAtTry.push_back(dialog.textLabel()->text());
    };
    dialog.show();
    ASSERT_TRUE(runUntil([&] { return form.phase() == LinkForm::Phase::Failed; }, 5s));
    EXPECT_EQ(barAtTry, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(textAtTry, (std::vector<QString>(3, "正在连接中，请稍等……")));
    EXPECT_EQ(dialog.bar()->value(), 3);
    EXPECT_EQ(dialog.textLabel()->text(), "仪器未连接！");
    EXPECT_EQ(dialog.firstButton()->text(), "重试");
    EXPECT_EQ(dialog.secondButton()->text(), "放弃");
    EXPECT_TRUE(dialog.firstButton()->isVisible());

    dialog.firstButton()->click();  // 重试: one more failure, then the answer
    EXPECT_EQ(dialog.bar()->value(), 0);
    EXPECT_EQ(dialog.textLabel()->text(), "正在连接中，请稍等……");
    EXPECT_FALSE(dialog.firstButton()->isVisible());
    ASSERT_TRUE(runUntil([&] { return form.phase() == LinkForm::Phase::Connected; }, 5s));
    EXPECT_EQ(link.callCount("GetCommunicateStatus"), 5);
    EXPECT_EQ(dialog.textLabel()->text(), "已成功连接到仪器！");
    EXPECT_EQ(dialog.firstButton()->text(), "确定");
    dialog.reject();  // "取消" or the window's close: connected all the same
    EXPECT_TRUE(form.connected());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// A view placed in a panel fills its frame and receives every redraw request; the panel follows
// the layout when the display switches change.
TEST_F(WindowRun, PanelViewsAreHostedAndRedrawn) {
    struct CountingView : PanelView {
        void redraw(uint32_t parts) override { seen |= parts; }
        uint32_t seen = 0;
    } view;
    start(pileTest(2.0f), test::quietPile(2.0, 1.0, 60.0, kLength));
    auto* widget = new QWidget;
    window->setPanelView(ConsolePanel::UpperWave, widget, &view);
    EXPECT_EQ(widget->parentWidget(), window->panelFrame(ConsolePanel::UpperWave));
    ASSERT_TRUE(runUntil([&] { return widget->width() > 900; }, 5s));
    EXPECT_EQ(window->panelFrame(ConsolePanel::UpperWave)->geometry(), QRect(25, 25, 974, 256));
    controller->mailbox().post(kMsgFrameReady, 1, 0);
    ASSERT_TRUE(runUntil([&] { return (view.seen & kViewWaveform) != 0; }, 5s));
    EXPECT_TRUE(view.seen & kViewPointInfo);

    // Wave train off: the upper panel takes the whole height, the train's panel goes.
    controller->display().showWaveTrain = false;
    controller->mailbox().post(kMsgDisplaySettingsChanged);
    ASSERT_TRUE(runUntil([&] { return !window->panelFrame(ConsolePanel::WaveTrain)->isVisible(); }, 5s));
    EXPECT_EQ(window->panelFrame(ConsolePanel::UpperWave)->geometry(), QRect(25, 25, 974, 328));
    EXPECT_TRUE(window->panelFrame(ConsolePanel::LowerWave)->isVisible());  // six sections: two panels
}

// The touch file chooser: folders first, then the data files in any case of their suffix; a new
// file gets its suffix; nothing usable keeps it open; an existing file is replaced only on "是".
TEST(FileChooser, FiltersNavigatesAndAnswers) {
    if (!gui) gui = std::make_unique<ui::OffscreenWidgets>();
    const fs::path root = fs::temp_directory_path() / ("lx9_chooser_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "工地A");
    for (const char* f : {"P1.CHT", "p2.cht", "P1.CHD", "notes.txt", ".hidden.CHT"})
        std::ofstream((root / f).string()) << "x";
    std::ofstream((root / "工地A" / "Q.CHT").string()) << "x";

    using Mode = ui::FileChooserDialog::Mode;
    ui::FileChooserDialog open(Mode::OpenFile, "打开", root);
    EXPECT_EQ(open.entries(), (QStringList{"工地A/", "P1.CHT", "p2.cht"}));
    open.activate("工地A/");
    EXPECT_EQ(open.folder(), root / "工地A");
    EXPECT_EQ(open.entries(), (QStringList{"Q.CHT"}));
    EXPECT_FALSE(open.tryAccept());  // nothing chosen yet
    open.goUp();
    open.activate("p2.cht");
    EXPECT_TRUE(open.tryAccept());
    EXPECT_EQ(open.chosen(), root / "p2.cht");

    ui::FileChooserDialog save(Mode::SaveFile, "新存", root / "missing" / "deeper");
    EXPECT_EQ(save.folder(), root);  // the nearest folder that exists
    save.setName("  ");
    EXPECT_FALSE(save.tryAccept());
    save.setName("a/b");
    EXPECT_FALSE(save.tryAccept());
    save.setName("P3");
    EXPECT_TRUE(save.tryAccept());
    EXPECT_EQ(save.chosen(), root / "P3.CHT");

    QString question;
    ui::FileChooserDialog replace(Mode::SaveFile, "新存", root);
    replace.setName("P1.CHT");
    answerNextModal("否", &question);
    EXPECT_FALSE(replace.tryAccept());
    EXPECT_EQ(question, "P1.CHT 已存在。\n要替换它吗？");
    answerNextModal("是");
    EXPECT_TRUE(replace.tryAccept());
    EXPECT_EQ(replace.chosen(), root / "P1.CHT");

    ui::FileChooserDialog folder(Mode::Folder, "数据文件夹", root);
    EXPECT_EQ(folder.entries(), (QStringList{"工地A/"}));
    folder.activate("工地A/");
    EXPECT_TRUE(folder.tryAccept());
    EXPECT_EQ(folder.chosen(), root / "工地A");
    fs::remove_all(root);
}

// The message boxes: the form's caption (the program's name when it gives none), the exact text,
// finger-sized buttons, and the answer of the button pressed.
TEST(MessageBoxes, CaptionsTextsButtonsAndAnswers) {
    if (!gui) gui = std::make_unique<ui::OffscreenWidgets>();
    ui::MessageBoxSink sink;
    struct Seen {
        QString title, text;
        QStringList buttons;
        int minHeight = 1000;
    } seen;
    auto note = [&seen] {
        QWidget* box = QApplication::activeModalWidget();
        seen.title = box->windowTitle();
        seen.text = qobject_cast<QMessageBox*>(box)->text();
        seen.buttons.clear();
        for (QPushButton* b : box->findChildren<QPushButton*>()) {
            seen.buttons << b->text();
            seen.minHeight = std::min(seen.minHeight, b->height());
        }
    };
    answerNextModal("是", nullptr, note);
    EXPECT_TRUE(sink.askYesNoTitled("主机中有未保存的数据，是否要恢复实验？", "提示"));
    EXPECT_EQ(seen.title, "提示");
    EXPECT_EQ(seen.text, "主机中有未保存的数据，是否要恢复实验？");
    EXPECT_EQ(seen.buttons, (QStringList{"是", "否"}));
    EXPECT_GE(seen.minHeight, 48);
    answerNextModal("否", nullptr, note);
    EXPECT_FALSE(sink.askYesNo("是否要退出恢复实验？"));
    EXPECT_EQ(seen.title, "LX9");
    answerNextModal("确定", nullptr, note);
    sink.showMessage("发送操作命令失败");
    EXPECT_EQ(seen.text, "发送操作命令失败");
    EXPECT_EQ(seen.buttons, (QStringList{"确定"}));
    answerNextModal("取消", nullptr, note);
    EXPECT_FALSE(sink.askWithButtons("是否确认关闭文件？", "关闭文件", "确定", "取消"));
    EXPECT_EQ(seen.buttons, (QStringList{"确定", "取消"}));
}

}  // namespace
}  // namespace lx9
