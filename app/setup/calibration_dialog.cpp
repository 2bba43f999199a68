#include "setup/calibration_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/num_input_dialog.h"
#include "ui/number_text.h"

namespace lx9 {

using ui::qs;

namespace {

QLabel* fieldLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(ui::touchFont(16));
    return l;
}

// A keypad field: tapping it opens the pad titled `title` over it and hands the value to `enter`.
PadField* keypadField(QWidget* parent, MessageSink& sink, std::string title, bool allowNegative,
                      std::function<void(double)> enter) {
    auto* f = new PadField(parent);
    f->setMinimumWidth(150);
    f->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    f->onActivated([f, &sink, title, allowNegative, enter] {
        if (const auto v = CDlg_NumInput::ask(f, title, parseFloatText(f->text().toStdString()),
                                              allowNegative, sink, PadPlacement::Over))
            enter(*v);
    });
    return f;
}

QHBoxLayout* okCancel(QDialog* dialog, QVBoxLayout* layout) {
    auto* row = new QHBoxLayout;
    auto* ok = ui::touchButton(QStringLiteral("确定"), dialog);
    auto* cancel = ui::touchButton(QStringLiteral("取消"), dialog);
    row->addWidget(ok);
    row->addWidget(cancel);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    layout->addLayout(row);
    return row;
}

}  // namespace

CDlg_SysAdjust::CDlg_SysAdjust(SharedInfo current, MessageSink& sink, QWidget* parent)
    : QDialog(parent), form_(current, sink), sink_(sink) {
    setWindowTitle(qs(std::string(kSysAdjustCaption)));
    setFont(ui::touchFont(16));
    auto* layout = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    layout->addLayout(groups);

    auto* zeroBox = new QGroupBox(QStringLiteral("通道系统校零时间(us)"), this);
    auto* zeroGrid = new QGridLayout(zeroBox);
    for (int k = 0; k < kMaxSections; ++k) {
        zeroGrid->addWidget(fieldLabel(qs("面" + std::string(kPairNames[static_cast<size_t>(k)])), zeroBox),
                            k, 0);
        zero_[k] = keypadField(zeroBox, sink, SysAdjustForm::zeroTitle(k), true, [this, k](double v) {
            form_.enterZero(k, v);
            refresh();
        });
        zeroGrid->addWidget(zero_[k], k, 1);
    }
    groups->addWidget(zeroBox);

    auto* pipeBox = new QGroupBox(QStringLiteral("声测管及耦合水修正"), this);
    auto* pipeGrid = new QGridLayout(pipeBox);
    using F = CalibrationField;
    struct Row {
        F field;
        const char* label;
        std::string_view title;
        void (SysAdjustForm::*enter)(double);
    };
    const Row rows[] = {
        {F::OuterDiameter, "声测管外径(mm)", kTitleOuterDiameter, &SysAdjustForm::enterOuterDiameter},
        {F::InnerDiameter, "声测管内径(mm)", kTitleInnerDiameter, &SysAdjustForm::enterInnerDiameter},
        {F::PipeVelocity, "声测管材料速度(km/s)", kTitlePipeVelocity, &SysAdjustForm::enterPipeVelocity},
        {F::ProbeDiameter, "探头外径(mm)", kTitleProbeDiameter, &SysAdjustForm::enterProbeDiameter},
        {F::WaterVelocity, "水的声速(km/s)", kTitleWaterVelocity, &SysAdjustForm::enterWaterVelocity},
    };
    int r = 0;
    for (const Row& row : rows) {
        pipeGrid->addWidget(fieldLabel(QString::fromUtf8(row.label), pipeBox), r, 0);
        auto* f =
            keypadField(pipeBox, sink, std::string(row.title), true, [this, enter = row.enter](double v) {
                (form_.*enter)(v);
                refresh();
            });
        fields_[row.field] = f;
        pipeGrid->addWidget(f, r++, 1);
    }
    pipeGrid->addWidget(fieldLabel(QStringLiteral("修正时间(us)"), pipeBox), r, 0);
    correction_ = fieldLabel({}, pipeBox);
    correction_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    correction_->setMinimumHeight(ui::kTouchHeight);
    pipeGrid->addWidget(correction_, r, 1);
    groups->addWidget(pipeBox);
    okCancel(this, layout);
    refresh();
}

void CDlg_SysAdjust::refresh() {
    const SysAdjustControls& c = form_.controls();
    for (int k = 0; k < kMaxSections; ++k)
        zero_[k]->setValueText(c.zero[static_cast<size_t>(k)]);
    fields_[CalibrationField::OuterDiameter]->setValueText(c.outerDiameter);
    fields_[CalibrationField::InnerDiameter]->setValueText(c.innerDiameter);
    fields_[CalibrationField::PipeVelocity]->setValueText(c.pipeVelocity);
    fields_[CalibrationField::ProbeDiameter]->setValueText(c.probeDiameter);
    fields_[CalibrationField::WaterVelocity]->setValueText(c.waterVelocity);
    correction_->setText(qs(c.correction));
}

void CDlg_SysAdjust::accept() {
    const CalibrationResult r = form_.ok();
    if (r.outcome == FormOutcome::Accepted) {
        QDialog::accept();
        return;
    }
    if (r.focus && fields_.count(*r.focus)) fields_[*r.focus]->setFocus();
}

CDlg_InaccuracyAmend::CDlg_InaccuracyAmend(const CInfo& current, SetupConsole& console, MessageSink& sink,
                                           DepthListenerHook listen, QWidget* parent)
    : QDialog(parent), form_(current, console, sink), sink_(sink), listen_(std::move(listen)) {
    setWindowTitle(qs(std::string(kAmendCaption)));
    setFont(ui::touchFont(16));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(fieldLabel(QStringLiteral("测试完成编码器显示深度(m)"), this), 0, 0);
    encoder_ = new PadField(this);  // read-only: shows the live reading
    encoder_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(encoder_, 0, 1);
    grid->addWidget(fieldLabel(QStringLiteral("测试完成电缆显示深度(m)"), this), 1, 0);
    cable_ = keypadField(this, sink, std::string(kTitleCableDepth), false, [this](double v) {
        form_.enterCableDepth(v);
        refresh();
    });
    grid->addWidget(cable_, 1, 1);
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    auto* start = ui::touchButton(QStringLiteral("开始修正"), this);
    auto* correct = ui::touchButton(QStringLiteral("修正"), this);
    auto* cancel = ui::touchButton(QStringLiteral("取消"), this);
    for (auto* b : {start, correct, cancel})
        buttons->addWidget(b);
    connect(start, &QPushButton::clicked, this, [this] {
        if (listen_)
            listen_([this](uint16_t cm) {
                form_.onDepthReport(cm);
                refresh();
            });
        form_.start();
        refresh();
    });
    connect(correct, &QPushButton::clicked, this, [this] {
        ratio_ = form_.correct();
        if (!ratio_) {
            cable_->setFocus();
            return;
        }
        if (listen_) listen_({});
        QDialog::accept();
    });
    connect(cancel, &QPushButton::clicked, this, &CDlg_InaccuracyAmend::reject);
    refresh();
}

CDlg_InaccuracyAmend::~CDlg_InaccuracyAmend() {
    if (listen_) listen_({});
}

void CDlg_InaccuracyAmend::refresh() {
    encoder_->setValueText(form_.encoderDepth());
    cable_->setValueText(form_.cableDepth());
}

void CDlg_InaccuracyAmend::reject() {
    if (listen_) listen_({});
    form_.cancel();
    QDialog::reject();
}

CDlg_Wheelpara::CDlg_Wheelpara(SharedInfo current, SetupConsole& console, MessageSink& sink,
                               DepthListenerHook listen, QWidget* parent)
    : QDialog(parent),
      current_(current),
      console_(console),
      form_(current, sink),
      sink_(sink),
      listen_(std::move(listen)) {
    setWindowTitle(qs(std::string(kWheelCaption)));
    setFont(ui::touchFont(16));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(fieldLabel(QStringLiteral("滑轮直径(mm)"), this), 0, 0);
    pulley_ = keypadField(this, sink, std::string(kTitlePulleyDiameter), false, [this](double v) {
        form_.enterPulleyDiameter(v);
        refresh();
    });
    grid->addWidget(pulley_, 0, 1);
    grid->addWidget(fieldLabel(QStringLiteral("电缆直径(mm)"), this), 1, 0);
    cable_ = keypadField(this, sink, std::string(kTitleCableDiameter), false, [this](double v) {
        form_.enterCableDiameter(v);
        refresh();
    });
    grid->addWidget(cable_, 1, 1);
    auto* tools = new QHBoxLayout;
    layout->addLayout(tools);
    auto* amend = ui::touchButton(QStringLiteral("误差修正"), this);
    auto* defaults = ui::touchButton(QStringLiteral("恢复默认值"), this);
    tools->addWidget(amend);
    tools->addWidget(defaults);
    connect(amend, &QPushButton::clicked, this, [this] {
        CDlg_InaccuracyAmend run(current_.record(), console_, sink_, listen_, this);
        if (run.exec() == QDialog::Accepted && run.ratio()) form_.applyCorrection(*run.ratio());
        refresh();
    });
    connect(defaults, &QPushButton::clicked, this, [this] {
        form_.restoreDefaults();
        refresh();
    });
    okCancel(this, layout);
    refresh();
}

void CDlg_Wheelpara::refresh() {
    pulley_->setValueText(form_.pulleyDiameter());
    cable_->setValueText(form_.cableDiameter());
}

void CDlg_Wheelpara::accept() {
    const CalibrationResult r = form_.ok();
    if (r.outcome == FormOutcome::Accepted) {
        QDialog::accept();
        return;
    }
    (r.focus == CalibrationField::CableDiameter ? cable_ : pulley_)->setFocus();
}

bool openSysAdjustDialog(SharedInfo current, MessageSink& sink, QWidget* parent) {
    CDlg_SysAdjust dialog(current, sink, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool openWheelDialog(SharedInfo current, SetupConsole& console, MessageSink& sink, DepthListenerHook listen,
                     QWidget* parent) {
    CDlg_Wheelpara dialog(current, console, sink, std::move(listen), parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace lx9
