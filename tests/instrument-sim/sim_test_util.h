// Request builders and frame readers for the simulator's tests. The `d` packet is built here from
// its documented byte layout, independently of the simulator's decoder.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "scenario.h"

namespace lx9::sim::test {

using Bytes = std::vector<uint8_t>;

// A text request: the letters and one zero byte.
inline Bytes text(const std::string& letters) {
    Bytes b(letters.begin(), letters.end());
    b.push_back(0);
    return b;
}

inline Bytes keyed(char letter, uint16_t key) {
    return {static_cast<uint8_t>(letter), '0', static_cast<uint8_t>(key & 0xFF),
            static_cast<uint8_t>(key >> 8)};
}

inline Bytes setHeight(int32_t startCm, uint16_t stepMm) {
    Bytes b(12, 0);
    b[0] = 'S';
    b[1] = '4';
    std::memcpy(&b[4], &startCm, 4);
    b[8] = static_cast<uint8_t>(stepMm & 0xFF);
    b[9] = static_cast<uint8_t>(stepMm >> 8);
    return b;
}

// A parameter record request of `size` bytes with a recognisable body.
inline Bytes record(char digit, size_t size, uint8_t fill) {
    Bytes b(size, fill);
    b[0] = 'S';
    b[1] = static_cast<uint8_t>(digit);
    b[2] = 0;
    b[3] = static_cast<uint8_t>(size & 0xFF);
    return b;
}

struct PairSetting {
    int transmitter;
    int receiver;
    uint8_t gainCode;
    uint16_t delaySamples;
};

// The 66-byte channel configuration packet, laid out byte by byte as the link library sends it.
inline Bytes configPacket(int sampleLength, double intervalUs, const std::vector<int>& groupTransmitters,
                          const std::vector<PairSetting>& pairs, uint16_t windingTenthMm = 730,
                          uint8_t stepMm = 50) {
    Bytes p(66, 0);
    p[0] = 'd';
    p[2] = 100;  // pulse width 5 x 20
    p[4] = static_cast<uint8_t>(sampleLength / 256);
    p[8] = static_cast<uint8_t>(1 + groupTransmitters.size());
    for (size_t g = 0; g < groupTransmitters.size(); ++g)
        p[9 + groupTransmitters[g] - 1] = static_cast<uint8_t>(g + 1);
    p[13] = stepMm;
    const auto interval = static_cast<uint16_t>(intervalUs * 100.0);
    p[16] = interval & 0xFF;
    p[17] = interval >> 8;
    p[18] = windingTenthMm & 0xFF;
    p[19] = windingTenthMm >> 8;
    p[20] = 0x11;
    static const int order[4][4] = {{-1, 0, 1, 2}, {3, -1, 4, 5}, {6, 7, -1, 8}, {9, 10, 11, -1}};
    uint16_t largest = 0;
    for (const PairSetting& s : pairs) {
        const int slot = order[s.transmitter - 1][s.receiver - 1];
        if (slot < 11) p[28 + slot] = s.gainCode;
        p[40 + 2 * slot] = s.delaySamples & 0xFF;
        p[41 + 2 * slot] = s.delaySamples >> 8;
        largest = std::max(largest, s.delaySamples);
    }
    p[6] = largest & 0xFF;
    p[7] = largest >> 8;
    return p;
}

inline std::vector<uint16_t> words(const Bytes& frame) {
    std::vector<uint16_t> w(frame.size() / 2);
    for (size_t i = 0; i < w.size(); ++i)
        w[i] = static_cast<uint16_t>(frame[2 * i] | (frame[2 * i + 1] << 8));
    return w;
}

// What the link library does to a frame: the status word from words 1-4, then the top nibbles of
// words 0-4 cleared.
inline uint16_t unpackStatus(std::vector<uint16_t>& w) {
    const uint16_t status = static_cast<uint16_t>(((w[1] >> 12) << 12) | ((w[2] >> 12) << 8) |
                                                  ((w[3] >> 12) << 4) | (w[4] >> 12));
    for (int i = 0; i < 5; ++i)
        w[i] &= 0x0FFF;
    return status;
}

inline uint16_t u16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// A pile with no randomness: no noise, no spread, no winch jitter; two pipes 500 mm apart
// (outer walls), 4 mm walls and 6 mm water gaps.
inline Scenario quietScenario() {
    Scenario s;
    s.noiseMv = 0.0;
    s.velocitySpreadPercent = 0.0;
    s.winch.jitterPercent = 0.0;
    s.batteryDrainPerHour = 0.0;
    return s;
}

}  // namespace lx9::sim::test
