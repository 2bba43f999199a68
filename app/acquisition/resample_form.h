// The rules of `dlg_Re` (重采): the height from which a test is sampled again after missed
// points, in centimetres counted upward from the pile toe. It must lie between the probes'
// current height and the pile length and be a whole number of steps. Qt-free; user-interface
// thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "data/cinfo.h"
#include "ui/message_sink.h"

namespace lx9 {

inline constexpr std::string_view kResampleCaption = "重采";
inline constexpr std::string_view kResamplePadTitle = "重采高度";
inline constexpr std::string_view kCaptionWarning = "警告";

class ResampleForm {
  public:
    enum class Outcome { Open, Accepted, Cancelled };

    // `currentHeightCm` is the probes' height h above the toe, from the console.
    ResampleForm(const CInfo& info, int32_t currentHeightCm, MessageSink& sink);

    const std::string& caption() const { return caption_; }
    Outcome outcome() const { return outcome_; }
    int32_t currentHeightCm() const { return current_; }
    int32_t pileLengthCm() const { return pileCm_; }
    // The accepted height H (cm).
    int32_t heightCm() const { return height_; }

    // The height typed on the pad (whole centimetres; a fraction is dropped). A refused height
    // shows its message under "警告" and keeps the dialog open.
    Outcome enterHeight(double centimetres);
    Outcome cancel();

  private:
    int32_t current_;
    int32_t pileCm_;
    int32_t stepMm_;
    MessageSink& sink_;
    std::string caption_{kResampleCaption};
    Outcome outcome_ = Outcome::Open;
    int32_t height_ = 0;
};

}  // namespace lx9
