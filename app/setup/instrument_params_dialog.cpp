#include "setup/instrument_params_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/num_input_dialog.h"
#include "ui/number_text.h"
#include "ui/select_dialog.h"

namespace lx9 {

using ui::qs;

CDlg_ApparatusPara::CDlg_ApparatusPara(SharedInfo current, CodeConfig& config, MessageSink& sink,
                                       bool buffered, QWidget* parent)
    : QDialog(parent), form_(current, config, sink, buffered) {
    setWindowTitle(qs(std::string(kInstrumentParamsCaption)));
    setFont(ui::touchFont(16));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    int row = 0;
    auto add = [&](const char* label) {
        grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0);
        auto* f = new PadField(this);
        f->setMinimumWidth(180);
        grid->addWidget(f, row++, 1);
        return f;
    };
    interval_ = add("采样间隔(us)");
    length_ = add("采样长度");
    width_ = add("发射脉宽(us)");
    firing_ = add("发射方式");
    voltage_ = add("发射电压(v)");
    auto keypad = [this, &sink](PadField* f, std::string_view title,
                                bool (InstrumentParamsForm::*enter)(double)) {
        f->onActivated([this, f, &sink, title, enter] {
            if (const auto v =
                    CDlg_NumInput::ask(f, std::string(title), parseFloatText(f->text().toStdString()), false,
                                       sink, PadPlacement::Over)) {
                if (!(form_.*enter)(*v)) f->setFocus();
            }
            refresh();
        });
    };
    auto chooser = [this](PadField* f, std::string_view title, std::vector<std::string> choices,
                          std::function<void(std::string)> choose) {
        f->onActivated([this, f, title, choices, choose] {
            if (const auto c = CDlg_Select::ask(f, std::string(title), choices, PadPlacement::Over))
                choose(*c);
            refresh();
        });
    };
    keypad(interval_, kTitleSampleInterval, &InstrumentParamsForm::enterSampleInterval);
    keypad(width_, kTitlePulseWidth, &InstrumentParamsForm::enterPulseWidth);
    chooser(length_, kTitleSampleLength, sampleLengthChoices(),
            [this](std::string c) { form_.chooseSampleLength(c); });
    chooser(firing_, kTitleFiring, firingChoices(), [this](std::string c) { form_.chooseFiring(c); });
    chooser(voltage_, kTitleVoltage, voltageChoices(), [this](std::string c) { form_.chooseVoltage(c); });

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    auto* ok = ui::touchButton(QStringLiteral("确定"), this);
    auto* cancel = ui::touchButton(QStringLiteral("取消"), this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(ok, &QPushButton::clicked, this, &CDlg_ApparatusPara::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlg_ApparatusPara::reject);
    refresh();
}

void CDlg_ApparatusPara::refresh() {
    const InstrumentParamsControls& c = form_.controls();
    interval_->setValueText(c.sampleInterval);
    length_->setValueText(c.sampleLength);
    length_->setEnabled(c.sampleLengthEnabled);
    width_->setValueText(c.pulseWidth);
    firing_->setValueText(c.firing);
    voltage_->setValueText(c.voltage);
}

void CDlg_ApparatusPara::accept() {
    if (form_.ok() == FormOutcome::Accepted) QDialog::accept();
}

bool openInstrumentParamsDialog(SharedInfo current, CodeConfig& config, MessageSink& sink, bool buffered,
                                QWidget* parent) {
    CDlg_ApparatusPara dialog(current, config, sink, buffered, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace lx9
