#include "channel_config.h"

#include <gtest/gtest.h>

#include "link/protocol.h"

#include "sim_test_util.h"

namespace lx9::sim {
namespace {

TEST(ChannelConfig, OrderedPairSlotsFollowThePacketOrder) {
    const int expected[12][2] = {{1, 2}, {1, 3}, {1, 4}, {2, 1}, {2, 3}, {2, 4},
                                 {3, 1}, {3, 2}, {3, 4}, {4, 1}, {4, 2}, {4, 3}};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(orderedPair(i).transmitter, expected[i][0]) << i;
        EXPECT_EQ(orderedPair(i).receiver, expected[i][1]) << i;
        EXPECT_EQ(orderedSlot(expected[i][0], expected[i][1]), i);
    }
    EXPECT_EQ(orderedSlot(2, 2), -1);
    EXPECT_EQ(orderedSlot(0, 1), -1);
    EXPECT_EQ(orderedSlot(1, 5), -1);
}

TEST(ChannelConfig, GainCodesAreThreeStages) {
    const int gains[] = {1, 2, 4, 10, 20, 40, 100, 200, 400, 1000, 2000, 4000, 10000, 20000, 40000};
    for (int g : gains)
        EXPECT_DOUBLE_EQ(gainFactor(kaxil::gainCode(static_cast<uint16_t>(g))), g) << g;
    EXPECT_DOUBLE_EQ(gainFactor(0x3F), 10.0 * 100.0 * 100.0);  // value 3 of a x10 stage saturates at x100
}

TEST(ChannelConfig, DecodesThePacketBytes) {
    const auto packet =
        test::configPacket(1024, 0.5, {2}, {{2, 1, 7, 300}, {2, 3, 11, 20}, {2, 4, 42, 65535}}, 1460, 244);
    const auto c = decodeChannelConfig(packet);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->sampleLength, 1024);
    EXPECT_DOUBLE_EQ(c->sampleIntervalUs, 0.5);
    EXPECT_DOUBLE_EQ(c->windingDiameterMm, 146.0);
    EXPECT_EQ(c->stepLowByte, 244);
    EXPECT_EQ(c->pulseWidth, 100);
    EXPECT_EQ((std::array<uint8_t, 4>{0, 1, 0, 0}), c->groupOf);
    EXPECT_EQ(c->gainCode[3], 7);
    EXPECT_EQ(c->gainCode[4], 11);
    EXPECT_EQ(c->gainCode[5], 42);
    EXPECT_EQ(c->delaySamples[3], 300);
    EXPECT_EQ(c->delaySamples[5], 65535);
    EXPECT_EQ(c->gainCode[0], 0);
}

TEST(ChannelConfig, RefusesPacketsItCannotUse) {
    auto good = test::configPacket(512, 1.0, {1}, {{1, 2, 7, 100}});
    ASSERT_TRUE(decodeChannelConfig(good));
    auto bad = good;
    bad[4] = 3;  // 768 samples
    EXPECT_FALSE(decodeChannelConfig(bad));
    bad = good;
    bad[16] = bad[17] = 0;  // no sampling interval
    EXPECT_FALSE(decodeChannelConfig(bad));
    bad = good;
    bad[10] = 4;  // group 4 does not exist
    EXPECT_FALSE(decodeChannelConfig(bad));
    bad = good;
    bad.pop_back();
    EXPECT_FALSE(decodeChannelConfig(bad));
    bad = good;
    bad[0] = 'D';
    EXPECT_FALSE(decodeChannelConfig(bad));
}

TEST(ChannelConfig, FrameSlotsTakeTheFiringOfTheLowestGroup) {
    // Every pair once (pairwise, four channels): T1 to 2, 3, 4; T2 to 3, 4; T3 to 4.
    auto c = decodeChannelConfig(test::configPacket(512, 1.0, {1, 2, 3}, {}));
    EXPECT_EQ((std::array<int, 6>{0, 1, 2, 4, 5, 8}), frameSlotSources(*c));
    // One transmitter (channel 2) to all others: only the pairs with channel 2 are recorded.
    c = decodeChannelConfig(test::configPacket(512, 1.0, {2}, {}));
    EXPECT_EQ((std::array<int, 6>{3, -1, -1, 4, 5, -1}), frameSlotSources(*c));
    // Pairwise over channels 1, 2, 4: the third group fires channel 4, so pair 3-4 comes from T4R3.
    c = decodeChannelConfig(test::configPacket(512, 1.0, {1, 2, 4}, {}));
    EXPECT_EQ((std::array<int, 6>{0, 1, 2, 4, 5, 11}), frameSlotSources(*c));
    // Nothing fires: every slot stays at the zero line.
    c = decodeChannelConfig(test::configPacket(512, 1.0, {}, {}));
    EXPECT_EQ((std::array<int, 6>{-1, -1, -1, -1, -1, -1}), frameSlotSources(*c));
}

}  // namespace
}  // namespace lx9::sim
