// The dialogs and the input pads, with the demo pile's settings.
#include <QApplication>
#include <QKeyEvent>

#include "tools/screenshots/screenshot_registry.h"
#include "ui/message_sink.h"
#include "ui/num_input_dialog.h"
#include "ui/select_dialog.h"

namespace {

class QuietSink : public lx9::MessageSink {
  public:
    void showMessage(const std::string&) override {}
    bool askYesNo(const std::string&) override { return false; }
};

void typeKeys(QWidget& widget, const QString& keys) {
    for (const QChar c : keys) {
        QKeyEvent press(QEvent::KeyPress, c.unicode(), Qt::NoModifier, QString(c));
        QApplication::sendEvent(&widget, &press);
    }
}

}  // namespace

LX9_SCREENSHOT(keypad) {
    QuietSink sink;
    lx9::CDlg_NumInput pad("桩长", 20.0, false, sink);
    typeKeys(pad, QStringLiteral("24.5"));
    shot.save(pad, "keypad");
}

LX9_SCREENSHOT(picker) {
    lx9::CDlg_Select picker(
        "剖面1的增益", {"1", "2", "4", "8", "20", "40", "80", "200", "400", "800", "2000", "4000", "8000"});
    shot.save(picker, "picker");
}
