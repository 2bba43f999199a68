// The rules of `CDlg_ApparatusPara` (仪器参数): the acquisition parameters that are not per
// section — sampling interval, samples per waveform, pulse width, firing mode and transmit
// voltage. On OK they go straight into currentInfo; the sample length also goes into the
// sample-length word of the channel configuration, and the worker carries the rest to the
// instrument with the next parameter push. Qt-free; user-interface thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/cinfo.h"
#include "data/run_state.h"
#include "setup/setup_form.h"
#include "ui/message_sink.h"

namespace lx9 {

inline constexpr std::string_view kInstrumentParamsCaption = "仪器参数";
// Titles of the keypad and the choosers over the fields (the voltage chooser's title is the
// dialog's own, "采样电压").
inline constexpr std::string_view kTitleSampleInterval = "采样间隔";
inline constexpr std::string_view kTitleSampleLength = "采样长度";
inline constexpr std::string_view kTitlePulseWidth = "发射脉宽";
inline constexpr std::string_view kTitleFiring = "发射方式";
inline constexpr std::string_view kTitleVoltage = "采样电压";

inline constexpr std::string_view kFiringFixed = "定点发射";
inline constexpr std::string_view kFiringContinuous = "连续发射";
inline constexpr std::string_view kVoltageHigh = "高压";
inline constexpr std::string_view kVoltageLow = "低压";

std::vector<std::string> sampleLengthChoices();  // "512", "1024"
std::vector<std::string> firingChoices();        // "定点发射", "连续发射"
std::vector<std::string> voltageChoices();       // "高压", "低压"

struct InstrumentParamsControls {
    std::string sampleInterval;  // 采样间隔(us) "%.1f"
    std::string sampleLength;    // 采样长度 "%d"
    std::string pulseWidth;      // 发射脉宽(us) "%d"
    std::string firing;          // 发射方式
    std::string voltage;         // 发射电压(v)
    bool sampleLengthEnabled = true;
};

class InstrumentParamsForm {
  public:
    // `buffered`: the setup has 缓存模式 chosen. Then the sample length becomes 512 in
    // currentInfo at once (a cancel keeps it) and its chooser is disabled.
    InstrumentParamsForm(SharedInfo current, CodeConfig& config, MessageSink& sink, bool buffered);

    const InstrumentParamsControls& controls() const { return c_; }

    // Entry checks: a refused value shows its message and the field keeps its old text.
    bool enterSampleInterval(double microseconds);
    bool enterPulseWidth(double microseconds);
    void chooseSampleLength(std::string text);
    void chooseFiring(std::string text) { c_.firing = std::move(text); }
    void chooseVoltage(std::string text) { c_.voltage = std::move(text); }

    FormOutcome ok();
    FormOutcome cancel() { return FormOutcome::Cancelled; }

  private:
    CInfo& current_;
    std::mutex& infoLock_;  // guards current_: held while the form changes it
    CodeConfig& config_;
    MessageSink& sink_;
    InstrumentParamsControls c_;
};

}  // namespace lx9
