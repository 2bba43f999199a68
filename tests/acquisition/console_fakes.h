// Test doubles for the console and its dialogs: a MessageSink that keeps every text with its
// caption and answers questions from a script, and a SetupConsole that records what is asked of
// the console.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "setup/setup_console.h"
#include "tests/setup/recording_console.h"
#include "ui/message_sink.h"

namespace lx9::test {

struct Said {
    std::string text;
    std::string caption;
    bool question = false;
    bool operator==(const Said&) const = default;
};

class ScriptedSink : public MessageSink {
  public:
    void showMessage(const std::string& text) override { said.push_back({text, "", false}); }
    bool askYesNo(const std::string& text) override { return answer({text, "", true}); }
    void showMessageTitled(const std::string& text, const std::string& caption) override {
        said.push_back({text, caption, false});
    }
    bool askYesNoTitled(const std::string& text, const std::string& caption) override {
        return answer({text, caption, true});
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& s : said)
            t.push_back(s.text);
        return t;
    }
    std::string last() const { return said.empty() ? std::string() : said.back().text; }

    std::vector<Said> said;
    std::deque<bool> answers;  // for questions; "no" when the script has run out

  private:
    bool answer(Said s) {
        said.push_back(std::move(s));
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
};

// The dialog forms' tests use the setup tests' recording console.
using RecordingSetupConsole = RecordingConsole;

}  // namespace lx9::test
