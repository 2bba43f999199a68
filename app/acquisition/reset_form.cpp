#include "acquisition/reset_form.h"

namespace lx9 {

namespace {

std::string orDefault(std::string given, std::string_view fallback) {
    return given.empty() ? std::string(fallback) : std::move(given);
}

}  // namespace

ResetForm::ResetForm(std::string caption, std::string text, std::string yes, std::string no)
    : caption_(orDefault(std::move(caption), kResetCaption)),
      text_(orDefault(std::move(text), kResetText)),
      yes_(orDefault(std::move(yes), kResetYes)),
      no_(orDefault(std::move(no), kResetNo)) {}

ResetForm::Outcome ResetForm::ok() {
    if (outcome_ == Outcome::Open) outcome_ = Outcome::Accepted;
    return outcome_;
}

ResetForm::Outcome ResetForm::cancel() {
    if (outcome_ == Outcome::Open) outcome_ = Outcome::Cancelled;
    return outcome_;
}

}  // namespace lx9
