#include "ui/num_input_form.h"

#include <algorithm>

#include "ui/number_text.h"

namespace lx9 {

Rect numPadSize(int screenWidth, int screenHeight) {
    return Rect{0, 0, screenWidth * 30 / 100, screenHeight * 30 / 100 + 75};
}

Rect placeBeside(const Rect& field, int width, int height, const Rect& screen) {
    Rect r{field.right(), field.y, width, height};
    if (r.right() > screen.right()) r.x = field.x - width;
    r.x = std::max(r.x, screen.x);
    if (r.bottom() > screen.bottom()) r.y = screen.bottom() - height;
    r.y = std::max(r.y, screen.y);
    return r;
}

NumInputForm::NumInputForm(std::string title, double initial, bool allowNegative, MessageSink& sink)
    : title_(std::move(title)),
      initial_(initial),
      allowNegative_(allowNegative),
      sink_(sink),
      result_(initial) {}

void NumInputForm::pressDigit(char digit) {
    if (outcome_ != Outcome::Open || digit < '0' || digit > '9') return;
    if (text_.size() < 9) text_ += digit;
}

void NumInputForm::pressDecimalPoint() {
    if (outcome_ == Outcome::Open) text_ += '.';
}

void NumInputForm::pressMinus() {
    if (outcome_ == Outcome::Open) text_ += '-';
}

void NumInputForm::backspace() {
    if (!text_.empty()) text_.pop_back();
}

void NumInputForm::pressBackspace() {
    if (outcome_ == Outcome::Open) backspace();
}

void NumInputForm::pressClear() {
    if (outcome_ != Outcome::Open) return;
    for (int i = 0; i < 20; ++i)
        backspace();
}

NumInputForm::Outcome NumInputForm::ok() {
    if (outcome_ != Outcome::Open) return outcome_;
    // An untouched pad changes nothing: reading an empty text as 0 would silently zero the field.
    const double value = text_.empty() ? initial_ : parseFloatText(text_);
    if (value < 0 && !allowNegative_) {
        sink_.showMessageTitled(std::string(kTextNegativeRefused), std::string(kCaptionInputError));
        return outcome_;
    }
    result_ = value;
    outcome_ = Outcome::Accepted;
    return outcome_;
}

NumInputForm::Outcome NumInputForm::cancel() {
    if (outcome_ != Outcome::Open) return outcome_;
    result_ = initial_;
    outcome_ = Outcome::Cancelled;
    return outcome_;
}

}  // namespace lx9
