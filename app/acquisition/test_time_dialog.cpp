#include "acquisition/test_time_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/num_input_dialog.h"
#include "ui/number_text.h"

namespace lx9 {

using ui::qs;

namespace {

QLabel* label(const QString& text, QWidget* parent, int pixels = 16) {
    auto* l = new QLabel(text, parent);
    l->setFont(ui::touchFont(pixels));
    l->setMinimumHeight(32);
    return l;
}

}  // namespace

TestTimeDialog::TestTimeDialog(const std::string& caption, std::function<void()> changed, QWidget* parent)
    : QDialog(parent), changed_(std::move(changed)) {
    setWindowTitle(qs(caption));
    setFont(ui::touchFont(16));
    setWindowModality(Qt::ApplicationModal);
}

DlgRe::DlgRe(ResampleForm& form, MessageSink& sink, std::function<void()> changed, QWidget* parent)
    : TestTimeDialog(std::string(kResampleCaption), std::move(changed), parent), form_(form), sink_(sink) {
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(label(QStringLiteral("当前高度(cm)"), this), 0, 0);
    grid->addWidget(label(qs(formatInt(form.currentHeightCm())), this), 0, 1);
    grid->addWidget(label(QStringLiteral("桩长(cm)"), this), 1, 0);
    grid->addWidget(label(qs(formatInt(form.pileLengthCm())), this), 1, 1);
    grid->addWidget(label(QStringLiteral("重采高度(cm)"), this), 2, 0);
    height_ = new PadField(this);
    height_->setMinimumWidth(160);
    height_->setValueText(formatInt(form.currentHeightCm()));
    grid->addWidget(height_, 2, 1);
    height_->onActivated([this] {
        const auto h = CDlg_NumInput::ask(height_, std::string(kResamplePadTitle),
                                          parseFloatText(height_->text().toStdString()), false, sink_,
                                          PadPlacement::Beside);
        if (!h) return;
        height_->setValueText(formatInt(static_cast<int64_t>(*h)));
        if (form_.enterHeight(*h) == ResampleForm::Outcome::Accepted)
            this->changed();
        else
            height_->setFocus();
    });
    auto* cancel = ui::touchButton(QStringLiteral("取消"), this);
    layout->addWidget(cancel);
    connect(cancel, &QPushButton::clicked, this, &DlgRe::reject);
}

void DlgRe::reject() {
    form_.cancel();
    changed();
}

CDlg_leak::CDlg_leak(LeakForm& form, std::function<void()> changed, QWidget* parent)
    : TestTimeDialog(std::string(kLeakCaption), std::move(changed), parent), form_(form) {
    // No close command: the console closes the notice when the probes are back.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(24);
    grid->setContentsMargins(24, 18, 24, 18);
    grid->addWidget(label(qs(std::string(kLabelMissedHeight)), this, 18), 0, 0);
    grid->addWidget(missed_ = label({}, this, 22), 0, 1);
    grid->addWidget(label(qs(std::string(kLabelCurrentHeight)), this, 18), 1, 0);
    grid->addWidget(current_ = label({}, this, 22), 1, 1);
    for (QLabel* l : {missed_, current_}) {
        l->setMinimumWidth(110);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    refresh();
}

void CDlg_leak::refresh() {
    missed_->setText(qs(form_.missedHeight()));
    current_->setText(qs(form_.currentHeight()));
}

CDlg_Save::CDlg_Save(SaveForm& form, MessageSink& sink, std::function<void()> changed, QWidget* parent)
    : TestTimeDialog(std::string(kSaveCaption), std::move(changed), parent), form_(form), sink_(sink) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    const int pixels = kSaveFontPixels;
    save_ = ui::touchButton(qs(std::string(kSaveButton)), this, pixels);
    noSave_ = ui::touchButton(qs(std::string(kNoSaveButton)), this, pixels);
    return_ = ui::touchButton(qs(std::string(kReturnButton)), this, pixels);
    for (auto* b : {save_, noSave_, return_}) {
        b->setMinimumSize(120, 56);
        buttons->addWidget(b);
    }
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setMinimumHeight(30);
    bar_->setTextVisible(false);
    progressText_ = label({}, this);
    progressText_->setWordWrap(true);
    progressText_->setMinimumWidth(420);
    layout->addWidget(bar_);
    layout->addWidget(progressText_);

    connect(save_, &QPushButton::clicked, this, [this] {
        form_.clickSave();
        refresh();
        this->changed();
    });
    connect(noSave_, &QPushButton::clicked, this, [this] {
        if (NoSaveForm* confirm = form_.clickNoSave()) {
            if (sink_.askYesNoTitled(std::string(confirm->text()), std::string(confirm->caption())))
                confirm->ok();
            else
                confirm->cancel();
        }
        refresh();
        this->changed();
    });
    connect(return_, &QPushButton::clicked, this, [this] {
        form_.clickReturn();
        this->changed();
    });
    refresh();
}

void CDlg_Save::refresh() {
    const bool choice = form_.buttonsVisible();
    save_->setVisible(choice);
    noSave_->setVisible(choice);
    return_->setVisible(choice);
    return_->setEnabled(form_.returnEnabled());
    bar_->setVisible(form_.progressVisible());
    progressText_->setVisible(form_.progressVisible());
    bar_->setValue(form_.progressPosition());
    progressText_->setText(qs(form_.progressText()));
    adjustSize();
}

CDlg_Prompt::CDlg_Prompt(PromptForm& form, std::function<void()> changed, QWidget* parent)
    : TestTimeDialog(form.caption(), std::move(changed), parent), form_(form) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* layout = new QVBoxLayout(this);
    text_ = label({}, this, 18);
    text_->setMinimumWidth(360);
    text_->setWordWrap(true);
    layout->addWidget(text_);
    ok_ = ui::touchButton(QStringLiteral("确定"), this);
    layout->addWidget(ok_);
    connect(ok_, &QPushButton::clicked, this, [this] {
        form_.ok();
        this->changed();
    });
    refresh();
}

void CDlg_Prompt::refresh() {
    setWindowTitle(qs(form_.caption()));
    std::string text = form_.text();
    if (!form_.reason().empty()) text += "\n" + form_.reason();
    text_->setText(qs(text));
    ok_->setVisible(form_.okVisible());
}

// Enter and Escape do nothing while the file is being opened.
void CDlg_Prompt::reject() {
    if (!form_.acceptsKeys()) return;
    form_.ok();
    changed();
}

}  // namespace lx9
