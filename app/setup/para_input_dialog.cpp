#include "setup/para_input_dialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/num_input_dialog.h"
#include "ui/number_text.h"

namespace lx9 {

using ui::qs;

CDlg_ParaInput::CDlg_ParaInput(SharedInfo current, int mode, MessageSink& sink, QWidget* parent)
    : QDialog(parent), form_(current, mode, sink) {
    setWindowTitle(mode == ParaInputForm::kAmplitudeMode ? QStringLiteral("幅值判读")
                                                         : QStringLiteral("方差判读"));
    setFont(ui::touchFont(16));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    int row = 0;
    auto field = [&](const QString& label, const std::string& title, std::function<void(double)> enter) {
        grid->addWidget(new QLabel(label, this), row, 0);
        auto* f = new PadField(this);
        f->setMinimumWidth(150);
        f->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(f, row++, 1);
        f->onActivated([this, f, title, enter, &sink] {
            if (const auto v = CDlg_NumInput::ask(f, title, parseFloatText(f->text().toStdString()), false,
                                                  sink, PadPlacement::Beside))
                enter(*v);
            refresh();
        });
        return f;
    };
    if (mode == ParaInputForm::kAmplitudeMode) {
        amplitude_ = field(QStringLiteral("幅值阈值："), "幅值阈值",
                           [this](double v) { form_.enterAmplitudeThreshold(v); });
    } else {
        variance_ = field(qs(std::string(kLabelVariance)), "方差",
                          [this](double v) { form_.enterVarianceThreshold(v); });
        frequency_ = field(qs(std::string(kLabelMainFrequency)), "主频(Hz)",
                           [this](double v) { form_.enterMainFrequency(v); });
        start_ =
            field(qs(std::string(kLabelStartPoint)), "起点", [this](double v) { form_.enterStartPoint(v); });
        auto* polarity = new QHBoxLayout;
        auto* group = new QButtonGroup(this);
        positive_ = new QRadioButton(qs(std::string(kPolarityPositive)), this);
        negative_ = new QRadioButton(qs(std::string(kPolarityNegative)), this);
        for (auto* r : {positive_, negative_}) {
            r->setMinimumHeight(40);
            group->addButton(r);
            polarity->addWidget(r);
        }
        connect(positive_, &QRadioButton::clicked, this, [this] { form_.choosePolarity(true); });
        connect(negative_, &QRadioButton::clicked, this, [this] { form_.choosePolarity(false); });
        grid->addLayout(polarity, row++, 0, 1, 2);
    }
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    auto* ok = ui::touchButton(QStringLiteral("确定"), this);
    auto* cancel = ui::touchButton(QStringLiteral("取消"), this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(ok, &QPushButton::clicked, this, &CDlg_ParaInput::accept);
    connect(cancel, &QPushButton::clicked, this, [this] {
        form_.cancel();
        reject();
    });
    refresh();
    adjustSize();
}

void CDlg_ParaInput::refresh() {
    const ParaInputControls& c = form_.controls();
    if (amplitude_) amplitude_->setValueText(c.amplitudeThreshold);
    if (variance_) variance_->setValueText(c.varianceThreshold);
    if (frequency_) frequency_->setValueText(c.mainFrequency);
    if (start_) start_->setValueText(c.startPoint);
    if (positive_) positive_->setChecked(c.positive);
    if (negative_) negative_->setChecked(!c.positive);
}

void CDlg_ParaInput::accept() {
    if (form_.ok() == ParaInputForm::Outcome::Accepted) QDialog::accept();
}

bool openParaInputDialog(SharedInfo current, int mode, MessageSink& sink, QWidget* opener) {
    CDlg_ParaInput dialog(current, mode, sink, opener ? opener->window() : nullptr);
    dialog.adjustSize();
    const Rect screen = ui::screenOf(opener);
    const Rect anchor = opener ? ui::screenRectOf(opener) : Rect{screen.x, screen.y, 0, 0};
    const Rect r = placePad(anchor, dialog.width(), dialog.height(), screen, PadPlacement::Beside);
    dialog.move(r.x, r.y);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace lx9
