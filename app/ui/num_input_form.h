// The rules of `CDlg_NumInput`, the numeric pad every numeric field opens over itself: its keys
// type into the pad's edit field, OK parses the text as a number, Cancel gives back the value the
// field had. Also the pad's size and where it goes beside the field. Qt-free; user-interface
// thread only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ui/message_sink.h"

namespace lx9 {

inline constexpr std::string_view kKeyDecimalPoint = "小数点(.)";
inline constexpr std::string_view kKeyMinus = "负号(-)";
inline constexpr std::string_view kKeyBackspace = "后退";
inline constexpr std::string_view kKeyClear = "清除";
inline constexpr std::string_view kTextNegativeRefused = "输入的数字小于0，请重新输入！";
inline constexpr std::string_view kCaptionInputError = "输入错误";

// Screen geometry in pixels.
struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool operator==(const Rect&) const = default;
};

// The pad: 30 % of the screen width, 30 % of the screen height plus 75 pixels.
Rect numPadSize(int screenWidth, int screenHeight);

// A pop-up of `size` placed beside `field`: to its right, flipped to its left when it would leave
// the screen there; top aligned with the field, moved up to stay on the screen.
Rect placeBeside(const Rect& field, int width, int height, const Rect& screen);

class NumInputForm {
  public:
    enum class Outcome { Open, Accepted, Cancelled };

    // `initial` is the field's value (what Cancel returns); `allowNegative` lets OK accept values
    // below 0.
    NumInputForm(std::string title, double initial, bool allowNegative, MessageSink& sink);

    const std::string& title() const { return title_; }
    const std::string& text() const { return text_; }
    Outcome outcome() const { return outcome_; }
    // The value after OK, or the initial value after Cancel.
    double result() const { return result_; }

    // Keys: '0'..'9' are typed only while the text is shorter than 9 characters.
    void pressDigit(char digit);
    void pressDecimalPoint();
    void pressMinus();
    void pressBackspace();
    void pressClear();  // 20 backspaces

    // OK: the text as a number (nothing typed keeps the initial value); a negative value where
    // none is allowed is refused with its message and the pad stays open.
    Outcome ok();
    Outcome cancel();

  private:
    void backspace();

    std::string title_;
    double initial_;
    bool allowNegative_;
    MessageSink& sink_;
    std::string text_;
    Outcome outcome_ = Outcome::Open;
    double result_;
};

}  // namespace lx9
