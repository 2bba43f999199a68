#include "acquisition/resample_form.h"

#include <cmath>

namespace lx9 {

ResampleForm::ResampleForm(const CInfo& info, int32_t currentHeightCm, MessageSink& sink)
    : current_(currentHeightCm),
      pileCm_(static_cast<int32_t>(info.pileLength) * 100),
      stepMm_(info.stepMm),
      sink_(sink) {}

ResampleForm::Outcome ResampleForm::enterHeight(double centimetres) {
    if (outcome_ != Outcome::Open) return outcome_;
    const double whole = std::trunc(centimetres);
    const int32_t h = std::isfinite(whole) && std::fabs(whole) < 1e9 ? static_cast<int32_t>(whole) : -1;
    if (h < current_ || h > pileCm_) {
        sink_.showMessageTitled("请输入合法重采高度，高度应在" + std::to_string(pileCm_) + "cm-" +
                                    std::to_string(current_) + "cm范围内",
                                std::string(kCaptionWarning));
        return outcome_;
    }
    // A step below one centimetre leaves no whole-centimetre grid: no height can be accepted.
    const int32_t stepCm = stepMm_ / 10;
    if (stepCm <= 0 || h % stepCm != 0) {
        sink_.showMessageTitled("请输入合法重采高度，高度应为移距" + std::to_string(stepMm_) + "mm的整倍数",
                                std::string(kCaptionWarning));
        return outcome_;
    }
    height_ = h;
    caption_ = "重采高度为:" + std::to_string(h);
    outcome_ = Outcome::Accepted;
    return outcome_;
}

ResampleForm::Outcome ResampleForm::cancel() {
    if (outcome_ == Outcome::Open) outcome_ = Outcome::Cancelled;
    return outcome_;
}

}  // namespace lx9
