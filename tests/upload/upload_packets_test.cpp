#include "upload/upload_packets.h"

#include <gtest/gtest.h>

#include <cmath>

#include "data/text_codec.h"
#include "upload_fixtures.h"

namespace lx9 {
namespace {

using namespace lx9::testing;
using namespace std::chrono;

// First differing offset, for a readable failure.
::testing::AssertionResult sameBytes(const std::vector<uint8_t>& actual,
                                     const std::vector<uint8_t>& expected) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.size() << " != " << expected.size();
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i])
            return ::testing::AssertionFailure()
                   << "offset " << i << ": " << int(actual[i]) << " != " << int(expected[i]);
    }
    return ::testing::AssertionSuccess();
}

float db(double millivolts) {
    return static_cast<float>(20.0 * std::log10(std::fabs(millivolts) / 0.000025));
}

TEST(UploadPacketsTest, ChecksumIsTheLowByteOfTheSum) {
    std::vector<uint8_t> bytes{0xFF, 0xFF, 0x01};  // 0x1FF
    EXPECT_EQ(packetChecksum(bytes), 0xFF);
    EXPECT_EQ(packetChecksum(std::vector<uint8_t>{}), 0);
    EXPECT_EQ(packetChecksum(std::vector<uint8_t>{0x80, 0x80}), 0x00);
}

TEST(UploadPacketsTest, TextFieldsAreZeroThenSpacesAndCutAtTheirWidth) {
    std::vector<uint8_t> out;
    appendTextField(out, "1#", 6);
    EXPECT_EQ(out, (std::vector<uint8_t>{'1', '#', 0, ' ', ' ', ' '}));

    out.clear();
    appendTextField(out, "1-2", 3);  // exactly full: no zero
    EXPECT_EQ(out, (std::vector<uint8_t>{'1', '-', '2'}));

    out.clear();
    appendTextField(out, "ABCDEFGHIJKLMNOPQRST", 16);  // 20 bytes cut to 16
    EXPECT_EQ(std::string(out.begin(), out.end()), "ABCDEFGHIJKLMNOP");

    // Nine Chinese characters are 18 bytes in GBK: the first eight fill the 16 bytes.
    out.clear();
    appendTextField(out, "桩号一二三四五六七", 16);
    EXPECT_EQ(std::string(out.begin(), out.end()), utf8ToGbk("桩号一二三四五六"));

    // Behind one ASCII byte the cut would split a character: it stops before it, then 0.
    out.clear();
    appendTextField(out, "A桩号一二三四五六七", 16);
    std::string expected = utf8ToGbk("A桩号一二三四五");
    ASSERT_EQ(expected.size(), 15u);
    expected += '\0';
    EXPECT_EQ(std::string(out.begin(), out.end()), expected);

    out.clear();
    appendTextField(out, "", 4);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, ' ', ' ', ' '}));
}

TEST(UploadPacketsTest, SectionListNamesPresentSlotsAndPlaceholdersTheRest) {
    CInfo info = smallTest();
    EXPECT_EQ(sectionListText(info), "1-2,1-3,2*3,1*4,2*4,3*4,");
    for (auto& s : info.sections)
        s.present = true;
    info.pipeCount = 4;
    info.sectionCount = 6;
    info.rebuildSectionNames();
    EXPECT_EQ(sectionListText(info), "1-2,1-3,1-4,2-3,2-4,3-4,");
    for (auto& s : info.sections)
        s.present = false;
    EXPECT_EQ(sectionListText(info), "1*2,1*3,2*3,1*4,2*4,3*4,");
    EXPECT_EQ(placeholderName(9), "4*5");
}

TEST(UploadPacketsTest, StandardCodesOfTheHeader) {
    EXPECT_EQ(uploadStandardCode("公路"), 1);
    EXPECT_EQ(uploadStandardCode("铁路"), 2);
    EXPECT_EQ(uploadStandardCode("建筑"), 3);
    EXPECT_EQ(uploadStandardCode("广东建筑"), 7);
    EXPECT_EQ(uploadStandardCode("其他"), 1);
    EXPECT_EQ(uploadStandardCode(""), 1);
}

TEST(UploadPacketsTest, TestDatesInTheirThreeFormsBecomeOleDates) {
    const year_month_day today = year(2030) / 1 / 2;
    EXPECT_EQ(oleDate(year(1899) / 12 / 30), 0.0);
    EXPECT_EQ(oleDate(year(1900) / 1 / 1), 2.0);
    EXPECT_EQ(testDateOle("2024-3-5", today), 45356.0);
    EXPECT_EQ(testDateOle("2024.03.05", today), 45356.0);
    EXPECT_EQ(testDateOle("2024年3月5日", today), 45356.0);
    EXPECT_EQ(testDateOle(" 2024-3-5 ", today), 45356.0);
    const double fallback = oleDate(today);
    EXPECT_EQ(testDateOle("2024-2-30", today), fallback);  // no such day
    EXPECT_EQ(testDateOle("2024-3", today), fallback);
    EXPECT_EQ(testDateOle("2024-3.5", today), fallback);    // mixed separators
    EXPECT_EQ(testDateOle("2024年3月5", today), fallback);  // 日 missing
    EXPECT_EQ(testDateOle("", today), fallback);
    EXPECT_EQ(testDateOle("5-3-2024x", today), fallback);
}

TEST(UploadPacketsTest, FileStemDropsTheFolderAndTheLastFourCharacters) {
    EXPECT_EQ(uploadFileStem("/data/jobs/P7.CHT"), "P7");
    EXPECT_EQ(uploadFileStem("P7.CHT"), "P7");
    EXPECT_EQ(uploadFileStem("/a/.CHT"), "");
    EXPECT_EQ(uploadFileStem("/a/b"), "");
}

TEST(UploadPacketsTest, FileHeaderPacket1) {
    const CInfo info = smallTest();
    auto e = expectedHeader(285, 11, true);
    put8(e, 119, 0);
    put8(e, 120, 20);
    put8(e, 121, 1);
    put8(e, 122, 2);  // 铁路
    putF64(e, 123, 45356.0);
    putF64(e, 131, 45356.0);
    putF64(e, 139, 45356.0);
    putField(e, 147, "P7", 60);
    putI32(e, 207, 1200);
    putF32(e, 211, 20.5f);
    putF32(e, 215, 50000.0f);
    putI32(e, 219, 3);
    putI32(e, 223, 2);
    putF32(e, 227, 0.5f);
    putI32(e, 231, 512);
    putF32(e, 245, 0.00512f);
    putF32(e, 249, 50.0f);
    putF32(e, 253, 45.0f);
    putF32(e, 257, 30.0f);
    putI32(e, 261, -15);
    putF32(e, 265, 63.0f);
    putF32(e, 269, 10.0f);
    seal(e);
    EXPECT_TRUE(sameBytes(fileHeaderPacket1(smallIdentity(), info, info.uploadFile, 45356.0), e));
}

TEST(UploadPacketsTest, FileHeaderPacket2) {
    CInfo info = smallTest();
    info.sections[1].heightDiff = 120;
    auto e = expectedHeader(484, 11, true);
    put8(e, 120, 20);
    put8(e, 121, 2);
    const char* names[] = {"1-2", "1-3", "2*3", "1*4", "2*4", "3*4", "1*5", "2*5", "3*5", "4*5"};
    for (int k = 0; k < 10; ++k)
        putField(e, 122 + 35 * k, names[k], 3);
    // 1-2: start depth 20, height 0, spacing 400, gain 80, zero 0, delay 100, filters 0.5 / 500.
    putF32(e, 125, 20.0f);
    putF32(e, 133, 400.0f);
    putF32(e, 137, 80.0f);
    putF32(e, 145, 100.0f);
    putF32(e, 149, 0.5f);
    putF32(e, 153, 500.0f);
    // 1-3: horizontal, so the start depth is the test's, not the section's 15 m.
    putF32(e, 160, 20.0f);
    putF32(e, 164, 120.0f);
    putF32(e, 168, 560.0f);
    putF32(e, 172, 60.0f);
    putF32(e, 176, 1.5f);
    putF32(e, 180, 20.0f);
    putF32(e, 184, 0.5f);
    putF32(e, 188, 500.0f);
    seal(e);
    EXPECT_TRUE(sameBytes(fileHeaderPacket2(smallIdentity(), info), e));

    info.testMode = kInclined;  // the section's own start depth, mode byte 21
    const auto inclined = fileHeaderPacket2(smallIdentity(), info);
    EXPECT_EQ(inclined[120], 21);
    float start = 0;
    std::memcpy(&start, &inclined[160], 4);
    EXPECT_EQ(start, 15.0f);
}

TEST(UploadPacketsTest, DataPacketsOfALevel) {
    const CInfo info = smallTest();
    OwnedLists lists;
    fillSmallTest(info, lists);

    const DataLevel level0 = dataLevel(info, lists, 0);
    auto e = expectedHeader(410, 12, true);
    put8(e, 119, 1);
    putI32(e, 120, 1);
    putF32(e, 124, 20.0f);
    const char* names[] = {"1-2", "1-3", "2*3", "1*4", "2*4", "3*4", "1*5", "2*5", "3*5", "4*5"};
    for (int k = 0; k < 10; ++k)
        putField(e, 128 + 27 * k, names[k], 3);
    // T = (99 + 1) × 0.5 + 20 = 70 µs; A from the code 3048 (1-2) and 2948 (1-3) at gain 80.
    const float a12 = db(static_cast<float>(1000 * 2 * 0.00048828125 / 80 * 1000 / 0.732));
    const float a13 = db(static_cast<float>(900 * 2 * 0.00048828125 / 80 * 1000 / 0.732));
    EXPECT_NEAR(a12, 116.48, 0.01);
    putF32(e, 131, 0.4f);
    putF32(e, 135, 70.0f);
    putF32(e, 139, a12);
    putF32(e, 158, 0.56f);
    putF32(e, 162, 70.0f);
    putF32(e, 166, a13);
    seal(e);
    EXPECT_TRUE(sameBytes(dataPacket(smallIdentity(), info, level0), e));

    // Level 2 of 1-3 keeps the section's delay: its time is sent as 0. Depth 19.9 m, number 3.
    const DataLevel level2 = dataLevel(info, lists, 2);
    EXPECT_EQ(level2.level, 2);
    EXPECT_FLOAT_EQ(level2.depth, 20.0f - 0.05f * 2);
    EXPECT_FLOAT_EQ(level2.entries[0].time, 71.0f);
    EXPECT_EQ(level2.entries[1].time, 0.0f);
    const auto p2 = dataPacket(smallIdentity(), info, level2);
    EXPECT_EQ(p2[120], 3);

    // A level missing from a present section: its name and spacing, zero time and amplitude.
    const DataLevel beyond = dataLevel(info, lists, 9);
    EXPECT_TRUE(beyond.entries[0].present);
    EXPECT_EQ(beyond.entries[0].time, 0.0f);
    EXPECT_EQ(beyond.entries[0].amplitudeDb, 0.0f);
    EXPECT_EQ(beyond.depth, 0.0f);
}

TEST(UploadPacketsTest, AmplitudesBelowOneHundredthAreSentAsOneHundredth) {
    const CInfo info = smallTest();
    OwnedLists lists;
    fillSmallTest(info, lists, 1);
    {
        auto guard = lists[0]->lock();
        lists[0]->first->samples[150] = 2048;  // no amplitude at all
        lists[1]->first->ampIndex = 9999;      // outside the waveform: read as the zero line
    }
    const DataLevel level = dataLevel(info, lists, 0);
    EXPECT_FLOAT_EQ(level.entries[0].amplitudeDb, db(0.01));
    EXPECT_NEAR(level.entries[0].amplitudeDb, 52.04, 0.01);
    EXPECT_FLOAT_EQ(level.entries[1].amplitudeDb, db(0.01));
}

TEST(UploadPacketsTest, CriteriaPackets) {
    CInfo info = smallTest();
    std::array<SectionCriticals, kMaxSections> crit{};
    crit[0] = {3800000.0f, 98.5f};
    crit[1] = {4100000.0f, 101.25f};
    crit[5] = {4500000.0f, 90.0f};

    auto e = expectedHeader(306, 12, true);
    put8(e, 119, 7);
    putI32(e, 120, 1);
    putF32(e, 124 + 4, 3.8f);
    putF32(e, 124 + 26, 98.5f);
    putF32(e, 158 + 4, 4.1f);
    putF32(e, 158 + 26, 101.25f);
    seal(e);
    EXPECT_TRUE(sameBytes(criteriaPacket(smallIdentity(), info, crit, 1), e));

    // Packet 2 covers positions 5..9: slot 5 when present, the rest zero.
    info.pipeCount = 4;
    info.sectionCount = 6;
    info.rebuildSectionNames();
    info.sections[5].present = true;
    const auto p2 = criteriaPacket(smallIdentity(), info, crit, 2);
    ASSERT_EQ(p2.size(), 306u);
    EXPECT_EQ(p2[119], 7);
    EXPECT_EQ(p2[120], 2);
    float v = 0, a = 0;
    std::memcpy(&v, &p2[128], 4);
    std::memcpy(&a, &p2[150], 4);
    EXPECT_FLOAT_EQ(v, 4.5f);
    EXPECT_EQ(a, 90.0f);
    for (std::size_t i = 158; i < 294; ++i)
        ASSERT_EQ(p2[i], 0) << i;
}

TEST(UploadPacketsTest, ImagesTravelIn388ByteChunks) {
    EXPECT_EQ(imageChunkCount(776), 2u);
    EXPECT_EQ(imageChunkCount(777), 3u);
    EXPECT_EQ(imageChunkCount(388), 1u);
    EXPECT_EQ(imageChunkCount(1), 1u);
    EXPECT_EQ(imageChunkCount(0), 0u);

    const std::vector<uint8_t> data{0x89, 'P', 'N'};
    auto e = expectedHeader(97, 175, false, 3);
    put8(e, 79, 0);
    putField(e, 80, "1-3", 3);
    putI32(e, 83, 0);
    put8(e, 87, 0);
    putI32(e, 88, 3);
    e[92] = 0x89;
    e[93] = 'P';
    e[94] = 'N';
    seal(e);
    EXPECT_TRUE(sameBytes(imageChunkPacket(smallIdentity(), "1-3", 3, data), e));
}

TEST(UploadPacketsTest, EndPacket) {
    const CInfo info = smallTest();
    auto e = expectedHeader(161, 14, true);
    put8(e, 119, 0);
    putI32(e, 120, 1);
    putF32(e, 132, 20.0f);
    putField(e, 136, "***", 3);
    seal(e);
    EXPECT_TRUE(sameBytes(endPacket(smallIdentity(), info, 20.0f), e));
}

TEST(UploadPacketsTest, LongPileNumbersAreCutToSixteenBytesInEveryHeader) {
    const CInfo info = smallTest();
    PacketIdentity id = smallIdentity();
    id.pileId = "PILE-0123456789-ABCDEF";
    const auto p = endPacket(id, info, 0.0f);
    EXPECT_EQ(std::string(p.begin() + 63, p.begin() + 79), "PILE-0123456789-");
    EXPECT_EQ(p[79], '1');  // the section list follows at once
}

}  // namespace
}  // namespace lx9

namespace lx9 {
namespace {

bool sameLevel(const DataLevel& a, const DataLevel& b) {
    if (a.level != b.level || a.depth != b.depth) return false;
    for (int k = 0; k < kMaxSections; ++k) {
        const auto &x = a.entries[k], &y = b.entries[k];
        if (x.present != y.present || x.name != y.name || x.spacingM != y.spacingM || x.time != y.time ||
            x.amplitudeDb != y.amplitudeDb)
            return false;
    }
    return true;
}

TEST(UploadPacketsTest, TheLevelReaderReadsWhatEachLevelHolds) {
    const CInfo info = testing::smallTest();
    testing::OwnedLists lists;
    testing::fillSmallTest(info, lists, 6);
    LevelReader reader(info, lists);
    for (int level : {0, 1, 2, 5, 7, 3, 3, 0, 9, 4}) {
        EXPECT_TRUE(sameLevel(reader.read(level), dataLevel(info, lists, level))) << level;
    }
    EXPECT_FLOAT_EQ(reader.read(5).depth, 20.0f - 0.05f * 5);
    EXPECT_EQ(reader.read(6).depth, 0.0f);
}

}  // namespace
}  // namespace lx9
