#include "data/settings_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

#include "data/text_codec.h"

namespace lx9 {
namespace {

namespace fs = std::filesystem;

// The default record with the date fixed to 2026-12-7, byte by byte from the file layout.
// Strings: FF, tag FE FF, length byte, UTF-16LE units. Numbers little-endian.
const std::vector<uint8_t> kDefaultRecord = {
    0xFF, 0xFE, 0xFF, 0x03, 0x3A, 0x79, 0x8B, 0x4F, 0x40, 0x62,  // siteName "示例所"
    0xFF, 0xFE, 0xFF, 0x09, '2', 0, '0', 0, '2', 0, '6', 0, '-', 0, '1', 0, '2', 0, '-', 0, '7',
    0,                                                                       // testDate
    0xFF, 0xFE, 0xFF, 0x03, 0x3A, 0x79, 0x8B, 0x4F, 0x40, 0x62,              // unitName "示例所"
    0xFF, 0xFE, 0xFF, 0x03, 0x3A, 0x79, 0x8B, 0x4F, 0x40, 0x62,              // personName "示例所"
    0xFF, 0xFE, 0xFF, 0x02, '1', 0, '#', 0,                                  // pileId "1#"
    0x04, 0x00, 0x00, 0x00,                                                  // pipeCount 4
    0x00, 0x00, 0xA0, 0x41,                                                  // startDepth 20.0f
    0x32, 0x00, 0x00, 0x00,                                                  // stepMm 50
    0x00, 0x00, 0xA0, 0x41,                                                  // pileLength 20.0f
    0x14, 0x00, 0x00, 0x00,                                                  // pileDiameter 20
    0x00, 0x00, 0x00, 0x00,                                                  // offsetAngle 0
    0xFF, 0xFE, 0xFF, 0x04, 0x00, 0x67, 0x0E, 0x54, 0xDD, 0x4F, 0x58, 0x5B,  // saveMode "最后保存"
    0xFF, 0xFE, 0xFF, 0x04, 0xEA, 0x81, 0xA8, 0x52, 0x24, 0x52, 0xFB, 0x8B,  // pickMethod "自动判读"
    0xFF, 0xFE, 0xFF, 0x02, 0x6C, 0x51, 0xEF, 0x8D,                          // standard "公路"
    0x00, 0x00, 0x00, 0x00,                                                  // testMode 0
    0x01,                                                                    // digitalFilter
    0x00, 0x00, 0x80, 0x3F,                                                  // sampleInterval 1.0f
    0x00, 0x02, 0x00, 0x00,                                                  // sampleLength 512
    0x05, 0x00, 0x00, 0x00,                                                  // pulseWidth 5
    0x01,                                                                    // continuousFiring
    0x00,                                                                    // highVoltage
    0x00, 0x00, 0x7C, 0x42,                                                  // pulleyDiameter 63.0f
    0x00, 0x00, 0x20, 0x41,                                                  // cableDiameter 10.0f
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // zeroReadings 6 x 0.0f
    0x14, 0x00, 0x00, 0x00,                                                  // pipeOuterDiameter 20
    0x05, 0x00, 0x00, 0x00,                                                  // pipeInnerDiameter 5
    0x0A, 0xD7, 0xA3, 0x40,                                                  // pipeVelocity 5.12f
    0x05, 0x00, 0x00, 0x00,                                                  // probeDiameter 5
    0x00, 0x00, 0xC0, 0x3F,                                                  // waterVelocity 1.5f
    0x00, 0x00, 0x00, 0x00,                                                  // pipeCorrection 0.0f
    0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // colours
#define SECTION(p, q)                                                             \
    0x01, 0x01,                                     /* display, present */        \
        0xFF, 0xFE, 0xFF, 0x03, p, 0, '-', 0, q, 0, /* name "p-q" */              \
        0x54, 0x01, 0x00, 0x00,                     /* spacing 340 */             \
        0x50, 0x00, 0x00, 0x00,                     /* gain 80 */                 \
        0x00, 0x00, 0xC8, 0x42,                     /* delay 100.0f */            \
        0x00, 0x00, 0x00, 0x3F,                     /* highPass 0.5f */           \
        0x00, 0x00, 0xFA, 0x43,                     /* lowPass 500.0f */          \
        0x00, 0x00, 0x70, 0x41,                     /* sectionStartDepth 15.0f */ \
        0x32, 0x00, 0x00, 0x00,                     /* sectionStep 50 */          \
        0x00, 0x00, 0x00, 0x00                      /* heightDiff 0 */
    SECTION('1', '2'), SECTION('1', '3'), SECTION('1', '4'), SECTION('2', '3'), SECTION('2', '4'),
    SECTION('3', '4'),
#undef SECTION
    // channels: enabled, role, pipe ("发射" 53D1 5C04, "接收n" 63A5 6536 n, "管n" 7BA1 n)
    0x01, 0xFF, 0xFE, 0xFF, 0x02, 0xD1, 0x53, 0x04, 0x5C, 0xFF, 0xFE, 0xFF, 0x02, 0xA1, 0x7B, '1', 0, 0x01,
    0xFF, 0xFE, 0xFF, 0x03, 0xA5, 0x63, 0x36, 0x65, '1', 0, 0xFF, 0xFE, 0xFF, 0x02, 0xA1, 0x7B, '2', 0, 0x01,
    0xFF, 0xFE, 0xFF, 0x03, 0xA5, 0x63, 0x36, 0x65, '2', 0, 0xFF, 0xFE, 0xFF, 0x02, 0xA1, 0x7B, '3', 0, 0x01,
    0xFF, 0xFE, 0xFF, 0x03, 0xA5, 0x63, 0x36, 0x65, '3', 0, 0xFF, 0xFE, 0xFF, 0x02, 0xA1, 0x7B, '4', 0,
    0x01,                    // pairwiseMode
    0x06, 0x00, 0x00, 0x00,  // sectionCount 6
    0x00, 0x00, 0x00, 0x00,  // amplitudeThreshold 0.0f
    0x01,                    // variancePolarity
    0x00, 0x00, 0x00, 0x00,  // varianceStart 0
    0x00, 0xB8, 0x08, 0x47,  // mainFrequency 35000.0f
    0x00, 0x00, 0x40, 0x40,  // varianceThreshold 3.0f
    0x01, 0x00, 0x00, 0x00,  // waveTrainStyle 1
    0x00, 0x00, 0x00, 0x00,  // viewOption 0
    0x0A, 0x00, 0x00, 0x00,  // zoomInterval 10
    0x01, 0x00, 0x00, 0x00,  // grayColour 1
    0x01, 0x00, 0x00, 0x00,  // grayLevels 1
    0xFF, 0xFE, 0xFF, 0x09, '1', 0, '.', 0, '1', 0, '.', 0, '4', 0, '1', 0, '1', 0, '2', 0, '2',
    0,  // versionText
    // hotkeys 0..11: (modifier 0, key) for S C X M T G Q H D F B Y
    0, 0, 'S', 0, 0, 0, 'C', 0, 0, 0, 'X', 0, 0, 0, 'M', 0, 0, 0, 'T', 0, 0, 0, 'G', 0, 0, 0, 'Q', 0, 0, 0,
    'H', 0, 0, 0, 'D', 0, 0, 0, 'F', 0, 0, 0, 'B', 0, 0, 0, 'Y', 0,
    0x00,  // showHotkeyLetters (cleared by the reset)
    0, 0, 'Q', 0, 0, 0, 'A', 0, 0, 0, 'B', 0, 0, 0, 'C', 0, 0, 0, 'S', 0,  // hotkeys 12..16
    0x00, 0x00, 0x00, 0x00,                                                // historyCount 0
    0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF,
    0x00,  // history
    0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF,
    0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE,
    0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00,  // 15 empty lines in all
    0x00, 0x00, 0x00, 0x00,                                      // consoleState 0
    0x01,                                                        // consoleFlagB
    0x00,                                                        // consoleFlagA
    0xFF, 0xFE, 0xFF, 0x00,                                      // instrumentNumber ""
    0xFF, 0xFE, 0xFF, 0x00,                                      // serialNumber ""
    0x01, 0x00, 0x00, 0x7F,                                      // serverAddress 127.0.0.1 in host order
    0x8D, 0x13,                                                  // serverPort 5005
    0x01, 0x00, 0x00, 0x00,                                      // cacheMode 1
};

CInfo fixedDefaults() {
    CInfo info;
    info.resetToDefaults();
    info.testDate = "2026-12-7";
    return info;
}

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("lx9-settings-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = dir_ / "set.ini";
    }
    void TearDown() override { fs::remove_all(dir_); }

    void writeRaw(const std::vector<uint8_t>& bytes, size_t length) {
        std::ofstream out(file_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(length));
    }
    static std::vector<uint8_t> readRaw(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir_;
    fs::path file_;
};

TEST(SettingsBytes, DefaultRecordMatchesTheHandBuiltFixture) {
    EXPECT_EQ(encodeSettings(fixedDefaults(), UploadSettings{}), kDefaultRecord);
}

TEST(SettingsBytes, ChineseTextsAndLongStrings) {
    CInfo info = fixedDefaults();
    info.siteName = "大桥";                          // 5927 6865
    info.commandHistory[0] = std::string(300, 'a');  // 300 units: FF, uint16 length
    info.historyCount = 1;
    UploadSettings upload;
    upload.instrumentNumber = "仪1";
    upload.serverAddress = (127u << 24) | (0u << 16) | (2u << 8) | 1u;  // 127.0.2.1
    const auto bytes = encodeSettings(info, upload);
    const std::vector<uint8_t> site = {0xFF, 0xFE, 0xFF, 0x02, 0x27, 0x59, 0x65, 0x68};
    EXPECT_TRUE(std::equal(site.begin(), site.end(), bytes.begin()));
    EXPECT_EQ(bytes.size(), kDefaultRecord.size() - 6 + 4 + 2 + 600 + 4);

    const std::vector<uint8_t> longForm = {0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01, 'a', 0};
    auto at = std::search(bytes.begin(), bytes.end(), longForm.begin(), longForm.end());
    ASSERT_NE(at, bytes.end());

    // The tail: "仪1" (4EEA, '1'), "", address 0x7F000201, port 5005, cache mode 1.
    const std::vector<uint8_t> tail = {0xFF, 0xFE, 0xFF, 0x02, 0xEA, 0x4E, '1',  0,    0xFF, 0xFE, 0xFF,
                                       0x00, 0x01, 0x02, 0x00, 0x7F, 0x8D, 0x13, 0x01, 0x00, 0x00, 0x00};
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), bytes.end() - static_cast<long>(tail.size())));

    CInfo back;
    UploadSettings backUpload;
    ASSERT_TRUE(decodeSettings(bytes, back, backUpload));
    EXPECT_EQ(back.commandHistory[0], std::string(300, 'a'));
    EXPECT_EQ(back.siteName, "大桥");
    EXPECT_EQ(backUpload, upload);
}

TEST(SettingsBytes, StringLengthForms) {
    CInfo info = fixedDefaults();
    UploadSettings upload;
    // 254 units still fit the length byte; 255 need the 16-bit form; 0xFFFE need the 32-bit form.
    for (size_t n : {size_t{254}, size_t{255}, size_t{0xFFFD}, size_t{0xFFFE}, size_t{70000}}) {
        info.siteName = std::string(n, 'x');
        const auto bytes = encodeSettings(info, upload);
        std::vector<uint8_t> head = {0xFF, 0xFE, 0xFF};
        if (n < 0xFF) {
            head.push_back(static_cast<uint8_t>(n));
        } else if (n < 0xFFFE) {
            head.insert(head.end(), {0xFF, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)});
        } else {
            head.insert(head.end(), {0xFF, 0xFF, 0xFF, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                                     static_cast<uint8_t>(n >> 16), 0x00});
        }
        ASSERT_TRUE(std::equal(head.begin(), head.end(), bytes.begin())) << n;
        CInfo back;
        UploadSettings u;
        ASSERT_TRUE(decodeSettings(bytes, back, u)) << n;
        EXPECT_EQ(back.siteName.size(), n);
    }
}

TEST(SettingsBytes, NarrowStringsAreReadAsGbk) {
    // Replace the wide siteName by an 8-bit one: length 4, GBK "大桥".
    std::vector<uint8_t> bytes = {0x04, 0xB4, 0xF3, 0xC7, 0xC5};
    bytes.insert(bytes.end(), kDefaultRecord.begin() + 10, kDefaultRecord.end());
    CInfo info;
    UploadSettings upload;
    ASSERT_TRUE(decodeSettings(bytes, info, upload));
    EXPECT_EQ(info.siteName, "大桥");
    EXPECT_EQ(info.unitName, "示例所");

    // The 16-bit narrow form: FF, uint16 length (not the tag).
    bytes = {0xFF, 0x02, 0x00, 'A', 'B'};
    bytes.insert(bytes.end(), kDefaultRecord.begin() + 10, kDefaultRecord.end());
    ASSERT_TRUE(decodeSettings(bytes, info, upload));
    EXPECT_EQ(info.siteName, "AB");
}

TEST(SettingsBytes, LengthsBeyondTheFileFailWithoutAllocating) {
    // A 32-bit length of 4 G units right at the start: a short read, not a 8 GB allocation.
    std::vector<uint8_t> bytes = {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    CInfo info;
    UploadSettings upload;
    std::string why;
    EXPECT_FALSE(decodeSettings(bytes, info, upload, &why));
    EXPECT_FALSE(why.empty());
}

TEST(SettingsBytes, ValuesNoSetupCanProduceAreRejected) {
    CInfo info = fixedDefaults();
    UploadSettings upload;
    for (auto spoil : std::vector<void (*)(CInfo&)>{
             [](CInfo& i) { i.sampleLength = 2048; }, [](CInfo& i) { i.pipeCount = 1; },
             [](CInfo& i) { i.sectionCount = 7; }, [](CInfo& i) { i.stepMm = 0; },
             [](CInfo& i) { i.sampleInterval = 0.0f; }, [](CInfo& i) { i.historyCount = 16; },
             [](CInfo& i) { i.testMode = 3; }}) {
        CInfo bad = info;
        spoil(bad);
        CInfo back;
        EXPECT_FALSE(decodeSettings(encodeSettings(bad, upload), back, upload));
    }
}

// Randomised records survive store and load bit for bit (saveMode aside).
TEST_F(SettingsFileTest, StoreThenLoadRestoresEveryStoredField) {
    std::mt19937 rng(20261207);
    auto text = [&](size_t maxLen) {
        static const char* pieces[] = {"a", "Z", "7", "#", " ", "示", "例", "所", "桩", "😀", "€", "-"};
        std::string s;
        size_t n = rng() % (maxLen + 1);
        for (size_t i = 0; i < n; ++i)
            s += pieces[rng() % std::size(pieces)];
        return s;
    };
    auto real = [&] {
        float f;
        do {
            uint32_t bits = static_cast<uint32_t>(rng());
            std::memcpy(&f, &bits, 4);
        } while (!std::isfinite(f));
        return f;
    };
    for (int round = 0; round < 200; ++round) {
        CInfo info = fixedDefaults();
        info.siteName = text(60);
        info.testDate = text(12);
        info.unitName = text(300);
        info.personName = text(5);
        info.pileId = text(8);
        info.pipeCount = 2 + static_cast<int>(rng() % 4);
        info.sectionCount = static_cast<int>(rng() % 7);
        info.startDepth = real();
        info.stepMm = 1 + static_cast<int>(rng() % 1000);
        info.pileLength = real();
        info.pileDiameter = static_cast<int32_t>(rng());
        info.offsetAngle = static_cast<int32_t>(rng());
        info.pickMethod = text(4);
        info.standard = text(4);
        info.testMode = static_cast<int>(rng() % 3);
        info.digitalFilter = rng() & 1;
        info.sampleInterval = 0.1f + static_cast<float>(rng() % 2000) / 10;
        info.sampleLength = rng() & 1 ? 512 : 1024;
        info.continuousFiring = rng() & 1;
        info.highVoltage = static_cast<uint8_t>(rng());
        for (auto& z : info.zeroReadings)
            z = real();
        info.pipeCorrection = real();
        for (auto& c : info.colours)
            c = static_cast<int32_t>(rng());
        for (auto& s : info.sections) {
            s.display = rng() & 1;
            s.present = rng() & 1;
            s.name = text(4);
            s.spacing = static_cast<int32_t>(rng());
            s.delay = real();
            s.lowPass = real();
            s.heightDiff = static_cast<int32_t>(rng());
        }
        for (auto& c : info.channels) {
            c.enabled = rng() & 1;
            c.role = text(3);
            c.pipe = text(3);
        }
        info.mainFrequency = real();
        info.variancePolarity = rng() & 1;
        info.versionText = text(10);
        for (auto& k : info.hotkeys)
            k = Hotkey{static_cast<uint16_t>(rng()), static_cast<uint16_t>(rng())};
        info.historyCount = static_cast<int>(rng() % 16);
        for (auto& line : info.commandHistory)
            line = text(20);
        info.consoleState = static_cast<int32_t>(rng());
        info.consoleFlagA = rng() & 1;
        info.consoleFlagB = rng() & 1;
        info.cacheMode = static_cast<int32_t>(rng());
        info.saveMode = std::string(kSaveRealTime);
        UploadSettings upload{text(10), text(10), static_cast<uint32_t>(rng()), static_cast<uint16_t>(rng())};

        ASSERT_TRUE(storeSettings(info, upload, file_).ok);
        CInfo back;
        UploadSettings backUpload;
        ASSERT_EQ(loadSettings(back, backUpload, file_), LoadResult::Loaded);

        CInfo expected = info;
        // Strings go through UTF-16 exactly; fields the file does not hold keep what `back` had.
        expected.saveMode = std::string(kSaveAtEnd);
        expected.showHotkeyLetters = 0;
        for (int k = 0; k < kMaxSections; ++k) {
            expected.sections[k].zeroTime = back.sections[k].zeroTime;
            expected.appliedSections[k] = back.appliedSections[k];
        }
        expected.sectionSlot = back.sectionSlot;
        expected.defaultHotkeys = back.defaultHotkeys;
        expected.firmwareVersion = back.firmwareVersion;
        expected.chtPath = back.chtPath;
        expected.chdPath = back.chdPath;
        expected.auxPath = back.auxPath;
        expected.uploadFile = back.uploadFile;
        expected.uploadFields = back.uploadFields;
        expected.extraText = back.extraText;
        expected.rebuildSectionNames();
        ASSERT_EQ(back, expected) << "round " << round;
        ASSERT_EQ(backUpload, upload);
        // Float fields compare bit for bit (== already does for finite values, -0 aside).
        ASSERT_EQ(std::memcmp(&back.startDepth, &info.startDepth, 4), 0);
        ASSERT_EQ(std::memcmp(&back.pipeCorrection, &info.pipeCorrection, 4), 0);
    }
}

TEST_F(SettingsFileTest, FirstStartWithoutAFileGetsTheDefaults) {
    CInfo info;
    UploadSettings upload;
    EXPECT_EQ(loadSettings(info, upload, file_), LoadResult::NoFile);
    EXPECT_EQ(info.siteName, "示例所");
    EXPECT_EQ(info.pileId, "1#");
    EXPECT_EQ(info.testDate, todayText());
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(SettingsFileTest, LoadRebuildsSectionNamesAndIgnoresTrailingBytes) {
    CInfo info = fixedDefaults();
    info.pipeCount = 5;
    info.sectionCount = 6;
    auto bytes = encodeSettings(info, UploadSettings{});
    bytes.insert(bytes.end(), {1, 2, 3, 4, 5});
    writeRaw(bytes, bytes.size());
    CInfo back;
    UploadSettings upload;
    ASSERT_EQ(loadSettings(back, upload, file_), LoadResult::Loaded);
    const std::array<std::string, 10> names = {"1-2", "1-3", "1-4", "1-5", "2-3", "2-4", "", "", "", ""};
    EXPECT_EQ(back.sectionNames, names);
}

// Cut at every offset: the defaults are loaded, the upload settings are kept, and the user's file
// is kept as set.ini.bad rather than silently overwritten later.
TEST_F(SettingsFileTest, FileCutAtEveryOffsetLoadsDefaultsAndKeepsTheBadFile) {
    CInfo stored = fixedDefaults();
    stored.siteName = "大桥工程";
    stored.commandHistory[14] = "PN=3";
    UploadSettings storedUpload{"12", "34", 0x7F000002, 6000};
    const auto full = encodeSettings(stored, storedUpload);
    const fs::path bad = dir_ / "set.ini.bad";
    for (size_t cut = 0; cut < full.size(); ++cut) {
        writeRaw(full, cut);
        fs::remove(bad);
        CInfo info = stored;
        UploadSettings upload;
        testing::internal::CaptureStderr();
        ASSERT_EQ(loadSettings(info, upload, file_), LoadResult::Damaged) << cut;
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_NE(err.find("set.ini.bad"), std::string::npos) << err;
        ASSERT_EQ(info.siteName, "示例所") << cut;
        ASSERT_EQ(info.commandHistory[14], "") << cut;
        ASSERT_EQ(upload, UploadSettings{}) << cut;
        ASSERT_FALSE(fs::exists(file_)) << cut;
        ASSERT_EQ(readRaw(bad).size(), cut) << cut;
    }
}

TEST_F(SettingsFileTest, StoreReplacesAtomicallyAndReportsFailures) {
    CInfo info = fixedDefaults();
    ASSERT_TRUE(storeSettings(info, UploadSettings{}, file_).ok);
    EXPECT_EQ(readRaw(file_), kDefaultRecord);
    info.siteName = "新";
    ASSERT_TRUE(storeSettings(info, UploadSettings{}, file_).ok);
    // No temporary file is left behind.
    int entries = 0;
    for (auto& e : fs::directory_iterator(dir_)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);

    // A folder we cannot create: the file error comes back, with the path in it.
    const fs::path blocked = dir_ / "set.ini" / "sub" / "set.ini";
    StoreResult r = storeSettings(info, UploadSettings{}, blocked);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find(blocked.string()), std::string::npos);
    EXPECT_EQ(readRaw(file_), encodeSettings(info, UploadSettings{}));
}

TEST(SettingsLocation, EnvironmentOverrideWins) {
    ::setenv("LX9_CONFIG_DIR", "/tmp/lx9-where", 1);
    EXPECT_EQ(settingsPath(), fs::path("/tmp/lx9-where/set.ini"));
    ::unsetenv("LX9_CONFIG_DIR");
    EXPECT_EQ(settingsPath().filename(), "set.ini");
}

}  // namespace
}  // namespace lx9
