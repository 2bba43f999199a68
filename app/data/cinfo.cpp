#include "data/cinfo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace lx9 {
namespace {

constexpr std::array<std::string_view, 4> kRoles = {"发射", "接收1", "接收2", "接收3"};
constexpr std::array<std::string_view, 5> kPipes = {"管1", "管2", "管3", "管4", "管5"};

template <size_t N>
int codeOf(const std::array<std::string_view, N>& texts, std::string_view text, int firstCode) {
    for (size_t i = 0; i < N; ++i) {
        if (texts[i] == text) return firstCode + static_cast<int>(i);
    }
    return 0;
}

template <size_t N>
std::string textOf(const std::array<std::string_view, N>& texts, int code, int firstCode,
                   std::string_view fallback) {
    if (code >= firstCode && code < firstCode + static_cast<int>(N))
        return std::string(texts[code - firstCode]);
    return std::string(fallback);
}

}  // namespace

CInfo::CInfo() {
    versionText = "1.1.41122";
    defaultHotkeys = factoryHotkeys();
    showHotkeyLetters = 1;
    cacheMode = 1;
}

std::array<Hotkey, kHotkeyCount> factoryHotkeys() {
    constexpr char kKeys[kHotkeyCount + 1] = "SCXMTGQHDFBYQABCS";
    std::array<Hotkey, kHotkeyCount> keys{};
    for (int i = 0; i < kHotkeyCount; ++i)
        keys[i] = Hotkey{0, static_cast<uint16_t>(kKeys[i])};
    return keys;
}

std::string todayText() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%d-%d-%d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return text;
}

void CInfo::resetToDefaults() {
    testDate = todayText();
    for (int i = 0; i < 10; ++i)
        sectionSlot[i] = i;
    for (int k = 0; k < kMaxSections; ++k) {
        for (auto* list : {&sections, &appliedSections}) {
            SectionPara& s = (*list)[k];
            float keptZero = s.zeroTime;
            s = SectionPara{};
            s.zeroTime = keptZero;
            s.name = std::string(kPairNames[k]);
        }
    }
    for (int c = 0; c < kChannelCount; ++c) {
        channels[c] = ChannelPara{true, std::string(kRoles[c]), std::string(kPipes[c])};
    }
    chtPath.clear();
    chdPath.clear();
    auxPath.clear();
    siteName = "示例所";
    unitName = "示例所";
    personName = "示例所";
    pileId = "1#";
    pipeCount = 4;
    sectionCount = 6;
    startDepth = 20.0f;
    stepMm = 50;
    pileLength = 20.0f;
    pileDiameter = 20;
    offsetAngle = 0;
    saveMode = std::string(kSaveAtEnd);
    pickMethod = std::string(kPickAutomatic);
    standard = std::string(kStandardHighway);
    testMode = kHorizontal;
    pairwiseMode = true;
    digitalFilter = true;
    firmwareVersion = 0;
    sampleInterval = 1.0f;
    sampleLength = 512;
    pulseWidth = 5;
    continuousFiring = true;
    highVoltage = 0;
    pulleyDiameter = 63.0f;
    cableDiameter = 10.0f;
    zeroReadings.fill(0.0f);
    pipeOuterDiameter = 20;
    pipeInnerDiameter = 5;
    pipeVelocity = 5.12f;
    probeDiameter = 5;
    waterVelocity = 1.5f;
    pipeCorrection = 0.0f;
    colours = {0xFFFFFF, 0xFFFFFF, 0, 0, 0};
    varianceStart = 0;
    mainFrequency = 35000.0f;
    varianceThreshold = 3.0f;
    variancePolarity = true;
    amplitudeThreshold = 0.0f;
    waveTrainStyle = 1;
    viewOption = 0;
    zoomInterval = 10;
    grayLevels = 1;
    grayColour = 1;
    hotkeys = defaultHotkeys;
    showHotkeyLetters = 1;
    commandHistory.fill(std::string());
    historyCount = 0;
    consoleState = 0;
    consoleFlagA = false;
    consoleFlagB = true;
    uploadFile.clear();
    uploadFields = UploadJobFields{};
    cacheMode = 1;
    extraText.clear();
    rebuildSectionNames();
    if (kProgramVariant == 0 || kProgramVariant == 1) showHotkeyLetters = 0;
}

void CInfo::rebuildSectionNames() {
    int kept = 0;
    // At most ten pairs exist (five pipes); a larger pipe count from a damaged file stops there.
    for (int p = 1; p < pipeCount && kept < kSectionNameCount; ++p) {
        for (int q = p + 1; q <= pipeCount && kept < kSectionNameCount; ++q) {
            if (kept >= sectionCount) break;
            char text[24];
            std::snprintf(text, sizeof text, "%d-%d", p, q);
            sectionNames[kept++] = text;
        }
    }
    for (int i = std::max(kept, 0); i < kSectionNameCount; ++i)
        sectionNames[i].clear();
}

int pickMethodCode(std::string_view text) {
    return codeOf(std::array<std::string_view, 2>{kPickAmplitude, kPickVariance}, text, 1);
}
std::string pickMethodText(int code) {
    return textOf(std::array<std::string_view, 2>{kPickAmplitude, kPickVariance}, code, 1, kPickAutomatic);
}

int standardCode(std::string_view text) {
    return codeOf(std::array<std::string_view, 3>{kStandardRailway, kStandardBuilding, kStandardGuangdong},
                  text, 1);
}
std::string standardText(int code) {
    return textOf(std::array<std::string_view, 3>{kStandardRailway, kStandardBuilding, kStandardGuangdong},
                  code, 1, kStandardHighway);
}

int roleCode(std::string_view text) {
    return codeOf(kRoles, text, 1);
}
std::string roleText(int code) {
    return textOf(kRoles, code, 1, "");
}
int pipeCode(std::string_view text) {
    return codeOf(kPipes, text, 1);
}
std::string pipeText(int code) {
    return textOf(kPipes, code, 1, "");
}

int sectionNameCode(std::string_view name) {
    return codeOf(kPairNames, name.substr(0, 3), 0);
}
std::string sectionNameText(int code) {
    return textOf(kPairNames, code, 0, "");
}

int sectionCountForChannels(int checkedChannels, bool pairwise) {
    switch (checkedChannels) {
        case 2:
            return 1;
        case 3:
            return pairwise ? 3 : 2;
        case 4:
            return pairwise ? 6 : 3;
        default:
            return 0;
    }
}

int32_t expectedLevelCount(const CInfo& info) {
    if (info.saveMode == kSaveRealTime) return 50;
    // A step of zero or less would divide by zero; such a test holds a single level.
    if (info.stepMm <= 0) return 1;
    double top = info.testMode == kHorizontal
                     ? info.startDepth + 0.001
                     : info.sections[0].sectionStartDepth - info.sections[0].heightDiff / 1000.0 + 0.001;
    double levels = std::trunc(top * 1000 / info.stepMm + 1);
    if (!(levels > 0)) return 0;
    return levels > 65535 ? 65535 : static_cast<int32_t>(levels);
}

int32_t wholeTestLevelCount(const CInfo& info) {
    CInfo atEnd = info;
    atEnd.saveMode = std::string(kSaveAtEnd);
    return expectedLevelCount(atEnd);
}

}  // namespace lx9
