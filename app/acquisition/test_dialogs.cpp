#include "acquisition/test_dialogs.h"

#include "acquisition/plus_input_dialog.h"
#include "acquisition/test_time_dialog.h"

namespace lx9 {

TestDialogs::TestDialogs(ConsoleController& controller, MessageSink& sink)
    : controller_(controller), sink_(sink) {}

TestDialogs::~TestDialogs() {
    for (auto& [dialog, window] : shown_)
        delete window.data();
}

void TestDialogs::open(ConsoleDialog dialog, QWidget* console) {
    close(dialog);
    auto changed = [this] { controller_.dialogChanged(); };
    TestTimeDialog* window = nullptr;
    switch (dialog) {
        case ConsoleDialog::PlusInput:
            if (auto* form = controller_.plusInputForm())
                window = new CDlg_PlusInput(*form, sink_, changed, console);
            break;
        case ConsoleDialog::Modal:
            if (auto* form = controller_.modalForm()) window = new CDlg_Modal(*form, changed, console);
            break;
        case ConsoleDialog::Resample:
            if (auto* form = controller_.resampleForm()) window = new DlgRe(*form, sink_, changed, console);
            break;
        case ConsoleDialog::Leak:
            if (auto* form = controller_.leakForm()) window = new CDlg_leak(*form, changed, console);
            break;
        case ConsoleDialog::Save:
            if (auto* form = controller_.saveForm()) window = new CDlg_Save(*form, sink_, changed, console);
            break;
        case ConsoleDialog::Prompt:
            if (auto* form = controller_.promptForm()) window = new CDlg_Prompt(*form, changed, console);
            break;
    }
    if (!window) return;
    shown_[dialog] = window;
    window->show();
}

void TestDialogs::close(ConsoleDialog dialog) {
    const auto it = shown_.find(dialog);
    if (it == shown_.end()) return;
    if (TestTimeDialog* window = it->second.data()) {
        // The dialog may be closing from its own button's handler.
        window->hide();
        window->deleteLater();
    }
    shown_.erase(it);
}

void TestDialogs::refresh() {
    for (auto& [dialog, window] : shown_)
        if (window) window->refresh();
}

TestTimeDialog* TestDialogs::shown(ConsoleDialog dialog) const {
    const auto it = shown_.find(dialog);
    return it == shown_.end() ? nullptr : it->second.data();
}

}  // namespace lx9
