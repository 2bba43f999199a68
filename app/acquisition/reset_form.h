// The rules of `CDlg_Reset`: a yes/no box whose caption, text and two button captions the caller
// gives; an empty argument keeps the default (the close-file confirmation). Qt-free;
// user-interface thread only.
#pragma once

#include <string>
#include <string_view>

namespace lx9 {

inline constexpr std::string_view kResetCaption = "关闭文件";
inline constexpr std::string_view kResetText = "是否确认关闭文件？";
inline constexpr std::string_view kResetYes = "确定";
inline constexpr std::string_view kResetNo = "取消";

class ResetForm {
  public:
    enum class Outcome { Open, Accepted, Cancelled };

    explicit ResetForm(std::string caption = {}, std::string text = {}, std::string yes = {},
                       std::string no = {});

    const std::string& caption() const { return caption_; }
    const std::string& text() const { return text_; }
    const std::string& yesCaption() const { return yes_; }
    const std::string& noCaption() const { return no_; }
    Outcome outcome() const { return outcome_; }

    Outcome ok();
    Outcome cancel();

  private:
    std::string caption_, text_, yes_, no_;
    Outcome outcome_ = Outcome::Open;
};

}  // namespace lx9
