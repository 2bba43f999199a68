// The console's test-time dialogs, as the console window's hooks see them: open() shows the
// dialog of the controller's form that just opened, close() takes it away when the controller
// says so, refresh() redraws the texts of those shown (heights, progress, the prompt). What the
// operator does goes to the form, then to the controller's dialogChanged().
//
// Threading: the user-interface thread only.
#pragma once

#include <QPointer>
#include <map>

#include "acquisition/console_controller.h"
#include "acquisition/console_view.h"
#include "ui/message_sink.h"

class QWidget;

namespace lx9 {

class TestTimeDialog;

class TestDialogs {
  public:
    TestDialogs(ConsoleController& controller, MessageSink& sink);
    ~TestDialogs();
    TestDialogs(const TestDialogs&) = delete;
    TestDialogs& operator=(const TestDialogs&) = delete;

    void open(ConsoleDialog dialog, QWidget* console);
    void close(ConsoleDialog dialog);
    void refresh();

    // The dialog shown for `dialog`, if any.
    TestTimeDialog* shown(ConsoleDialog dialog) const;

  private:
    ConsoleController& controller_;
    MessageSink& sink_;
    std::map<ConsoleDialog, QPointer<TestTimeDialog>> shown_;
};

}  // namespace lx9
