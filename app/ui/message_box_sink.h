// The operator's messages as touch-sized message boxes: the forms' fixed texts with their
// captions, one large "确定" for a message, large "是" / "否" for a question. Qt; user-interface
// thread only.
#pragma once

#include <string>

#include "ui/message_sink.h"

class QWidget;

namespace lx9::ui {

// The caption of a box whose form gives none.
inline constexpr const char* kDefaultBoxCaption = "LX9";

class MessageBoxSink : public MessageSink {
  public:
    explicit MessageBoxSink(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void showMessage(const std::string& text) override { showMessageTitled(text, kDefaultBoxCaption); }
    bool askYesNo(const std::string& text) override { return askYesNoTitled(text, kDefaultBoxCaption); }
    void showMessageTitled(const std::string& text, const std::string& caption) override;
    bool askYesNoTitled(const std::string& text, const std::string& caption) override;

    // A yes/no box with the caller's button captions (the close-file confirmation); true for yes.
    bool askWithButtons(const std::string& text, const std::string& caption, const std::string& yes,
                        const std::string& no);

  private:
    QWidget* parent_;
};

// Touch sizing shared by the program's own dialogs: the buttons' height and font.
inline constexpr int kTouchButtonHeight = 48;
inline constexpr int kTouchFontPixels = 16;
void makeTouchButton(QWidget* button, int minimumWidth = 96);

}  // namespace lx9::ui
