// What the acquisition console shows and asks, as the console controller sees it: redraw
// requests naming what changed, the dialogs it opens (their rules are the controller's forms),
// the file choosers, the timers and the notices. The Qt console window implements it; so do the
// `lx9 acquire` tool and the tests. Every call comes from the user-interface thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "display/panel_view.h"

namespace lx9 {

class LinkForm;
class ResetForm;

// The dialogs the console opens over itself; the view shows the controller's form of each.
enum class ConsoleDialog { PlusInput, Modal, Resample, Leak, Save, Prompt };

class ConsoleView {
  public:
    virtual ~ConsoleView() = default;

    virtual void redraw(uint32_t parts) = 0;

    // A dialog opened (its form is the controller's, e.g. saveForm()) or closed.
    virtual void dialogOpened(ConsoleDialog dialog) = 0;
    virtual void dialogClosed(ConsoleDialog dialog) = 0;

    // The connection dialog at start-up, modal: the view runs the handshake (form.tryOnce() until
    // it leaves Connecting, or form.connect()) and lets the operator close it (accept/cancel on
    // success, retry/abandon on failure).
    virtual void runConnectionDialog(LinkForm& form) = 0;
    // The close-file confirmation, modal; true for its OK.
    virtual bool confirm(ResetForm& form) = 0;

    // The data file of a new test (filter "CHT(*.CHT)|*.CHT||", starting at "Hard Disk"): a
    // path, with or without the ".CHT" suffix; none when cancelled.
    virtual std::optional<std::string> askDataFileName() = 0;
    // A data file to open for viewing, the same way.
    virtual std::optional<std::string> askOpenFileName() = 0;

    // Timers: 0 every 500 ms from start-up, 100 once after 3000 ms.
    virtual void setTimer(int id, std::chrono::milliseconds period, bool repeat) {}
    virtual void killTimer(int id) {}

    // The modeless communication-failure notice ("通讯出错，请检测网络！" with a "关闭" button).
    virtual void showCommNotice(const std::string& text) {}
    virtual void closeCommNotice() {}
    // A notice that closes itself after two seconds.
    virtual void showTransientNotice(const std::string& text) {}
    virtual void closeTransientNotice() {}

    // Screens that other parts of the program own.
    virtual void openSetup() {}
    virtual void openAnalysis() {}
    virtual void openUpload() {}
    virtual void setDisplayFixed(bool fixed) {}
    virtual void pageWaveTrain(int direction) {}  // −1 back, +1 forward

    // The console window closes (after "关闭").
    virtual void closeWindow() {}
};

}  // namespace lx9
