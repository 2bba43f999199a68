// The parameter records the program sends, worked out by hand from a test record, and their
// decoding for the recovery of a held test.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "instrument/parameter_records.h"

namespace lx9 {
namespace {

using Bytes = std::vector<uint8_t>;

template <typename Record>
Bytes raw(const Record& r) {
    const auto* p = reinterpret_cast<const uint8_t*>(&r);
    return Bytes(p, p + sizeof r);
}

void put16(Bytes& b, size_t at, int value) {
    b[at] = static_cast<uint8_t>(value & 0xFF);
    b[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

// A record away from the defaults wherever a truncation or a code can go wrong.
CInfo sampleInfo() {
    CInfo info;
    info.resetToDefaults();
    info.pipeCount = 3;
    info.sectionCount = 3;
    info.startDepth = 0.29f;  // 29 cm; computed in double it would be 28
    info.stepMm = 1000;
    info.pileLength = 12.345f;  // 1234.5 -> 1234
    info.pileDiameter = 1500;
    info.offsetAngle = -30;
    info.pickMethod = "方差判读";
    info.standard = "广东建筑";
    info.testMode = 2;
    info.pairwiseMode = false;
    info.digitalFilter = false;
    info.sampleInterval = 0.4f;
    info.sampleLength = 1024;
    info.pulseWidth = 10;
    info.continuousFiring = false;
    info.highVoltage = 1;
    info.pulleyDiameter = 63.0f;
    info.cableDiameter = 10.5f;
    info.zeroReadings = {1.5f, -0.25f, 0.0f, 0.0f, 0.0f, 12.34f};
    info.pipeOuterDiameter = 60;
    info.pipeInnerDiameter = 54;
    info.pipeVelocity = 5.12f;  // 5120
    info.probeDiameter = 28;
    info.waterVelocity = 1.48f;
    info.pipeCorrection = -1.5f;
    info.varianceStart = 30;
    info.mainFrequency = 35000.0f;  // 350000: only the low 16 bits, 0x5730
    info.varianceThreshold = 2.55f;
    info.amplitudeThreshold = 0.75f;
    info.variancePolarity = false;
    return info;
}

TEST(Set1, FieldByFieldWithTruncatedScaledValues) {
    Bytes e(68, 0);
    e[4] = 3;
    e[5] = 3;
    put16(e, 6, 29);
    put16(e, 8, 1000);
    put16(e, 10, 1234);
    put16(e, 12, 1500);
    put16(e, 14, -30);
    e[16] = 1;
    e[17] = 2;  // 方差判读
    e[18] = 3;  // 广东建筑
    e[19] = 2;
    e[20] = 0;
    e[21] = 0;
    put16(e, 22, 40);
    put16(e, 24, 1024);
    put16(e, 26, 10);
    e[28] = 0;
    e[29] = 1;
    put16(e, 30, 6300);
    put16(e, 32, 1050);
    put16(e, 34, 150);
    put16(e, 36, -25);
    put16(e, 44, 1234);
    put16(e, 46, 60);
    put16(e, 48, 54);
    put16(e, 50, 5120);
    put16(e, 52, 28);
    put16(e, 54, 1480);
    put16(e, 56, -150);
    put16(e, 58, 30);
    put16(e, 60, 0x5730);
    put16(e, 62, 25);
    put16(e, 64, 75);
    e[66] = 0;
    EXPECT_EQ(raw(fillSet1(sampleInfo())), e);
}

TEST(Set1, TextCodesFallBackToZero) {
    CInfo info = sampleInfo();
    const std::pair<const char*, int> picks[] = {{"幅值判读", 1}, {"方差判读", 2}, {"自动判读", 0}, {"", 0}};
    for (auto [text, code] : picks) {
        info.pickMethod = text;
        EXPECT_EQ(fillSet1(info).pickMethod, code) << text;
    }
    const std::pair<const char*, int> standards[] = {
        {"铁路", 1}, {"建筑", 2}, {"广东建筑", 3}, {"公路", 0}, {"建筑 ", 0}};
    for (auto [text, code] : standards) {
        info.standard = text;
        EXPECT_EQ(fillSet1(info).standard, code) << text;
    }
}

TEST(Set2, ChannelsAndSectionsWithTheSmallAdditions) {
    CInfo info;
    info.resetToDefaults();
    info.channels[2] = ChannelPara{false, "其他", "管5"};
    SectionPara& s = info.sections[1];
    s.name = "2-4";
    s.present = false;
    s.spacing = 1200;
    s.gain = 1000;
    s.delay = 0.29f;  // (0.29 + 0.0001) × 100 = 29.01 -> 29; without the addition 28
    s.highPass = 10.0f;
    s.lowPass = 60.0f;
    s.sectionStartDepth = 12.34f;
    s.sectionStep = 100;
    s.heightDiff = -20;
    info.sections[5].name = "x-y";

    Bytes e(124, 0);
    const uint8_t channels[12] = {1, 1, 1, 1, 2, 2, 0, 0, 5, 1, 4, 4};
    std::memcpy(e.data() + 4, channels, sizeof channels);
    for (int k = 0; k < 6; ++k) {
        const size_t at = 16 + 18 * k;
        e[at] = 1;
        e[at + 1] = static_cast<uint8_t>(k + 1);
        put16(e, at + 2, 340);
        put16(e, at + 4, 80);
        put16(e, at + 6, 10000);
        put16(e, at + 8, 50);
        put16(e, at + 10, 50000);  // 500 kHz: more than an int16 holds, stored as its low 16 bits
        put16(e, at + 12, 1500);
        put16(e, at + 14, 50);
        put16(e, at + 16, 0);
    }
    const size_t at = 16 + 18;
    e[at] = 0;
    e[at + 1] = 5;
    put16(e, at + 2, 1200);
    put16(e, at + 4, 1000);
    put16(e, at + 6, 29);
    put16(e, at + 8, 1000);
    put16(e, at + 10, 6000);
    put16(e, at + 12, 1234);
    put16(e, at + 14, 100);
    put16(e, at + 16, -20);
    e[16 + 18 * 5 + 1] = 0;
    EXPECT_EQ(raw(fillSet2(info)), e);
}

TEST(JobText, FiveGbkFieldsOfFiftyBytes) {
    CInfo info;
    info.siteName = "测试工地";
    info.unitName = "ABC";
    std::string longName;
    for (int i = 0; i < 25; ++i)
        longName += "桩";  // 50 bytes in GBK
    info.personName = longName;
    info.pileId = "1#";
    info.extraText = "";
    const JobTextBlock block = fillJobText(info);

    Bytes e(254, 0);
    const uint8_t site[] = {0xB2, 0xE2, 0xCA, 0xD4, 0xB9, 0xA4, 0xB5, 0xD8};
    std::memcpy(e.data() + 4, site, sizeof site);
    std::memcpy(e.data() + 54, "ABC", 3);
    for (int i = 0; i < 24; ++i) {  // 49 bytes of room: 24 whole characters, then the zero
        e[104 + 2 * i] = 0xD7;
        e[105 + 2 * i] = 0xAE;
    }
    std::memcpy(e.data() + 154, "1#", 2);
    EXPECT_EQ(Bytes(block.begin(), block.end()), e);
}

TEST(CodeConfig, PairwiseFourChannelsMeasuresEveryPairOnce) {
    CInfo info;
    info.resetToDefaults();
    info.pairwiseMode = true;
    info.highVoltage = 1;
    info.pulseWidth = 8;
    info.sampleLength = 1024;
    info.stepMm = 20;
    info.sampleInterval = 0.4f;
    info.cableDiameter = 10.5f;
    info.pulleyDiameter = 63.0f;
    info.pipeCorrection = 0.5f;
    info.zeroReadings = {1.5f, 2.0f, 0.0f, 0.1f, 0.0f, -0.5f};
    const float delays[6] = {100.0f, -5.0f, 100.0f, 20.0f, 0.0f, 40.0f};
    const int gains[6] = {1, 2, 4, 8, 10, 20};
    for (int k = 0; k < 6; ++k) {
        info.sections[k].delay = delays[k];
        info.sections[k].gain = gains[k];
        info.sections[k].highPass = k % 2 ? 10.0f : 0.5f;
        info.sections[k].lowPass = k < 3 ? 500.0f : 60.0f;
    }
    const _Ctrl_Code_INFO_DLL c = fillCodeConfig(info);
    EXPECT_EQ(c.reserved0, 0);
    EXPECT_EQ(c.highVoltage, 1);
    EXPECT_EQ(c.pulseWidth, 8);
    EXPECT_EQ(c.sampleLength, 1024);
    EXPECT_EQ(c.channelCount, 4);
    EXPECT_EQ(c.stepMm, 20);
    EXPECT_FLOAT_EQ(c.sampleInterval, 0.4f);
    EXPECT_FLOAT_EQ(c.cableDiameterCm, 1.05f);
    EXPECT_FLOAT_EQ(c.pulleyDiameterCm, 6.3f);

    // (delay clamped at 0 + zero reading of the pair + pipe correction) / interval, truncated.
    struct Entry {
        int group, slot, receiver, delaySamples, highPassCode, lowPassKHz;
    };
    const Entry expected[6] = {
        {0, 0, 2, 255, 50, 500},   // 1-2: (100 + 1.5 + 0.5) / 0.4
        {0, 1, 3, 6, 1000, 500},   // 1-3: (0 + 2 + 0.5) / 0.4 = 6.25
        {0, 2, 4, 251, 50, 500},   // 1-4: (100 + 0 + 0.5) / 0.4 = 251.25
        {1, 0, 3, 51, 1000, 60},   // 2-3: (20 + 0.1 + 0.5) / 0.4 = 51.5
        {1, 1, 4, 1, 50, 60},      // 2-4: (0 + 0 + 0.5) / 0.4 = 1.25
        {2, 0, 4, 100, 1000, 60},  // 3-4: (40 - 0.5 + 0.5) / 0.4
    };
    const int transmitters[3] = {1, 2, 3};
    for (int g = 0; g < 3; ++g)
        EXPECT_EQ(c.groups[g].transmitter, transmitters[g]);
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        const ReceivePair& p = c.groups[expected[k].group].pairs[expected[k].slot];
        EXPECT_EQ(p.receiver, expected[k].receiver);
        EXPECT_EQ(p.delaySamples, expected[k].delaySamples);
        EXPECT_EQ(p.gain, gains[k]);
        EXPECT_EQ(p.highPassCode, expected[k].highPassCode);
        EXPECT_EQ(p.lowPassKHz, expected[k].lowPassKHz);
    }
    EXPECT_EQ(c.groups[1].pairs[2].receiver, 0);
    EXPECT_EQ(c.groups[2].pairs[1].receiver, 0);
}

TEST(CodeConfig, PairwiseThreeChannelsUsesTheirOwnPairsZeroReadings) {
    CInfo info;
    info.resetToDefaults();
    info.channels[1].enabled = false;
    info.sampleInterval = 1.0f;
    info.zeroReadings = {10.0f, 11.0f, 12.0f, 13.0f, 14.0f, 15.0f};
    for (auto& s : info.sections)
        s.delay = 0.0f;
    const _Ctrl_Code_INFO_DLL c = fillCodeConfig(info);
    EXPECT_EQ(c.channelCount, 3);
    EXPECT_EQ(c.groups[0].transmitter, 1);
    EXPECT_EQ(c.groups[0].pairs[0].receiver, 3);
    EXPECT_EQ(c.groups[0].pairs[0].delaySamples, 11);  // pair 1-3
    EXPECT_EQ(c.groups[0].pairs[1].receiver, 4);
    EXPECT_EQ(c.groups[0].pairs[1].delaySamples, 12);  // pair 1-4
    EXPECT_EQ(c.groups[1].transmitter, 3);
    EXPECT_EQ(c.groups[1].pairs[0].receiver, 4);
    EXPECT_EQ(c.groups[1].pairs[0].delaySamples, 15);  // pair 3-4
    EXPECT_EQ(c.groups[2].transmitter, 4) << "the third enabled channel leads the third group";
    EXPECT_EQ(c.groups[2].pairs[0].receiver, 0);
}

TEST(CodeConfig, OneTransmitterFiresIntoEveryOtherEnabledChannel) {
    CInfo info;
    info.resetToDefaults();
    info.pairwiseMode = false;
    info.sampleInterval = 1.0f;
    info.zeroReadings = {10.0f, 11.0f, 12.0f, 13.0f, 14.0f, 15.0f};
    for (int k = 0; k < 6; ++k) {
        info.sections[k].delay = 0.0f;
        info.sections[k].gain = 100 * (k + 1);
    }
    info.channels[0].role = "接收1";
    info.channels[1].role = "发射";
    const _Ctrl_Code_INFO_DLL c = fillCodeConfig(info);
    EXPECT_EQ(c.groups[0].transmitter, 2);
    const int receivers[3] = {1, 3, 4};
    const int delays[3] = {10, 13, 14};  // pairs 1-2, 2-3, 2-4
    for (int e = 0; e < 3; ++e) {
        EXPECT_EQ(c.groups[0].pairs[e].receiver, receivers[e]);
        EXPECT_EQ(c.groups[0].pairs[e].delaySamples, delays[e]);
        EXPECT_EQ(c.groups[0].pairs[e].gain, 100 * (e + 1)) << "entries take sections in placement order";
    }
    EXPECT_EQ(c.groups[1].transmitter, 0);

    // A disabled transmitter does not count; with no enabled "发射" every enabled channel receives.
    info.channels[1].enabled = false;
    const _Ctrl_Code_INFO_DLL none = fillCodeConfig(info);
    EXPECT_EQ(none.channelCount, 3);
    EXPECT_EQ(none.groups[0].transmitter, 0);
    EXPECT_EQ(none.groups[0].pairs[0].receiver, 1);
    EXPECT_EQ(none.groups[0].pairs[2].receiver, 4);
    EXPECT_EQ(none.groups[0].pairs[0].delaySamples, 0);
}

TEST(Decode, RecoversTheRecordThatWasSent) {
    const CInfo sent = sampleInfo();
    CInfo recovered;
    recovered.resetToDefaults();
    decodeSet1(fillSet1(sent), recovered);
    EXPECT_EQ(recovered.pipeCount, 3);
    EXPECT_EQ(recovered.sectionCount, 3);
    EXPECT_FLOAT_EQ(recovered.startDepth, 0.29f);
    EXPECT_EQ(recovered.stepMm, 1000);
    EXPECT_FLOAT_EQ(recovered.pileLength, 12.34f) << "only what the truncation kept";
    EXPECT_EQ(recovered.offsetAngle, -30);
    EXPECT_EQ(recovered.pickMethod, "方差判读");
    EXPECT_EQ(recovered.standard, "广东建筑");
    EXPECT_EQ(recovered.testMode, 2);
    EXPECT_FALSE(recovered.pairwiseMode);
    EXPECT_FLOAT_EQ(recovered.sampleInterval, 0.4f);
    EXPECT_EQ(recovered.sampleLength, 1024);
    EXPECT_EQ(recovered.highVoltage, 1);
    EXPECT_FLOAT_EQ(recovered.cableDiameter, 10.5f);
    EXPECT_FLOAT_EQ(recovered.zeroReadings[1], -0.25f);
    EXPECT_FLOAT_EQ(recovered.pipeVelocity, 5.12f);
    EXPECT_FLOAT_EQ(recovered.pipeCorrection, -1.5f);
    EXPECT_FLOAT_EQ(recovered.mainFrequency, 35000.0f)
        << "matches the value held, which the low bits cannot carry";
    EXPECT_FLOAT_EQ(recovered.amplitudeThreshold, 0.75f);
    EXPECT_FALSE(recovered.variancePolarity);
    EXPECT_EQ(raw(fillSet1(recovered)), raw(fillSet1(sent))) << "decoding is the inverse of filling";

    CInfo fresh;
    fresh.resetToDefaults();
    fresh.mainFrequency = 1000.0f;
    decodeSet1(fillSet1(sent), fresh);
    EXPECT_FLOAT_EQ(fresh.mainFrequency, 2232.0f) << "another value held: the low 16 bits, read unsigned";
}

TEST(Decode, CodesMapBackToTheirTexts) {
    _Ctrl_SET1_INFO_DLL r1{};
    CInfo info;
    r1.pickMethod = 1;
    r1.standard = 1;
    decodeSet1(r1, info);
    EXPECT_EQ(info.pickMethod, "幅值判读");
    EXPECT_EQ(info.standard, "铁路");
    r1.pickMethod = 7;
    r1.standard = 9;
    decodeSet1(r1, info);
    EXPECT_EQ(info.pickMethod, "自动判读");
    EXPECT_EQ(info.standard, "公路");

    _Ctrl_SET2_INFO_DLL r2{};
    r2.channels[0] = {1, 1, 5};
    r2.channels[1] = {0, 4, 0};
    r2.channels[2] = {1, 9, 6};
    r2.sections[0].nameCode = 6;
    r2.sections[1].nameCode = 0;
    r2.sections[2].lowPass = static_cast<int16_t>(50000);
    r2.sections[2].delay = 12345;
    info.sections[2].lowPass = 60.0f;
    decodeSet2(r2, info);
    EXPECT_TRUE(info.channels[0].enabled);
    EXPECT_EQ(info.channels[0].role, "发射");
    EXPECT_EQ(info.channels[0].pipe, "管5");
    EXPECT_FALSE(info.channels[1].enabled);
    EXPECT_EQ(info.channels[1].role, "接收3");
    EXPECT_EQ(info.channels[1].pipe, "");
    EXPECT_EQ(info.channels[2].role, "");
    EXPECT_EQ(info.channels[2].pipe, "");
    EXPECT_EQ(info.sections[0].name, "3-4");
    EXPECT_EQ(info.sections[1].name, "");
    EXPECT_FLOAT_EQ(info.sections[2].lowPass, 500.0f) << "500 kHz survives the 16-bit field";
    EXPECT_FLOAT_EQ(info.sections[2].delay, 123.45f);
}

TEST(Decode, SectionsAndJobTextsRoundTrip) {
    CInfo sent;
    sent.resetToDefaults();
    sent.sections[3].delay = 0.29f;
    sent.sections[3].highPass = 10.0f;
    sent.sections[3].lowPass = 60.0f;
    sent.sections[3].heightDiff = -15;
    sent.channels[3] = ChannelPara{false, "接收2", "管3"};
    sent.siteName = "测试工地";
    sent.unitName = "检测单位";
    sent.personName = "张三";
    sent.pileId = "P-17#";
    sent.extraText = "备注";

    CInfo recovered;
    decodeSet2(fillSet2(sent), recovered);
    const JobTextBlock block = fillJobText(sent);
    decodeJobText(block.data(), block.size(), recovered);
    EXPECT_EQ(recovered.channels, sent.channels);
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(recovered.sections[k].name, sent.sections[k].name);
        EXPECT_EQ(recovered.sections[k].present, sent.sections[k].present);
        EXPECT_EQ(recovered.sections[k].gain, sent.sections[k].gain);
        EXPECT_FLOAT_EQ(recovered.sections[k].delay, sent.sections[k].delay);
        EXPECT_FLOAT_EQ(recovered.sections[k].highPass, sent.sections[k].highPass);
        EXPECT_FLOAT_EQ(recovered.sections[k].lowPass, sent.sections[k].lowPass);
        EXPECT_FLOAT_EQ(recovered.sections[k].sectionStartDepth, sent.sections[k].sectionStartDepth);
        EXPECT_EQ(recovered.sections[k].heightDiff, sent.sections[k].heightDiff);
    }
    EXPECT_EQ(recovered.siteName, "测试工地");
    EXPECT_EQ(recovered.unitName, "检测单位");
    EXPECT_EQ(recovered.personName, "张三");
    EXPECT_EQ(recovered.pileId, "P-17#");
    EXPECT_EQ(recovered.extraText, "备注");

    // A field without its zero (a full 50 bytes) ends at the field, and a short block leaves the
    // fields it does not reach alone.
    JobTextBlock full{};
    std::memset(full.data() + 4, 'A', 50);
    std::memset(full.data() + 54, 'B', 50);
    recovered.pileId = "kept";
    decodeJobText(full.data(), 104, recovered);
    EXPECT_EQ(recovered.siteName, std::string(50, 'A'));
    EXPECT_EQ(recovered.unitName, std::string(50, 'B'));
    EXPECT_EQ(recovered.pileId, "kept");
}

TEST(PairIndex, FollowsTheSectionOrder) {
    EXPECT_EQ(pairIndex(1, 2), 0);
    EXPECT_EQ(pairIndex(3, 1), 1);
    EXPECT_EQ(pairIndex(1, 4), 2);
    EXPECT_EQ(pairIndex(2, 3), 3);
    EXPECT_EQ(pairIndex(4, 2), 4);
    EXPECT_EQ(pairIndex(3, 4), 5);
    EXPECT_EQ(pairIndex(0, 2), -1);
    EXPECT_EQ(pairIndex(2, 2), -1);
    EXPECT_EQ(pairIndex(1, 5), -1);
}

}  // namespace
}  // namespace lx9
