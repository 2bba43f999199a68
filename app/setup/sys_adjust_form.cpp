#include "setup/sys_adjust_form.h"

#include "data/globals.h"
#include "data/run_state.h"
#include "ui/number_text.h"

namespace lx9 {

std::optional<double> pipeCorrectionTime(double outerMm, double innerMm, double pipeVelocity, double probeMm,
                                         double waterVelocity) {
    if (pipeVelocity == 0.0 || waterVelocity == 0.0) return std::nullopt;
    return (innerMm - probeMm) / waterVelocity + (outerMm - innerMm) / pipeVelocity;
}

// --- 系统校零与修正

SysAdjustForm::SysAdjustForm(SharedInfo current, MessageSink& sink)
    : current_(current.record()), infoLock_(current.lock()), sink_(sink) {
    for (int i = 0; i < kMaxSections; ++i)
        c_.zero[i] = formatFixed(current_.zeroReadings[i], 1);
    c_.outerDiameter = formatInt(current_.pipeOuterDiameter);
    c_.innerDiameter = formatInt(current_.pipeInnerDiameter);
    c_.pipeVelocity = formatFixed(current_.pipeVelocity, 3);
    c_.probeDiameter = formatInt(current_.probeDiameter);
    c_.waterVelocity = formatFixed(current_.waterVelocity, 3);
    recompute();
}

std::string SysAdjustForm::zeroTitle(int section) {
    if (section < 0 || section >= kMaxSections) return {};
    return "面" + std::string(kPairNames[section]) + "的延时";
}

void SysAdjustForm::recompute() {
    const auto t = pipeCorrectionTime(parseIntText(c_.outerDiameter), parseIntText(c_.innerDiameter),
                                      parseFloatText(c_.pipeVelocity), parseIntText(c_.probeDiameter),
                                      parseFloatText(c_.waterVelocity));
    c_.correction = t ? formatFixed(*t, 1) : "--";
}

void SysAdjustForm::enterZero(int section, double microseconds) {
    if (section < 0 || section >= kMaxSections) return;
    c_.zero[section] = formatFixed(microseconds, 1);
}

void SysAdjustForm::enterOuterDiameter(double mm) {
    c_.outerDiameter = formatFixed(mm, 0);
    recompute();
}

void SysAdjustForm::enterInnerDiameter(double mm) {
    c_.innerDiameter = formatFixed(mm, 0);
    recompute();
}

void SysAdjustForm::enterPipeVelocity(double kmPerS) {
    c_.pipeVelocity = formatFixed(kmPerS, 3);
    recompute();
}

void SysAdjustForm::enterProbeDiameter(double mm) {
    c_.probeDiameter = formatFixed(mm, 0);
    recompute();
}

void SysAdjustForm::enterWaterVelocity(double kmPerS) {
    c_.waterVelocity = formatFixed(kmPerS, 3);
    recompute();
}

CalibrationResult SysAdjustForm::ok() {
    const int32_t outer = parseIntText(c_.outerDiameter);
    const int32_t inner = parseIntText(c_.innerDiameter);
    const double pipeVelocity = parseFloatText(c_.pipeVelocity);
    const int32_t probe = parseIntText(c_.probeDiameter);
    const double waterVelocity = parseFloatText(c_.waterVelocity);
    auto refuse = [this](const char* message, CalibrationField field) {
        sink_.showMessage(message);
        return CalibrationResult{FormOutcome::Open, field};
    };
    using F = CalibrationField;
    if (outer < 0) return refuse("测管外径小于0，请重新设置！", F::OuterDiameter);
    if (inner < 0) return refuse("测管内径小于0，请重新设置！", F::InnerDiameter);
    if (pipeVelocity < 0) return refuse("测管声速小于0，请重新设置！", F::PipeVelocity);
    if (probe < 0) return refuse("桩的外径小于0，请重新设置！", F::ProbeDiameter);
    if (waterVelocity < 0) return refuse("水的声速小于0，请重新设置！", F::WaterVelocity);
    if (outer < inner) return refuse("测管外径小于内径，请重新设置！", F::OuterDiameter);
    if (inner < probe) return refuse("测管内径小于探头外径，请重新设置！", F::InnerDiameter);
    // The correction divides by both velocities.
    if (pipeVelocity == 0) return refuse("测管声速不能为0，请重新设置！", F::PipeVelocity);
    if (waterVelocity == 0) return refuse("水的声速不能为0，请重新设置！", F::WaterVelocity);

    const double t = *pipeCorrectionTime(outer, inner, pipeVelocity, probe, waterVelocity);
    std::lock_guard<std::mutex> g(infoLock_);  // the worker copies the record every cycle
    for (int i = 0; i < kMaxSections; ++i)
        current_.zeroReadings[i] = static_cast<float>(parseFloatText(c_.zero[i]));
    current_.pipeOuterDiameter = outer;
    current_.pipeInnerDiameter = inner;
    current_.pipeVelocity = static_cast<float>(pipeVelocity);
    current_.probeDiameter = probe;
    current_.waterVelocity = static_cast<float>(waterVelocity);
    current_.pipeCorrection = static_cast<float>(t);
    // The setup stores the measured sections first, so a record is found by its pipe pair.
    for (auto& section : current_.sections) {
        for (int i = 0; i < kMaxSections; ++i) {
            if (section.name.substr(0, 3) == kPairNames[i]) {
                section.zeroTime = current_.zeroReadings[i];
                break;
            }
        }
    }
    return CalibrationResult{FormOutcome::Accepted, std::nullopt};
}

// --- 滑轮参数

WheelParaForm::WheelParaForm(SharedInfo current, MessageSink& sink)
    : current_(current.record()),
      infoLock_(current.lock()),
      sink_(sink),
      pulley_(formatFixed(current_.pulleyDiameter, 1)),
      cable_(formatFixed(current_.cableDiameter, 1)) {}

void WheelParaForm::enterPulleyDiameter(double mm) {
    pulley_ = formatFixed(mm, 1);
}
void WheelParaForm::enterCableDiameter(double mm) {
    cable_ = formatFixed(mm, 1);
}

void WheelParaForm::restoreDefaults() {
    pulley_ = formatFixed(63.0, 1);
    cable_ = formatFixed(10.0, 1);
}

void WheelParaForm::applyCorrection(double k) {
    const double pulley = parseFloatText(pulley_), cable = parseFloatText(cable_);
    pulley_ = formatFixed((pulley + cable) * (1.0 - k) - cable, 1);
}

CalibrationResult WheelParaForm::ok() {
    const double pulley = parseFloatText(pulley_), cable = parseFloatText(cable_);
    // The instrument turns wheel revolutions into depth with this diameter; a correction that
    // went wrong must not reach it.
    if (!(pulley > 0)) {
        sink_.showMessage("滑轮直径必须大于0，请重新设置！");
        return CalibrationResult{FormOutcome::Open, CalibrationField::PulleyDiameter};
    }
    if (cable < 0) {
        sink_.showMessage("电缆直径不能小于0，请重新设置！");
        return CalibrationResult{FormOutcome::Open, CalibrationField::CableDiameter};
    }
    std::lock_guard<std::mutex> g(infoLock_);  // the worker copies the record every cycle
    current_.pulleyDiameter = static_cast<float>(pulley);
    current_.cableDiameter = static_cast<float>(cable);
    return CalibrationResult{FormOutcome::Accepted, std::nullopt};
}

// --- 误差修正

InaccuracyAmendForm::InaccuracyAmendForm(const CInfo& current, SetupConsole& console, MessageSink& sink)
    : current_(current), console_(console), sink_(sink) {}

InaccuracyAmendForm::~InaccuracyAmendForm() {
    if (running_) finish();
}

bool InaccuracyAmendForm::start() {
    if (running_) return true;
    const uint32_t found = testState.load();
    const uint32_t code = stateCode(found);
    if (code != kStateIdle && code != kStateFreeSampling) {
        sink_.showMessage(std::string(kTextAmendNeedsIdle));
        return false;
    }
    foundState_ = found;
    foundPause_ = console_.workerPaused();
    testState = makeState(kStateLiveDepth);
    console_.setWorkerPaused(false);
    running_ = true;
    return true;
}

void InaccuracyAmendForm::onDepthReport(uint16_t depthCm) {
    encoder_ = formatFixed(current_.startDepth - depthCm / 100.0, 2);
}

void InaccuracyAmendForm::enterCableDepth(double metres) {
    cable_ = formatFixed(metres, 2);
}

void InaccuracyAmendForm::finish() {
    if (!running_) return;  // never started: the state is not this dialog's
    testState = foundState_;
    console_.setWorkerPaused(foundPause_);
    running_ = false;
}

std::optional<double> InaccuracyAmendForm::correct() {
    if (cable_.empty()) {
        sink_.showMessage("绳索显示深度为空，请输入！");
        return std::nullopt;
    }
    // Without a depth report the encoder depth is unknown, and the ratio would be made up.
    if (encoder_.empty()) {
        sink_.showMessage("编码器显示深度为空，请先开始修正！");
        return std::nullopt;
    }
    if (!(current_.pileLength > 0)) {
        sink_.showMessage("桩长不大于0，无法修正，请先设置桩长！");
        return std::nullopt;
    }
    const double k = (parseFloatText(cable_) - parseFloatText(encoder_)) / current_.pileLength;
    finish();
    return k;
}

void InaccuracyAmendForm::cancel() {
    finish();
}

}  // namespace lx9
