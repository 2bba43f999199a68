// The quick-set line of the setup dialog: an interpreter of lines like "L=20,C1=100,C2=400"
// that writes the dialog's working copy, runs OK or Cancel on YES / NO, applies the three
// presets, and keeps the last 15 accepted lines in currentInfo. A line is typed text: it is
// checked whole before any statement runs, every step is linear in its length, and a line the
// syntax pass refuses changes nothing. Qt-free; user-interface thread only.
#pragma once

#include <string>
#include <string_view>

#include "data/cinfo.h"
#include "setup/setup_form.h"

namespace lx9 {

// Colour of the status line: initial hint, error (red) or success (blue).
enum class QuickSetStatus { Initial, Error, Success };

enum class QuickSetCommand { None, Yes, No, Clear };

struct QuickSetResult {
    bool ok = false;
    std::string message;                              // the failure's message (empty on success)
    bool syntaxRejected = false;                      // refused before any statement ran: nothing changed
    int applied = 0;                                  // assignments applied, in line order
    QuickSetCommand command = QuickSetCommand::None;  // the command that ended the line
    FormOutcome outcome = FormOutcome::Open;          // what YES (the dialog's OK) or NO (Cancel) did
};

class QuickSet {
  public:
    // `current` holds the history (currentInfo): it outlives one opening of the dialog.
    QuickSet(SetupForm& form, SharedInfo current);

    // The edit line and the status line below it.
    const std::string& line() const { return line_; }
    void setLine(std::string text) { line_ = std::move(text); }
    QuickSetStatus status() const { return status_; }
    const std::string& statusText() const { return statusText_; }
    // What the last executed line did (for the dialog to close after YES or NO).
    const QuickSetResult& lastResult() const { return last_; }

    // Enter: false when the line is blank (the key goes to the dialog's default button);
    // otherwise executes it, clears it on success, and consumes the key.
    bool enter();

    // Runs one line as typed. The dialog's OK or Cancel runs for YES or NO.
    QuickSetResult execute(std::string_view typed);

    // History browsing with the arrow keys; showing an entry replaces the line, nothing runs.
    void up();
    void down();
    int cursor() const { return cursor_; }

    // Fixed texts of the dialog around the line.
    static std::string helpText();
    static std::string formatHint();
    static std::string initialStatusText();
    static std::string successStatusText();

  private:
    void addHistory(const std::string& typed);
    void show(int entry);

    SetupForm& form_;
    CInfo& current_;
    std::mutex& infoLock_;  // guards current_: held while the history changes
    std::string line_;
    QuickSetStatus status_ = QuickSetStatus::Initial;
    std::string statusText_;
    QuickSetResult last_;
    int cursor_ = 0;
    bool firstUp_ = false;
};

}  // namespace lx9
