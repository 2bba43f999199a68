#include "ui/touch_pads_dialog.h"

#include <QPushButton>

#include "ui/message_sink.h"
#include "ui/num_input_dialog.h"

namespace lx9::touch_ui {

QFont dialogFont(int pixels, bool bold) {
    return ui::touchFont(pixels, bold);
}

QPushButton* touchButton(const QString& caption, QWidget* parent) {
    QPushButton* b = ui::touchButton(caption, parent);
    b->setMinimumHeight(kTouchHeight);
    return b;
}

NumberPad numberPad(MessageSink& sink) {
    return [&sink](QWidget* field, const std::string& title, double initial) {
        return CDlg_NumInput::ask(field, title, initial, false, sink, PadPlacement::Beside);
    };
}

}  // namespace lx9::touch_ui
