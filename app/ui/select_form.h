// The rules of `CDlg_Select`, the list picker every choice field opens over itself: sixteen
// buttons carry the caller's captions; clicking one returns its caption. Qt-free;
// user-interface thread only.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace lx9 {

inline constexpr int kSelectButtons = 16;

class SelectForm {
  public:
    enum class Outcome { Open, Accepted, Cancelled };

    // At most 16 choices are shown; the buttons beyond the choices are empty and do nothing.
    SelectForm(std::string title, const std::vector<std::string>& choices);

    const std::string& title() const { return title_; }
    const std::array<std::string, kSelectButtons>& captions() const { return captions_; }
    int choiceCount() const { return count_; }
    Outcome outcome() const { return outcome_; }
    const std::string& chosen() const { return chosen_; }

    // A click on button i (0..15): returns its caption and closes with OK; false for an empty one.
    bool click(int button);
    Outcome cancel();

  private:
    std::string title_;
    std::array<std::string, kSelectButtons> captions_{};
    int count_ = 0;
    Outcome outcome_ = Outcome::Open;
    std::string chosen_;
};

}  // namespace lx9
