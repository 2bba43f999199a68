#include "instrument/parameter_records.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "data/text_codec.h"
#include "link/truncate.h"

namespace lx9 {
namespace {

using kaxil::truncate32;

// Truncated, then the low 16 bits: what a 16-bit field of the record keeps.
int16_t low16(double value) {
    return static_cast<int16_t>(truncate32(value));
}
uint8_t low8(int32_t value) {
    return static_cast<uint8_t>(value & 0xFF);
}

// Divides a scaled field back unless the value already held encodes to the same bits.
template <typename Encode>
float decodeScaled(int32_t raw, float current, double divisor, Encode encode) {
    if (encode(current) == raw) return current;
    return static_cast<float>(raw / divisor);
}

constexpr std::array<int, 5> kJobTextOffsets = {4, 54, 104, 154, 204};

// The five job texts in block order (const or not, as the record).
template <typename Info>
auto jobTexts(Info& info) {
    return std::array{&info.siteName, &info.unitName, &info.personName, &info.pileId, &info.extraText};
}

}  // namespace

int pairIndex(int a, int b) {
    const int lo = std::min(a, b);
    const int hi = std::max(a, b);
    if (lo < 1 || hi > 4 || lo == hi) return -1;
    switch (lo) {
        case 1:
            return hi - 2;  // 1-2, 1-3, 1-4
        case 2:
            return hi;  // 2-3, 2-4
        default:
            return 5;  // 3-4
    }
}

uint8_t set2SectionNameCode(std::string_view name) {
    for (int i = 0; i < kMaxSections; ++i) {
        if (kPairNames[i] == name) return static_cast<uint8_t>(i + 1);
    }
    return 0;
}

_Ctrl_SET1_INFO_DLL fillSet1(const CInfo& info) {
    _Ctrl_SET1_INFO_DLL r{};
    r.pipeCount = low8(info.pipeCount);
    r.sectionCount = low8(info.sectionCount);
    r.startDepth = low16(info.startDepth * 100);
    r.stepMm = static_cast<int16_t>(info.stepMm);
    r.pileLength = low16(info.pileLength * 100);
    r.pileDiameter = static_cast<int16_t>(info.pileDiameter);
    r.offsetAngle = static_cast<int16_t>(info.offsetAngle);
    r.one = 1;
    r.pickMethod = static_cast<uint8_t>(pickMethodCode(info.pickMethod));
    r.standard = static_cast<uint8_t>(standardCode(info.standard));
    r.testMode = low8(info.testMode);
    r.pairwiseMode = info.pairwiseMode ? 1 : 0;
    r.digitalFilter = info.digitalFilter ? 1 : 0;
    r.sampleInterval = low16(info.sampleInterval * 100);
    r.sampleLength = static_cast<int16_t>(info.sampleLength);
    r.pulseWidth = static_cast<int16_t>(info.pulseWidth);
    r.continuousFiring = info.continuousFiring ? 1 : 0;
    r.highVoltage = info.highVoltage;
    r.pulleyDiameter = low16(info.pulleyDiameter * 100);
    r.cableDiameter = low16(info.cableDiameter * 100);
    for (int i = 0; i < kMaxSections; ++i)
        r.zeroReadings[i] = low16(info.zeroReadings[i] * 100);
    r.pipeOuterDiameter = static_cast<int16_t>(info.pipeOuterDiameter);
    r.pipeInnerDiameter = static_cast<int16_t>(info.pipeInnerDiameter);
    r.pipeVelocity = low16(info.pipeVelocity * 1000);
    r.probeDiameter = static_cast<int16_t>(info.probeDiameter);
    r.waterVelocity = low16(info.waterVelocity * 1000);
    r.pipeCorrection = low16(info.pipeCorrection * 100);
    r.varianceStart = static_cast<int16_t>(info.varianceStart);
    r.mainFrequency = low16(info.mainFrequency * 10);
    r.varianceThreshold = low16(info.varianceThreshold * 10);
    r.amplitudeThreshold = low16(info.amplitudeThreshold * 100);
    r.variancePolarity = info.variancePolarity ? 1 : 0;
    return r;
}

namespace {

int16_t encodeDelay(float delay) {
    return low16((delay + 0.0001) * 100);
}
int16_t encodeHighPass(float highPass) {
    return low16((highPass + 0.0001) * 100);
}
int16_t encodeLowPass(float lowPass) {
    return low16((lowPass + 0.001) * 100);
}
int16_t encodeStartDepth(float depth) {
    return low16((depth + 0.001) * 100);
}

}  // namespace

_Ctrl_SET2_INFO_DLL fillSet2(const CInfo& info) {
    _Ctrl_SET2_INFO_DLL r{};
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelPara& c = info.channels[i];
        r.channels[i] =
            Set2Channel{static_cast<uint8_t>(c.enabled ? 1 : 0), static_cast<uint8_t>(roleCode(c.role)),
                        static_cast<uint8_t>(pipeCode(c.pipe))};
    }
    for (int k = 0; k < kMaxSections; ++k) {
        const SectionPara& s = info.sections[k];
        Set2Section& out = r.sections[k];
        out.present = s.present ? 1 : 0;
        out.nameCode = set2SectionNameCode(s.name);
        out.spacing = static_cast<int16_t>(s.spacing);
        out.gain = static_cast<int16_t>(s.gain);
        out.delay = encodeDelay(s.delay);
        out.highPass = encodeHighPass(s.highPass);
        out.lowPass = encodeLowPass(s.lowPass);
        out.sectionStartDepth = encodeStartDepth(s.sectionStartDepth);
        out.sectionStep = static_cast<int16_t>(s.sectionStep);
        out.heightDiff = static_cast<int16_t>(s.heightDiff);
    }
    return r;
}

JobTextBlock fillJobText(const CInfo& info) {
    JobTextBlock block{};
    const auto texts = jobTexts(info);
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string gbk = utf8ToGbkCut(*texts[i], kJobTextFieldSize - 1);
        std::memcpy(block.data() + kJobTextOffsets[i], gbk.data(), gbk.size());
    }
    return block;
}

_Ctrl_Code_INFO_DLL fillCodeConfig(const CInfo& info) {
    _Ctrl_Code_INFO_DLL c{};
    c.highVoltage = info.highVoltage;
    c.pulseWidth = info.pulseWidth;
    c.sampleLength = info.sampleLength;
    c.stepMm = info.stepMm;
    c.sampleInterval = info.sampleInterval;
    c.cableDiameterCm = info.cableDiameter / 10;
    c.pulleyDiameterCm = info.pulleyDiameter / 10;

    std::vector<int> enabled;
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        if (info.channels[ch - 1].enabled) enabled.push_back(ch);
    }
    c.channelCount = static_cast<int32_t>(enabled.size());

    // Receiver entries take the section values in the order they are placed.
    int entry = 0;
    auto place = [&](TransmitGroup& group, int transmitter, int receiver) {
        int slot = 0;
        while (slot < 4 && group.pairs[slot].receiver != 0)
            ++slot;
        if (slot == 4 || entry >= kMaxSections) return;
        ReceivePair& pair = group.pairs[slot];
        const SectionPara& s = info.sections[entry++];
        pair.receiver = static_cast<uint8_t>(receiver);
        pair.gain = s.gain;
        pair.highPassCode = truncate32((s.highPass + 0.00001) * 100);
        pair.lowPassKHz = truncate32(s.lowPass);
        const int p = pairIndex(transmitter, receiver);
        const float zero = p >= 0 ? info.zeroReadings[p] : 0.0f;
        pair.delaySamples =
            truncate32((std::max(s.delay, 0.0f) + zero + info.pipeCorrection) / info.sampleInterval);
    };

    if (info.pairwiseMode) {
        // Group g fires the g-th enabled channel into every later one: each pair measured once.
        for (size_t g = 0; g < 3 && g < enabled.size(); ++g) {
            c.groups[g].transmitter = static_cast<uint8_t>(enabled[g]);
            for (size_t j = g + 1; j < enabled.size(); ++j)
                place(c.groups[g], enabled[g], enabled[j]);
        }
    } else {
        int transmitter = 0;
        for (int ch : enabled) {
            if (info.channels[ch - 1].role == kRoleTransmitter) {
                transmitter = ch;
                break;
            }
        }
        c.groups[0].transmitter = static_cast<uint8_t>(transmitter);
        for (int ch : enabled) {
            if (ch != transmitter) place(c.groups[0], transmitter, ch);
        }
    }
    return c;
}

void decodeSet1(const _Ctrl_SET1_INFO_DLL& r, CInfo& info) {
    info.pipeCount = r.pipeCount;
    info.sectionCount = r.sectionCount;
    info.startDepth =
        decodeScaled(r.startDepth, info.startDepth, 100, [](float v) { return low16(v * 100); });
    info.stepMm = r.stepMm;
    info.pileLength =
        decodeScaled(r.pileLength, info.pileLength, 100, [](float v) { return low16(v * 100); });
    info.pileDiameter = r.pileDiameter;
    info.offsetAngle = r.offsetAngle;
    info.pickMethod = pickMethodText(r.pickMethod);
    info.standard = standardText(r.standard);
    info.testMode = r.testMode;
    info.pairwiseMode = r.pairwiseMode != 0;
    info.digitalFilter = r.digitalFilter != 0;
    info.sampleInterval =
        decodeScaled(r.sampleInterval, info.sampleInterval, 100, [](float v) { return low16(v * 100); });
    info.sampleLength = r.sampleLength;
    info.pulseWidth = r.pulseWidth;
    info.continuousFiring = r.continuousFiring != 0;
    info.highVoltage = r.highVoltage;
    info.pulleyDiameter =
        decodeScaled(r.pulleyDiameter, info.pulleyDiameter, 100, [](float v) { return low16(v * 100); });
    info.cableDiameter =
        decodeScaled(r.cableDiameter, info.cableDiameter, 100, [](float v) { return low16(v * 100); });
    for (int i = 0; i < kMaxSections; ++i) {
        info.zeroReadings[i] = decodeScaled(r.zeroReadings[i], info.zeroReadings[i], 100,
                                            [](float v) { return low16(v * 100); });
    }
    info.pipeOuterDiameter = r.pipeOuterDiameter;
    info.pipeInnerDiameter = r.pipeInnerDiameter;
    info.pipeVelocity =
        decodeScaled(r.pipeVelocity, info.pipeVelocity, 1000, [](float v) { return low16(v * 1000); });
    info.probeDiameter = r.probeDiameter;
    info.waterVelocity =
        decodeScaled(r.waterVelocity, info.waterVelocity, 1000, [](float v) { return low16(v * 1000); });
    info.pipeCorrection =
        decodeScaled(r.pipeCorrection, info.pipeCorrection, 100, [](float v) { return low16(v * 100); });
    info.varianceStart = r.varianceStart;
    // Only the low 16 bits of the main frequency travel: read them as unsigned.
    info.mainFrequency = decodeScaled(static_cast<uint16_t>(r.mainFrequency), info.mainFrequency, 10,
                                      [](float v) { return static_cast<uint16_t>(low16(v * 10)); });
    info.varianceThreshold =
        decodeScaled(r.varianceThreshold, info.varianceThreshold, 10, [](float v) { return low16(v * 10); });
    info.amplitudeThreshold = decodeScaled(r.amplitudeThreshold, info.amplitudeThreshold, 100,
                                           [](float v) { return low16(v * 100); });
    info.variancePolarity = r.variancePolarity != 0;
}

void decodeSet2(const _Ctrl_SET2_INFO_DLL& r, CInfo& info) {
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelPara& c = info.channels[i];
        c.enabled = r.channels[i].enabled != 0;
        c.role = roleText(r.channels[i].roleCode);
        c.pipe = pipeText(r.channels[i].pipeCode);
    }
    for (int k = 0; k < kMaxSections; ++k) {
        const Set2Section& in = r.sections[k];
        SectionPara& s = info.sections[k];
        s.present = in.present != 0;
        s.name =
            in.nameCode >= 1 && in.nameCode <= kMaxSections ? std::string(kPairNames[in.nameCode - 1]) : "";
        s.spacing = in.spacing;
        s.gain = in.gain;
        s.delay = decodeScaled(in.delay, s.delay, 100, encodeDelay);
        s.highPass = decodeScaled(in.highPass, s.highPass, 100, encodeHighPass);
        // 500 kHz is 50000 hundredths: more than an int16 holds, so the field is read unsigned.
        s.lowPass = decodeScaled(static_cast<uint16_t>(in.lowPass), s.lowPass, 100,
                                 [](float v) { return static_cast<uint16_t>(encodeLowPass(v)); });
        s.sectionStartDepth = decodeScaled(in.sectionStartDepth, s.sectionStartDepth, 100, encodeStartDepth);
        s.sectionStep = in.sectionStep;
        s.heightDiff = in.heightDiff;
    }
}

void decodeJobText(const uint8_t* block, size_t size, CInfo& info) {
    const auto texts = jobTexts(info);
    for (size_t i = 0; i < texts.size(); ++i) {
        const size_t offset = static_cast<size_t>(kJobTextOffsets[i]);
        if (offset >= size) break;
        const size_t room = std::min<size_t>(kJobTextFieldSize, size - offset);
        const char* field = reinterpret_cast<const char*>(block + offset);
        const size_t length = strnlen(field, room);
        *texts[i] = gbkToUtf8(std::string_view(field, length));
    }
}

}  // namespace lx9
