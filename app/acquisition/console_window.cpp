#include "acquisition/console_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "acquisition/console_controller.h"
#include "acquisition/console_keys.h"
#include "acquisition/link_dialog.h"
#include "acquisition/reset_form.h"
#include "data/data_folder.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "data/sample_data_list.h"
#include "ui/file_chooser_dialog.h"
#include "ui/message_box_sink.h"

namespace lx9 {
namespace {

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QFont songFont(int pixels, bool bold = false) {
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

size_t panelIndex(ConsolePanel p) {
    return static_cast<size_t>(p);
}

// 0x00BBGGRR as a style sheet colour.
QString cssColour(uint32_t bgr) {
    return QStringLiteral("#%1%2%3")
        .arg(bgr & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

void showBar(QProgressBar* bar, const BarIndicator& b) {
    bar->setValue(std::clamp(b.position, 0, 10));
    // No colour: the style's highlight colour.
    const QString sheet =
        b.colour ? QStringLiteral("QProgressBar::chunk { background: %1; }").arg(cssColour(*b.colour))
                 : QString();
    if (bar->styleSheet() != sheet) bar->setStyleSheet(sheet);
}

// The largest font up to 16 px in which the caption fits its button ("测试完成(X)" and
// "关闭文件(C)" are the long ones at 1024 pixels).
void fitCaption(QPushButton* b) {
    const int room = b->width() - 8;
    QFont f = b->font();
    for (int px = 16; px >= 10; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).horizontalAdvance(b->text()) <= room || px == 10) break;
    }
    if (f != b->font()) b->setFont(f);
}

void place(QWidget* w, const std::optional<ScreenRect>& r) {
    if (!r) {
        w->hide();
        return;
    }
    w->setGeometry(r->x, r->y, r->width, r->height);
    w->show();
}

// A label written top to bottom, one character a line, for the narrow side margins.
QString vertical(std::string_view text) {
    const QString s = q(text);
    QStringList chars;
    for (QChar c : s)
        chars << QString(c);
    return chars.join('\n');
}

constexpr const char* kSectionCaptions[4] = {"+", "−", "←", "→"};
constexpr const char* kSectionTips[4] = {"增益+", "增益−", "延时← (+10 µs)", "延时→ (−10 µs)"};

}  // namespace

ConsoleWindow::ConsoleWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("LX9"));
    setFocusPolicy(Qt::StrongFocus);

    for (int i = 0; i < 5; ++i) {
        auto* frame = new QFrame(this);
        frame->setFrameShape(QFrame::Box);
        frame->setFrameShadow(QFrame::Plain);
        frame->setLineWidth(1);
        auto* inner = new QVBoxLayout(frame);
        inner->setContentsMargins(1, 1, 1, 1);
        frames_[static_cast<size_t>(i)] = frame;
    }

    for (int id = kBtnSetup; id <= kBtnUpload; ++id) {
        auto* b = new QPushButton(this);
        b->setFont(songFont(16));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, [this, id] { clickButton(id); });
        buttons_[id] = b;
    }
    buttons_[kBtnMovePoint]->hide();  // stays disabled in this system: not shown

    for (int section = 0; section < kMaxSections; ++section) {
        for (int a = 0; a < 4; ++a) {
            const int id = sectionControlId(section, static_cast<SectionAdjust>(a));
            auto* b = new QPushButton(QString::fromUtf8(kSectionCaptions[a]), this);
            b->setFont(songFont(20, true));
            b->setToolTip(QString::fromUtf8(kSectionTips[a]));
            b->setFocusPolicy(Qt::NoFocus);
            b->hide();
            connect(b, &QPushButton::clicked, this, [this, id] { clickButton(id); });
            sectionButtons_[id] = b;
        }
    }

    auto makeBar = [this] {
        auto* bar = new QProgressBar(this);
        bar->setOrientation(Qt::Vertical);
        bar->setRange(0, 10);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    };
    liftBar_ = makeBar();
    batteryBar_ = makeBar();
    liftLabel_ = new QLabel(vertical(kLabelLiftSpeed), this);
    batteryLabel_ = new QLabel(vertical(kLabelBattery), this);
    for (QLabel* l : {liftLabel_, batteryLabel_}) {
        l->setFont(songFont(14));
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }

    info_ = new QLabel(this);
    info_->setFont(songFont(13));
    info_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    info_->setTextFormat(Qt::PlainText);

    auto* transient = new QLabel(this);
    transient->setFont(songFont(20));
    transient->setAlignment(Qt::AlignCenter);
    transient->setStyleSheet(
        QStringLiteral("QLabel { background: #ffffe0; border: 2px solid #404040; padding: 16px; }"));
    transient->hide();
    transient_ = transient;

    commNotice_ = new QDialog(this, Qt::Dialog | Qt::WindowStaysOnTopHint);
    commNotice_->setModal(false);
    commNotice_->setWindowTitle(QStringLiteral("LX9"));
    commNotice_->setFont(songFont(18));
    auto* noticeLayout = new QVBoxLayout(commNotice_);
    auto* noticeText = new QLabel(commNotice_);
    noticeText->setObjectName(QStringLiteral("text"));
    noticeText->setAlignment(Qt::AlignCenter);
    noticeText->setMinimumHeight(60);
    auto* noticeClose = new QPushButton(QStringLiteral("关闭"), commNotice_);
    ui::makeTouchButton(noticeClose, 120);
    noticeLayout->addWidget(noticeText);
    noticeLayout->addWidget(noticeClose, 0, Qt::AlignCenter);
    connect(noticeClose, &QPushButton::clicked, this, [this] {
        commNotice_->hide();
        if (controller_) controller_->commNoticeClosed();
    });

    resize(1024, 768);
    relayout();
}

ConsoleWindow::~ConsoleWindow() {
    for (auto& [id, t] : timers_)
        t->stop();
}

void ConsoleWindow::attach(ConsoleController& controller) {
    controller_ = &controller;
    // Called on the posting thread: queue one drain on this thread; messages that arrive before it
    // runs are handled by the same drain.
    controller.mailbox().setWakeUp([this] {
        if (drainQueued_.exchange(true)) return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                drainQueued_ = false;
                drainMailbox();
            },
            Qt::QueuedConnection);
    });
    refreshButtons();
}

void ConsoleWindow::setPanelView(ConsolePanel panel, QWidget* widget, PanelView* view) {
    const size_t i = panelIndex(panel);
    QFrame* frame = frames_[i];
    if (panelWidgets_[i] && panelWidgets_[i] != widget) {
        frame->layout()->removeWidget(panelWidgets_[i]);
        panelWidgets_[i]->hide();
        panelWidgets_[i]->setParent(nullptr);
    }
    panelWidgets_[i] = widget;
    views_[i] = widget ? view : nullptr;
    // A view gets the whole panel (its geometry is computed for that rectangle); an empty panel
    // shows its frame.
    frame->setFrameShape(widget ? QFrame::NoFrame : QFrame::Box);
    frame->layout()->setContentsMargins(widget ? QMargins() : QMargins(1, 1, 1, 1));
    if (widget) {
        widget->setParent(frame);
        frame->layout()->addWidget(widget);
        widget->show();
    }
}

QFrame* ConsoleWindow::panelFrame(ConsolePanel panel) const {
    return frames_[panelIndex(panel)];
}

QPushButton* ConsoleWindow::button(int id) const {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

QPushButton* ConsoleWindow::sectionButton(int id) const {
    auto it = sectionButtons_.find(id);
    return it == sectionButtons_.end() ? nullptr : it->second;
}

bool ConsoleWindow::timerActive(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

void ConsoleWindow::showConsole(bool fullScreen) {
    if (fullScreen) {
        // Without a window manager showFullScreen() alone keeps the default size.
        if (QScreen* screen = QApplication::primaryScreen()) setGeometry(screen->geometry());
        showFullScreen();
    } else {
        QRect area(0, 0, 1024, 768);
        if (QScreen* screen = QApplication::primaryScreen()) area = screen->availableGeometry();
        resize(std::min(1024, area.width()), std::min(768, area.height()));
        show();
    }
    relayout();
}

void ConsoleWindow::start() {
    if (!controller_) return;
    ++depth_;
    controller_->startUp();
    --depth_;
    refreshButtons();
    refreshBars();
    runDeferred();
}

// ---------------------------------------------------------------- re-entry guard

void ConsoleWindow::drainMailbox() {
    if (!controller_) return;
    if (depth_ > 0) {
        drainPending_ = true;
        ++deferred_;
        return;
    }
    ++depth_;
    controller_->dispatchMessages();
    --depth_;
    runDeferred();
}

void ConsoleWindow::runDeferred() {
    if (depth_ > 0 || (!drainPending_ && timersPending_.empty())) return;
    // From the event loop, never from inside the handler that just returned.
    QTimer::singleShot(0, this, [this] {
        if (depth_ > 0 || !controller_) return;
        const std::set<int> timers = std::exchange(timersPending_, {});
        for (int id : timers) {
            ++depth_;
            controller_->onTimer(id);
            --depth_;
        }
        if (std::exchange(drainPending_, false)) drainMailbox();
        runDeferred();
    });
}

void ConsoleWindow::clickButton(int id) {
    // A click cannot reach the console behind a modal box; a hotkey while a handler runs is dropped.
    if (!controller_ || depth_ > 0) return;
    ++depth_;
    controller_->click(id);
    --depth_;
    runDeferred();
}

// ---------------------------------------------------------------- ConsoleView

void ConsoleWindow::redraw(uint32_t parts) {
    if (parts & (kViewButtons | kViewReset)) {
        refreshButtons();
        relayout();
    }
    if (parts & (kViewBattery | kViewLiftSpeed | kViewReset)) refreshBars();
    if (parts & (kViewPointInfo | kViewReset)) refreshPointInfo();
    if ((parts & kViewDialogs) && screens_.refreshTestDialogs) screens_.refreshTestDialogs();
    for (PanelView* v : views_)
        if (v) v->redraw(parts);
}

void ConsoleWindow::refreshButtons() {
    if (!controller_) {
        for (auto& [id, b] : buttons_) {
            b->setText(q(id == kBtnUpload ? kCapUpload : std::string_view()));
            b->setEnabled(false);
        }
        return;
    }
    const ButtonStates& states = controller_->buttons();
    for (auto& [id, b] : buttons_) {
        const QString text = QString::fromStdString(controller_->caption(id));
        if (b->text() != text) {
            b->setText(text);
            fitCaption(b);
        }
        b->setEnabled(states.at(id));
    }
    buttons_[kBtnUpload]->setVisible(states.uploadShown);
    buttons_[kBtnMovePoint]->hide();
    std::array<bool, kMaxSections> present{};
    {
        const SharedInfo shared = sharedCurrentInfo();
        std::lock_guard<std::mutex> g(shared.lock());
        for (int k = 0; k < kMaxSections; ++k)
            present[static_cast<size_t>(k)] = shared.record().sections[static_cast<size_t>(k)].present;
    }
    const uint32_t code = stateCode(controller_->state());
    const bool viewing = controller_->viewingFile() || code == kStateViewing;
    for (auto& [id, b] : sectionButtons_) {
        const auto control = sectionControl(id);
        b->setEnabled(control && present[static_cast<size_t>(control->section)] && !viewing);
    }
}

void ConsoleWindow::refreshBars() {
    if (!controller_) return;
    showBar(batteryBar_, controller_->battery());
    showBar(liftBar_, controller_->liftSpeedBar().value_or(BarIndicator{}));
}

void ConsoleWindow::refreshPointInfo() {
    const CInfo info = sharedCurrentInfo().copy();
    int slot = -1;
    for (int k = 0; k < kMaxSections && slot < 0; ++k)
        if (info.sections[static_cast<size_t>(k)].present && info.sections[static_cast<size_t>(k)].display)
            slot = k;
    QString text;
    if (slot >= 0) {
        if (CSampleDataList* list = sectionLists[static_cast<size_t>(slot)].get()) {
            auto g = list->lock();
            if (list->current && !list->current->samples.empty()) {
                const PointInfoTexts t = pointInfoTexts(info, slot, *list->current);
                text = QString::fromStdString(info.sections[static_cast<size_t>(slot)].name + "   " +
                                              t.method + "   " + t.placement + "   " + t.measured);
                text.replace('\n', QStringLiteral("   "));
            }
        }
    }
    if (text.isEmpty()) text = QString::fromStdString(info.pickMethod);
    if (info_->text() != text) info_->setText(text);
}

void ConsoleWindow::relayout() {
    ConsoleLayoutInput in;
    in.width = width();
    in.height = height();
    if (controller_) {
        in.wavesShown = controller_->display().showWaveform;
        in.trainShown = controller_->display().showWaveTrain;
    }
    in.fixed = displayFixed_;
    {
        const SharedInfo shared = sharedCurrentInfo();
        std::lock_guard<std::mutex> g(shared.lock());
        for (int k = 0; k < kMaxSections; ++k) {
            const SectionPara& s = shared.record().sections[static_cast<size_t>(k)];
            in.displayed[static_cast<size_t>(k)] = s.present && s.display;
        }
    }
    layout_ = consoleLayout(in);
    place(frames_[panelIndex(ConsolePanel::UpperWave)], layout_.upperWave);
    place(frames_[panelIndex(ConsolePanel::LowerWave)], layout_.lowerWave);
    place(frames_[panelIndex(ConsolePanel::WaveTrain)], layout_.waveTrain);
    place(frames_[panelIndex(ConsolePanel::Curves)], layout_.curves);
    place(frames_[panelIndex(ConsolePanel::SectionMap)], layout_.sectionMap);
    for (size_t i = 0; i < kConsoleButtonOrder.size(); ++i) {
        const ScreenRect& r = layout_.buttons[i];
        QPushButton* b = buttons_[kConsoleButtonOrder[i]];
        b->setGeometry(r.x, r.y, r.width, r.height);
        fitCaption(b);
    }
    for (int section = 0; section < kMaxSections; ++section)
        for (int a = 0; a < 4; ++a) {
            QPushButton* b = sectionButtons_[sectionControlId(section, static_cast<SectionAdjust>(a))];
            place(b, layout_.sectionControls[static_cast<size_t>(section * 4 + a)]);
            b->raise();
        }
    place(liftLabel_, layout_.liftLabel);
    place(liftBar_, layout_.liftBar);
    place(batteryLabel_, layout_.batteryLabel);
    place(batteryBar_, layout_.batteryBar);
    place(info_, layout_.infoStrip);
    if (transient_->isVisible()) {
        transient_->adjustSize();
        transient_->move((width() - transient_->width()) / 2, (height() - transient_->height()) / 2);
        transient_->raise();
    }
}

void ConsoleWindow::dialogOpened(ConsoleDialog dialog) {
    if (screens_.openTestDialog) screens_.openTestDialog(dialog, this);
}

void ConsoleWindow::dialogClosed(ConsoleDialog dialog) {
    if (screens_.closeTestDialog) screens_.closeTestDialog(dialog);
}

void ConsoleWindow::runConnectionDialog(LinkForm& form) {
    LinkDialog dialog(form, this);
    dialog.exec();
}

bool ConsoleWindow::confirm(ResetForm& form) {
    ui::MessageBoxSink local(this);
    ui::MessageBoxSink& box = boxes_ ? *boxes_ : local;
    const bool yes = box.askWithButtons(form.text(), form.caption(), form.yesCaption(), form.noCaption());
    if (yes)
        form.ok();
    else
        form.cancel();
    return yes;
}

std::optional<std::string> ConsoleWindow::askFile(FileRequest request) {
    if (fileNames_) return fileNames_(request);
    std::filesystem::path folder = dataFolder_.empty() ? defaultDataFolder() : dataFolder_;
    std::string error;
    if (!ensureDataFolder(folder, &error)) {
        ui::MessageBoxSink(this).showMessage("数据文件夹无法创建：" + error);
        folder = std::filesystem::path(std::getenv("HOME") ? std::getenv("HOME") : "/");
    }
    if (request == FileRequest::NewData) {
        std::string pile;
        {
            const SharedInfo shared = sharedCurrentInfo();
            std::lock_guard<std::mutex> g(shared.lock());
            pile = shared.record().pileId;
        }
        return ui::FileChooserDialog::saveFile(this, q(kCapNewSave), folder, QString::fromStdString(pile));
    }
    return ui::FileChooserDialog::openFile(this, q(kCapOpen), folder);
}

std::optional<std::string> ConsoleWindow::askDataFileName() {
    return askFile(FileRequest::NewData);
}

std::optional<std::string> ConsoleWindow::askOpenFileName() {
    return askFile(FileRequest::OpenData);
}

void ConsoleWindow::setTimer(int id, std::chrono::milliseconds period, bool repeat) {
    QTimer*& t = timers_[id];
    if (!t) {
        t = new QTimer(this);
        connect(t, &QTimer::timeout, this, [this, id] {
            if (!controller_) return;
            if (depth_ > 0) {
                timersPending_.insert(id);
                ++deferred_;
                return;
            }
            ++depth_;
            controller_->onTimer(id);
            --depth_;
            runDeferred();
        });
    }
    t->setSingleShot(!repeat);
    t->start(static_cast<int>(period.count()));
}

void ConsoleWindow::killTimer(int id) {
    if (auto it = timers_.find(id); it != timers_.end()) it->second->stop();
    timersPending_.erase(id);
}

void ConsoleWindow::showCommNotice(const std::string& text) {
    commNotice_->findChild<QLabel*>(QStringLiteral("text"))->setText(QString::fromStdString(text));
    commNotice_->adjustSize();
    commNotice_->move(
        mapToGlobal(QPoint((width() - commNotice_->width()) / 2, (height() - commNotice_->height()) / 3)));
    commNotice_->show();
    commNotice_->raise();
}

void ConsoleWindow::closeCommNotice() {
    commNotice_->hide();
}

void ConsoleWindow::showTransientNotice(const std::string& text) {
    auto* label = static_cast<QLabel*>(transient_);
    label->setText(QString::fromStdString(text));
    label->adjustSize();
    label->move((width() - label->width()) / 2, (height() - label->height()) / 2);
    label->show();
    label->raise();
}

void ConsoleWindow::closeTransientNotice() {
    transient_->hide();
}

void ConsoleWindow::openSetup() {
    if (screens_.openSetup) screens_.openSetup(this);
}

void ConsoleWindow::openAnalysis() {
    if (screens_.openAnalysis) screens_.openAnalysis(this);
}

void ConsoleWindow::openUpload() {
    if (screens_.openUpload) screens_.openUpload(this);
}

void ConsoleWindow::setDisplayFixed(bool fixed) {
    displayFixed_ = fixed;
    relayout();
}

void ConsoleWindow::pageWaveTrain(int direction) {
    if (pager_) pager_(direction);
}

void ConsoleWindow::closeWindow() {
    closing_ = true;
    if (!inCloseEvent_) close();
}

// ---------------------------------------------------------------- events

void ConsoleWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void ConsoleWindow::keyPressEvent(QKeyEvent* event) {
    uint16_t key = 0;
    const int k = event->key();
    if (k >= Qt::Key_A && k <= Qt::Key_Z) key = static_cast<uint16_t>('A' + (k - Qt::Key_A));
    if (k >= Qt::Key_0 && k <= Qt::Key_9) key = static_cast<uint16_t>('0' + (k - Qt::Key_0));
    if (!controller_ || key == 0 || event->isAutoRepeat()) {
        QWidget::keyPressEvent(event);
        return;
    }
    uint16_t mods = 0;
    if (event->modifiers() & Qt::ShiftModifier) mods |= kHotkeyShift;
    if (event->modifiers() & Qt::ControlModifier) mods |= kHotkeyCtrl;
    if (event->modifiers() & Qt::AltModifier) mods |= kHotkeyAlt;
    std::array<Hotkey, kHotkeyCount> keys;
    {
        const SharedInfo shared = sharedCurrentInfo();
        std::lock_guard<std::mutex> g(shared.lock());
        keys = shared.record().hotkeys;
    }
    const int id = consoleButtonForKey(keys, key, mods);
    // A disabled button's key does nothing, as a click on it would.
    if (id != 0 && controller_->buttons().at(id)) {
        clickButton(id);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ConsoleWindow::closeEvent(QCloseEvent* event) {
    if (closing_ || !controller_ || controller_->closed()) {
        event->accept();
        return;
    }
    if (depth_ > 0) {
        event->ignore();  // a handler is running: close once it is done
        return;
    }
    inCloseEvent_ = true;
    if (office_) {
        // The office window closes like "关闭": settings stored, threads stopped, no relaunch.
        closing_ = true;
        controller_->close();
    } else {
        // The window manager closed the full-screen console: hand over to a new instance.
        const std::string exe = executable_.string();
        for (const LaunchCommand& c : controller_->windowClosing(executable_)) {
            if (launcher_ && launcher_(c)) launched_.push_back(c);
        }
        (void)exe;
        closing_ = true;
    }
    inCloseEvent_ = false;
    event->accept();
}

}  // namespace lx9
