#include "setup/para_input_form.h"

#include <cmath>

#include "ui/number_text.h"

namespace lx9 {

ParaInputForm::ParaInputForm(SharedInfo current, int mode, MessageSink& sink)
    : current_(current.record()),
      mode_(mode == kVarianceMode ? kVarianceMode : kAmplitudeMode),
      sink_(sink),
      infoLock_(current.lock()) {
    c_.amplitudeThreshold = formatFixed(current_.amplitudeThreshold, 1);
    c_.varianceThreshold = formatFixed(current_.varianceThreshold, 1);
    c_.mainFrequency = formatFixed(current_.mainFrequency, 1);
    c_.startPoint = formatInt(current_.varianceStart);
    c_.positive = current_.variancePolarity;
}

void ParaInputForm::enterAmplitudeThreshold(double v) {
    c_.amplitudeThreshold = formatFixed(v, 1);
}

void ParaInputForm::enterVarianceThreshold(double v) {
    c_.varianceThreshold = formatFixed(v, 1);
}

void ParaInputForm::enterMainFrequency(double hz) {
    c_.mainFrequency = formatFixed(hz, 1);
}

void ParaInputForm::enterStartPoint(double index) {
    c_.startPoint = formatInt(static_cast<int64_t>(std::trunc(std::fabs(index) < 1e9 ? index : 0.0)));
}

ParaInputForm::Outcome ParaInputForm::ok() {
    if (outcome_ != Outcome::Open) return outcome_;
    if (mode_ == kAmplitudeMode) {
        const float threshold = static_cast<float>(parseFloatText(c_.amplitudeThreshold));
        std::lock_guard<std::mutex> g(infoLock_);
        current_.amplitudeThreshold = threshold;
    } else {
        const int32_t start = parseIntText(c_.startPoint);
        const double frequency = parseFloatText(c_.mainFrequency);
        if (start < 0 || start >= current_.sampleLength) {
            sink_.showMessage(std::string(kTextStartPointOutside));
            return outcome_;
        }
        if (!(frequency > 0)) {
            sink_.showMessage(std::string(kTextFrequencyNotPositive));
            return outcome_;
        }
        std::lock_guard<std::mutex> g(infoLock_);
        current_.varianceThreshold = static_cast<float>(parseFloatText(c_.varianceThreshold));
        current_.mainFrequency = static_cast<float>(frequency);
        current_.varianceStart = start;
        current_.variancePolarity = c_.positive;
    }
    outcome_ = Outcome::Accepted;
    return outcome_;
}

ParaInputForm::Outcome ParaInputForm::cancel() {
    if (outcome_ == Outcome::Open) outcome_ = Outcome::Cancelled;
    return outcome_;
}

}  // namespace lx9
