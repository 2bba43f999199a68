#include "analysis/analysis_pads_dialog.h"

#include <QInputDialog>
#include <QPushButton>

#include "ui/message_sink.h"

namespace lx9::analysis_ui {

QFont dialogFont(int pixels, bool bold) {
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QPushButton* touchButton(const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setFont(dialogFont(16));
    b->setMinimumHeight(kTouchHeight);
    return b;
}

NumberPad numberPad(MessageSink& sink) {
    (void)sink;
    return [](QWidget* field, const std::string& title, double initial) -> std::optional<double> {
        bool ok = false;
        const double v = QInputDialog::getDouble(field, qs(title), qs(title), initial, -1e9, 1e9, 3, &ok);
        return ok ? std::optional<double>(v) : std::nullopt;
    };
}

}  // namespace lx9::analysis_ui
