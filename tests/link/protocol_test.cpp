// The protocol's pure parts: gain codes, pair slots, filter codes, reply judging at the edges of
// the received length, and frame unpacking.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "link/protocol.h"

namespace {

using kaxil::Verdict;

TEST(GainCode, FollowsTheAmplifierTable) {
    const std::pair<uint16_t, uint8_t> table[] = {
        {1, 0},      {2, 1},      {4, 2},      {8, 3},    {10, 3},    {20, 5},    {40, 6},    {80, 7},
        {100, 7},    {200, 9},    {400, 10},   {800, 11}, {1000, 11}, {2000, 25}, {4000, 26}, {8000, 27},
        {10000, 27}, {20000, 41}, {40000, 42}, {0, 0},    {3, 0},     {50, 0},    {65535, 0}};
    for (auto [gain, code] : table)
        EXPECT_EQ(kaxil::gainCode(gain), code) << "gain " << gain;
}

TEST(PairSlot, OrdersTheTwelvePairsByTransmitterThenReceiver) {
    const int expected[5][5] = {
        {-1, -1, -1, -1, -1}, {-1, -1, 0, 1, 2}, {-1, 3, -1, 4, 5}, {-1, 6, 7, -1, 8}, {-1, 9, 10, 11, -1}};
    for (int t = 0; t < 5; ++t) {
        for (int r = 0; r < 5; ++r)
            EXPECT_EQ(kaxil::pairSlot(t, r), expected[t][r]) << t << "," << r;
    }
    EXPECT_EQ(kaxil::pairSlot(1, 5), -1);
    EXPECT_EQ(kaxil::pairSlot(5, 1), -1);
}

TEST(FilterCode, KnowsFourCombinationsAndFallsBackTo0x11) {
    EXPECT_EQ(kaxil::filterCode(50, 500), 0x11);
    EXPECT_EQ(kaxil::filterCode(50, 60), 0x01);
    EXPECT_EQ(kaxil::filterCode(1000, 500), 0x10);
    EXPECT_EQ(kaxil::filterCode(1000, 60), 0x00);
    EXPECT_EQ(kaxil::filterCode(51, 500), 0x11);
    EXPECT_EQ(kaxil::filterCode(1000, 61), 0x11);
}

TEST(ConfigPacket, EmptyRecordAndLowBytesOfWideFields) {
    _Ctrl_Code_INFO_DLL c{};
    c.reserved0 = 0x1FF;
    c.reserved24 = 0x234;
    c.pulseWidth = 4000;  // × 20 = 80000: low 16 bits 0x3880
    c.sampleLength = 512;
    c.stepMm = 1000;
    c.sampleInterval = 0.1f;
    uint8_t packet[kaxil::kConfigPacketSize];
    kaxil::buildConfigPacket(c, packet);
    EXPECT_EQ(packet[0], 'd');
    EXPECT_EQ(packet[1], 0xFF);
    EXPECT_EQ(packet[2], 0x80);
    EXPECT_EQ(packet[3], 0x38);
    EXPECT_EQ(packet[4], 2);
    EXPECT_EQ(packet[6], 0);
    EXPECT_EQ(packet[8], 1) << "no group in use";
    EXPECT_EQ(packet[13], 0xE8) << "1000 mm: only the low byte";
    EXPECT_EQ(packet[14], 0x34);
    EXPECT_EQ(packet[16], 10);
    EXPECT_EQ(packet[20], 0x11) << "no entry placed";
}

TEST(ConfigPacket, PairwiseFourChannelsFillsEverySlotOnce) {
    _Ctrl_Code_INFO_DLL c{};
    int delay = 10;
    const int transmitters[3] = {1, 2, 3};
    for (int g = 0; g < 3; ++g) {
        c.groups[g].transmitter = static_cast<uint8_t>(transmitters[g]);
        int e = 0;
        for (int r = transmitters[g] + 1; r <= 4; ++r) {
            c.groups[g].pairs[e++] = {static_cast<uint8_t>(r), {}, delay, 20, 50, 60};
            delay += 10;
        }
    }
    uint8_t p[kaxil::kConfigPacketSize];
    kaxil::buildConfigPacket(c, p);
    EXPECT_EQ(p[8], 4);
    EXPECT_EQ(p[9], 1);
    EXPECT_EQ(p[10], 2);
    EXPECT_EQ(p[11], 3);
    EXPECT_EQ(p[12], 0);
    EXPECT_EQ(p[6], 60) << "largest delay";
    EXPECT_EQ(p[20], 0x01);
    // Slots T1R2 T1R3 T1R4 T2R3 T2R4 T3R4 = 0 1 2 4 5 8.
    const int slots[6] = {0, 1, 2, 4, 5, 8};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(p[28 + slots[i]], 5);
        EXPECT_EQ(p[40 + 2 * slots[i]], 10 * (i + 1));
    }
    for (int s : {3, 6, 7, 9, 10})
        EXPECT_EQ(p[28 + s], 0);
    EXPECT_EQ(p[39], 0);
}

TEST(ConfigPacket, NegativeDelaysDoNotRaiseTheLargestDelay) {
    _Ctrl_Code_INFO_DLL c{};
    c.groups[0].transmitter = 2;
    c.groups[0].pairs[0] = {1, {}, -5, 1, 50, 500};
    uint8_t p[kaxil::kConfigPacketSize];
    kaxil::buildConfigPacket(c, p);
    EXPECT_EQ(p[6], 0);
    EXPECT_EQ(p[7], 0);
    EXPECT_EQ(p[40 + 2 * 3], 0xFB) << "the slot keeps the low 16 bits of its own delay";
    EXPECT_EQ(p[40 + 2 * 3 + 1], 0xFF);
}

// Every judgement reads only what was received: each reply lives in a heap block of exactly its
// length, so AddressSanitizer stops a read past it.
Verdict judgeExact(const kaxil::Command& command, std::vector<uint8_t> reply) {
    auto block = std::make_unique<uint8_t[]>(reply.size() ? reply.size() : 1);
    std::copy(reply.begin(), reply.end(), block.get());
    return kaxil::judgeReply(command, block.get(), static_cast<ssize_t>(reply.size()));
}

TEST(JudgeReply, ReadsNothingBeyondTheReceivedBytes) {
    const kaxil::Command all[] = {
        kaxil::kHandshake,   kaxil::kFirmware,     kaxil::kBattery,   kaxil::kLeak,   kaxil::kRecordHeight,
        kaxil::kStartSample, kaxil::kLed,          kaxil::kConfig,    kaxil::kSample, kaxil::kEnd,
        kaxil::kBegin,       kaxil::kPara3,        kaxil::kSetHeight, kaxil::kPara1,  kaxil::kPara2,
        kaxil::kLiveHeight,  kaxil::kStoredHeight, kaxil::kQuery};
    // Each reply sits in a block of exactly its length, so any read past it is caught by the
    // address sanitizer (make test-asan); the verdicts themselves are checked below.
    for (const auto& command : all) {
        for (size_t n = 1; n <= 10; ++n) {
            std::vector<uint8_t> reply(n, 'R');
            judgeExact(command, reply);
        }
    }
    EXPECT_EQ(judgeExact(kaxil::kSample, {0, 'R', 0, 0}).result, 0);
    EXPECT_FALSE(judgeExact(kaxil::kSample, {0, 'R', 0, 0}).flush);
    EXPECT_EQ(judgeExact(kaxil::kStartSample, {0, 'R', 0, 0}).result, 1);
    EXPECT_TRUE(judgeExact(kaxil::kStartSample, {0}).flush);
}

TEST(JudgeReply, ReceiveFailuresFlushOnlyForSomeCommands) {
    for (ssize_t received : {ssize_t{0}, ssize_t{-1}}) {
        for (const auto& c : {kaxil::kHandshake, kaxil::kFirmware, kaxil::kBattery, kaxil::kLeak,
                              kaxil::kRecordHeight, kaxil::kStartSample, kaxil::kConfig}) {
            EXPECT_EQ(kaxil::judgeReply(c, nullptr, received).result, 0);
            EXPECT_TRUE(kaxil::judgeReply(c, nullptr, received).flush) << c.echo;
        }
        for (const auto& c :
             {kaxil::kLed, kaxil::kLiveHeight, kaxil::kStoredHeight, kaxil::kSample, kaxil::kEnd,
              kaxil::kBegin, kaxil::kPara3, kaxil::kSetHeight, kaxil::kPara1, kaxil::kPara2, kaxil::kQuery}) {
            EXPECT_EQ(kaxil::judgeReply(c, nullptr, received).result, 0);
            EXPECT_FALSE(kaxil::judgeReply(c, nullptr, received).flush) << c.echo;
        }
    }
}

TEST(UnpackFrame, StatusNibblesAndMaskedHeader) {
    std::array<uint16_t, 6> w = {0xF001, 0x1FFF, 0x2000, 0x3000, 0x4ABC, 0xF555};
    uint16_t status = 0xFFFF;
    const Verdict v = kaxil::unpackFrame(w.data(), sizeof w, sizeof w, &status);
    EXPECT_EQ(v.result, 1);
    EXPECT_FALSE(v.flush);
    EXPECT_EQ(status, 0x1234);
    EXPECT_EQ(w, (std::array<uint16_t, 6>{0x001, 0xFFF, 0x000, 0x000, 0xABC, 0xF555}));
}

TEST(UnpackFrame, TheUnreceivedRestReadsAsTheZeroLine) {
    std::array<uint16_t, 8> w;
    w.fill(0xF777);  // the previous frame
    uint16_t status = 0;
    // Three bytes arrived: word 0 and half of word 1. The half word counts as not received.
    EXPECT_EQ(kaxil::unpackFrame(w.data(), sizeof w, 3, &status).result, 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(w, (std::array<uint16_t, 8>{0x0777, 2048, 2048, 2048, 2048, 2048, 2048, 2048}));
}

TEST(UnpackFrame, RejectsFramesWithoutTheMarkerAndTouchesNothingBeyondTheBuffer) {
    uint16_t status = 0x1111;
    std::array<uint16_t, 4> w = {0x7FFF, 0xF000, 0xF000, 0xF000};
    Verdict v = kaxil::unpackFrame(w.data(), sizeof w, sizeof w, &status);
    EXPECT_EQ(v.result, 0);
    EXPECT_TRUE(v.flush);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(w[1], 0xF000) << "a rejected frame is left as received";

    EXPECT_EQ(kaxil::unpackFrame(w.data(), sizeof w, 1, &status).result, 0) << "not even the marker word";
    EXPECT_EQ(kaxil::unpackFrame(w.data(), sizeof w, 0, &status).result, 0);
    EXPECT_TRUE(kaxil::unpackFrame(w.data(), sizeof w, -1, &status).flush);

    // A buffer of three words: the status comes from words 1 and 2 only, nothing beyond is written.
    auto small = std::make_unique<uint16_t[]>(3);
    small[0] = 0xF000;
    small[1] = 0x5000;
    small[2] = 0x6000;
    EXPECT_EQ(kaxil::unpackFrame(small.get(), 6, 6, &status).result, 1);
    EXPECT_EQ(status, 0x5600);
    EXPECT_EQ(kaxil::unpackFrame(small.get(), 6, 6, nullptr).result, 0) << "marker now cleared";
}

TEST(Truncate32, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(kaxil::truncate32(2.9), 2);
    EXPECT_EQ(kaxil::truncate32(-2.9), -2);
    EXPECT_EQ(kaxil::truncate32(1e12), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(kaxil::truncate32(-1e12), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(kaxil::truncate32(std::nan("")), 0);
    EXPECT_EQ(kaxil::truncate32(std::numeric_limits<double>::infinity()),
              std::numeric_limits<int32_t>::max());
}

}  // namespace
