#include "setup/setup_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <numbers>

#include "data/globals.h"
#include "data/run_state.h"
#include "data/settings_store.h"
#include "setup/calibration_dialog.h"
#include "setup/colour_dialog.h"
#include "setup/data_folder_dialog.h"
#include "setup/hotkey_dialog.h"
#include "setup/instrument_params_dialog.h"
#include "setup/para_input_dialog.h"
#include "ui/num_input_dialog.h"
#include "ui/number_text.h"
#include "ui/select_dialog.h"
#include "ui/touch_keyboard_dialog.h"

namespace lx9 {

using ui::qs;

namespace {

std::pair<int, int> key(FieldRef ref) {
    return {static_cast<int>(ref.field), ref.index};
}

QLabel* smallLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(ui::touchFont(15));
    return l;
}

// 通道对应关系: the pipes on a circle, arrows from the transmitter (一发多收) or lines between the
// active pipes (自发自收).
class ChannelSketch : public QWidget {
  public:
    ChannelSketch(const SetupForm& form, QWidget* parent) : QWidget(parent), form_(form) {
        setMinimumSize(170, 170);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), Qt::white);
        const int pipes = std::clamp(parseIntText(form_.controls().pipeCount), 2, 5);
        const QPointF centre(width() / 2.0, height() / 2.0);
        const double radius = std::min(width(), height()) / 2.0 - 22;
        p.setPen(QPen(QColor(160, 160, 160), 1, Qt::DashLine));
        p.drawEllipse(centre, radius, radius);
        // Pipe 1 at the top, the others clockwise.
        auto at = [&](int pipe) {
            const double a = -std::numbers::pi / 2 + 2 * std::numbers::pi * (pipe - 1) / pipes;
            return centre + QPointF(radius * std::cos(a), radius * std::sin(a));
        };
        p.setPen(QPen(QColor(0, 80, 200), 2));
        for (const SketchLink& link : form_.sketchLinks()) {
            if (link.from > pipes || link.to > pipes) continue;
            const QPointF a = at(link.from), b = at(link.to);
            const QPointF d = b - a;
            const double len = std::hypot(d.x(), d.y());
            if (len < 1) continue;
            const QPointF u = d / len;
            const QPointF tip = b - u * 14;  // stop at the pipe's edge
            const QPointF start = a + u * 14;
            p.drawLine(start, tip);
            if (link.arrow) {
                const QPointF n(-u.y(), u.x());
                QPolygonF head;
                head << tip << tip - u * 10 + n * 5 << tip - u * 10 - n * 5;
                p.setBrush(QColor(0, 80, 200));
                p.drawPolygon(head);
                p.setBrush(Qt::NoBrush);
            }
        }
        p.setFont(ui::touchFont(13, true));
        for (int pipe = 1; pipe <= pipes; ++pipe) {
            const QPointF c = at(pipe);
            p.setPen(QPen(Qt::black, 1.5));
            p.setBrush(QColor(255, 230, 160));
            p.drawEllipse(c, 13, 13);
            p.drawText(QRectF(c.x() - 13, c.y() - 13, 26, 26), Qt::AlignCenter | Qt::TextDontClip,
                       QString::number(pipe));
        }
    }

  private:
    const SetupForm& form_;
};

}  // namespace

CDlg_Set::CDlg_Set(SharedInfo current, CInfo& saved, SetupConsole& console, MessageSink& sink,
                   InstrumentLink* link, SetupDialogHooks hooks, QWidget* parent)
    : QDialog(parent),
      current_(current),
      console_(console),
      form_(current, saved, console, sink, link),
      sink_(sink),
      hooks_(std::move(hooks)) {
    quickSet_ = std::make_unique<QuickSet>(form_, current);
    keyboard_ = std::make_unique<SystemKeyboard>(this);
    setWindowTitle(qs(std::string(kSetupCaption)));
    setFont(ui::touchFont(15));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 6, 8, 6);
    outer->setSpacing(4);
    auto* columns = new QHBoxLayout;
    outer->addLayout(columns, 1);
    columns->addWidget(buildJob());
    auto* right = new QVBoxLayout;
    columns->addLayout(right, 1);
    auto* top = new QHBoxLayout;
    right->addLayout(top);
    top->addWidget(buildChannels());
    auto* sketchBox = new QGroupBox(QStringLiteral("通道对应关系"), this);
    auto* sketchLayout = new QVBoxLayout(sketchBox);
    sketch_ = new ChannelSketch(form_, sketchBox);
    sketchLayout->addWidget(sketch_);
    top->addWidget(sketchBox);
    top->addWidget(buildModes(), 1);
    right->addWidget(buildRows());
    right->addWidget(buildExtras());
    right->addWidget(buildQuickSet());
    right->addStretch(1);
    outer->addWidget(buildButtons());
    showQuickSet(false);
    refresh();
}

CDlg_Set::~CDlg_Set() = default;

PadField* CDlg_Set::padField(FieldRef ref, QWidget* parent) {
    auto* f = new PadField(parent);
    f->setFont(ui::touchFont(15));
    f->onActivated([this, ref] { activate(ref); });
    widgets_[key(ref)] = f;
    return f;
}

QWidget* CDlg_Set::buildJob() {
    auto* box = new QGroupBox(QStringLiteral("工程参数"), this);
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(1);
    grid->setContentsMargins(6, 2, 6, 2);
    int row = 0;
    for (SetupField field : SetupForm::jobFields()) {
        const FieldRef ref{field, 0};
        const FieldSpec meta = form_.field(ref);
        auto* label = smallLabel(qs(meta.label), box);
        labels_[key(ref)] = label;
        grid->addWidget(label, row, 0);
        if (meta.kind == InputKind::Typed) {
            auto* edit = new QLineEdit(box);
            edit->setMinimumHeight(40);
            edit->setMinimumWidth(180);
            widgets_[key(ref)] = edit;
            connect(edit, &QLineEdit::textEdited, this,
                    [this, ref](const QString& text) { form_.enterText(ref, text.toStdString()); });
            grid->addWidget(edit, row, 1);
        } else {
            auto* f = padField(ref, box);
            f->setMinimumHeight(40);
            f->setMinimumWidth(180);
            grid->addWidget(f, row, 1);
        }
        ++row;
    }
    auto* keyboard = ui::touchButton(QStringLiteral("系统键盘"), box, 15);
    keyboard->setFocusPolicy(Qt::NoFocus);  // the typed field keeps the focus
    connect(keyboard, &QPushButton::clicked, this, [this] { keyboard_->open(); });
    grid->addWidget(keyboard, row++, 1);
    grid->setRowStretch(row, 1);
    return box;
}

// The digital-filter box and the version texts, under the section table.
QWidget* CDlg_Set::buildExtras() {
    auto* area = new QWidget(this);
    auto* layout = new QHBoxLayout(area);
    layout->setContentsMargins(4, 0, 4, 0);
    digitalFilter_ = new QCheckBox(QStringLiteral("是否数字滤波"), area);
    digitalFilter_->setMinimumHeight(40);
    connect(digitalFilter_, &QCheckBox::clicked, this, [this](bool on) {
        form_.setDigitalFilter(on);
        refresh();
    });
    layout->addWidget(digitalFilter_);
    layout->addStretch(1);
    layout->addWidget(smallLabel(qs(form_.softwareVersionText()), area));
    layout->addSpacing(16);
    layout->addWidget(smallLabel(qs(form_.hardwareVersionText()), area));
    return area;
}

QWidget* CDlg_Set::buildModes() {
    auto* box = new QGroupBox(QStringLiteral("测试方式"), this);
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(0);
    auto* modes = new QButtonGroup(box);
    const char* names[3] = {"平测", "斜测", "扇形测"};
    auto* modeRow = new QHBoxLayout;
    layout->addLayout(modeRow);
    for (int m = 0; m < 3; ++m) {
        testModes_[m] = new QRadioButton(QString::fromUtf8(names[m]), box);
        modes->addButton(testModes_[m]);
        modeRow->addWidget(testModes_[m]);
        connect(testModes_[m], &QRadioButton::clicked, this, [this, m] {
            form_.setTestMode(m);
            refresh();
        });
    }
    widgets_[key({SetupField::TestMode, 0})] = testModes_[0];
    layout->addWidget(smallLabel(QStringLiteral("收发方式"), box));
    auto* trans = new QButtonGroup(box);
    auto* transRow = new QHBoxLayout;
    layout->addLayout(transRow);
    pairwise_ = new QRadioButton(QStringLiteral("自发自收"), box);
    oneToMany_ = new QRadioButton(QStringLiteral("一发多收"), box);
    for (auto* r : {pairwise_, oneToMany_}) {
        trans->addButton(r);
        transRow->addWidget(r);
    }
    widgets_[key({SetupField::TransceiveMode, 0})] = pairwise_;
    connect(pairwise_, &QRadioButton::clicked, this, [this] {
        form_.setPairwise(true);
        refresh();
    });
    connect(oneToMany_, &QRadioButton::clicked, this, [this] {
        form_.setPairwise(false);
        refresh();
    });
    layout->addWidget(smallLabel(QStringLiteral("采集模式"), box));
    auto* acq = new QButtonGroup(box);
    auto* acqRow = new QHBoxLayout;
    layout->addLayout(acqRow);
    realTime_ = new QRadioButton(QStringLiteral("实时模式"), box);
    buffered_ = new QRadioButton(QStringLiteral("缓存模式"), box);
    for (auto* r : {realTime_, buffered_}) {
        acq->addButton(r);
        acqRow->addWidget(r);
    }
    connect(realTime_, &QRadioButton::clicked, this, [this] {
        form_.chooseAcquisitionBuffered(false);
        refresh();
    });
    connect(buffered_, &QRadioButton::clicked, this, [this] {
        form_.chooseAcquisitionBuffered(true);
        refresh();
    });
    for (auto* r : box->findChildren<QRadioButton*>())
        r->setMinimumHeight(40);
    return box;
}

QWidget* CDlg_Set::buildChannels() {
    auto* box = new QGroupBox(QStringLiteral("通道设置"), this);
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(2);
    grid->addWidget(smallLabel(QStringLiteral("绝对通道"), box), 0, 0);
    grid->addWidget(smallLabel(QStringLiteral("埋管"), box), 0, 1);
    grid->addWidget(smallLabel(QStringLiteral("通道状态"), box), 0, 2);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        channelBoxes_[ch] = new QCheckBox(QStringLiteral("CH%1").arg(ch + 1), box);
        channelBoxes_[ch]->setMinimumHeight(40);
        widgets_[key({SetupField::ChannelActive, ch})] = channelBoxes_[ch];
        connect(channelBoxes_[ch], &QCheckBox::clicked, this, [this, ch](bool on) {
            form_.setChannelChecked(ch, on);
            refresh();
        });
        grid->addWidget(channelBoxes_[ch], ch + 1, 0);
        int col = 1;
        for (SetupField field : SetupForm::channelFields()) {
            auto* f = padField({field, ch}, box);
            f->setFixedWidth(92);
            grid->addWidget(f, ch + 1, col++);
        }
    }
    return box;
}

QWidget* CDlg_Set::buildRows() {
    auto* box = new QGroupBox(QStringLiteral("剖面参数"), this);
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(4);
    grid->addWidget(smallLabel(QStringLiteral("显示"), box), 0, 0);
    int col = 1;
    for (SetupField field : SetupForm::rowFields()) {
        const FieldSpec meta = form_.field({field, 0});
        if (!meta.visible) continue;
        grid->addWidget(smallLabel(qs(meta.label), box), 0, col++, Qt::AlignCenter);
    }
    for (int r = 0; r < kMaxSections; ++r) {
        rowBoxes_[r] = new QCheckBox(qs(std::string(kPairNames[static_cast<size_t>(r)])), box);
        rowBoxes_[r]->setMinimumHeight(40);
        widgets_[key({SetupField::RowDisplay, r})] = rowBoxes_[r];
        connect(rowBoxes_[r], &QCheckBox::clicked, this, [this, r](bool on) {
            form_.setDisplay(r, on);
            refresh();
        });
        grid->addWidget(rowBoxes_[r], r + 1, 0);
        col = 1;
        for (SetupField field : SetupForm::rowFields()) {
            const FieldRef ref{field, r};
            if (!form_.field(ref).visible) continue;
            auto* f = padField(ref, box);
            f->setMinimumWidth(78);
            f->setMinimumHeight(40);
            f->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(f, r + 1, col++);
        }
    }
    return box;
}

QWidget* CDlg_Set::buildQuickSet() {
    quickSetArea_ = new QWidget(this);
    auto* layout = new QVBoxLayout(quickSetArea_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    line_ = new QLineEdit(quickSetArea_);
    // The format hint stands in the empty line, where it is read before typing.
    line_->setPlaceholderText(qs(QuickSet::formatHint()));
    line_->setMinimumHeight(ui::kTouchHeight);
    line_->setToolTip(qs(QuickSet::helpText()));
    line_->installEventFilter(this);
    connect(line_, &QLineEdit::textEdited, this,
            [this](const QString& t) { quickSet_->setLine(t.toStdString()); });
    layout->addWidget(line_);
    status_ = smallLabel(qs(QuickSet::initialStatusText()), quickSetArea_);
    status_->setFont(ui::touchFont(13));
    status_->setWordWrap(true);
    layout->addWidget(status_);
    return quickSetArea_;
}

QWidget* CDlg_Set::buildButtons() {
    auto* bar = new QWidget(this);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto add = [&](const char* caption) {
        auto* b = ui::touchButton(QString::fromUtf8(caption), bar, 15);
        layout->addWidget(b);
        return b;
    };
    connect(add("仪器参数"), &QPushButton::clicked, this, [this] {
        openInstrumentParamsDialog(current_, codeConfig, sink_, form_.controls().bufferedMode, this);
    });
    connect(add("滑轮参数"), &QPushButton::clicked, this,
            [this] { openWheelDialog(current_, console_, sink_, hooks_.setDepthListener, this); });
    connect(add("系统校零与修正"), &QPushButton::clicked, this,
            [this] { openSysAdjustDialog(current_, sink_, this); });
    connect(add("颜色设置"), &QPushButton::clicked, this, [this] { openColourDialog(current_, this); });
    auto* preset = add("快速设置");
    connect(preset, &QPushButton::clicked, this, [this, preset] {
        if (const auto choice =
                CDlg_Select::ask(preset, std::string(kPresetTitle), presetChoices(), PadPlacement::Over)) {
            const auto choices = presetChoices();
            const auto it = std::find(choices.begin(), choices.end(), *choice);
            form_.applyPreset(static_cast<int>(it - choices.begin()) + 1);
            refresh();
        }
    });
    hotkeyButton_ = add("快捷键设置");
    connect(hotkeyButton_, &QPushButton::clicked, this, &CDlg_Set::openHotkeys);
    connect(add("数据目录"), &QPushButton::clicked, this, [this] {
        const auto dir = hooks_.settingsDir.empty() ? settingsDirectory() : hooks_.settingsDir;
        if (const auto folder = openDataFolderDialog(dir, sink_, this); folder && hooks_.dataFolderChanged)
            hooks_.dataFolderChanged(*folder);
    });
    quickSetToggle_ = add("命令行");
    quickSetToggle_->setCheckable(true);
    connect(quickSetToggle_, &QPushButton::toggled, this, &CDlg_Set::showQuickSet);
    layout->addStretch(1);
    auto* ok = add("确定");
    auto* cancel = add("取消");
    ok->setMinimumWidth(90);
    cancel->setMinimumWidth(90);
    connect(ok, &QPushButton::clicked, this, &CDlg_Set::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlg_Set::reject);
    return bar;
}

QWidget* CDlg_Set::widgetOf(FieldRef ref) const {
    const auto it = widgets_.find(key(ref));
    return it == widgets_.end() ? nullptr : it->second;
}

void CDlg_Set::showQuickSet(bool shown) {
    quickSetArea_->setVisible(shown);
    hotkeyButton_->setVisible(shown);
    if (quickSetToggle_->isChecked() != shown) quickSetToggle_->setChecked(shown);
    if (shown) line_->setFocus();
}

void CDlg_Set::refresh() {
    refreshing_ = true;
    const SetupControls& c = form_.controls();
    for (const auto& [k, widget] : widgets_) {
        const FieldRef ref{static_cast<SetupField>(k.first), k.second};
        if (auto* pad = dynamic_cast<PadField*>(widget)) {
            const FieldSpec meta = form_.field(ref);
            pad->setValueText(meta.text);
            pad->setEnabled(meta.enabled);
        } else if (auto* edit = dynamic_cast<QLineEdit*>(widget)) {
            const QString text = qs(form_.field(ref).text);
            if (edit->text() != text) edit->setText(text);
        }
    }
    for (int m = 0; m < 3; ++m)
        testModes_[m]->setChecked(c.testMode == m);
    pairwise_->setChecked(c.pairwise);
    pairwise_->setEnabled(c.pairwiseEnabled);
    oneToMany_->setChecked(c.oneToMany);
    realTime_->setChecked(c.realTimeMode);
    buffered_->setChecked(c.bufferedMode);
    buffered_->setEnabled(c.bufferedEnabled);
    digitalFilter_->setChecked(c.digitalFilter);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        channelBoxes_[ch]->setChecked(c.channels[ch].checked);
        channelBoxes_[ch]->setEnabled(c.channels[ch].enabled);
    }
    for (int r = 0; r < kMaxSections; ++r) {
        rowBoxes_[r]->setChecked(c.rows[r].display);
        rowBoxes_[r]->setEnabled(c.rows[r].displayEnabled);
    }
    sketch_->update();
    refreshing_ = false;
}

void CDlg_Set::activate(FieldRef ref) {
    QWidget* widget = widgetOf(ref);
    const FieldSpec meta = form_.field(ref);
    if (!meta.enabled || !widget) return;
    bool accepted = true;
    if (meta.kind == InputKind::Keypad) {
        const auto value = CDlg_NumInput::ask(widget, meta.title, parseFloatText(meta.text),
                                              meta.allowNegative, sink_, PadPlacement::Over);
        if (!value) return;
        accepted = form_.enterNumber(ref, *value);
    } else if (meta.kind == InputKind::Chooser) {
        const auto choice = CDlg_Select::ask(widget, meta.title, meta.choices, PadPlacement::Over);
        if (!choice) return;
        accepted = form_.enterChoice(ref, *choice);
        if (accepted && ref.field == SetupField::PickMethod) afterPickMethod();
    }
    refresh();
    if (!accepted) widget->setFocus();
}

// 幅值判读 and 方差判读 have parameters of their own: their editor opens beside the field.
void CDlg_Set::afterPickMethod() {
    const std::string& method = form_.controls().pickMethod;
    const int mode = method == "幅值判读"   ? ParaInputForm::kAmplitudeMode
                     : method == "方差判读" ? ParaInputForm::kVarianceMode
                                            : 0;
    if (mode) openParaInputDialog(current_, mode, sink_, widgetOf({SetupField::PickMethod, 0}));
}

void CDlg_Set::focusField(const std::optional<FieldRef>& ref) {
    if (!ref) return;
    if (QWidget* w = widgetOf(*ref)) w->setFocus(Qt::OtherFocusReason);
}

void CDlg_Set::accept() {
    const OkResult result = form_.ok();
    if (result.outcome == FormOutcome::Accepted) {
        keyboard_->close();
        QDialog::accept();
        return;
    }
    refresh();
    focusField(result.focus);
}

void CDlg_Set::reject() {
    form_.cancel();
    QDialog::reject();
}

void CDlg_Set::openHotkeys() {
    if (openHotkeyDialog(current_, sink_, this) && hooks_.hotkeysChanged) hooks_.hotkeysChanged();
}

void CDlg_Set::runQuickSet() {
    quickSet_->setLine(line_->text().toStdString());
    if (!quickSet_->enter()) return;
    const QuickSetResult& r = quickSet_->lastResult();
    refresh();
    line_->setText(qs(quickSet_->line()));
    status_->setText(qs(quickSet_->statusText()));
    status_->setStyleSheet(quickSet_->status() == QuickSetStatus::Error ? QStringLiteral("color: #d00000;")
                           : quickSet_->status() == QuickSetStatus::Success
                               ? QStringLiteral("color: #0030d0;")
                               : QString());
    if (r.command == QuickSetCommand::Yes && r.outcome == FormOutcome::Accepted) {
        keyboard_->close();
        QDialog::accept();
    }
    if (r.command == QuickSetCommand::No) QDialog::reject();
    if (r.command == QuickSetCommand::Yes && r.outcome != FormOutcome::Accepted) {
        // OK refused: its message has been shown; the refused field gets the focus.
        if (const auto refusal = form_.validate()) focusField(refusal->focus);
    }
}

// The line's keys are taken only while it is shown and has the focus: a hidden line never runs.
bool CDlg_Set::eventFilter(QObject* watched, QEvent* event) {
    if (watched != line_ || event->type() != QEvent::KeyPress || !line_->isVisible()) return false;
    const int k = static_cast<QKeyEvent*>(event)->key();
    if (k == Qt::Key_Return || k == Qt::Key_Enter) {
        runQuickSet();
        return true;
    }
    if (k == Qt::Key_Up || k == Qt::Key_Down) {
        if (k == Qt::Key_Up)
            quickSet_->up();
        else
            quickSet_->down();
        line_->setText(qs(quickSet_->line()));
        return true;
    }
    return false;
}

}  // namespace lx9
