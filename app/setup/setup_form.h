// The rules of the test-setup dialog `CDlg_Set`: every field with its choices and limits, the
// derivation of the measured sections from channels and pipes, the validation on OK with its
// fixed messages, and what OK writes, stores and restarts. The Qt dialog shows `controls()`,
// opens a keypad or a chooser over a field and hands the result to the matching entry method;
// messages go through the MessageSink. Qt-free; user-interface thread only.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/cinfo.h"
#include "data/globals.h"
#include "setup/setup_console.h"
#include "ui/message_sink.h"

namespace lx9 {

class InstrumentLink;

// Choice lists and fixed texts of the dialog.
inline constexpr std::string_view kSetupCaption = "设置";
inline constexpr std::string_view kPresetTitle = "快速设置";
inline constexpr std::string_view kFilterAllPass = "全通";
inline constexpr std::string_view kFilterBandPass = "带通";
inline constexpr std::string_view kRoleReceiver = "接收";
std::vector<std::string> pipeCountChoices();  // "2", "3", "4"
std::vector<std::string> stepChoices();       // "10" .. "500"
std::vector<std::string> saveModeChoices();
std::vector<std::string> pickMethodChoices();
std::vector<std::string> standardChoices();  // "公路", "铁路", "建筑", "广东建筑"
std::vector<std::string> filterChoices();    // "全通", "带通"
std::vector<std::string> pipeChoices();      // "管1" .. "管5"
std::vector<std::string> gainChoices();      // the 13 gains of a row's chooser
std::vector<std::string> highPassChoices();  // "0.5", "10.00"
std::vector<std::string> lowPassChoices();   // "60.00", "500.00"
std::vector<std::string> presetChoices();    // "设置1", "设置2", "设置3" (preset 1..3)
// Channel-state chooser of CH1..CH4 (index 0..3): "发射" / "发射","接收" / "发射","接收" / "接收".
std::vector<std::string> channelStateChoices(int channel);

// A delay (µs) of row k (1..6) that OK would refuse, with OK's text: outside ±32767 sampling
// intervals, or negative (the parameter push sends a negative delay as 0, so it never reaches the
// instrument). Every field that takes a delay refuses the same values with the same text.
std::optional<std::string> delayRefusal(int k, double delay, double sampleInterval);

// The steps a test can use, and the gains OK accepts.
bool isStepChoice(int32_t stepMm);
bool isAcceptedGain(int32_t gain);

// A control of the dialog, named so that the dialog can put the focus on it after a refusal.
enum class SetupField {
    SiteName,
    UnitName,
    PersonName,
    PileId,
    PipeCount,
    Step,
    StartDepth,
    PileLength,
    PileDiameter,
    OffsetAngle,
    SaveMode,
    PickMethod,
    Standard,
    Filter,
    TestMode,
    TransceiveMode,
    ChannelActive,  // index: channel 0..3
    ChannelPipe,    // index: channel 0..3
    ChannelState,   // index: channel 0..3
    RowDisplay,     // index: row 0..5
    RowSpacing,
    RowGain,
    RowDelay,
    RowStartDepth,
    RowStep,
    RowHeightDiff,
    RowHighPass,
    RowLowPass,
};

struct FieldRef {
    SetupField field;
    int index = 0;
    bool operator==(const FieldRef&) const = default;
};

// One row CH1..CH4 of the channel table.
struct ChannelRow {
    bool checked = false;  // 绝对通道 CHn
    bool enabled = true;   // CH3 and CH4 are disabled in fan mode
    std::string pipe;      // 埋管: "管1".."管5" or empty
    std::string state;     // 通道状态: "发射", "接收1".."接收3"

    bool operator==(const ChannelRow&) const = default;
};

// One of the six section rows, named by its fixed pipe pair (kPairNames).
struct SectionRow {
    bool display = false;         // 显示 box checked
    bool displayEnabled = false;  // the arrangement measures this pair
    std::string spacing;          // mm
    std::string gain;
    std::string delay;       // µs, "%.1f"
    std::string highPass;    // kHz (chooser hidden; follows 滤波)
    std::string lowPass;     // kHz
    std::string startDepth;  // m
    std::string step;        // mm, read-only: follows the step field
    std::string heightDiff;  // mm

    bool operator==(const SectionRow&) const = default;
};

// The dialog's working copy: every control as the operator sees it.
struct SetupControls {
    std::string siteName, unitName, personName, pileId;
    std::string pipeCount, step, startDepth, pileLength, pileDiameter, offsetAngle;
    std::string saveMode, pickMethod, standard, filter;
    bool digitalFilter = false;
    int testMode = -1;       // kHorizontal, kInclined, kFan; -1 none chosen
    bool pairwise = false;   // 自发自收
    bool oneToMany = false;  // 一发多收
    bool pairwiseEnabled = true;
    bool realTimeMode = false;  // 实时模式
    bool bufferedMode = false;  // 缓存模式
    bool bufferedEnabled = true;
    bool startDepthEnabled = true;
    bool showTestTypeAtStart = false;  // hidden box
    std::array<ChannelRow, kChannelCount> channels{};
    std::array<SectionRow, kMaxSections> rows{};

    bool operator==(const SetupControls&) const = default;
};

// What a form's OK or Cancel did.
enum class FormOutcome { Open, Accepted, Cancelled };

struct OkResult {
    FormOutcome outcome = FormOutcome::Open;
    std::optional<FieldRef> focus;  // the field to focus after a refusal
};

// The first failing validation rule: its message and the field it concerns.
struct SetupRefusal {
    std::string message;
    FieldRef focus;
};

// How a field of the dialog takes its value.
enum class InputKind {
    Typed,     // a job text, typed
    Keypad,    // CDlg_NumInput
    Chooser,   // CDlg_Select
    ReadOnly,  // shown only
};

// One field as the dialog draws it: the dialog is generated from these, so a label, a choice list
// or an enabling rule lives here once.
struct FieldSpec {
    FieldRef ref;
    std::string label;  // caption beside the field, or the column header of a table field
    std::string title;  // the pad's title
    InputKind kind = InputKind::Typed;
    std::vector<std::string> choices;  // for a chooser
    bool allowNegative = false;        // the keypad lets a minus through
    bool visible = true;
    bool enabled = true;
    std::string text;  // what the field shows now
};

// A line of the correspondence sketch: from pipe `from` to pipe `to` (1..5), an arrow in
// one-transmitter mode, a plain line between every two active pipes otherwise.
struct SketchLink {
    int from = 0;
    int to = 0;
    bool arrow = false;
    bool operator==(const SketchLink&) const = default;
};

class SetupForm {
  public:
    // `current` is currentInfo with its lock (a running worker copies it every cycle), `saved`
    // savedInfo. `link` may be null (not connected): the firmware version is then not read.
    // Initialises the controls as the dialog opens.
    SetupForm(SharedInfo current, CInfo& saved, SetupConsole& console, MessageSink& sink,
              InstrumentLink* link = nullptr);

    const SetupControls& controls() const { return c_; }
    // The working copy itself, for the quick-set line (which writes texts directly).
    SetupControls& workingCopy() { return c_; }

    // "软件版本：%s" and "硬件版本：…".
    std::string softwareVersionText() const;
    std::string hardwareVersionText() const;

    // Row start depth, step and height difference are editable only for a checked row of an
    // inclined or fan test.
    bool rowFieldsEnabled(int row) const;

    // --- The fields as the dialog draws them: the job and pile fields in dialog order, then a
    // channel's or a row's fields (ChannelPipe, ChannelState; RowSpacing … RowLowPass).
    static std::vector<SetupField> jobFields();
    static std::vector<SetupField> channelFields();
    static std::vector<SetupField> rowFields();
    FieldSpec field(FieldRef ref) const;
    // A pad's result for a field, through the field's entry rule; false when refused (or when the
    // field takes no such value).
    bool enterNumber(FieldRef ref, double value);
    bool enterChoice(FieldRef ref, const std::string& choice);
    void enterText(FieldRef ref, std::string text);

    // --- Typed texts and plain choices (no rule beyond what OK checks).
    void setSiteName(std::string text) { c_.siteName = std::move(text); }
    void setUnitName(std::string text) { c_.unitName = std::move(text); }
    void setPersonName(std::string text) { c_.personName = std::move(text); }
    void setPileId(std::string text) { c_.pileId = std::move(text); }
    void choosePickMethod(std::string text) { c_.pickMethod = std::move(text); }
    void chooseStandard(std::string text) { c_.standard = std::move(text); }
    void chooseSaveMode(std::string text) { c_.saveMode = std::move(text); }
    void setDigitalFilter(bool on) { c_.digitalFilter = on; }
    void setDisplay(int row, bool on);
    void chooseGain(int row, std::string text);

    // --- Field entry rules, applied when the keypad or chooser returns. Each returns false (and
    // changes nothing) when it refuses the value with its message.
    bool enterStartDepth(double metres);  // writes through to currentInfo
    bool enterPileLength(double metres);  // writes through; may ask
    bool enterPileDiameter(double mm);
    bool enterOffsetAngle(double degrees);
    void chooseStep(int32_t stepMm);
    void chooseFilter(std::string_view text);
    void chooseHighPass(int row, std::string text);
    void chooseLowPass(int row, std::string text);
    void enterRowStartDepth(int row, double metres);
    bool enterDelay(int row, double microseconds);
    void enterSpacing(int row, double mm);
    void enterHeightDiff(int row, double mm);

    // --- Modes and the channel table.
    void setTestMode(int mode);  // kHorizontal, kInclined, kFan
    void setPairwise(bool pairwise);
    void chooseAcquisitionBuffered(bool buffered);
    void choosePipeCount(int pipes);
    void setChannelChecked(int channel, bool checked);
    void chooseChannelPipe(int channel, std::string pipe);
    void chooseChannelState(int channel, std::string_view state);

    // Re-derives which rows are measured from the channel table.
    void deriveSections();

    // The lines of the channel-correspondence sketch for the current channel table.
    std::vector<SketchLink> sketchLinks() const;

    // The first failing rule of OK, or nothing when the set is valid.
    std::optional<SetupRefusal> validate() const;

    // OK: validate (a refusal shows its message and keeps the dialog open), write currentInfo,
    // store the settings, copy into savedInfo, push the parameters, restart the worker during
    // free sampling. On Accepted the dialog closes the on-screen keyboard and itself.
    OkResult ok();

    // Cancel: currentInfo keeps what the start-depth and pile-length entries wrote through.
    FormOutcome cancel() { return FormOutcome::Cancelled; }

    // Applies the six-row preset n (1..3) to the delays and gains.
    bool applyPreset(int n);

  private:
    void load();
    void applyTestModeHandler();
    void relabelReceivers();
    void writeRecord();
    void restartWorkerIfSampling();
    // Pipe numbers of the checked channels, ascending, each once (pairwise sections).
    std::vector<int> checkedPipes() const;

    CInfo& current_;
    std::mutex& infoLock_;  // guards current_: held while the form changes it
    CInfo& saved_;
    SetupConsole& console_;
    MessageSink& sink_;
    SetupControls c_;
};

}  // namespace lx9
