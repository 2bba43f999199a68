#include "setup/instrument_params_form.h"

#include "data/run_state.h"

#include "ui/number_text.h"

namespace lx9 {

std::vector<std::string> sampleLengthChoices() {
    return {"512", "1024"};
}
std::vector<std::string> firingChoices() {
    return {std::string(kFiringFixed), std::string(kFiringContinuous)};
}
std::vector<std::string> voltageChoices() {
    return {std::string(kVoltageHigh), std::string(kVoltageLow)};
}

InstrumentParamsForm::InstrumentParamsForm(SharedInfo current, CodeConfig& config, MessageSink& sink,
                                           bool buffered)
    : current_(current.record()), infoLock_(current.lock()), config_(config), sink_(sink) {
    if (buffered) {
        std::lock_guard<std::mutex> g(infoLock_);  // the worker copies the record every cycle
        current_.sampleLength = 512;
        c_.sampleLengthEnabled = false;
    }
    c_.sampleInterval = formatFixed(current_.sampleInterval, 1);
    c_.sampleLength = formatInt(current_.sampleLength);
    c_.pulseWidth = formatInt(current_.pulseWidth);
    c_.firing = std::string(current_.continuousFiring ? kFiringContinuous : kFiringFixed);
    c_.voltage = std::string(current_.highVoltage == 1 ? kVoltageHigh : kVoltageLow);
}

bool InstrumentParamsForm::enterSampleInterval(double microseconds) {
    if (!(microseconds >= 0.1)) {
        sink_.showMessage("修改失败!采样间隔不能小于0.1!");
        return false;
    }
    if (microseconds > 200) {
        sink_.showMessage("修改失败!采样间隔不能大于200!");
        return false;
    }
    c_.sampleInterval = formatFixed(microseconds, 1);
    return true;
}

bool InstrumentParamsForm::enterPulseWidth(double microseconds) {
    if (!(microseconds >= 1 && microseconds <= 5)) {
        sink_.showMessage("输入无效, 请输入1到5之间的数!");
        return false;
    }
    c_.pulseWidth = formatFixed(microseconds, 0);
    return true;
}

void InstrumentParamsForm::chooseSampleLength(std::string text) {
    if (c_.sampleLengthEnabled) c_.sampleLength = std::move(text);
}

FormOutcome InstrumentParamsForm::ok() {
    std::unique_lock<std::mutex> g(infoLock_);  // the worker copies the record every cycle
    current_.sampleInterval = static_cast<float>(parseFloatText(c_.sampleInterval));
    current_.sampleLength = parseIntText(c_.sampleLength);
    current_.pulseWidth = parseIntText(c_.pulseWidth);
    current_.continuousFiring = c_.firing == kFiringContinuous;
    current_.highVoltage = c_.voltage == kVoltageHigh ? 1 : 0;
    g.unlock();
    _Ctrl_Code_INFO_DLL code = config_.get();
    code.sampleLength = current_.sampleLength;
    config_.set(code);
    return FormOutcome::Accepted;
}

}  // namespace lx9
