#include "ui/select_dialog.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/num_input_dialog.h"

namespace lx9 {

using ui::qs;

CDlg_Select::CDlg_Select(const std::string& title, const std::vector<std::string>& choices, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), form_(title, choices) {
    setWindowTitle(qs(title));
    setObjectName(QStringLiteral("CDlg_Select"));
    setStyleSheet(QStringLiteral("QDialog#CDlg_Select { border: 2px solid #404040; background: #f0f0f0; }"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(4);
    auto* titleLabel = new QLabel(qs(title), this);
    titleLabel->setFont(ui::touchFont(15, true));
    layout->addWidget(titleLabel);

    // Empty buttons do nothing, so only the choices are shown: one column for a short list, up to
    // four for the gains, wide enough for the longest caption.
    const int count = form_.choiceCount();
    const int columns = count <= 4 ? 1 : count <= 8 ? 2 : 4;
    const QFontMetrics metrics(ui::touchFont(16));
    int widest = metrics.horizontalAdvance(qs(title)) / columns;
    for (int i = 0; i < count; ++i)
        widest = std::max(widest, metrics.horizontalAdvance(qs(form_.captions()[static_cast<size_t>(i)])));
    const int buttonWidth = std::max(90, widest + 28);

    auto* grid = new QGridLayout;
    grid->setSpacing(4);
    layout->addLayout(grid);
    for (int i = 0; i < count; ++i) {
        auto* b = ui::touchButton(qs(form_.captions()[static_cast<size_t>(i)]), this);
        b->setMinimumWidth(buttonWidth);
        b->setMinimumHeight(46);
        grid->addWidget(b, i / columns, i % columns);
        connect(b, &QPushButton::clicked, this, [this, i] {
            if (form_.click(i)) accept();
        });
    }
    auto* cancel = ui::touchButton(QStringLiteral("取消"), this);
    cancel->setMinimumHeight(46);
    layout->addWidget(cancel);
    connect(cancel, &QPushButton::clicked, this, [this] {
        form_.cancel();
        reject();
    });
    adjustSize();
}

void CDlg_Select::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        form_.cancel();
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

std::optional<std::string> CDlg_Select::ask(QWidget* field, const std::string& title,
                                            const std::vector<std::string>& choices, PadPlacement how) {
    CDlg_Select picker(title, choices, field ? field->window() : nullptr);
    ui::placePadWidget(&picker, field, how);
    if (picker.exec() != QDialog::Accepted) return std::nullopt;
    return picker.form().chosen();
}

}  // namespace lx9
