#include "setup/setup_form.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "data/globals.h"
#include "data/run_state.h"
#include "data/text_codec.h"
#include "instrument/instrument_link.h"
#include "link/truncate.h"
#include "ui/number_text.h"

namespace lx9 {
namespace {

constexpr std::array<int32_t, 7> kSteps = {10, 50, 100, 150, 200, 250, 500};
constexpr std::array<int32_t, 13> kGainChooser = {1, 2, 4, 8, 20, 40, 80, 200, 400, 800, 2000, 4000, 8000};
constexpr std::array<int32_t, 17> kAcceptedGains = {1,   2,   4,   8,    10,   20,   40,   80,   100,
                                                    200, 400, 800, 1000, 2000, 4000, 8000, 10000};
constexpr std::array<std::string_view, 4> kDefaultStates = {"发射", "接收1", "接收2", "接收3"};
constexpr std::array<std::string_view, 3> kReceiverLabels = {"接收1", "接收2", "接收3"};

// Presets of the 快速设置 chooser and the Q variable: delays, then gains of rows 1..6.
constexpr std::array<std::array<std::string_view, 6>, 3> kPresetDelays = {{
    {"0", "0", "0", "0", "0", "0"},
    {"80", "80", "80", "80", "80", "80"},
    {"80", "200", "80", "80", "200", "80"},
}};
constexpr std::array<std::array<std::string_view, 6>, 3> kPresetGains = {{
    {"80", "80", "80", "80", "80", "80"},
    {"200", "200", "200", "200", "200", "200"},
    {"200", "400", "200", "200", "400", "200"},
}};

// The instrument's job-text fields hold 50 bytes with a terminating zero.
constexpr size_t kJobTextBytes = 49;

std::string format(const char* pattern, int a) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, a);
    return text;
}

std::string format(const char* pattern, int a, int b) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

std::string format(const char* pattern, int a, int b, int c) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The slant distance OK stores for inclined and fan tests.
int32_t slantSpacing(int32_t spacing, int32_t heightDiff) {
    const double s = spacing, h = heightDiff;
    return kaxil::truncate32(std::sqrt(s * s + h * h));
}

// The entered spacing that gives a stored slant distance back: the smallest s >= 0 whose slant
// with h is `slant`. Without one (slant below |h|) the stored value is shown as it is.
int32_t horizontalSpacing(int32_t slant, int32_t heightDiff) {
    if (heightDiff == 0 || slant <= 0) return slant;
    const double guess = std::sqrt(std::max(0.0, double(slant) * slant - double(heightDiff) * heightDiff));
    const int32_t from = std::max<int32_t>(0, kaxil::truncate32(guess) - 2);
    for (int32_t s = from; s <= from + 4; ++s) {
        if (slantSpacing(s, heightDiff) == slant) return s;
    }
    return slant;
}

bool inRange(double value, double low, double high) {
    return value > low && value <= high;
}

int rowOfName(std::string_view name) {
    for (int r = 0; r < kMaxSections; ++r) {
        if (kPairNames[r] == name) return r;
    }
    return -1;
}

// UTF-16 order, as the dialog compares its texts.
int compareTexts(std::string_view a, std::string_view b) {
    const std::u16string ua = utf8ToUtf16(a), ub = utf8ToUtf16(b);
    return ua.compare(ub);
}

std::vector<std::string> texts(std::initializer_list<std::string_view> list) {
    return std::vector<std::string>(list.begin(), list.end());
}

}  // namespace

std::vector<std::string> pipeCountChoices() {
    return texts({"2", "3", "4"});
}
std::vector<std::string> stepChoices() {
    return texts({"10", "50", "100", "150", "200", "250", "500"});
}
std::vector<std::string> saveModeChoices() {
    return texts({kSaveAtEnd, kSaveRealTime});
}
std::vector<std::string> pickMethodChoices() {
    return texts({kPickAmplitude, kPickVariance, kPickAutomatic});
}
std::vector<std::string> standardChoices() {
    return texts({kStandardHighway, kStandardRailway, kStandardBuilding, kStandardGuangdong});
}
std::vector<std::string> filterChoices() {
    return texts({kFilterAllPass, kFilterBandPass});
}
std::vector<std::string> pipeChoices() {
    return texts({"管1", "管2", "管3", "管4", "管5"});
}
std::vector<std::string> gainChoices() {
    std::vector<std::string> list;
    for (int32_t g : kGainChooser)
        list.push_back(formatInt(g));
    return list;
}
std::vector<std::string> highPassChoices() {
    return texts({"0.5", "10.00"});
}
std::vector<std::string> lowPassChoices() {
    return texts({"60.00", "500.00"});
}
std::vector<std::string> presetChoices() {
    return texts({"设置1", "设置2", "设置3"});
}
std::vector<std::string> channelStateChoices(int channel) {
    switch (channel) {
        case 0:
            return texts({kRoleTransmitter});
        case 1:
        case 2:
            return texts({kRoleTransmitter, kRoleReceiver});
        case 3:
            return texts({kRoleReceiver});
        default:
            return {};
    }
}

std::optional<std::string> delayRefusal(int k, double delay, double sampleInterval) {
    const double delaySamples = delay / sampleInterval;
    if (!(delaySamples >= -32767.0 && delaySamples <= 32767.0))
        return format("剖面 %d 的 延时 超出范围，请重新输入！", k);
    if (delay < 0) return format("修改失败,剖面 %d 的延时不能为负！", k);
    return std::nullopt;
}

bool isStepChoice(int32_t stepMm) {
    return std::find(kSteps.begin(), kSteps.end(), stepMm) != kSteps.end();
}
bool isAcceptedGain(int32_t gain) {
    return std::find(kAcceptedGains.begin(), kAcceptedGains.end(), gain) != kAcceptedGains.end();
}

SetupForm::SetupForm(SharedInfo current, CInfo& saved, SetupConsole& console, MessageSink& sink,
                     InstrumentLink* link)
    : current_(current.record()), infoLock_(current.lock()), saved_(saved), console_(console), sink_(sink) {
    // The firmware version is read once; a failed read (0) is not kept, so the next opening
    // tries again.
    if (current_.firmwareVersion == 0 && link != nullptr) {
        const uint8_t version = link->GetFirmwareVersion();
        if (version != 0) {
            std::lock_guard<std::mutex> g(infoLock_);  // the worker copies the record every cycle
            current_.firmwareVersion = version;
        }
    }
    load();
}

void SetupForm::load() {
    const CInfo& info = current_;
    c_.siteName = info.siteName;
    c_.unitName = info.unitName;
    c_.personName = info.personName;
    c_.pileId = info.pileId;
    c_.pipeCount = formatInt(info.pipeCount);
    c_.startDepth = formatFixed(info.startDepth, 2);
    c_.pileLength = formatFixed(info.pileLength, 2);
    c_.step = formatInt(info.stepMm);
    c_.pileDiameter = formatInt(info.pileDiameter);
    c_.offsetAngle = formatInt(info.offsetAngle);
    c_.saveMode = info.saveMode;
    c_.pickMethod = info.pickMethod;
    c_.standard = info.standard;
    c_.digitalFilter = info.digitalFilter;
    c_.filter = std::string(info.sections[0].highPass >= 1.0f ? kFilterBandPass : kFilterAllPass);

    // OK stores the measured sections first, so a record's slot is not its row: each row takes
    // the record of its own pipe pair (the slot's record only when no record carries the name).
    std::array<bool, kMaxSections> storedDisplay{};
    for (int r = 0; r < kMaxSections; ++r) {
        int slot = r;
        for (int k = 0; k < kMaxSections; ++k) {
            if (info.sections[k].name == kPairNames[r]) {
                slot = k;
                break;
            }
        }
        const SectionPara& s = info.sections[slot];
        SectionRow& row = c_.rows[r];
        // Inclined and fan tests store the slant distance; the row shows the spacing that was
        // entered, so that OK without a change stores the same slant again.
        const int32_t spacing =
            info.testMode == kHorizontal ? s.spacing : horizontalSpacing(s.spacing, s.heightDiff);
        row.spacing = formatInt(spacing);
        row.gain = formatInt(s.gain);
        row.delay = formatFixed(s.delay, 1);
        row.highPass = formatFixed(s.highPass, 2);
        row.lowPass = formatFixed(s.lowPass, 2);
        row.startDepth = formatFixed(s.sectionStartDepth, 2);
        row.step = formatInt(s.sectionStep);
        row.heightDiff = formatInt(s.heightDiff);
        storedDisplay[r] = s.display;
    }

    for (int ch = 0; ch < kChannelCount; ++ch) {
        c_.channels[ch] =
            ChannelRow{info.channels[ch].enabled, true, info.channels[ch].pipe, info.channels[ch].role};
    }
    c_.pairwise = info.pairwiseMode;
    c_.oneToMany = !info.pairwiseMode;
    c_.testMode = (info.testMode >= kHorizontal && info.testMode <= kFan) ? info.testMode : -1;
    applyTestModeHandler();

    c_.bufferedMode = info.cacheMode == 1;
    c_.realTimeMode = !c_.bufferedMode;
    c_.bufferedEnabled = true;
    if (info.stepMm == 10 || info.firmwareVersion == 4) {
        c_.bufferedEnabled = false;
        c_.bufferedMode = false;
        c_.realTimeMode = true;
    }

    // The arrangement decides which rows can be shown; a row keeps the display choice stored
    // with its record.
    deriveSections();
    for (int r = 0; r < kMaxSections; ++r)
        c_.rows[r].display = c_.rows[r].display && storedDisplay[r];

    c_.showTestTypeAtStart = console_.showTestTypeAtStart();
}

std::string SetupForm::softwareVersionText() const {
    return "软件版本：" + current_.versionText;
}

std::string SetupForm::hardwareVersionText() const {
    const int version = current_.firmwareVersion & 0xFF;
    if (version == 0) return "硬件版本：获取失败";
    if (version & 0x80) return format("硬件版本：2.%d", version & 0x7F);
    return format("硬件版本：1.%d", version);
}

bool SetupForm::rowFieldsEnabled(int row) const {
    if (row < 0 || row >= kMaxSections) return false;
    return c_.rows[row].display && c_.testMode != kHorizontal && c_.testMode != -1;
}

void SetupForm::setDisplay(int row, bool on) {
    if (row < 0 || row >= kMaxSections || !c_.rows[row].displayEnabled) return;
    c_.rows[row].display = on;
}

void SetupForm::chooseGain(int row, std::string text) {
    if (row < 0 || row >= kMaxSections) return;
    c_.rows[row].gain = std::move(text);
}

bool SetupForm::enterStartDepth(double metres) {
    if (!inRange(metres, 0.0, 200.0)) {
        sink_.showMessage("输入无效，始测深度超出范围(0-200)！");
        return false;
    }
    const std::string text = formatFixed(metres, 2);
    const float value = static_cast<float>(parseFloatText(text));
    c_.startDepth = text;
    std::lock_guard<std::mutex> g(infoLock_);  // the worker copies the record every cycle
    current_.startDepth = value;
    if (metres > parseFloatText(c_.pileLength)) {
        c_.pileLength = text;
        current_.pileLength = value;
    }
    return true;
}

bool SetupForm::enterPileLength(double metres) {
    if (!inRange(metres, 0.0, 200.0)) {
        sink_.showMessage("输入无效，桩长超出范围(0-200)！");
        return false;
    }
    const std::string text = formatFixed(metres, 2);
    const float value = static_cast<float>(parseFloatText(text));
    const bool both = metres <= parseFloatText(c_.startDepth) ||
                      sink_.askYesNo("输入桩长大于始测深度，是否将 始测深度 设为与 桩长 相等？");
    c_.pileLength = text;
    std::lock_guard<std::mutex> g(infoLock_);  // the worker copies the record every cycle
    current_.pileLength = value;
    if (both) {
        c_.startDepth = text;
        current_.startDepth = value;
    }
    return true;
}

bool SetupForm::enterPileDiameter(double mm) {
    c_.pileDiameter = formatFixed(mm, 0);
    return true;
}

bool SetupForm::enterOffsetAngle(double degrees) {
    const int32_t angle = kaxil::truncate32(degrees);
    if (angle < -360 || angle > 360) {
        sink_.showMessage("输入无效，偏移角超出范围(-360-360)！");
        return false;
    }
    c_.offsetAngle = formatInt(angle);
    return true;
}

void SetupForm::chooseStep(int32_t stepMm) {
    c_.step = formatInt(stepMm);
    for (auto& row : c_.rows)
        row.step = c_.step;
    if (stepMm == 10) {
        c_.bufferedEnabled = false;
        if (c_.bufferedMode) {
            c_.bufferedMode = false;
            c_.realTimeMode = true;
        }
    } else {
        // An instrument of firmware 4 keeps no cache whatever the step.
        c_.bufferedEnabled = current_.firmwareVersion != 4;
    }
}

void SetupForm::chooseFilter(std::string_view text) {
    c_.filter = std::string(text);
    const bool band = text == kFilterBandPass;
    for (auto& row : c_.rows) {
        row.highPass = band ? "10.00" : "0.5";
        row.lowPass = band ? "60" : "500";
    }
}

void SetupForm::chooseHighPass(int row, std::string text) {
    if (row < 0 || row >= kMaxSections) return;
    for (auto& r : c_.rows)
        r.highPass = text;
}

void SetupForm::chooseLowPass(int row, std::string text) {
    if (row < 0 || row >= kMaxSections) return;
    for (auto& r : c_.rows)
        r.lowPass = text;
}

void SetupForm::enterRowStartDepth(int row, double metres) {
    if (row < 0 || row >= kMaxSections) return;
    const std::string text = formatFixed(metres, 2);
    for (auto& r : c_.rows)
        r.startDepth = text;
}

bool SetupForm::enterDelay(int row, double microseconds) {
    if (row < 0 || row >= kMaxSections) return false;
    if (auto text = delayRefusal(row + 1, microseconds, current_.sampleInterval)) {
        sink_.showMessage(*text);
        return false;
    }
    c_.rows[row].delay = formatFixed(microseconds, 1);
    return true;
}

void SetupForm::enterSpacing(int row, double mm) {
    if (row < 0 || row >= kMaxSections) return;
    c_.rows[row].spacing = formatInt(kaxil::truncate32(mm));
}

void SetupForm::enterHeightDiff(int row, double mm) {
    if (row < 0 || row >= kMaxSections) return;
    c_.rows[row].heightDiff = formatInt(kaxil::truncate32(mm));
}

void SetupForm::applyTestModeHandler() {
    switch (c_.testMode) {
        case kHorizontal:
            c_.pairwiseEnabled = true;
            c_.channels[2].enabled = c_.channels[3].enabled = true;
            c_.startDepthEnabled = true;
            for (auto& row : c_.rows)
                row.heightDiff.assign(1, '0');
            break;
        case kInclined:
            c_.pairwiseEnabled = false;
            c_.pairwise = false;
            c_.oneToMany = true;
            c_.channels[2].enabled = c_.channels[3].enabled = true;
            c_.startDepthEnabled = false;
            break;
        case kFan:
            c_.pairwiseEnabled = false;
            c_.pairwise = false;
            c_.oneToMany = true;
            c_.channels[0].checked = c_.channels[1].checked = true;
            c_.channels[0].state.assign(kRoleTransmitter.data(), kRoleTransmitter.size());
            c_.channels[0].pipe = "管1";
            c_.channels[1].state = "接收1";
            c_.channels[1].pipe = "管2";
            for (int ch : {2, 3}) {
                c_.channels[ch].checked = false;
                c_.channels[ch].enabled = false;
            }
            c_.startDepthEnabled = false;
            break;
        default:
            break;
    }
}

void SetupForm::setTestMode(int mode) {
    if (mode < kHorizontal || mode > kFan) return;
    c_.testMode = mode;
    applyTestModeHandler();
    deriveSections();
}

void SetupForm::setPairwise(bool pairwise) {
    if (pairwise && !c_.pairwiseEnabled) return;
    c_.pairwise = pairwise;
    c_.oneToMany = !pairwise;
    deriveSections();
}

void SetupForm::chooseAcquisitionBuffered(bool buffered) {
    if (buffered && !c_.bufferedEnabled) return;
    c_.bufferedMode = buffered;
    c_.realTimeMode = !buffered;
}

void SetupForm::choosePipeCount(int pipes) {
    c_.pipeCount = formatInt(pipes);
    const int limit = c_.testMode == kFan ? 2 : kChannelCount;
    const int active = std::clamp(pipes, 0, limit);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        c_.channels[ch].checked = ch < active;
        if (ch < active) c_.channels[ch].pipe = "管" + formatInt(ch + 1);
        c_.channels[ch].state = std::string(kDefaultStates[ch]);
    }
    deriveSections();
}

void SetupForm::setChannelChecked(int channel, bool checked) {
    if (channel < 0 || channel >= kChannelCount || !c_.channels[channel].enabled) return;
    c_.channels[channel].checked = checked;
    relabelReceivers();
    deriveSections();
}

void SetupForm::chooseChannelPipe(int channel, std::string pipe) {
    if (channel < 0 || channel >= kChannelCount) return;
    c_.channels[channel].pipe = std::move(pipe);
    deriveSections();
}

void SetupForm::chooseChannelState(int channel, std::string_view state) {
    if (channel < 0 || channel >= kChannelCount) return;
    if (state == kRoleTransmitter) {
        // The transmitter is always the lowest active channel: the ones below it are cleared,
        // and a transmitter above it becomes a receiver.
        for (int ch = 0; ch < channel; ++ch)
            c_.channels[ch].checked = false;
        for (int ch = channel + 1; ch < kChannelCount; ++ch) {
            if (c_.channels[ch].state == kRoleTransmitter) c_.channels[ch].state = std::string(kRoleReceiver);
        }
        c_.channels[channel].state = std::string(kRoleTransmitter);
    } else {
        c_.channels[channel].state = std::string(kRoleReceiver);
    }
    relabelReceivers();
    deriveSections();
}

void SetupForm::relabelReceivers() {
    int transmitter = -1;
    for (int ch = 0; ch < kChannelCount - 1; ++ch) {
        if (c_.channels[ch].checked && c_.channels[ch].state == kRoleTransmitter) {
            transmitter = ch;
            break;
        }
    }
    if (transmitter < 0) return;
    size_t next = 0;
    for (int ch = transmitter + 1; ch < kChannelCount && next < kReceiverLabels.size(); ++ch) {
        if (c_.channels[ch].checked) c_.channels[ch].state = std::string(kReceiverLabels[next++]);
    }
}

std::vector<int> SetupForm::checkedPipes() const {
    std::vector<int> pipes;
    for (const auto& ch : c_.channels) {
        const int p = ch.checked ? pipeCode(ch.pipe) : 0;
        if (p > 0) pipes.push_back(p);
    }
    std::sort(pipes.begin(), pipes.end());
    pipes.erase(std::unique(pipes.begin(), pipes.end()), pipes.end());
    return pipes;
}

void SetupForm::deriveSections() {
    for (auto& row : c_.rows)
        row.display = row.displayEnabled = false;
    auto mark = [this](int a, int b) {
        const int r = rowOfName(std::to_string(a) + "-" + std::to_string(b));
        if (r >= 0) c_.rows[r].display = c_.rows[r].displayEnabled = true;
    };
    if (c_.pairwise) {
        const std::vector<int> pipes = checkedPipes();
        for (size_t i = 0; i < pipes.size(); ++i) {
            for (size_t j = i + 1; j < pipes.size(); ++j)
                mark(pipes[i], pipes[j]);
        }
        return;
    }
    int transmitter = -1;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (c_.channels[ch].checked && c_.channels[ch].state == kRoleTransmitter) {
            transmitter = ch;
            break;
        }
    }
    if (transmitter < 0) return;
    const int t = pipeCode(c_.channels[transmitter].pipe);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (ch == transmitter || !c_.channels[ch].checked) continue;
        const int r = pipeCode(c_.channels[ch].pipe);
        if (t > 0 && r > 0) mark(t, r);
    }
}

std::vector<SketchLink> SetupForm::sketchLinks() const {
    std::vector<SketchLink> links;
    if (c_.pairwise) {
        const std::vector<int> pipes = checkedPipes();
        for (size_t i = 0; i < pipes.size(); ++i) {
            for (size_t j = i + 1; j < pipes.size(); ++j)
                links.push_back({pipes[i], pipes[j], false});
        }
        return links;
    }
    int t = 0;
    for (const auto& ch : c_.channels) {
        if (ch.checked && ch.state == kRoleTransmitter) {
            t = pipeCode(ch.pipe);
            break;
        }
    }
    if (t == 0) return links;
    for (const auto& ch : c_.channels) {
        const int r = ch.checked && ch.state != kRoleTransmitter ? pipeCode(ch.pipe) : 0;
        if (r > 0 && r != t) links.push_back({t, r, true});
    }
    return links;
}

bool SetupForm::applyPreset(int n) {
    if (n < 1 || n > 3) return false;
    for (int r = 0; r < kMaxSections; ++r) {
        c_.rows[r].delay = std::string(kPresetDelays[n - 1][r]);
        c_.rows[r].gain = std::string(kPresetGains[n - 1][r]);
    }
    return true;
}

namespace {

using F = SetupField;
using Refusal = std::optional<SetupRefusal>;

Refusal refuse(std::string message, SetupField field, int index = 0) {
    return Refusal(SetupRefusal{std::move(message), FieldRef{field, index}});
}

// The job texts: present, and short enough for the instrument.
Refusal jobTextRefusal(const SetupControls& c) {
    if (c.siteName.empty()) return refuse("请输入工地名称！", F::SiteName);
    if (c.unitName.empty()) return refuse("请输入检测单位名称！", F::UnitName);
    if (c.personName.empty()) return refuse("请输入检测人员名称！", F::PersonName);
    if (c.pileId.empty()) return refuse("请输入桩号！", F::PileId);
    // The instrument keeps each job text in a 50-byte field; a longer one would arrive cut.
    if (utf8ToGbk(c.siteName).size() > kJobTextBytes)
        return refuse("工程名称过长(最多49个字节，约24个汉字)，请重新输入！", F::SiteName);
    if (utf8ToGbk(c.unitName).size() > kJobTextBytes)
        return refuse("检测单位名称过长(最多49个字节，约24个汉字)，请重新输入！", F::UnitName);
    if (utf8ToGbk(c.personName).size() > kJobTextBytes)
        return refuse("检测人员名称过长(最多49个字节，约24个汉字)，请重新输入！", F::PersonName);
    if (utf8ToGbk(c.pileId).size() > kJobTextBytes)
        return refuse("桩号过长(最多49个字节，约24个汉字)，请重新输入！", F::PileId);
    return std::nullopt;
}

// The pile: pipes, length, diameter and offset angle.
Refusal pileRefusal(const SetupControls& c) {
    const int32_t pipes = parseIntText(c.pipeCount);
    if (pipes < 2 || pipes > 5) return refuse("管数超出范围，请重新输入！", F::PipeCount);
    if (!inRange(parseFloatText(c.pileLength), 0.0, 200.0))
        return refuse("桩长超出范围(0-200)，请重新输入！", F::PileLength);
    const int32_t diameter = parseIntText(c.pileDiameter);
    if (diameter <= 0 || diameter > 9999)
        return refuse("桩径超出范围(0-9999)，请重新输入！", F::PileDiameter);
    const int32_t angle = parseIntText(c.offsetAngle);
    if (angle < -360 || angle > 360) return refuse("偏移角超出范围(-360-360)，请重新输入！", F::OffsetAngle);
    return std::nullopt;
}

// Modes and channels: a test and transceive mode, two active channels, and what they are for.
Refusal channelRefusal(const SetupControls& c) {
    if (c.testMode < kHorizontal || c.testMode > kFan) return refuse("请选择一种测试方式！", F::TestMode);
    if (!c.pairwise && !c.oneToMany) return refuse("请选择一种收发方式！", F::TransceiveMode);
    int active = 0;
    for (const auto& ch : c.channels)
        active += ch.checked ? 1 : 0;
    if (active < 2) return refuse("请选择至少2个通道进行测试！", F::ChannelActive);

    // Roles in one-to-many; otherwise what is shown and how it is kept.
    if (c.oneToMany) {
        bool transmitter = false, receiver = false;
        for (const auto& ch : c.channels) {
            if (!ch.checked) continue;
            transmitter = transmitter || ch.state == kRoleTransmitter;
            receiver = receiver || startsWith(ch.state, kRoleReceiver);
        }
        if (!transmitter) return refuse("在一发多收模式下，请选择一个发射管！", F::ChannelState);
        if (!receiver) return refuse("在一发多收模式下，请至少选择一个接收管！", F::ChannelState);
    } else {
        bool shown = false;
        for (const auto& row : c.rows)
            shown = shown || row.display;
        if (!shown) return refuse("请选择至少1个剖面显示数据！", F::RowDisplay);
        if (c.saveMode.empty()) return refuse("请选择一种保存方式！", F::SaveMode);
        if (c.pickMethod.empty()) return refuse("请选择一种波形判读算法！", F::PickMethod);
        if (c.standard.empty()) return refuse("请选择一种测试标准！", F::Standard);
    }
    return std::nullopt;
}

// One pipe per channel.
Refusal duplicatePipeRefusal(const SetupControls& c) {
    for (int i = 0; i < kChannelCount; ++i) {
        for (int j = i + 1; j < kChannelCount; ++j) {
            const auto &a = c.channels[i], &b = c.channels[j];
            if (a.checked && b.checked && !a.pipe.empty() && a.pipe == b.pipe)
                return refuse("所选埋管重复，请更改选择！", F::ChannelPipe, j);
        }
    }
    return std::nullopt;
}

// The start depth and the step.
Refusal startAndStepRefusal(const SetupControls& c) {
    if (c.testMode == kHorizontal && !inRange(parseFloatText(c.startDepth), 0.0, 200.0))
        return refuse("平测模式始测深度超出范围(0-200)，请重新输入！", F::StartDepth);
    // Every mode levels the probes by this step; outside the chooser's set it cannot be used.
    if (!isStepChoice(parseIntText(c.step)))
        return refuse("移距输入错误，只能是10、50、100、150、200、250、500中的一个，请重新输入！", F::Step);
    return std::nullopt;
}

// One-to-many: one transmitter, the lowest active channel.
Refusal transmitterRefusal(const SetupControls& c) {
    if (c.oneToMany) {
        const auto& ch = c.channels;
        if (ch[0].checked) {
            if (ch[0].state != kRoleTransmitter)
                return refuse(
                    "发射的通道号不能小于接收的通道号，CH1只能作为发射通道使用，不能作为接收通道使用！请重新"
                    "选择！",
                    F::ChannelState, 0);
        } else if (ch[1].checked) {
            if (ch[1].state != kRoleTransmitter)
                return refuse("发射的通道号不能小于接收的通道号，此种设置下，CH2只能为发射！请重新选择！",
                              F::ChannelState, 1);
        } else if (ch[2].checked) {
            if (ch[2].state != kRoleTransmitter)
                return refuse("发射的通道号不能小于接收通道号，此种情况下，CH3只能为发射！请重新选择！",
                              F::ChannelState, 2);
        } else if (ch[3].checked && ch[3].state == kRoleTransmitter) {
            return refuse("CH4不能作为发射通道！", F::ChannelState, 3);
        }
    }
    return std::nullopt;
}

// Pipes rise with the channel number.
Refusal pipeOrderRefusal(const SetupControls& c) {
    for (int i = 0; i < kChannelCount; ++i) {
        for (int j = i + 1; j < kChannelCount; ++j) {
            const auto &a = c.channels[i], &b = c.channels[j];
            if (a.checked && b.checked && compareTexts(a.pipe, b.pipe) > 0)
                return refuse(
                    format("埋管规则：通道小的埋管号不能大于通道大的埋管号！CH%d的埋管号不能比CH%d的"
                           "埋管号大，请重新选择！",
                           i + 1, j + 1),
                    F::ChannelPipe, i);
        }
    }
    return std::nullopt;
}

// The shown rows: spacing, gain, delay, and in the slanted modes start, step and height.
Refusal rowRefusal(const SetupControls& c, double interval) {
    for (int r = 0; r < kMaxSections; ++r) {
        const SectionRow& row = c.rows[r];
        const int k = r + 1;
        const int32_t spacing = parseIntText(row.spacing);
        // A measured row that is only hidden is still recorded, and its velocities divide by
        // this spacing.
        if (!row.display && !row.displayEnabled) continue;
        if (spacing < 1 || spacing > 9999)
            return refuse(format("剖面 %d 的 跨距 超出范围(0-9999)，请重新输入！ ", k), F::RowSpacing, r);
        if (!row.display) continue;
        if (!isAcceptedGain(parseIntText(row.gain)))
            return refuse(format("剖面 %d 的 增益 不是1到10000之间的固定数值，请重新输入！", k), F::RowGain,
                          r);
        if (auto text = delayRefusal(k, parseFloatText(row.delay), interval))
            return refuse(std::move(*text), F::RowDelay, r);

        if (c.testMode == kHorizontal) continue;
        const char* mode = c.testMode == kFan ? "扇形测模式" : "斜测模式";
        const double start = parseFloatText(row.startDepth);
        const int32_t rowStep = parseIntText(row.step);
        const int32_t height = parseIntText(row.heightDiff);
        if (!inRange(start, 0.0, 200.0))
            return refuse(std::string(mode) + format("剖面 %d 的 始测深度 超出范围(0-200)，请重新输入！", k),
                          F::RowStartDepth, r);
        if (!isStepChoice(rowStep))
            return refuse(
                std::string(mode) + format("剖面 %d 的 移距 不是10到500之间的固定数值，请重新输入！", k),
                F::RowStep, r);
        if (c.testMode == kFan) {
            // Beyond this the start height leaves the instrument's 16-bit fields.
            if (height < -9999 || height > 9999)
                return refuse(format("扇形测模式剖面 %d 的 高度差 超出范围(-9999-9999)，请重新输入！", k),
                              F::RowHeightDiff, r);
        } else {
            if (height < -spacing || height > spacing)
                return refuse(format("斜测模式剖面 %d 的 高度差 超出允许范围(-%d，%d)，请重新输入！", k,
                                     spacing, spacing),
                              F::RowHeightDiff, r);
            if (r + 1 < kMaxSections && c.rows[r + 1].display && parseIntText(c.rows[r + 1].step) != rowStep)
                return refuse(format("斜测模式剖面 %d 和 %d 的 移距 不同，请重新输入！", k, k + 1),
                              F::RowStep, r + 1);
        }
        // The first level lies at the start depth less the height difference; at or above the
        // pile head the test would hold no level.
        if (start - height / 1000.0 <= 0.0)
            return refuse(
                std::string(mode) + format("剖面 %d 的 始测深度 减去 高度差 后不大于0，请重新输入！", k),
                F::RowHeightDiff, r);
    }
    return std::nullopt;
}

}  // namespace

std::optional<SetupRefusal> SetupForm::validate() const {
    // The first refusal wins, in this order: it is the one the dialog shows.
    for (auto check : {jobTextRefusal, pileRefusal, channelRefusal, duplicatePipeRefusal, startAndStepRefusal,
                       transmitterRefusal, pipeOrderRefusal}) {
        if (Refusal r = check(c_)) return r;
    }
    return rowRefusal(c_, current_.sampleInterval);
}

void SetupForm::writeRecord() {
    CInfo& info = current_;
    int active = 0;
    for (const auto& ch : c_.channels)
        active += ch.checked ? 1 : 0;
    info.sectionCount = sectionCountForChannels(active, c_.pairwise);

    info.siteName = c_.siteName;
    info.unitName = c_.unitName;
    info.personName = c_.personName;
    info.pileId = c_.pileId;
    info.pipeCount = parseIntText(c_.pipeCount);
    info.startDepth = static_cast<float>(parseFloatText(c_.startDepth));
    info.stepMm = parseIntText(c_.step);
    info.pileLength = static_cast<float>(parseFloatText(c_.pileLength));
    info.pileDiameter = parseIntText(c_.pileDiameter);
    info.offsetAngle = parseIntText(c_.offsetAngle);

    info.saveMode = c_.saveMode;
    info.pickMethod = c_.pickMethod;
    info.standard = c_.standard;
    if (info.saveMode == kSaveRealTime && (info.waveTrainStyle == 2 || info.waveTrainStyle == 3))
        info.waveTrainStyle = 1;
    info.testMode = c_.testMode;
    info.digitalFilter = c_.digitalFilter;

    // Measured rows first, in row order, then the others; each record keeps the zero time of its
    // own pipe pair.
    const std::array<SectionPara, kMaxSections> before = info.sections;
    int slot = 0;
    for (bool measured : {true, false}) {
        for (int r = 0; r < kMaxSections; ++r) {
            const SectionRow& row = c_.rows[r];
            if (row.displayEnabled != measured) continue;
            SectionPara s;
            s.zeroTime = before[slot].zeroTime;
            for (const auto& old : before) {
                if (old.name == kPairNames[r]) {
                    s.zeroTime = old.zeroTime;
                    break;
                }
            }
            s.display = measured && row.display;
            s.present = measured;
            s.name = std::string(kPairNames[r]);
            s.heightDiff = parseIntText(row.heightDiff);
            const int32_t spacing = parseIntText(row.spacing);
            s.spacing = c_.testMode == kHorizontal ? spacing : slantSpacing(spacing, s.heightDiff);
            s.gain = parseIntText(row.gain);
            s.delay = static_cast<float>(parseFloatText(row.delay));
            s.highPass = static_cast<float>(parseFloatText(row.highPass));
            s.lowPass = static_cast<float>(parseFloatText(row.lowPass));
            s.sectionStartDepth = static_cast<float>(parseFloatText(row.startDepth));
            s.sectionStep = parseIntText(row.step);
            info.sections[slot++] = s;
        }
    }
    const bool band = c_.filter == kFilterBandPass;
    for (auto& s : info.sections) {
        s.highPass = band ? 10.0f : 0.5f;
        s.lowPass = band ? 60.0f : 500.0f;
    }

    info.pairwiseMode = c_.pairwise;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        info.channels[ch].enabled = c_.channels[ch].checked;
        info.channels[ch].role = c_.channels[ch].state;
        info.channels[ch].pipe = c_.channels[ch].pipe;
    }

    if (c_.bufferedMode) {
        info.cacheMode = 1;
        info.sampleLength = 512;
    } else {
        if (info.cacheMode == 1) console_.acquisitionModeChanged();
        info.cacheMode = 0;
    }
    // Section names follow the new pipe count, as after loading the settings.
    info.rebuildSectionNames();
}

void SetupForm::restartWorkerIfSampling() {
    if (stateCode(testState.load()) != kStateFreeSampling) return;
    // The worker is stopped before its lists are replaced, so it never writes into a freed list.
    console_.setListsReady(false);
    console_.stopWorker();
    console_.rebuildPointLists();
    console_.startWorker();
    console_.setListsReady(true);
}

OkResult SetupForm::ok() {
    if (auto refusal = validate()) {
        sink_.showMessage(refusal->message);
        return OkResult{FormOutcome::Open, refusal->focus};
    }
    {
        // A running worker copies the record at the top of every cycle.
        std::lock_guard<std::mutex> g(infoLock_);
        writeRecord();
    }
    const StoreResult stored = console_.storeSettings(current_);
    if (!stored.ok) sink_.showMessage(stored.message);
    saved_ = current_;
    console_.pushParameters();
    restartWorkerIfSampling();
    saved_ = current_;
    console_.setShowTestTypeAtStart(c_.showTestTypeAtStart);
    return OkResult{FormOutcome::Accepted, std::nullopt};
}

std::vector<SetupField> SetupForm::jobFields() {
    using F = SetupField;
    return {F::SiteName, F::UnitName,   F::PersonName, F::PileId,       F::PipeCount,
            F::Step,     F::StartDepth, F::PileLength, F::PileDiameter, F::OffsetAngle,
            F::SaveMode, F::PickMethod, F::Standard,   F::Filter};
}

std::vector<SetupField> SetupForm::channelFields() {
    return {SetupField::ChannelPipe, SetupField::ChannelState};
}

std::vector<SetupField> SetupForm::rowFields() {
    using F = SetupField;
    return {F::RowSpacing, F::RowGain,       F::RowDelay,    F::RowStartDepth,
            F::RowStep,    F::RowHeightDiff, F::RowHighPass, F::RowLowPass};
}

FieldSpec SetupForm::field(FieldRef ref) const {
    using F = SetupField;
    FieldSpec f;
    f.ref = ref;
    auto set = [&f](std::string label, InputKind kind, std::string text) {
        f.label = std::move(label);
        f.kind = kind;
        f.text = std::move(text);
    };
    const int i = ref.index;
    const bool channelOk = i >= 0 && i < kChannelCount;
    const bool rowOk = i >= 0 && i < kMaxSections;
    switch (ref.field) {
        case F::SiteName:
            set("工程名称", InputKind::Typed, c_.siteName);
            break;
        case F::UnitName:
            set("检测单位", InputKind::Typed, c_.unitName);
            break;
        case F::PersonName:
            set("检测人员", InputKind::Typed, c_.personName);
            break;
        case F::PileId:
            set("桩号", InputKind::Typed, c_.pileId);
            break;
        case F::PipeCount:
            set("管数", InputKind::Chooser, c_.pipeCount);
            f.choices = pipeCountChoices();
            break;
        case F::Step:
            set("移距(mm)", InputKind::Chooser, c_.step);
            f.choices = stepChoices();
            break;
        case F::StartDepth:
            set("始测深度(m)", InputKind::Keypad, c_.startDepth);
            f.enabled = c_.startDepthEnabled;
            break;
        case F::PileLength:
            set("桩长(m)", InputKind::Keypad, c_.pileLength);
            break;
        case F::PileDiameter:
            set("桩径(mm)", InputKind::Keypad, c_.pileDiameter);
            break;
        case F::OffsetAngle:
            set("偏移角", InputKind::Keypad, c_.offsetAngle);
            f.allowNegative = true;
            break;
        case F::SaveMode:
            set("保存方式", InputKind::Chooser, c_.saveMode);
            f.choices = saveModeChoices();
            f.enabled = false;  // the test's save mode is not changed here
            break;
        case F::PickMethod:
            set("判读算法", InputKind::Chooser, c_.pickMethod);
            f.choices = pickMethodChoices();
            break;
        case F::Standard:
            set("规范", InputKind::Chooser, c_.standard);
            f.choices = standardChoices();
            break;
        case F::Filter:
            set("滤波", InputKind::Chooser, c_.filter);
            f.choices = filterChoices();
            break;
        case F::ChannelPipe:
            if (!channelOk) break;
            set("埋管", InputKind::Chooser, c_.channels[i].pipe);
            f.choices = pipeChoices();
            f.enabled = c_.channels[i].enabled;
            f.title = "CH" + formatInt(i + 1) + "的埋管";
            break;
        case F::ChannelState:
            if (!channelOk) break;
            set("通道状态", InputKind::Chooser, c_.channels[i].state);
            f.choices = channelStateChoices(i);
            f.enabled = c_.channels[i].enabled;
            f.title = "CH" + formatInt(i + 1) + "的通道状态";
            break;
        case F::RowSpacing:
            if (!rowOk) break;
            set("跨距(mm)", InputKind::Keypad, c_.rows[i].spacing);
            f.enabled = c_.rows[i].displayEnabled;
            break;
        case F::RowGain:
            if (!rowOk) break;
            set("增益", InputKind::Chooser, c_.rows[i].gain);
            f.choices = gainChoices();
            f.enabled = c_.rows[i].displayEnabled;
            break;
        case F::RowDelay:
            if (!rowOk) break;
            set("延时(us)", InputKind::Keypad, c_.rows[i].delay);
            // The minus goes through so that the refusal names the row.
            f.allowNegative = true;
            f.enabled = c_.rows[i].displayEnabled;
            break;
        case F::RowStartDepth:
            if (!rowOk) break;
            set("始测深度(m)", InputKind::Keypad, c_.rows[i].startDepth);
            f.enabled = rowFieldsEnabled(i);
            break;
        case F::RowStep:
            if (!rowOk) break;
            set("移距(mm)", InputKind::ReadOnly, c_.rows[i].step);
            f.enabled = rowFieldsEnabled(i);
            break;
        case F::RowHeightDiff:
            if (!rowOk) break;
            set("高度差(mm)", InputKind::Keypad, c_.rows[i].heightDiff);
            f.allowNegative = true;
            f.enabled = rowFieldsEnabled(i);
            break;
        case F::RowHighPass:
        case F::RowLowPass:
            if (!rowOk) break;
            set(ref.field == F::RowHighPass ? "高通(kHz)" : "低通(kHz)", InputKind::Chooser,
                ref.field == F::RowHighPass ? c_.rows[i].highPass : c_.rows[i].lowPass);
            f.choices = ref.field == F::RowHighPass ? highPassChoices() : lowPassChoices();
            f.visible = false;  // they follow 滤波
            break;
        default:
            // Check boxes and radio buttons are not pad fields.
            f.kind = InputKind::ReadOnly;
            f.visible = false;
            break;
    }
    if (f.title.empty()) {
        const bool rowField = ref.field >= F::RowDisplay;
        f.title = rowField && rowOk ? "剖面" + std::string(kPairNames[i]) + "的" + f.label : f.label;
    }
    return f;
}

bool SetupForm::enterNumber(FieldRef ref, double value) {
    using F = SetupField;
    const int i = ref.index;
    switch (ref.field) {
        case F::StartDepth:
            return enterStartDepth(value);
        case F::PileLength:
            return enterPileLength(value);
        case F::PileDiameter:
            return enterPileDiameter(value);
        case F::OffsetAngle:
            return enterOffsetAngle(value);
        case F::RowSpacing:
            enterSpacing(i, value);
            return true;
        case F::RowDelay:
            return enterDelay(i, value);
        case F::RowStartDepth:
            enterRowStartDepth(i, value);
            return true;
        case F::RowHeightDiff:
            enterHeightDiff(i, value);
            return true;
        default:
            return false;
    }
}

bool SetupForm::enterChoice(FieldRef ref, const std::string& choice) {
    using F = SetupField;
    const int i = ref.index;
    switch (ref.field) {
        case F::PipeCount:
            choosePipeCount(parseIntText(choice));
            return true;
        case F::Step:
            chooseStep(parseIntText(choice));
            return true;
        case F::SaveMode:
            chooseSaveMode(choice);
            return true;
        case F::PickMethod:
            choosePickMethod(choice);
            return true;
        case F::Standard:
            chooseStandard(choice);
            return true;
        case F::Filter:
            chooseFilter(choice);
            return true;
        case F::ChannelPipe:
            chooseChannelPipe(i, choice);
            return true;
        case F::ChannelState:
            chooseChannelState(i, choice);
            return true;
        case F::RowGain:
            chooseGain(i, choice);
            return true;
        case F::RowHighPass:
            chooseHighPass(i, choice);
            return true;
        case F::RowLowPass:
            chooseLowPass(i, choice);
            return true;
        default:
            return false;
    }
}

void SetupForm::enterText(FieldRef ref, std::string text) {
    switch (ref.field) {
        case SetupField::SiteName:
            setSiteName(std::move(text));
            break;
        case SetupField::UnitName:
            setUnitName(std::move(text));
            break;
        case SetupField::PersonName:
            setPersonName(std::move(text));
            break;
        case SetupField::PileId:
            setPileId(std::move(text));
            break;
        default:
            break;
    }
}

}  // namespace lx9
