#include "ui/touch_keyboard_dialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "ui/num_input_dialog.h"

namespace lx9 {

QString desktopKeyboardProgram() {
    for (const char* name : {"onboard", "florence", "matchbox-keyboard"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty()) return path;
    }
    return {};
}

TouchKeyboardDialog::TouchKeyboardDialog(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("系统键盘"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(3);
    const char* rows[] = {"1234567890-", "QWERTYUIOP#", "ASDFGHJKL./", "ZXCVBNM_()+"};
    for (const char* row : rows) {
        auto* line = new QHBoxLayout;
        line->setSpacing(3);
        layout->addLayout(line);
        for (const char* c = row; *c; ++c) {
            const QString key(QChar::fromLatin1(*c));
            auto* b = ui::touchButton(key, this, 17);
            b->setFocusPolicy(Qt::NoFocus);
            b->setFixedSize(52, 46);
            line->addWidget(b);
            connect(b, &QPushButton::clicked, this, [this, key] { type(key); });
        }
    }
    auto* last = new QHBoxLayout;
    layout->addLayout(last);
    auto* space = ui::touchButton(QStringLiteral("空格"), this);
    auto* back = ui::touchButton(QStringLiteral("后退"), this);
    auto* close = ui::touchButton(QStringLiteral("关闭"), this);
    for (auto* b : {space, back, close}) {
        b->setFocusPolicy(Qt::NoFocus);
        last->addWidget(b, b == space ? 3 : 1);
    }
    connect(space, &QPushButton::clicked, this, [this] { type(QStringLiteral(" ")); });
    connect(back, &QPushButton::clicked, this, [this] { type({}); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    adjustSize();
    // At the bottom of the screen, where it covers the least of a dialog's fields.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->geometry();
        move(g.x() + (g.width() - width()) / 2, g.bottom() - height());
    }
}

void TouchKeyboardDialog::type(const QString& key) {
    auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!edit || edit->isReadOnly() || !edit->isEnabled()) return;
    if (key.isEmpty())
        edit->backspace();
    else
        edit->insert(key);
    // Typed text reaches the field's owner as if it had been typed on a keyboard.
    emit edit->textEdited(edit->text());
}

SystemKeyboard::SystemKeyboard(QWidget* owner, QString program)
    : owner_(owner), program_(std::move(program)) {}

SystemKeyboard::~SystemKeyboard() {
    close();
}

void SystemKeyboard::open() {
    if (isOpen()) return;
    if (!program_.isEmpty()) {
        process_ = new QProcess;
        process_->start(program_, {});
        if (process_->waitForStarted(2000)) return;
        delete process_;  // could not start: fall back to the built-in one
        process_ = nullptr;
    }
    if (!builtIn_) builtIn_ = new TouchKeyboardDialog(owner_);
    builtIn_->show();
}

void SystemKeyboard::close() {
    if (process_) {
        process_->terminate();
        if (!process_->waitForFinished(1000)) process_->kill();
        process_->waitForFinished(1000);
        delete process_;
        process_ = nullptr;
    }
    if (builtIn_) builtIn_->close();
}

bool SystemKeyboard::isOpen() const {
    return (process_ && process_->state() != QProcess::NotRunning) || (builtIn_ && builtIn_->isVisible());
}

}  // namespace lx9
