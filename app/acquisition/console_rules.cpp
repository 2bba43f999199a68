#include "acquisition/console_rules.h"

#include <algorithm>

#include "data/globals.h"
#include "data/point_metrics.h"
#include "data/run_state.h"
#include "data/sample_data_list.h"
#include "ui/number_text.h"

namespace lx9 {

int hotkeyPairOf(int button) {
    switch (button) {
        case kBtnSetup:
            return 0;
        case kBtnSample:
            return 1;
        case kBtnNewSave:
            return 2;
        case kBtnMode:
            return 3;
        case kBtnAdjust:
            return 4;
        case kBtnFix:
            return 5;
        case kBtnPageBack:
            return 6;
        case kBtnPageForward:
            return 7;
        case kBtnOpen:
            return 8;
        case kBtnAnalyse:
            return 9;
        case kBtnClose:
            return 10;
        case kBtnMovePoint:
            return 11;
        default:
            return -1;
    }
}

std::string captionWithHotkey(std::string_view caption, const Hotkey& key, bool showLetters) {
    std::string text(caption);
    if (showLetters && key.key >= 'A' && key.key <= 'Z') {
        text += '(';
        text += static_cast<char>(key.key);
        text += ')';
    }
    return text;
}

bool isRecordingCode(uint32_t code) {
    return code == kStateRecordStart || code == kStateRecordContinuous || code == kStateRecordFixed;
}

bool isEndCode(uint32_t code) {
    return code == kStateEndContinuous || code == kStateEndFixed;
}

std::string buttonCaption(int button, const CaptionInputs& in) {
    const uint32_t s = in.state;
    const uint32_t code = stateCode(s);
    const bool paused = (subState(s) & kSubStatePaused) != 0;
    std::string_view base;
    switch (button) {
        case kBtnSetup:
            base = kCapSetup;
            break;
        case kBtnSample:
            if (in.viewingFile || code == kStateViewing)
                base = kCapCloseFile;
            else if (isEndCode(code))
                base = kCapTestDone;
            else if ((code == kStateFreeSampling || isRecordingCode(code)) && !paused)
                base = kCapPause;
            else
                base = kCapSample;
            break;
        case kBtnAdjust:
            base = kCapAdjust;
            break;
        case kBtnMode:
            base = kCapMode;
            break;
        case kBtnNewSave:
            if ((code == kStateRecordContinuous || code == kStateRecordFixed) &&
                (subState(s) & kSubStateMissedHold))
                base = kCapResample;
            else if (isRecordingCode(code) || isEndCode(code))
                base = kCapTestDone;
            else
                base = kCapNewSave;
            break;
        case kBtnFix:
            base = in.displayFixed ? kCapAuto : kCapFix;
            break;
        case kBtnPageBack:
            base = kCapPageBack;
            break;
        case kBtnPageForward:
            base = kCapPageForward;
            break;
        case kBtnOpen:
            base = kCapOpen;
            break;
        case kBtnAnalyse:
            base = kCapAnalyse;
            break;
        case kBtnClose:
            base = kCapClose;
            break;
        case kBtnMovePoint:
            base = kCapMovePoint;
            break;
        case kBtnUpload:
            return std::string(kCapUpload);
        default:
            return {};
    }
    return captionWithHotkey(base, in.key, in.showLetters);
}

namespace {

// Ids of gain +, gain −, delay ←, delay → for sections 1..6.
constexpr int kSectionControlIds[kMaxSections][4] = {
    {1072, 1075, 1073, 1079}, {1084, 1074, 1085, 1086}, {1076, 1077, 1087, 1088},
    {1078, 1122, 1089, 1123}, {1080, 1081, 1090, 1091}, {1082, 1083, 1092, 1093},
};

}  // namespace

std::optional<SectionControl> sectionControl(int id) {
    for (int s = 0; s < kMaxSections; ++s)
        for (int k = 0; k < 4; ++k)
            if (kSectionControlIds[s][k] == id) return SectionControl{s, static_cast<SectionAdjust>(k)};
    return std::nullopt;
}

int sectionControlId(int section, SectionAdjust adjust) {
    if (section < 0 || section >= kMaxSections) return 0;
    return kSectionControlIds[section][static_cast<int>(adjust)];
}

namespace {

// The pickers offer 8, 80, 800 and 8000 where the console's table has 10, 100, 1000 and 10000;
// the instrument codes each pair alike, so the buttons step from them as from their table entry.
int32_t asTableGain(int32_t gain) {
    switch (gain) {
        case 8:
        case 80:
        case 800:
        case 8000:
            return gain / 8 * 10;
        default:
            return gain;
    }
}

}  // namespace

int32_t gainUp(int32_t gain) {
    const int32_t g = asTableGain(gain);
    for (size_t i = 0; i + 1 < kConsoleGains.size(); ++i)
        if (kConsoleGains[i] == g) return kConsoleGains[i + 1];
    return gain;
}

int32_t gainDown(int32_t gain) {
    const int32_t g = asTableGain(gain);
    for (size_t i = 1; i < kConsoleGains.size(); ++i)
        if (kConsoleGains[i] == g) return kConsoleGains[i - 1];
    return gain;
}

float delayLeft(float delay) {
    return delay + 10.0f;
}

float delayRight(float delay) {
    return std::max(delay - 10.0f, 0.0f);
}

namespace {

// Columns of the enabling table, in its order.
constexpr int kTableColumns[11] = {kBtnSetup,  kBtnSample,  kBtnNewSave,  kBtnMode,
                                   kBtnAdjust, kBtnFix,     kBtnPageBack, kBtnPageForward,
                                   kBtnOpen,   kBtnAnalyse, kBtnClose};

using Row = std::array<int, 11>;  // 1 on, 0 off, -1 the connected mark
constexpr Row kIdle = {-1, -1, -1, -1, -1, 0, 0, 0, 1, 0, 1};
constexpr Row kViewing = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Row kFileOpen = {0, 1, 0, 1, 0, 0, 1, 1, 0, 1, 1};
constexpr Row kFreeRunning = {0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0};
constexpr Row kFreePaused = {1, 1, 1, 1, 1, 0, 0, 0, 1, 0, 1};
constexpr Row kStartRunning = {0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0};
constexpr Row kStartPaused = {0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
constexpr Row kContinuousRunning = {0, 1, 1, 1, 0, 1, 0, 0, 0, 0, 0};
constexpr Row kContinuousPaused = {0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0};
constexpr Row kFixedRunning = {0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr Row kFixedPaused = {0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0};
constexpr Row kEndContinuous = {1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1};
constexpr Row kEndFixed = {1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1};

const Row* rowFor(uint32_t state, bool fileOpen) {
    const uint32_t code = stateCode(state);
    const uint32_t sub = subState(state);
    const bool paused = (sub & kSubStatePaused) != 0;
    switch (code) {
        case kStateIdle:
            return &kIdle;
        case kStateViewing:
            return fileOpen ? &kFileOpen : &kViewing;
        case kStateFreeSampling:
            return paused ? &kFreePaused : &kFreeRunning;
        case kStateRecordStart:
            return paused ? &kStartPaused : &kStartRunning;
        case kStateRecordContinuous:
            return paused ? &kContinuousPaused : &kContinuousRunning;
        case kStateRecordFixed:
            if (sub == 0 || sub == kSubStateMissedHold) return &kFixedRunning;
            if (sub == kSubStatePaused) return &kFixedPaused;
            return nullptr;
        case kStateEndContinuous:
            return &kEndContinuous;
        case kStateEndFixed:
            return &kEndFixed;
        default:
            return nullptr;
    }
}

}  // namespace

ButtonStates buttonEnabling(const EnablingInputs& in, const ButtonStates& previous) {
    const Row* row = rowFor(in.state, in.fileOpen);
    if (!row) return previous;
    ButtonStates b;
    for (size_t i = 0; i < std::size(kTableColumns); ++i) {
        const int v = (*row)[i];
        b.set(kTableColumns[i], v < 0 ? in.connected : v == 1);
    }
    if ((in.waveTrainStyle == 2 || in.waveTrainStyle == 3 || in.realTimeSave) && !in.viewByte) {
        b.set(kBtnPageBack, false);
        b.set(kBtnPageForward, false);
    }
    b.set(kBtnMovePoint, false);
    b.uploadShown = stateCode(in.state) == kStateIdle;
    b.set(kBtnUpload, b.uploadShown);
    return b;
}

BarIndicator batteryIndicator(int32_t level) {
    if (level > 9) return {10, kColourGreen};
    if (level <= 0) return {0, std::nullopt};
    if (level <= 2) return {level, kColourRed};
    if (level <= 6) return {level, kColourYellow};
    return {level, kColourGreen};
}

BarIndicator liftSpeedIndicator(int32_t value) {
    if (value >= 100 || value < 0) return {10, kColourRed};
    const int position = value / 10;
    if (value < 60) return {position, kColourGreen};
    if (value < 80) return {position, kColourYellow};
    return {position, kColourRed};
}

PointInfoTexts pointInfoTexts(const CInfo& info, int slot, const SamplePoint& point) {
    PointInfoTexts t;
    t.method = info.pickMethod;
    int32_t ampCode = 2048;
    if (point.ampIndex >= 0 && static_cast<size_t>(point.ampIndex) < point.samples.size())
        ampCode = point.samples[static_cast<size_t>(point.ampIndex)];
    const PointMetrics m =
        pointMetrics(info, slot + 1, point.tIndex, point.depth, point.gain, ampCode, point.delay);
    t.measured = "声时(us):" + formatFixed(m.time, 1) + "\n波幅(mv):" + formatFixed(m.amplitude, 2) +
                 "\n声速(km/s):" + formatFixed(m.velocity / 1e6, 3);
    // The distance the velocity above was computed over, so the two texts agree in every mode.
    const double distance = sectionPathLength(info, slot + 1, point.depth) + 0.01;
    t.placement = "深度(m):" + formatFixed(point.depth, 2) + "\n跨距(mm):" + formatFixed(distance, 0) +
                  "\n增益:" + formatFixed(point.gain, 0);
    return t;
}

}  // namespace lx9
