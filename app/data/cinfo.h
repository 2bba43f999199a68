// The test record: one crosshole test's job data, pile and pipe geometry, sections, channels,
// method choices and user preferences. Copying a CInfo copies everything; nothing is shared.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace lx9 {

inline constexpr int kMaxSections = 6;
inline constexpr int kChannelCount = 4;
inline constexpr int kSectionNameCount = 10;
inline constexpr int kHotkeyCount = 17;
inline constexpr int kHistoryLines = 15;

// Texts the record compares against; other modules use these rather than retyping them.
inline constexpr std::string_view kSaveAtEnd = "最后保存";
inline constexpr std::string_view kSaveRealTime = "实时保存";
inline constexpr std::string_view kPickAmplitude = "幅值判读";
inline constexpr std::string_view kPickVariance = "方差判读";
inline constexpr std::string_view kPickAutomatic = "自动判读";
inline constexpr std::string_view kStandardHighway = "公路";
inline constexpr std::string_view kStandardRailway = "铁路";
inline constexpr std::string_view kStandardBuilding = "建筑";
inline constexpr std::string_view kStandardGuangdong = "广东建筑";
inline constexpr std::string_view kRoleTransmitter = "发射";

// The six pipe pairs in section order; also the order of pipe pairs in the instrument's frames.
inline constexpr std::array<std::string_view, kMaxSections> kPairNames = {"1-2", "1-3", "1-4",
                                                                          "2-3", "2-4", "3-4"};

struct SectionPara {
    bool display = true;
    bool present = true;
    float zeroTime = 0.0f;  // system zero T0 (calibration); reset leaves it alone
    std::string name;
    int32_t spacing = 340;  // mm
    int32_t gain = 80;
    float delay = 100.0f;             // µs
    float highPass = 0.5f;            // kHz
    float lowPass = 500.0f;           // kHz
    float sectionStartDepth = 15.0f;  // m
    int32_t sectionStep = 50;         // mm
    int32_t heightDiff = 0;           // mm

    bool operator==(const SectionPara&) const = default;
};

struct ChannelPara {
    bool enabled = true;
    std::string role;  // "发射", "接收1".."接收3"
    std::string pipe;  // "管1".."管5"

    bool operator==(const ChannelPara&) const = default;
};

struct Hotkey {
    uint16_t modifier = 0;  // low byte: 1 Shift, 2 Ctrl, 4 Alt
    uint16_t key = 0;       // virtual-key code (upper-case letter)

    bool operator==(const Hotkey&) const = default;
};

struct UploadJobFields {
    uint8_t byte0 = 0;
    uint8_t byte1 = 0;
    float value0 = 0.0f;
    float value1 = 0.0f;

    bool operator==(const UploadJobFields&) const = default;
};

enum TestMode : int32_t { kHorizontal = 0, kInclined = 1, kFan = 2 };

class CInfo {
  public:
    // Construction: strings empty, numbers zero, plus the few start values the record carries
    // before any reset (version text, factory hotkeys, hotkey letters shown, buffered mode).
    CInfo();
    virtual ~CInfo() = default;
    CInfo(const CInfo&) = default;
    CInfo& operator=(const CInfo&) = default;
    bool operator==(const CInfo&) const = default;

    // Assigns every default of the record; testDate becomes today's local date.
    void resetToDefaults();

    // Section names from pipeCount and sectionCount: the first sectionCount pairs p-q in
    // lexicographic order, the rest of the ten entries empty.
    void rebuildSectionNames();

    std::array<SectionPara, kMaxSections> appliedSections{};
    std::array<SectionPara, kMaxSections> sections{};
    std::array<ChannelPara, kChannelCount> channels{};
    std::array<int32_t, 10> sectionSlot{};
    std::string chtPath;
    std::string chdPath;
    std::string auxPath;
    std::string siteName;
    std::string testDate;
    std::string unitName;
    std::string personName;
    std::string pileId;
    int32_t pipeCount = 0;
    int32_t sectionCount = 0;
    float startDepth = 0.0f;
    int32_t stepMm = 0;
    float pileLength = 0.0f;
    int32_t pileDiameter = 0;
    int32_t offsetAngle = 0;
    std::string saveMode;
    std::string pickMethod;
    std::string standard;
    int32_t testMode = kHorizontal;
    bool pairwiseMode = false;
    bool digitalFilter = false;
    std::string versionText;
    int32_t firmwareVersion = 0;
    float sampleInterval = 0.0f;
    int32_t sampleLength = 0;
    int32_t pulseWidth = 0;
    bool continuousFiring = false;
    uint8_t highVoltage = 0;
    float pulleyDiameter = 0.0f;
    float cableDiameter = 0.0f;
    std::array<float, kMaxSections> zeroReadings{};
    int32_t pipeOuterDiameter = 0;
    int32_t pipeInnerDiameter = 0;
    float pipeVelocity = 0.0f;
    int32_t probeDiameter = 0;
    float waterVelocity = 0.0f;
    float pipeCorrection = 0.0f;
    std::array<int32_t, 5> colours{};
    int32_t varianceStart = 0;
    float mainFrequency = 0.0f;
    float varianceThreshold = 0.0f;
    bool variancePolarity = false;
    float amplitudeThreshold = 0.0f;
    std::array<std::string, kSectionNameCount> sectionNames{};
    int32_t waveTrainStyle = 0;
    int32_t viewOption = 0;
    int32_t zoomInterval = 0;
    int32_t grayLevels = 0;
    int32_t grayColour = 0;
    std::array<Hotkey, kHotkeyCount> hotkeys{};
    std::array<Hotkey, kHotkeyCount> defaultHotkeys{};
    uint8_t showHotkeyLetters = 0;
    std::array<std::string, kHistoryLines> commandHistory{};
    int32_t historyCount = 0;
    int32_t consoleState = 0;
    bool consoleFlagA = false;
    bool consoleFlagB = false;
    std::string uploadFile;
    UploadJobFields uploadFields{};
    int32_t cacheMode = 0;
    std::string extraText;
};

// The program-variant word: set to 0 at start-up and never changed, so every reset and every
// settings load clears showHotkeyLetters.
inline constexpr int32_t kProgramVariant = 0;

// The local date as the record stores it: "%d-%d-%d" (year, month, day, no leading zeros).
std::string todayText();

// Factory hotkeys: S C X M T G Q H D F B Y Q A B C S, no modifiers.
std::array<Hotkey, kHotkeyCount> factoryHotkeys();

// Enumeration codes used where a text field travels as a number. Text to code compares the
// whole text; code to text is the inverse with the fallbacks of each field.
int pickMethodCode(std::string_view text);
std::string pickMethodText(int code);
int standardCode(std::string_view text);
std::string standardText(int code);
int roleCode(std::string_view text);
std::string roleText(int code);
int pipeCode(std::string_view text);
std::string pipeText(int code);
// Section-name code from the first three characters: 0 "1-2" .. 5 "3-4", 0 for anything else.
int sectionNameCode(std::string_view name);
std::string sectionNameText(int code);

// Number of sections acquired per level for n checked channels (pairwise: every pair of
// enabled channels; otherwise one transmitter to all others).
int sectionCountForChannels(int checkedChannels, bool pairwise);

// Number of depth levels the test is expected to hold (maxPointCount), from the save mode,
// test mode, start depth and step. Never negative and never beyond 65 535.
int32_t expectedLevelCount(const CInfo& info);

// Levels from the start depth to the top whatever the save mode: a real-time test keeps only a
// window of them in memory, but a progress display wants the whole count.
int32_t wholeTestLevelCount(const CInfo& info);

}  // namespace lx9
