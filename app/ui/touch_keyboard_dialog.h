// "系统键盘": an on-screen keyboard for the typed fields (job texts, names, numbers typed as
// text). The desktop's own keyboard is started when one is installed (it also brings the
// desktop's input methods, so Chinese can be typed); otherwise a built-in touch keyboard of
// letters, digits and a few signs types into the field that has the focus. Neither takes the
// focus from the field. The dialog that opened it closes it on OK.
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

class QProcess;

namespace lx9 {

// The first on-screen keyboard program found on the PATH ("onboard", "florence",
// "matchbox-keyboard"); empty when none is installed.
QString desktopKeyboardProgram();

// The built-in keyboard: typed keys go to the focused editable line of the application.
class TouchKeyboardDialog : public QDialog {
  public:
    explicit TouchKeyboardDialog(QWidget* parent = nullptr);

  private:
    void type(const QString& key);
};

class SystemKeyboard {
  public:
    // `program`: the desktop keyboard to start; empty for the built-in one.
    SystemKeyboard(QWidget* owner, QString program = desktopKeyboardProgram());
    ~SystemKeyboard();
    SystemKeyboard(const SystemKeyboard&) = delete;
    SystemKeyboard& operator=(const SystemKeyboard&) = delete;

    void open();
    // Closes the keyboard this object opened (the desktop's program or the built-in one).
    void close();
    bool isOpen() const;
    TouchKeyboardDialog* builtIn() const { return builtIn_.data(); }

  private:
    QWidget* owner_;
    QString program_;
    QProcess* process_ = nullptr;
    QPointer<TouchKeyboardDialog> builtIn_;
};

}  // namespace lx9
