// Drives the modal dialogs a widget test opens: `onNextModal` runs a step on the next modal
// window that is not `under` as soon as it is shown (exec() blocks the test until it closes).
#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace lx9::test {

inline void onNextModal(std::function<void(QWidget*)> step, QWidget* under = nullptr) {
    auto poll = std::make_shared<std::function<void()>>();
    auto tries = std::make_shared<int>(0);
    *poll = [step, under, poll, tries] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != under && modal->isVisible()) {
            step(modal);
            *poll = nullptr;  // breaks the self-reference
        } else if (++*tries < 500) {
            QTimer::singleShot(5, [poll] {
                if (*poll) (*poll)();
            });
        }
    };
    QTimer::singleShot(0, [poll] { (*poll)(); });
}

// The button of `dialog` whose caption is `caption` (nullptr when none).
inline QPushButton* buttonOf(QWidget* dialog, const QString& caption) {
    for (auto* b : dialog->findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

}  // namespace lx9::test
