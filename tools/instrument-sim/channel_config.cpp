#include "channel_config.h"

#include <cmath>

#include "link/protocol.h"

namespace lx9::sim {
namespace {

uint16_t u16(std::span<const uint8_t> p, size_t at) {
    return static_cast<uint16_t>(p[at] | (p[at + 1] << 8));
}

}  // namespace

OrderedPair orderedPair(int slot) {
    const int t = slot / 3 + 1;
    int r = slot % 3 + 1;
    if (r >= t) ++r;
    return {t, r};
}

int orderedSlot(int transmitter, int receiver) {
    if (transmitter < 1 || transmitter > 4 || receiver < 1 || receiver > 4 || transmitter == receiver)
        return -1;
    return (transmitter - 1) * 3 + (receiver < transmitter ? receiver - 1 : receiver - 2);
}

std::optional<ChannelConfig> decodeChannelConfig(std::span<const uint8_t> p) {
    if (p.size() != kChannelConfigSize || p[0] != 'd') return std::nullopt;
    ChannelConfig c;
    if (p[4] != 2 && p[4] != 4) return std::nullopt;
    c.sampleLength = p[4] * 256;
    const uint16_t interval = u16(p, 16);
    if (interval == 0) return std::nullopt;
    c.sampleIntervalUs = interval / 100.0;
    c.pulseWidth = u16(p, 2);
    c.stepLowByte = p[13];
    const uint16_t winding = u16(p, 18);
    c.windingDiameterMm = winding / 10.0;
    for (int t = 0; t < kChannels; ++t) {
        if (p[9 + t] > 3) return std::nullopt;
        c.groupOf[t] = p[9 + t];
    }
    c.filterCode = p[20];
    for (int i = 0; i < kPairSlots; ++i) {
        c.gainCode[i] = i < 11 ? p[28 + i] : 0;  // the packet has no gain byte for T4R3
        c.delaySamples[i] = u16(p, 40 + 2 * i);
    }
    c.highVoltage = p[64];
    return c;
}

double gainFactor(uint8_t code) {
    static constexpr double first[4] = {1.0, 2.0, 4.0, 10.0};
    static constexpr double later[4] = {1.0, 10.0, 100.0, 100.0};
    return first[code & 3] * later[(code >> 2) & 3] * later[(code >> 4) & 3];
}

ChannelConfig defaultChannelConfig(const Scenario& s) {
    ChannelConfig c;
    c.sampleLength = s.sampleLength;
    c.sampleIntervalUs = s.sampleIntervalUs;
    c.stepLowByte = static_cast<uint8_t>(s.stepMm & 0xFF);
    c.windingDiameterMm = s.windingDiameterMm;
    c.groupOf = {1, 2, 3, 0};
    const auto delay = static_cast<uint16_t>(std::trunc(s.delayUs / s.sampleIntervalUs));
    for (int t = 1; t <= 3; ++t) {
        for (int r = t + 1; r <= 4; ++r) {
            const int slot = orderedSlot(t, r);
            c.gainCode[slot] = kaxil::gainCode(static_cast<uint16_t>(s.gain));
            c.delaySamples[slot] = delay;
        }
    }
    return c;
}

std::array<int, kFrameSlots> frameSlotSources(const ChannelConfig& c) {
    std::array<int, kFrameSlots> sources{};
    for (int k = 0; k < kFrameSlots; ++k) {
        const int a = kFramePairs[k][0], b = kFramePairs[k][1];
        const int ga = c.groupOf[a - 1], gb = c.groupOf[b - 1];
        if (ga == 0 && gb == 0) {
            sources[k] = -1;
        } else if (gb == 0 || (ga != 0 && ga <= gb)) {
            sources[k] = orderedSlot(a, b);
        } else {
            sources[k] = orderedSlot(b, a);
        }
    }
    return sources;
}

}  // namespace lx9::sim
