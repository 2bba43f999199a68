// The keypad the workbench's cut-height dialogs and the upload dialog open over their numeric
// fields, and the touch sizes they share.
//
// Threading: the user-interface thread only.
#pragma once

#include <QFont>
#include <QString>
#include <functional>
#include <optional>
#include <string>

class QPushButton;
class QWidget;

namespace lx9 {

class MessageSink;

namespace touch_ui {

// No control lower than this at 1024×768.
inline constexpr int kTouchHeight = 44;

QFont dialogFont(int pixels = 16, bool bold = false);
QPushButton* touchButton(const QString& caption, QWidget* parent);
inline QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The keypad over `field`: the value after OK, none after Cancel.
using NumberPad =
    std::function<std::optional<double>(QWidget* field, const std::string& title, double initial)>;

// The program's keypad (CDlg_NumInput), placed beside the field.
NumberPad numberPad(MessageSink& sink);

}  // namespace touch_ui
}  // namespace lx9
