#include "acquisition/plus_input_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/num_input_dialog.h"
#include "ui/number_text.h"
#include "ui/select_dialog.h"

namespace lx9 {

using ui::qs;

CDlg_PlusInput::CDlg_PlusInput(PlusInputForm& form, MessageSink& sink, std::function<void()> changed,
                               QWidget* parent)
    : TestTimeDialog(std::string(kPlusInputCaption), std::move(changed), parent), form_(form), sink_(sink) {
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    layout->addLayout(grid);
    grid->addWidget(new QLabel(QStringLiteral("增益"), this), 0, 1, Qt::AlignCenter);
    grid->addWidget(new QLabel(QStringLiteral("延时(us)"), this), 0, 2, Qt::AlignCenter);
    for (int slot = 0; slot < kMaxSections; ++slot) {
        labels_[slot] = new QLabel(this);
        labels_[slot]->setMinimumWidth(70);
        gains_[slot] = new PadField(this);
        delays_[slot] = new PadField(this);
        for (PadField* f : {gains_[slot], delays_[slot]}) {
            f->setMinimumWidth(150);
            f->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            f->installEventFilter(this);
        }
        grid->addWidget(labels_[slot], slot + 1, 0);
        grid->addWidget(gains_[slot], slot + 1, 1);
        grid->addWidget(delays_[slot], slot + 1, 2);
        gains_[slot]->onActivated([this, slot] { openGain(slot); });
        delays_[slot]->onActivated([this, slot] { openDelay(slot); });
    }
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    ok_ = ui::touchButton(QStringLiteral("确定"), this);
    auto* cancel = ui::touchButton(QStringLiteral("取消"), this);
    ok_->installEventFilter(this);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    connect(ok_, &QPushButton::clicked, this, [this] {
        form_.ok();
        this->changed();
    });
    connect(cancel, &QPushButton::clicked, this, &CDlg_PlusInput::reject);
    refresh();
}

QWidget* CDlg_PlusInput::control(int position) const {
    if (position == PlusInputForm::kOk) return ok_;
    if (position >= PlusInputForm::kFirstDelay && position < PlusInputForm::kOk)
        return delays_[static_cast<size_t>(position - PlusInputForm::kFirstDelay)];
    if (position >= 0 && position < PlusInputForm::kFirstDelay) return gains_[static_cast<size_t>(position)];
    return nullptr;
}

void CDlg_PlusInput::refresh() {
    for (int slot = 0; slot < kMaxSections; ++slot) {
        const PlusInputRow& row = form_.rows()[static_cast<size_t>(slot)];
        labels_[slot]->setText(qs(row.label));
        gains_[slot]->setValueText(row.gain);
        delays_[slot]->setValueText(row.delay);
        gains_[slot]->setEnabled(row.inUse);
        delays_[slot]->setEnabled(row.inUse);
    }
}

void CDlg_PlusInput::reject() {
    form_.cancel();
    changed();
}

void CDlg_PlusInput::openGain(int slot) {
    const auto choice = CDlg_Select::ask(gains_[slot], PlusInputForm::gainTitle(slot),
                                         PlusInputForm::gainChoices(), PadPlacement::Beside);
    if (choice) form_.chooseGain(slot, *choice);
    refresh();
}

void CDlg_PlusInput::openDelay(int slot) {
    const auto value = CDlg_NumInput::ask(delays_[slot], PlusInputForm::delayTitle(slot),
                                          parseFloatText(delays_[slot]->text().toStdString()), true, sink_,
                                          PadPlacement::Beside);
    if (value && !form_.enterDelay(slot, *value)) delays_[slot]->setFocus();
    refresh();
}

// Up and Down walk the rows of gains, delays and OK as the form orders them.
bool CDlg_PlusInput::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down) return false;
    for (int position = 0; position <= PlusInputForm::kOk; ++position) {
        if (control(position) != watched) continue;
        const auto target = key == Qt::Key_Down ? form_.focusDown(position) : form_.focusUp(position);
        if (target) control(*target)->setFocus(Qt::TabFocusReason);
        return true;
    }
    return false;
}

CDlg_Modal::CDlg_Modal(ModalForm& form, std::function<void()> changed, QWidget* parent)
    : TestTimeDialog(std::string(kModalCaption), std::move(changed), parent), form_(form) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    layout->addLayout(top);

    auto* show = new QGroupBox(QStringLiteral("显示"), this);
    auto* showLayout = new QVBoxLayout(show);
    waveform_ = new QCheckBox(QStringLiteral("波形"), show);
    waveTrain_ = new QCheckBox(QStringLiteral("波列"), show);
    showLayout->addWidget(waveform_);
    showLayout->addWidget(waveTrain_);
    top->addWidget(show);
    connect(waveform_, &QCheckBox::clicked, this, [this](bool on) {
        form_.setShowWaveform(on);
        refresh();
    });
    connect(waveTrain_, &QCheckBox::clicked, this, [this](bool on) {
        form_.setShowWaveTrain(on);
        refresh();
    });

    auto* style = new QGroupBox(QStringLiteral("波列显示方式"), this);
    auto* styleLayout = new QGridLayout(style);
    const std::array<std::string_view, 4> names{kStyleDashDot, kStyleMiniature, kStyleGrey,
                                                kStyleVelocityAmplitude};
    auto* styleGroup = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        styles_[i] = new QRadioButton(qs(std::string(names[i])), style);
        styleGroup->addButton(styles_[i], i);
        styleLayout->addWidget(styles_[i], i / 2, i % 2);
        connect(styles_[i], &QRadioButton::clicked, this, [this, i] {
            form_.chooseStyle(i);
            refresh();
        });
    }
    top->addWidget(style, 1);

    auto* grey = new QGroupBox(QStringLiteral("灰度设置"), this);
    auto* greyLayout = new QGridLayout(grey);
    zoom_ = new PadField(grey);
    levels_ = new PadField(grey);
    colour_ = new PadField(grey);
    greyLayout->addWidget(new QLabel(qs(std::string(kTitleZoomInterval)), grey), 0, 0);
    greyLayout->addWidget(zoom_, 0, 1);
    greyLayout->addWidget(new QLabel(qs(std::string(kTitleGreyLevels)), grey), 0, 2);
    greyLayout->addWidget(levels_, 0, 3);
    greyLayout->addWidget(new QLabel(qs(std::string(kTitleGreyColour)), grey), 1, 0);
    greyLayout->addWidget(colour_, 1, 1, 1, 3);
    layout->addWidget(grey);
    zoom_->onActivated(
        [this] { pick(zoom_, kTitleZoomInterval, ModalForm::oneToTen(), &ModalForm::chooseZoomInterval); });
    levels_->onActivated(
        [this] { pick(levels_, kTitleGreyLevels, ModalForm::oneToTen(), &ModalForm::chooseGreyLevels); });
    colour_->onActivated([this] {
        pick(colour_, kTitleGreyColour, ModalForm::greyColourChoices(), &ModalForm::chooseGreyColour);
    });

    auto* sections = new QGroupBox(QStringLiteral("剖面"), this);
    auto* sectionLayout = new QHBoxLayout(sections);
    for (int box = 0; box < kMaxSections; ++box) {
        sections_[box] = new QCheckBox(qs(std::string(kPairNames[static_cast<size_t>(box)])), sections);
        sectionLayout->addWidget(sections_[box]);
        connect(sections_[box], &QCheckBox::clicked, this, [this, box](bool on) {
            form_.setSectionShown(box, on);
            refresh();
        });
    }
    layout->addWidget(sections);

    auto* mode = new QGroupBox(QStringLiteral("采集模式"), this);
    auto* modeLayout = new QHBoxLayout(mode);
    auto* modeGroup = new QButtonGroup(this);
    const std::array<std::string_view, 2> modeNames{kModeOne, kModeTwo};
    for (int m = 0; m < 2; ++m) {
        modes_[m] = new QRadioButton(qs(std::string(modeNames[m])), mode);
        modeGroup->addButton(modes_[m], m);
        modeLayout->addWidget(modes_[m]);
        connect(modes_[m], &QRadioButton::clicked, this, [this, m] {
            form_.chooseCacheMode(m);
            refresh();
        });
    }
    layout->addWidget(mode);

    hint_ = new QLabel(this);
    hint_->setStyleSheet(QStringLiteral("color: #c00000;"));
    hint_->setWordWrap(true);
    layout->addWidget(hint_);

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    ok_ = ui::touchButton(QStringLiteral("确定"), this);
    auto* cancel = ui::touchButton(QStringLiteral("取消"), this);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    connect(ok_, &QPushButton::clicked, this, [this] {
        form_.ok();
        refresh();
        this->changed();
    });
    connect(cancel, &QPushButton::clicked, this, &CDlg_Modal::reject);

    for (auto* w : findChildren<QAbstractButton*>())
        w->setMinimumHeight(ui::kTouchHeight);
    refresh();
}

void CDlg_Modal::pick(PadField* field, std::string_view title, const std::vector<std::string>& choices,
                      bool (ModalForm::*choose)(const std::string&)) {
    if (const auto choice = CDlg_Select::ask(field, std::string(title), choices, PadPlacement::Beside))
        (form_.*choose)(*choice);
    refresh();
}

void CDlg_Modal::refresh() {
    const ModalControls& c = form_.controls();
    waveform_->setChecked(c.showWaveform);
    waveTrain_->setChecked(c.showWaveTrain);
    for (int i = 0; i < 4; ++i)
        styles_[i]->setChecked(c.style == i);
    styles_[2]->setEnabled(c.greyEnabled);
    for (PadField* f : {zoom_, levels_, colour_})
        f->setEnabled(c.greyGroupEnabled);
    zoom_->setValueText(c.zoomInterval);
    levels_->setValueText(c.greyLevels);
    colour_->setValueText(c.greyColour);
    for (int box = 0; box < kMaxSections; ++box) {
        sections_[box]->setChecked(c.sectionShown[static_cast<size_t>(box)]);
        sections_[box]->setEnabled(c.sectionEnabled[static_cast<size_t>(box)]);
    }
    modes_[0]->setChecked(c.cacheMode == 0);
    modes_[1]->setChecked(c.cacheMode == 1);
    hint_->setText(qs(c.hint));
    hint_->setVisible(!c.hint.empty());
    ok_->setEnabled(c.okEnabled);
}

void CDlg_Modal::reject() {
    form_.cancel();
    changed();
}

}  // namespace lx9
