// The instrument's reading of the 66-byte channel configuration packet (`d`), and the frame
// layout that follows from it: which firing fills which waveform slot of a frame.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "scenario.h"

namespace lx9::sim {

inline constexpr int kChannels = 4;
inline constexpr int kPairSlots = 12;  // ordered (transmitter, receiver) pairs in the packet
inline constexpr int kFrameSlots = 6;  // unordered channel pairs in a frame
inline constexpr int kChannelConfigSize = 66;

// Ordered pair slot i of the packet: T1R2, T1R3, T1R4, T2R1, T2R3, T2R4, T3R1, T3R2, T3R4, T4R1,
// T4R2, T4R3 (channels 1-based).
struct OrderedPair {
    int transmitter;
    int receiver;
};
OrderedPair orderedPair(int slot);
int orderedSlot(int transmitter, int receiver);  // -1 when t == r or out of 1..4

// Frame slot k holds channel pair kFramePairs[k]: 1-2, 1-3, 1-4, 2-3, 2-4, 3-4.
inline constexpr std::array<std::array<int, 2>, kFrameSlots> kFramePairs{
    {{1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}}};

struct ChannelConfig {
    int sampleLength = 512;
    double sampleIntervalUs = 1.0;
    uint8_t stepLowByte = 50;
    double windingDiameterMm = 73.0;           // cable + pulley, as the program sends it
    std::array<uint8_t, kChannels> groupOf{};  // group number (1..3) of transmitter t+1, 0 = it does not fire
    std::array<uint8_t, kPairSlots> gainCode{};
    std::array<uint16_t, kPairSlots> delaySamples{};
    uint16_t pulseWidth = 0;
    uint8_t highVoltage = 0;
    uint8_t filterCode = 0x11;
};

// Decodes a `d` request; nullopt when it is not a packet the instrument can work with (wrong
// length or letter, a sample length other than 512 or 1024, a zero sampling interval, a group
// number outside 0..3). The instrument ignores such a packet.
std::optional<ChannelConfig> decodeChannelConfig(std::span<const uint8_t> packet);

// The configuration in force before the program sends one: every pair of the four channels
// measured once (T1 to 2, 3, 4; T2 to 3, 4; T3 to 4) with the scenario's gain, delay, sample length
// and interval.
ChannelConfig defaultChannelConfig(const Scenario& scenario);

// Amplification of a gain code: bits 0-1 select x1, x2, x4, x10; bits 2-3 and bits 4-5 each
// select x1, x10, x100 (the unused value 3 also gives x100).
double gainFactor(uint8_t code);

// Which firing fills frame slot k: the ordered pair slot whose transmitter fires in the lowest
// group, or -1 when neither channel of the pair fires (the slot then stays at the zero line).
std::array<int, kFrameSlots> frameSlotSources(const ChannelConfig& config);

}  // namespace lx9::sim
