#include "ui/select_form.h"

#include <algorithm>

namespace lx9 {

SelectForm::SelectForm(std::string title, const std::vector<std::string>& choices)
    : title_(std::move(title)) {
    count_ = static_cast<int>(std::min<size_t>(choices.size(), kSelectButtons));
    for (int i = 0; i < count_; ++i)
        captions_[static_cast<size_t>(i)] = choices[static_cast<size_t>(i)];
}

bool SelectForm::click(int button) {
    if (outcome_ != Outcome::Open || button < 0 || button >= count_) return false;
    chosen_ = captions_[static_cast<size_t>(button)];
    outcome_ = Outcome::Accepted;
    return true;
}

SelectForm::Outcome SelectForm::cancel() {
    if (outcome_ == Outcome::Open) outcome_ = Outcome::Cancelled;
    return outcome_;
}

}  // namespace lx9
