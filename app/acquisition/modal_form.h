// The rules of `CDlg_Modal` (模式): which views the console shows (waveform, wave train, which
// sections), the wave-train form and its grey-scale settings, and the acquisition mode. The
// grey-scale settings are stored at once; the rest on OK. Qt-free; user-interface thread only.
#pragma once

#include <array>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "data/cinfo.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "setup/setup_console.h"
#include "ui/message_sink.h"

namespace lx9 {

inline constexpr std::string_view kModalCaption = "模式";
inline constexpr std::string_view kStyleDashDot = "点划线";
inline constexpr std::string_view kStyleMiniature = "微缩波形";
inline constexpr std::string_view kStyleGrey = "灰度";
inline constexpr std::string_view kStyleVelocityAmplitude = "声速声幅";
inline constexpr std::string_view kTitleZoomInterval = "区间放大";
inline constexpr std::string_view kTitleGreyLevels = "灰度等级";
inline constexpr std::string_view kTitleGreyColour = "灰度颜色";
inline constexpr std::string_view kGreyWhite = "最大正幅值白色";
inline constexpr std::string_view kGreyBlack = "最大正幅值黑色";
inline constexpr std::string_view kModeOne = "模式一(无缓存,平板主控)";
inline constexpr std::string_view kModeTwo = "模式二(有缓存,主机主控)";
inline constexpr std::string_view kHintNoGreyWhileSampling = "提示：在采样状态下，不能选择灰度！";
inline constexpr std::string_view kHintGreyLockedWhileSampling =
    "提示：在采样状态下，当前波列显示方式为灰度时不能更改参数！";
inline constexpr std::string_view kTextNeedWaveOrTrain = "请在波形波列中至少选择一个";
inline constexpr std::string_view kTextNeedSection = "请至少选择一个通道";

// The console's choice of views (not part of the stored record).
struct DisplaySettings {
    bool showWaveform = true;
    bool showWaveTrain = true;
    bool operator==(const DisplaySettings&) const = default;
};

struct ModalControls {
    bool showWaveform = true;
    bool showWaveTrain = true;
    int32_t style = 1;              // waveTrainStyle 0..3
    bool greyEnabled = true;        // the 灰度 radio button
    bool greyGroupEnabled = false;  // zoom, levels, colour
    bool okEnabled = true;
    std::string hint;
    std::array<bool, kMaxSections> sectionShown{};    // boxes 1-2 … 3-4
    std::array<bool, kMaxSections> sectionEnabled{};  // the section exists in the test or file
    std::string zoomInterval, greyLevels, greyColour;
    int32_t cacheMode = 1;
    // The acquisition mode can change only between tests: idle, or free sampling paused. A test
    // being recorded keeps the mode it started in; the display may change at any time.
    bool cacheModeEnabled = true;
    bool operator==(const ModalControls&) const = default;
};

class ModalForm {
  public:
    enum class Outcome { Open, Accepted, Cancelled };

    // `state` is the console's testState; `viewingFile` tells that a saved file is open.
    // `displayChanged` posts WM_USER+108 to the console. The record is changed under its lock.
    ModalForm(SharedInfo current, DisplaySettings& display, uint32_t state, bool viewingFile,
              SetupConsole& console, MessageSink& sink, std::function<void()> displayChanged);

    const ModalControls& controls() const { return c_; }
    Outcome outcome() const { return outcome_; }

    static std::vector<std::string> oneToTen();           // "1" … "10"
    static std::vector<std::string> greyColourChoices();  // white, black

    void setShowWaveform(bool on) { c_.showWaveform = on; }
    void setShowWaveTrain(bool on) { c_.showWaveTrain = on; }
    // A radio button 0..3; false when the button is disabled.
    bool chooseStyle(int32_t style);
    // Box r (pair kPairNames[r]); false when disabled.
    bool setSectionShown(int box, bool on);
    void chooseCacheMode(int32_t mode) {
        if (c_.cacheModeEnabled) c_.cacheMode = mode == 1 ? 1 : 0;
    }

    // Stored at once, then WM_USER+108.
    bool chooseZoomInterval(const std::string& choice);
    bool chooseGreyLevels(const std::string& choice);
    bool chooseGreyColour(const std::string& choice);

    Outcome ok();
    Outcome cancel();

  private:
    template <class F>
    void edit(F&& change);
    int slotOfBox(int box) const;

    CInfo& current_;
    DisplaySettings& display_;
    SetupConsole& console_;
    MessageSink& sink_;
    std::function<void()> displayChanged_;
    std::mutex& infoLock_;       // guards current_: held while the form changes it
    bool samplingLock_ = false;  // a test is being acquired: grey scale cannot be chosen
    ModalControls c_;
    Outcome outcome_ = Outcome::Open;
};

}  // namespace lx9
