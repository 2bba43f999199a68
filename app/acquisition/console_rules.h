// The acquisition console's fixed rules as plain functions: its controls and their ids, the gain
// and delay steps of the section controls, which buttons each test state enables, the captions
// with their hotkey letters, the battery and lift-speed bars, and the point information texts.
// Qt-free; any thread may call them (they only read their arguments).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/cinfo.h"
#include "data/run_state.h"

namespace lx9 {

struct SamplePoint;

// Buttons of the console window.
enum ConsoleButton : int {
    kBtnSetup = 1002,
    kBtnSample = 1003,
    kBtnAdjust = 1004,
    kBtnMode = 1005,
    kBtnNewSave = 1006,
    kBtnFix = 1007,
    kBtnPageBack = 1008,
    kBtnPageForward = 1009,
    kBtnOpen = 1010,
    kBtnAnalyse = 1011,
    kBtnClose = 1012,
    kBtnMovePoint = 1013,
    kBtnUpload = 1014,
};
inline constexpr int kFirstButton = kBtnSetup;
inline constexpr int kButtonCount = kBtnUpload - kBtnSetup + 1;

// Button captions without their hotkey letter.
inline constexpr std::string_view kCapSetup = "设置";
inline constexpr std::string_view kCapSample = "采样";
inline constexpr std::string_view kCapPause = "暂停";
inline constexpr std::string_view kCapCloseFile = "关闭文件";
inline constexpr std::string_view kCapAdjust = "调整";
inline constexpr std::string_view kCapMode = "模式";
inline constexpr std::string_view kCapNewSave = "新存";
inline constexpr std::string_view kCapFix = "固定";
inline constexpr std::string_view kCapAuto = "自动";
inline constexpr std::string_view kCapPageBack = "前翻";
inline constexpr std::string_view kCapPageForward = "后翻";
inline constexpr std::string_view kCapOpen = "打开";
inline constexpr std::string_view kCapAnalyse = "分析";
inline constexpr std::string_view kCapClose = "关闭";
inline constexpr std::string_view kCapMovePoint = "移测点";
inline constexpr std::string_view kCapUpload = " 上传(&U)";
inline constexpr std::string_view kCapTestDone = "测试完成";
inline constexpr std::string_view kCapResample = "重采";

// Texts of the console.
inline constexpr std::string_view kTextCommandFailed = "发送操作命令失败";
inline constexpr std::string_view kTextRecoverQuestion = "主机中有未保存的数据，是否要恢复实验？";
inline constexpr std::string_view kTextQuitRecovery = "是否要退出恢复实验？";
inline constexpr std::string_view kTextRecoveryUnreadable =
    "无法读取主机中未保存的实验数据，本次不恢复实验。";
inline constexpr std::string_view kTextCommNotice = "通讯出错，请检测网络！";
inline constexpr std::string_view kCaptionHint = "提示";
inline constexpr std::string_view kLabelLiftSpeed = "提升速度";
inline constexpr std::string_view kLabelBattery = "电量";
inline constexpr std::string_view kDataFileFilter = "CHT(*.CHT)|*.CHT||";
inline constexpr std::string_view kDataFileFolder = "Hard Disk";

// The hotkey pair of each console button (pairs 0..11 of the hotkey table); -1 for the upload
// button, whose caption carries its own accelerator.
int hotkeyPairOf(int button);

// "设置" or, when the letters are shown and the key is A..Z, "设置(S)".
std::string captionWithHotkey(std::string_view caption, const Hotkey& key, bool showLetters);

// A recording is under way: from the wait for the start level to the last level.
bool isRecordingCode(uint32_t code);
// The probes reached the end of a recording.
bool isEndCode(uint32_t code);

struct CaptionInputs {
    uint32_t state = 0;         // testState
    bool viewingFile = false;   // a file is open for viewing
    bool displayFixed = false;  // the fix button holds the display
    Hotkey key{};               // the button's hotkey
    bool showLetters = false;   // hotkey letters are shown on the buttons
};

// The caption of a console button in a state (with its hotkey letter when shown); empty for an
// id that is no button.
std::string buttonCaption(int button, const CaptionInputs& in);

// --- Section adjustment controls (six sections, ids from the console's dialog resource).
enum class SectionAdjust { GainUp, GainDown, DelayLeft, DelayRight };
struct SectionControl {
    int section = 0;  // 0..5: slot of `sections`
    SectionAdjust adjust = SectionAdjust::GainUp;
    bool operator==(const SectionControl&) const = default;
};
std::optional<SectionControl> sectionControl(int id);
int sectionControlId(int section, SectionAdjust adjust);

// The console's gain table and its steps: a gain equal to an entry moves to the next (previous)
// one; the last (first) entry and gains not in the table stay.
inline constexpr std::array<int32_t, 13> kConsoleGains = {1,   2,   4,    10,   20,   40,   100,
                                                          200, 400, 1000, 2000, 4000, 10000};
int32_t gainUp(int32_t gain);
int32_t gainDown(int32_t gain);

// Delay ← adds 10.0 µs; delay → takes 10.0 µs off, never below 0.
float delayLeft(float delay);
float delayRight(float delay);

// --- Which buttons are enabled.
struct ButtonStates {
    std::array<bool, kButtonCount> enabled{};  // index: button id − 1002
    bool uploadShown = false;

    bool at(int button) const { return enabled[static_cast<size_t>(button - kFirstButton)]; }
    void set(int button, bool on) { enabled[static_cast<size_t>(button - kFirstButton)] = on; }
    bool operator==(const ButtonStates&) const = default;
};

struct EnablingInputs {
    uint32_t state = 0;          // testState
    bool connected = false;      // the connection dialog's result at start-up
    int32_t waveTrainStyle = 1;  // 2 and 3 disable the page buttons
    bool realTimeSave = false;   // so does the real-time save mode
    bool viewByte = false;       // ... unless the console's view byte is set
    bool fileOpen = false;       // a file is open for viewing (not just being opened)
};

// The table of enabled buttons for a state. A state the table does not list (0xF500, unknown
// codes, 0xFC00 with a sub-state other than 0, 1 and 4) leaves `previous` as it was. While a file
// is being opened (0xF400) every button is off; once it is open, the buttons that work on a viewed
// file are on: close it (1003), the display mode, paging, analysis and close.
ButtonStates buttonEnabling(const EnablingInputs& in, const ButtonStates& previous);

// --- Indicators. Colours are 0x00BBGGRR values.
inline constexpr uint32_t kColourRed = 0x0000FF;
inline constexpr uint32_t kColourYellow = 0x00FFFF;
inline constexpr uint32_t kColourGreen = 0x00FF00;

struct BarIndicator {
    int position = 0;                // 0..10
    std::optional<uint32_t> colour;  // none: the system highlight colour
    bool operator==(const BarIndicator&) const = default;
};

// Battery bar from the instrument's level: above 9 full green; 0 empty in the highlight colour;
// 1-2 red, 3-6 yellow, 7-9 green; the position is the level.
BarIndicator batteryIndicator(int32_t level);

// Lift-speed bar from the lift speed in hundredths of full scale: position value / 10; green
// below 60, yellow from 60, red from 80; 100 or more, or negative, red at full scale.
BarIndicator liftSpeedIndicator(int32_t value);

// --- Point information (the two texts beside the waveform view).
struct PointInfoTexts {
    std::string method;     // the picking method
    std::string measured;   // "声时(us):%.1f\n波幅(mv):%.2f\n声速(km/s):%.3f"
    std::string placement;  // "深度(m):%.2f\n跨距(mm):%.0f\n增益:%.0f"
};
// For the point of section slot `slot` (caller holds the point's list lock).
PointInfoTexts pointInfoTexts(const CInfo& info, int slot, const SamplePoint& point);

}  // namespace lx9
