#include "acquisition/link_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/message_box_sink.h"

namespace lx9 {

LinkDialog::LinkDialog(LinkForm& form, QWidget* parent) : QDialog(parent), form_(form) {
    setWindowTitle(QString::fromUtf8(kLinkCaption.data(), static_cast<int>(kLinkCaption.size())));
    setModal(true);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(ui::kTouchFontPixels);
    setFont(font);
    auto* layout = new QVBoxLayout(this);
    text_ = new QLabel(this);
    text_->setAlignment(Qt::AlignCenter);
    text_->setMinimumHeight(40);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, LinkForm::kTries);
    bar_->setTextVisible(false);
    bar_->setMinimumHeight(24);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    auto* row = new QHBoxLayout;
    first_ = new QPushButton(this);
    second_ = new QPushButton(this);
    ui::makeTouchButton(first_, 120);
    ui::makeTouchButton(second_, 120);
    row->addStretch(1);
    row->addWidget(first_);
    row->addWidget(second_);
    row->addStretch(1);
    layout->addLayout(row);
    setMinimumWidth(420);

    connect(first_, &QPushButton::clicked, this, [this] {
        if (form_.phase() == LinkForm::Phase::Connected) {
            form_.accept();
            accept();
        } else if (form_.phase() == LinkForm::Phase::Failed) {
            form_.restart();
            showPhase();
            scheduleTry();
        }
    });
    connect(second_, &QPushButton::clicked, this, [this] { reject(); });
    showPhase();
}

void LinkDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        scheduleTry();
    }
}

void LinkDialog::scheduleTry() {
    // Each try blocks for up to one link time-out: leave the event loop a turn to paint first.
    QTimer::singleShot(30, this, [this] { step(); });
}

void LinkDialog::step() {
    if (form_.phase() != LinkForm::Phase::Connecting) return;
    form_.tryOnce();
    showPhase();
    if (form_.phase() == LinkForm::Phase::Connecting) scheduleTry();
}

void LinkDialog::showPhase() {
    text_->setText(QString::fromStdString(form_.text()));
    bar_->setValue(form_.phase() == LinkForm::Phase::Connected ? LinkForm::kTries : form_.progress());
    const auto captions = form_.buttons();
    const bool shown = !captions[0].empty();
    first_->setVisible(shown);
    second_->setVisible(shown);
    first_->setText(QString::fromStdString(captions[0]));
    second_->setText(QString::fromStdString(captions[1]));
    if (shown) first_->setFocus();
}

void LinkDialog::reject() {
    switch (form_.phase()) {
        case LinkForm::Phase::Connected:
            form_.cancel();  // the link is up either way
            QDialog::reject();
            break;
        case LinkForm::Phase::Failed:
            form_.abandon();
            QDialog::reject();
            break;
        case LinkForm::Phase::Closed:
            QDialog::reject();
            break;
        case LinkForm::Phase::Connecting:
            break;  // wait for the tries to end
    }
}

}  // namespace lx9
