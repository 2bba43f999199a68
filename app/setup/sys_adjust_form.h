// The calibration constants of a crosshole test, as three small dialogs opened from the setup:
// `CDlg_SysAdjust` (system zero times of the six sections and the pipe-and-water correction),
// `CDlg_Wheelpara` (depth-wheel geometry) and `CDlg_InaccuracyAmend` (corrects the wheel
// diameter from one measured run). Each form holds its dialog's texts; results go straight into
// currentInfo on OK. Qt-free; user-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/cinfo.h"
#include "data/globals.h"
#include "setup/setup_form.h"
#include "ui/message_sink.h"

namespace lx9 {

// Captions and keypad titles.
inline constexpr std::string_view kSysAdjustCaption = "系统校零与修正";
inline constexpr std::string_view kWheelCaption = "滑轮参数";
inline constexpr std::string_view kAmendCaption = "误差修正";
inline constexpr std::string_view kTitleOuterDiameter = "声测管外径";
inline constexpr std::string_view kTitleInnerDiameter = "声测管内径";
inline constexpr std::string_view kTitlePipeVelocity = "声测管材料速度";
inline constexpr std::string_view kTitleProbeDiameter = "探头外径";
inline constexpr std::string_view kTitleWaterVelocity = "水的声速";
inline constexpr std::string_view kTitlePulleyDiameter = "滑轮直径";
inline constexpr std::string_view kTitleCableDiameter = "电缆直径";
inline constexpr std::string_view kTitleCableDepth = "电缆深度";

// Pipe-and-water correction time t' in µs: the water path between probe and pipe wall plus the
// two pipe walls (mm divided by km/s). Nothing when a velocity is 0.
std::optional<double> pipeCorrectionTime(double outerMm, double innerMm, double pipeVelocity, double probeMm,
                                         double waterVelocity);

// The fields of the calibration dialogs, to focus after a refusal.
enum class CalibrationField {
    OuterDiameter,
    InnerDiameter,
    PipeVelocity,
    ProbeDiameter,
    WaterVelocity,
    PulleyDiameter,
    CableDiameter,
    CableDepth,
    EncoderDepth,
};

struct CalibrationResult {
    FormOutcome outcome = FormOutcome::Open;
    std::optional<CalibrationField> focus;
};

struct SysAdjustControls {
    std::array<std::string, kMaxSections> zero;  // 面1-2 … 面3-4, µs "%.1f"
    std::string outerDiameter;                   // 声测管外径(mm)
    std::string innerDiameter;                   // 声测管内径(mm)
    std::string pipeVelocity;                    // 声测管材料速度(km/s) "%.3f"
    std::string probeDiameter;                   // 探头外径(mm)
    std::string waterVelocity;                   // 水的声速(km/s) "%.3f"
    std::string correction;  // 修正时间(us), read-only "%.1f" ("--" while a velocity is 0)
};

class SysAdjustForm {
  public:
    SysAdjustForm(SharedInfo current, MessageSink& sink);

    const SysAdjustControls& controls() const { return c_; }

    // Keypad titles: "面1-2的延时" … "面3-4的延时".
    static std::string zeroTitle(int section);

    void enterZero(int section, double microseconds);
    void enterOuterDiameter(double mm);
    void enterInnerDiameter(double mm);
    void enterPipeVelocity(double kmPerS);
    void enterProbeDiameter(double mm);
    void enterWaterVelocity(double kmPerS);

    // OK: the first failing check shows its message and keeps the dialog open; otherwise the six
    // zero times, the five inputs and t' go into currentInfo and each section record takes the
    // zero time of its pipe pair.
    CalibrationResult ok();
    FormOutcome cancel() { return FormOutcome::Cancelled; }

  private:
    void recompute();

    CInfo& current_;
    std::mutex& infoLock_;  // guards current_: held while OK changes it
    MessageSink& sink_;
    SysAdjustControls c_;
};

class WheelParaForm {
  public:
    WheelParaForm(SharedInfo current, MessageSink& sink);

    const std::string& pulleyDiameter() const { return pulley_; }  // 滑轮直径(mm) "%.1f"
    const std::string& cableDiameter() const { return cable_; }    // 电缆直径(mm) "%.1f"

    void enterPulleyDiameter(double mm);
    void enterCableDiameter(double mm);
    void restoreDefaults();  // 恢复默认值: 63.0 and 10.0

    // The error correction closed with OK and ratio k: the cable's centre line on the pulley is
    // the effective wheel, so the pulley becomes (pulley + cable) × (1 − k) − cable. Shown only;
    // nothing is stored before OK.
    void applyCorrection(double k);

    CalibrationResult ok();
    FormOutcome cancel() { return FormOutcome::Cancelled; }

  private:
    CInfo& current_;
    std::mutex& infoLock_;  // guards current_: held while OK changes it
    MessageSink& sink_;
    std::string pulley_;
    std::string cable_;
};

// Refused 开始修正: a test is being recorded, or has ended and is not saved yet.
inline constexpr std::string_view kTextAmendNeedsIdle = "实验进行中，请先保存或结束实验，再开始修正！";

// The field procedure: start sets the live-depth state so that the worker reports its depth
// reading every cycle; the console forwards each report here; 修正 turns the two depths into the
// ratio k for the wheel dialog. Closing the form without 修正 or 取消 counts as 取消.
class InaccuracyAmendForm {
  public:
    // `console` steers the worker (its pause flag); `current` is only read, on this thread.
    InaccuracyAmendForm(const CInfo& current, SetupConsole& console, MessageSink& sink);
    ~InaccuracyAmendForm();
    InaccuracyAmendForm(const InaccuracyAmendForm&) = delete;
    InaccuracyAmendForm& operator=(const InaccuracyAmendForm&) = delete;

    const std::string& encoderDepth() const { return encoder_; }  // read-only, "%.2f"
    const std::string& cableDepth() const { return cable_; }      // keypad "电缆深度", "%.2f"

    // 开始修正: only from idle or free sampling, whose state (and pause) the end of the run puts
    // back; a test being recorded or finished but not saved is never ended by it (false, with a
    // message).
    bool start();
    void onDepthReport(uint16_t depthCm);  // the worker's live depth, forwarded by the console
    void enterCableDepth(double metres);

    // 修正: the ratio k, closing the dialog; nothing (dialog stays) after a refusal.
    std::optional<double> correct();
    // 取消.
    void cancel();

  private:
    void finish();

    const CInfo& current_;
    SetupConsole& console_;
    MessageSink& sink_;
    std::string encoder_;
    std::string cable_;
    bool running_ = false;
    uint32_t foundState_ = 0;
    bool foundPause_ = true;
};

}  // namespace lx9
