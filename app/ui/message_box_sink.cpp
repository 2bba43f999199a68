#include "ui/message_box_sink.h"

#include <QFont>
#include <QMessageBox>
#include <QPushButton>

namespace lx9::ui {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QFont boxFont() {
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(kTouchFontPixels);
    return f;
}

QMessageBox* makeBox(QWidget* parent, const std::string& text, const std::string& caption,
                     QMessageBox::Icon icon) {
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->setIcon(icon);
    box->setWindowTitle(q(caption.empty() ? std::string(kDefaultBoxCaption) : caption));
    box->setText(q(text));
    box->setFont(boxFont());
    box->setTextFormat(Qt::PlainText);
    return box;
}

}  // namespace

void makeTouchButton(QWidget* button, int minimumWidth) {
    button->setFont(boxFont());
    button->setMinimumHeight(kTouchButtonHeight);
    button->setMinimumWidth(minimumWidth);
}

void MessageBoxSink::showMessageTitled(const std::string& text, const std::string& caption) {
    QMessageBox* box = makeBox(parent_, text, caption, QMessageBox::Information);
    QPushButton* ok = box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    makeTouchButton(ok);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    box->exec();
    delete box;
}

bool MessageBoxSink::askYesNoTitled(const std::string& text, const std::string& caption) {
    return askWithButtons(text, caption, "是", "否");
}

bool MessageBoxSink::askWithButtons(const std::string& text, const std::string& caption,
                                    const std::string& yes, const std::string& no) {
    QMessageBox* box = makeBox(parent_, text, caption, QMessageBox::Question);
    QPushButton* y = box->addButton(q(yes), QMessageBox::YesRole);
    QPushButton* n = box->addButton(q(no), QMessageBox::NoRole);
    makeTouchButton(y);
    makeTouchButton(n);
    box->setDefaultButton(y);
    box->setEscapeButton(n);
    box->exec();
    const bool answer = box->clickedButton() == y;
    delete box;
    return answer;
}

}  // namespace lx9::ui
