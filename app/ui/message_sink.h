// How the Qt-free forms talk to the operator: a modal message with a fixed text, or a yes/no
// question. The Qt dialogs map it to message boxes; tests record what was said and script the
// answers. Called on the user-interface thread only.
#pragma once

#include <string>

namespace lx9 {

class MessageSink {
  public:
    virtual ~MessageSink() = default;

    // A modal message box with one OK button; returns when the operator has read it.
    virtual void showMessage(const std::string& text) = 0;

    // A modal Yes/No question; true for Yes.
    virtual bool askYesNo(const std::string& text) = 0;

    // The same with the box's caption ("警告", "提示", ...). A sink that shows no captions keeps
    // the plain forms.
    virtual void showMessageTitled(const std::string& text, const std::string& caption) {
        (void)caption;
        showMessage(text);
    }
    virtual bool askYesNoTitled(const std::string& text, const std::string& caption) {
        (void)caption;
        return askYesNo(text);
    }
};

}  // namespace lx9
