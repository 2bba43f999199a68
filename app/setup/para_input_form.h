// The rules of `CDlg_ParaInput`: the parameters of the amplitude pick (its threshold) or of the
// variance pick (threshold, main frequency, start point, first-wave polarity), opened from the
// list picker when "幅值判读" or "方差判读" is chosen. OK stores them into the record's picking
// parameters. Qt-free; user-interface thread only.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "data/cinfo.h"
#include "data/globals.h"
#include "ui/message_sink.h"
#include "ui/num_input_form.h"

namespace lx9 {

inline constexpr std::string_view kLabelVariance = "方  差  ：";
inline constexpr std::string_view kLabelMainFrequency = "主频(Hz)：";
inline constexpr std::string_view kLabelStartPoint = "起  点  ：";
inline constexpr std::string_view kPolarityPositive = "首波+";
inline constexpr std::string_view kPolarityNegative = "首波－";
inline constexpr std::string_view kTextStartPointOutside = "起点应在0到采样长度之间，请重新输入！";
inline constexpr std::string_view kTextFrequencyNotPositive = "主频应大于0，请重新输入！";

struct ParaInputControls {
    std::string amplitudeThreshold;  // "%.1f"
    std::string varianceThreshold;   // "%.1f"
    std::string mainFrequency;       // "%.1f"
    std::string startPoint;          // "%d"
    bool positive = true;            // 首波+ (else 首波－)
    bool operator==(const ParaInputControls&) const = default;
};

class ParaInputForm {
  public:
    enum class Outcome { Open, Accepted, Cancelled };
    static constexpr int kAmplitudeMode = 1;
    static constexpr int kVarianceMode = 3;

    // `mode` 1 edits only the amplitude threshold, 3 the variance pick's parameters.
    // `current` is changed under its lock.
    ParaInputForm(SharedInfo current, int mode, MessageSink& sink);

    int mode() const { return mode_; }
    const ParaInputControls& controls() const { return c_; }
    Outcome outcome() const { return outcome_; }

    // Values from the numeric pad.
    void enterAmplitudeThreshold(double v);
    void enterVarianceThreshold(double v);
    void enterMainFrequency(double hz);
    void enterStartPoint(double index);
    void choosePolarity(bool positive) { c_.positive = positive; }

    // OK stores the fields of the mode. A start point outside the waveform or a main frequency
    // that is not positive would leave the variance pick nothing to work on: refused with a
    // message, the dialog stays open.
    Outcome ok();
    Outcome cancel();

    // Where the dialog goes: beside the control that opened it, flipped when it would leave the
    // screen.
    static Rect place(const Rect& opener, int width, int height, const Rect& screen) {
        return placeBeside(opener, width, height, screen);
    }

  private:
    CInfo& current_;
    int mode_;
    MessageSink& sink_;
    std::mutex& infoLock_;  // guards current_: held while OK changes it
    ParaInputControls c_;
    Outcome outcome_ = Outcome::Open;
};

}  // namespace lx9
