// Records that cross the instrument link library's boundary. Plain structures with natural
// alignment; their sizes and offsets are part of the library's binary interface.
#pragma once

#include <cstddef>
#include <cstdint>

struct ReceivePair {
    uint8_t receiver;  // channel 1..4, 0 = empty entry
    uint8_t pad0[3];
    int32_t delaySamples;  // acquisition delay in sampling intervals
    int32_t gain;          // the library reads the low 16 bits
    int32_t highPassCode;  // high-pass corner in units of 10 Hz (0.5 kHz -> 50)
    int32_t lowPassKHz;    // low-pass corner in kHz (500 or 60)
};

struct TransmitGroup {
    uint8_t transmitter;  // channel 1..4, 0 = empty group
    uint8_t pad0[3];
    int32_t reserved;
    ReceivePair pairs[4];  // the library reads the first three
};

// Channel configuration, turned into the `d` packet by Set().
struct _Ctrl_Code_INFO_DLL {
    int32_t reserved0;
    uint8_t highVoltage;
    uint8_t pad0[3];
    int32_t pulseWidth;
    int32_t sampleLength;
    int32_t channelCount;
    int32_t stepMm;
    int32_t reserved24;
    float sampleInterval;
    int32_t reserved32;
    int32_t reserved36;
    float cableDiameterCm;
    float pulleyDiameterCm;
    TransmitGroup groups[3];
};

// Pile and test parameters (68 bytes); bytes 0-3 are the request header the library writes.
struct _Ctrl_SET1_INFO_DLL {
    uint8_t header[4];
    uint8_t pipeCount;
    uint8_t sectionCount;
    int16_t startDepth;  // cm
    int16_t stepMm;
    int16_t pileLength;  // cm
    int16_t pileDiameter;
    int16_t offsetAngle;
    uint8_t one;  // always 1
    uint8_t pickMethod;
    uint8_t standard;
    uint8_t testMode;
    uint8_t pairwiseMode;
    uint8_t digitalFilter;
    int16_t sampleInterval;  // × 100
    int16_t sampleLength;
    int16_t pulseWidth;
    uint8_t continuousFiring;
    uint8_t highVoltage;
    int16_t pulleyDiameter;   // × 100
    int16_t cableDiameter;    // × 100
    int16_t zeroReadings[6];  // × 100
    int16_t pipeOuterDiameter;
    int16_t pipeInnerDiameter;
    int16_t pipeVelocity;  // × 1000
    int16_t probeDiameter;
    int16_t waterVelocity;   // × 1000
    int16_t pipeCorrection;  // × 100
    int16_t varianceStart;
    int16_t mainFrequency;       // × 10, low 16 bits
    int16_t varianceThreshold;   // × 10
    int16_t amplitudeThreshold;  // × 100
    uint8_t variancePolarity;
    uint8_t pad67;
};

struct Set2Channel {
    uint8_t enabled;
    uint8_t roleCode;
    uint8_t pipeCode;
};

struct Set2Section {
    uint8_t present;
    uint8_t nameCode;  // 1..6 for "1-2".."3-4", 0 otherwise
    int16_t spacing;
    int16_t gain;
    int16_t delay;              // (delay + 0.0001) × 100
    int16_t highPass;           // (highPass + 0.0001) × 100
    int16_t lowPass;            // (lowPass + 0.001) × 100
    int16_t sectionStartDepth;  // (sectionStartDepth + 0.001) × 100
    int16_t sectionStep;
    int16_t heightDiff;
};

// Channels and sections (124 bytes); bytes 0-3 are the request header.
struct _Ctrl_SET2_INFO_DLL {
    uint8_t header[4];
    Set2Channel channels[4];
    Set2Section sections[6];
};

// The job-text block sent with SetPara3: header, then five 50-byte GBK fields.
inline constexpr int kJobTextBlockSize = 254;
inline constexpr int kJobTextFieldSize = 50;

static_assert(sizeof(ReceivePair) == 20);
static_assert(sizeof(TransmitGroup) == 88);
static_assert(offsetof(TransmitGroup, pairs) == 8);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, highVoltage) == 4);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, sampleInterval) == 28);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, cableDiameterCm) == 40);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, groups) == 48);
static_assert(sizeof(_Ctrl_Code_INFO_DLL) == 312);
static_assert(sizeof(_Ctrl_SET1_INFO_DLL) == 68);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, startDepth) == 6);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, one) == 16);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, sampleInterval) == 22);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, continuousFiring) == 28);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pulleyDiameter) == 30);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, zeroReadings) == 34);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pipeOuterDiameter) == 46);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pipeCorrection) == 56);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, amplitudeThreshold) == 64);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, variancePolarity) == 66);
static_assert(sizeof(Set2Section) == 18);
static_assert(sizeof(_Ctrl_SET2_INFO_DLL) == 124);
static_assert(offsetof(_Ctrl_SET2_INFO_DLL, channels) == 4);
static_assert(offsetof(_Ctrl_SET2_INFO_DLL, sections) == 16);
static_assert(offsetof(ReceivePair, delaySamples) == 4);
static_assert(offsetof(ReceivePair, gain) == 8);
static_assert(offsetof(ReceivePair, highPassCode) == 12);
static_assert(offsetof(ReceivePair, lowPassKHz) == 16);
static_assert(offsetof(TransmitGroup, reserved) == 4);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, pulseWidth) == 8);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, sampleLength) == 12);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, channelCount) == 16);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, stepMm) == 20);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, reserved24) == 24);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, reserved32) == 32);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, reserved36) == 36);
static_assert(offsetof(_Ctrl_Code_INFO_DLL, pulleyDiameterCm) == 44);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pipeCount) == 4);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, sectionCount) == 5);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, stepMm) == 8);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pileLength) == 10);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pileDiameter) == 12);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, offsetAngle) == 14);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pickMethod) == 17);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, standard) == 18);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, testMode) == 19);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pairwiseMode) == 20);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, digitalFilter) == 21);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, sampleLength) == 24);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pulseWidth) == 26);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, highVoltage) == 29);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, cableDiameter) == 32);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pipeInnerDiameter) == 48);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, pipeVelocity) == 50);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, probeDiameter) == 52);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, waterVelocity) == 54);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, varianceStart) == 58);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, mainFrequency) == 60);
static_assert(offsetof(_Ctrl_SET1_INFO_DLL, varianceThreshold) == 62);
static_assert(sizeof(Set2Channel) == 3);
static_assert(offsetof(Set2Section, spacing) == 2);
static_assert(offsetof(Set2Section, gain) == 4);
static_assert(offsetof(Set2Section, delay) == 6);
static_assert(offsetof(Set2Section, highPass) == 8);
static_assert(offsetof(Set2Section, lowPass) == 10);
static_assert(offsetof(Set2Section, sectionStartDepth) == 12);
static_assert(offsetof(Set2Section, sectionStep) == 14);
static_assert(offsetof(Set2Section, heightDiff) == 16);
