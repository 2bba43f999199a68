#include "data/data_file_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <regex>
#include <thread>

#include "data/data_file_reader.h"
#include "data/data_file_text.h"
#include "data_file_test_support.h"

namespace lx9 {
namespace {

using namespace testing_support;

const std::string kEmptyTableRow = "SI  " + std::string(120, '*') + "\r\n";

// The small test of the exact-bytes check: 3 pipes, sections 1-2, 1-3, 2-3 in use, 512 samples,
// dt 0.5 µs, 4 levels from 20.00 m up in 50 mm steps, Chinese job texts, written on 2026-3-9.
// Point of level l (0..3) in section entry e (0..2):
//   tIndex 100 + 10e + l, ampIndex tIndex + 20, gain 80 / 100 / 70,
//   delay -1 (the section's 100.0) / 120.0 / 99.5,
//   waveform 2048 everywhere but 2448 + 50e at ampIndex and 1748 at ampIndex + 5.
struct Fixture {
    CInfo info;
    Lists lists = makeLists(512);

    explicit Fixture(const std::string& base) {
        info.resetToDefaults();
        info.siteName = "示例工程";
        info.unitName = "检测中心";
        info.personName = "张三";
        info.pileId = "A-12#";
        info.pipeCount = 3;
        info.sectionCount = 3;
        info.pileDiameter = 1200;
        info.startDepth = 20.0f;
        info.pileLength = 21.5f;
        info.stepMm = 50;
        info.pipeVelocity = 5.12f;
        info.pipeOuterDiameter = 50;
        info.pipeInnerDiameter = 46;
        info.probeDiameter = 30;
        info.offsetAngle = 15;
        info.sampleInterval = 0.5f;
        info.sampleLength = 512;
        const char* names[6] = {"1-2", "1-3", "2-3", "1-4", "2-4", "3-4"};
        for (int k = 0; k < 6; ++k)
            info.sections[k].name = names[k];
        info.sections[0].spacing = 650;
        info.sections[0].zeroTime = 12.5f;
        info.sections[1].spacing = 905;
        info.sections[1].gain = 100;
        info.sections[1].delay = 120.0f;
        info.sections[1].zeroTime = 13.0f;
        info.sections[2].spacing = 640;
        info.sections[2].gain = 70;
        info.sections[2].zeroTime = 11.5f;
        info.sections[2].lowPass = 60.0f;
        info.sections[2].highPass = 10.0f;
        info.chtPath = base + ".CHT";
        info.chdPath = base + ".CHD";

        const float gains[3] = {80.0f, 100.0f, 70.0f};
        const float delays[3] = {-1.0f, 120.0f, 99.5f};
        for (int l = 0; l < 4; ++l) {
            for (int e = 0; e < 3; ++e) {
                const int t = 100 + 10 * e + l;
                std::vector<uint16_t> wave(512, 2048);
                wave[t + 20] = static_cast<uint16_t>(2448 + 50 * e);
                wave[t + 25] = 1748;
                lists[e]->append(wave.data(), 20.0f - 0.05f * l);
                auto guard = lists[e]->lock();
                SamplePoint& p = *lists[e]->tail;
                p.tIndex = t;
                p.ampIndex = t + 20;
                p.gain = gains[e];
                p.delay = delays[e];
            }
        }
    }
};

// The .CHT of the fixture, line by line. Worked values of the first level:
//   T  = (tIndex + 1) × 0.5 + delay: 101 × 0.5 + 100 = 150.5; 111 × 0.5 + 120 = 175.5;
//        121 × 0.5 + 99.5 = 160.0
//   Ta = (ampIndex + 1) × 0.5 + trunc(delay): 160.5; 185.5; 141 × 0.5 + 99 = 169.5
//   A  = (code − 2048) × 2 × 0.00048828125 / gain × 1000 / 0.732 mV:
//        400 → 6.670509 mV → 20·log10(A / 0.000025) = 108.52 dB; 450 at gain 100 → 6.003458
//        → 107.61 dB; 500 at gain 70 → 9.529298 → 111.62 dB
//   AbsMax = crest − 2047: 401, 451, 501;  Seek = 1 + 3 × 1024 × level + 1024 × row
std::string expectedCht() {
    std::string t;
    auto l = [&t](const std::string& text) { t += text + "\r\n"; };
    l("TOKAN_VivUdDat_DatFormat:");
    l("Format   :KPX_VivUd_000");
    l("SITE     :\xCA\xBE\xC0\xFD\xB9\xA4\xB3\xCC");  // 示例工程 in GBK
    l("DATE     :2026-3-9");
    l("UNIT     :\xBC\xEC\xB2\xE2\xD6\xD0\xD0\xC4");  // 检测中心
    l("PERSON   :\xD5\xC5\xC8\xFD");                  // 张三
    l("INST     :KPX-LX9");
    l("SOFT     :KPX_VivUd V2.3.0");
    l("PILEID   :A-12#");
    for (int i = 0; i < 7; ++i)
        l("TEMP     :********");
    l("");
    l("TOKAN_VivUdDat_PilePipePara:");
    l("PILED  mm: 1200.00");
    l("PILELen m:   20.00");  // horizontal: the start depth
    l("PILEL   m:    0.00");
    l("PILEV m/s:    5120");
    l("PILEW  mm:      50");
    l("PIPED  mm:      46");
    l("SENSORDmm:      30");
    l("APoreDeg :      15");
    for (int i = 0; i < 6; ++i)
        l("TEMP     :********");
    l("PIPENUM  :       3");
    l("Pipe1Dp  :   21.50");
    l("Pipe2Dp  :   21.50");
    l("Pipe3Dp  :   21.50");
    for (int i = 0; i < 5; ++i)
        l("Pipe*    :********");
    l("");
    l("TOKAN_VivUdDat_Section:");
    l("SectNum  :       3");
    l("SectID0  :     1-2");
    l("SourPipe0:       0");
    l("DestPipe0:       1");
    l("SectID1  :     1-3");
    l("SourPipe1:       0");
    l("DestPipe1:       2");
    l("SectID2  :     2-3");
    l("SourPipe2:       1");
    l("DestPipe2:       2");
    for (int i = 0; i < 7; ++i) {
        l("SectIDI  :********");
        l("SourPipeI:********");
        l("DestPipeI:********");
    }
    for (int i = 0; i < 4; ++i)
        l("TEMP     :********");
    l("");
    l("TOKAN_VivUdDat_DefectPara:");
    l("SI       Num Defect0 Defect1 Defect2 Defect3 Defect4 Defect5 Defect6 Defect7 Defect8 Defect9    Temp  "
      "  Temp"
      "    Temp    Temp");
    for (const char* si : {"0 ", "1 ", "2 "}) {
        l(std::string(si) +
          "         0    0.00    0.00    0.00    0.00    0.00    0.00    0.00    0.00    0.00    0.00    "
          "TEMP    TEMP"
          "    TEMP    TEMP");
    }
    for (int i = 0; i < 7; ++i)
        t += kEmptyTableRow;
    l("");
    l("TOKAN_VivUdDat_SectionPara:");
    l("SI    CrossD    Move    Gain  T0(us)  dT(us)   Delay  DatLen   FiltL   FiltH  Sen_dH    TEMP    TEMP  "
      "  TEMP"
      "    TEMP    TEMP");
    l("0      0.650    0.05      80    12.5     0.5   100.0     512  500.00    0.50    0.00    TEMP    TEMP  "
      "  TEMP"
      "    TEMP    TEMP");
    l("1      0.905    0.05     100    13.0     0.5   120.0     512  500.00    0.50    0.00    TEMP    TEMP  "
      "  TEMP"
      "    TEMP    TEMP");
    l("2      0.640    0.05      70    11.5     0.5   100.0     512   60.00   10.00    0.00    TEMP    TEMP  "
      "  TEMP"
      "    TEMP    TEMP");
    for (int i = 0; i < 7; ++i)
        t += kEmptyTableRow;
    l("");
    l("TOKAN_VivUdDat_RayPara:");
    l("SI   SourL   DestL   T(us)  Ta(us)   A(dB) Tf1(us) Tf2(us)  AbsMax Del    Seek        Gain   Delay    "
      "Temp"
      "    Temp    Temp    Temp");
    const char* rows[] = {
        "0    20.00   20.00   150.5   160.5   108.5     0.0     0.0   401.0   0           1      80    -1.0",
        "1    20.00   20.00   175.5   185.5   107.6     0.0     0.0   451.0   0        1025     100   120.0",
        "2    20.00   20.00   160.0   169.5   111.6     0.0     0.0   501.0   0        2049      70    99.5",
        "0    19.95   19.95   151.0   161.0   108.5     0.0     0.0   401.0   0        3073      80    -1.0",
        "1    19.95   19.95   176.0   186.0   107.6     0.0     0.0   451.0   0        4097     100   120.0",
        "2    19.95   19.95   160.5   170.0   111.6     0.0     0.0   501.0   0        5121      70    99.5",
        "0    19.90   19.90   151.5   161.5   108.5     0.0     0.0   401.0   0        6145      80    -1.0",
        "1    19.90   19.90   176.5   186.5   107.6     0.0     0.0   451.0   0        7169     100   120.0",
        "2    19.90   19.90   161.0   170.5   111.6     0.0     0.0   501.0   0        8193      70    99.5",
        "0    19.85   19.85   152.0   162.0   108.5     0.0     0.0   401.0   0        9217      80    -1.0",
        "1    19.85   19.85   177.0   187.0   107.6     0.0     0.0   451.0   0       10241     100   120.0",
        "2    19.85   19.85   161.5   171.0   111.6     0.0     0.0   501.0   0       11265      70    99.5",
    };
    for (const char* row : rows)
        l(std::string(row) + "    TEMP    TEMP    TEMP    TEMP");
    return t;
}

// The .CHD of the fixture: per level, rows 1-2, 1-3, 2-3 of 512 values code − 2047, i.e. 1 on
// the zero line, 401 + 50e at the crest and 1748 − 2047 = −299 five samples later.
std::vector<uint8_t> expectedChd() {
    std::vector<uint8_t> chd;
    for (int l = 0; l < 4; ++l) {
        for (int e = 0; e < 3; ++e) {
            for (int j = 0; j < 512; ++j) {
                const int crest = 120 + 10 * e + l;
                const int v = j == crest ? 401 + 50 * e : j == crest + 5 ? -299 : 1;
                chd.push_back(static_cast<uint8_t>(v & 0xFF));
                chd.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
            }
        }
    }
    return chd;
}

// Reports the first line that differs, which says more than two 8 KB strings.
void expectSameLines(const std::string& actual, const std::string& expected) {
    size_t a = 0, e = 0;
    for (int number = 1; a < actual.size() || e < expected.size(); ++number) {
        const size_t aEnd = std::min(actual.find("\r\n", a), actual.size());
        const size_t eEnd = std::min(expected.find("\r\n", e), expected.size());
        ASSERT_EQ(actual.substr(a, aEnd - a), expected.substr(e, eEnd - e)) << "line " << number;
        a = aEnd + 2;
        e = eEnd + 2;
    }
}

std::vector<uint8_t> readBytes(const fs::path& path) {
    const std::string text = readText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

CSaveFile::DateSource fixedDate() {
    return [] { return std::string("2026-3-9"); };
}

TEST(DataFileWriter, WritesTheSmallTestByteForByte) {
    ViewingState viewing;
    TempDir dir;
    for (auto target : {CSaveFile::Target::ReplaceAtClose, CSaveFile::Target::InPlace}) {
        Fixture f(dir.base(target == CSaveFile::Target::InPlace ? "realtime" : "atend"));
        CSaveFile file(fixedDate());
        if (target == CSaveFile::Target::InPlace) {
            ASSERT_TRUE(file.createFiles(f.info));
            for (int level = 0; level < 4; ++level)
                ASSERT_TRUE(file.writeLevel(f.info, listPointers(f.lists), level));
            EXPECT_EQ(file.nextChdPos(), 1 + 4 * 3072);
            ASSERT_TRUE(file.close());
        } else {
            ASSERT_TRUE(file.saveAtEnd(f.info, listPointers(f.lists)));
        }
        const std::string cht = readText(f.info.chtPath);
        const std::string expected = expectedCht();
        expectSameLines(cht, expected);
        EXPECT_TRUE(cht == expected);
        const std::vector<uint8_t> chd = readBytes(f.info.chdPath);
        ASSERT_EQ(chd.size(), 4u * 3 * 1024);
        // Spot checks by hand: the zero line is 01 00; level 0's 1-2 crest (sample 120) is
        // 401 = 0x0191; its trough (sample 125) is −299 = 0xFED5.
        EXPECT_EQ(chd[0], 0x01);
        EXPECT_EQ(chd[1], 0x00);
        EXPECT_EQ(chd[240], 0x91);
        EXPECT_EQ(chd[241], 0x01);
        EXPECT_EQ(chd[250], 0xD5);
        EXPECT_EQ(chd[251], 0xFE);
        EXPECT_EQ(chd, expectedChd());
    }
}

// The layout of the .CHT as the format's tables give it, written down afresh (not from the
// writer) and laid over the fixture above: every fixed line, every label with its value width,
// every column of the three tables with its header word and its fill.
enum class Field { Exact, Free, Int, Fixed0, Fixed1, Fixed2, Fixed3, Name, LeftInt, Fill };

struct LineRule {
    std::string text;  // the whole line (Exact) or its label
    Field field = Field::Exact;
};

struct ColumnRule {
    size_t first, last;       // columns, 0-based, inclusive
    std::string_view header;  // its text in the header line, right-aligned (SI: left)
    Field field;
    std::string_view fill = {};  // the text of every row, for Field::Fill
};

bool fieldMatches(std::string_view text, Field field, size_t width) {
    static const std::regex kInt(" *-?[0-9]+"), kName(" *[0-9]-[0-9]");
    static const std::array<std::regex, 4> kFixed = {
        std::regex(" *-?[0-9]+"), std::regex(" *-?[0-9]+\\.[0-9]"), std::regex(" *-?[0-9]+\\.[0-9]{2}"),
        std::regex(" *-?[0-9]+\\.[0-9]{3}")};
    const std::string s(text);
    if (s.size() != width || (width > 1 && s.front() == ' ' && s.back() == ' ')) return false;
    switch (field) {
        case Field::Int:
            return std::regex_match(s, kInt);
        case Field::Fixed0:
            return std::regex_match(s, kFixed[0]);
        case Field::Fixed1:
            return std::regex_match(s, kFixed[1]);
        case Field::Fixed2:
            return std::regex_match(s, kFixed[2]);
        case Field::Fixed3:
            return std::regex_match(s, kFixed[3]);
        case Field::Name:
            return std::regex_match(s, kName);
        case Field::LeftInt:
            return std::isdigit(static_cast<unsigned char>(s[0])) &&
                   s.substr(1) == std::string(width - 1, ' ');
        default:
            return true;
    }
}

// Checks a table (its header line and `rows` rows) column by column; rows from `valued` on are
// the "SI  " + "********" placeholders.
void expectTable(const std::vector<std::string>& lines, size_t at, const std::vector<ColumnRule>& columns,
                 size_t rowChars, size_t rows, size_t valued) {
    ASSERT_LE(at + 1 + rows, lines.size());
    const std::string& header = lines[at];
    ASSERT_EQ(header.size(), rowChars) << header;
    for (size_t r = 0; r < rows; ++r) {
        const std::string& row = lines[at + 1 + r];
        ASSERT_EQ(row.size(), rowChars) << "row " << r;
        if (r >= valued) {
            EXPECT_EQ(row, "SI  " + std::string(rowChars - 4, '*')) << "row " << r;
            continue;
        }
        for (const ColumnRule& c : columns) {
            const size_t width = c.last - c.first + 1;
            const std::string_view field = std::string_view(row).substr(c.first, width);
            if (c.field == Field::Fill) {
                EXPECT_EQ(field, c.fill) << "row " << r << " column " << c.first;
            } else {
                EXPECT_TRUE(fieldMatches(field, c.field, width))
                    << "row " << r << " " << c.header << ": '" << field << "'";
            }
        }
    }
    size_t covered = 0;
    for (const ColumnRule& c : columns) {
        const size_t width = c.last - c.first + 1;
        EXPECT_EQ(c.first, covered) << c.header;  // the columns leave no gap
        covered = c.last + 1;
        std::string_view text = std::string_view(header).substr(c.first, width);
        text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
        text.remove_suffix(text.size() - std::min(text.find_last_not_of(' ') + 1, text.size()));
        EXPECT_EQ(text, c.header) << "header of column " << c.first;
    }
    EXPECT_EQ(covered, rowChars);
}

TEST(DataFileWriter, EveryFixedTextSitsWhereTheFormatTablesPutIt) {
    const std::string cht = expectedCht();
    ASSERT_TRUE(cht.ends_with("\r\n"));
    std::vector<std::string> lines;
    for (size_t at = 0; at < cht.size();) {
        const size_t end = cht.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(cht.substr(at, end - at));
        EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos);
        at = end + 2;
    }

    // Blocks 1 to 3 of the three-pipe fixture, with the empty line that ends each.
    const LineRule temp{"TEMP     :********"};
    std::vector<LineRule> head = {
        {"TOKAN_VivUdDat_DatFormat:"}, {"Format   :KPX_VivUd_000"},    {"SITE     :", Field::Free},
        {"DATE     :", Field::Free},   {"UNIT     :", Field::Free},    {"PERSON   :", Field::Free},
        {"INST     :KPX-LX9"},         {"SOFT     :KPX_VivUd V2.3.0"}, {"PILEID   :", Field::Free}};
    head.insert(head.end(), 7, temp);
    head.push_back({""});
    const std::vector<LineRule> pile = {
        {"TOKAN_VivUdDat_PilePipePara:"}, {"PILED  mm:", Field::Fixed2}, {"PILELen m:", Field::Fixed2},
        {"PILEL   m:    0.00"},           {"PILEV m/s:", Field::Fixed0}, {"PILEW  mm:", Field::Int},
        {"PIPED  mm:", Field::Int},       {"SENSORDmm:", Field::Int},    {"APoreDeg :", Field::Int}};
    head.insert(head.end(), pile.begin(), pile.end());
    head.insert(head.end(), 6, temp);
    head.push_back({"PIPENUM  :", Field::Int});
    for (int pipe = 1; pipe <= 8; ++pipe)
        head.push_back(pipe <= 3 ? LineRule{"Pipe" + std::to_string(pipe) + "Dp  :", Field::Fixed2}
                                 : LineRule{"Pipe*    :********"});
    head.push_back({""});
    head.push_back({"TOKAN_VivUdDat_Section:"});
    head.push_back({"SectNum  :", Field::Int});
    for (int k = 0; k < 10; ++k) {
        const std::string n = std::to_string(k);
        if (k < 3) {
            head.insert(head.end(), {{"SectID" + n + "  :", Field::Name},
                                     {"SourPipe" + n + ":", Field::Int},
                                     {"DestPipe" + n + ":", Field::Int}});
        } else {
            head.insert(head.end(), {{"SectIDI  :********"}, {"SourPipeI:********"}, {"DestPipeI:********"}});
        }
    }
    head.insert(head.end(), 4, temp);
    head.push_back({""});
    ASSERT_GT(lines.size(), head.size());
    for (size_t i = 0; i < head.size(); ++i) {
        const LineRule& rule = head[i];
        SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + lines[i]);
        if (rule.field == Field::Exact) {
            EXPECT_EQ(lines[i], rule.text);
            continue;
        }
        ASSERT_TRUE(lines[i].starts_with(rule.text));
        if (rule.field != Field::Free) {
            EXPECT_TRUE(fieldMatches(lines[i].substr(rule.text.size()), rule.field, 8));
        }
    }

    // Block 4: "%-2d", "%10d" 0, ten "%8.2f" 0.0, four "    TEMP" under "Temp".
    size_t at = head.size();
    EXPECT_EQ(lines[at], "TOKAN_VivUdDat_DefectPara:");
    std::vector<ColumnRule> defects = {{0, 1, "SI", Field::LeftInt},
                                       {2, 11, "Num", Field::Fill, "         0"}};
    static const std::array<std::string, 10> kDefect = {"Defect0", "Defect1", "Defect2", "Defect3",
                                                        "Defect4", "Defect5", "Defect6", "Defect7",
                                                        "Defect8", "Defect9"};
    for (size_t i = 0; i < 10; ++i)
        defects.push_back({12 + 8 * i, 19 + 8 * i, kDefect[i], Field::Fill, "    0.00"});
    for (size_t i = 0; i < 4; ++i)
        defects.push_back({92 + 8 * i, 99 + 8 * i, "Temp", Field::Fill, "    TEMP"});
    expectTable(lines, at + 1, defects, 124, 10, 3);
    at += 12;
    EXPECT_EQ(lines[at++], "");

    // Block 5.
    EXPECT_EQ(lines[at], "TOKAN_VivUdDat_SectionPara:");
    std::vector<ColumnRule> sectionPara = {
        {0, 1, "SI", Field::LeftInt},      {2, 11, "CrossD", Field::Fixed3},
        {12, 19, "Move", Field::Fixed2},   {20, 27, "Gain", Field::Int},
        {28, 35, "T0(us)", Field::Fixed1}, {36, 43, "dT(us)", Field::Fixed1},
        {44, 51, "Delay", Field::Fixed1},  {52, 59, "DatLen", Field::Int},
        {60, 67, "FiltL", Field::Fixed2},  {68, 75, "FiltH", Field::Fixed2},
        {76, 83, "Sen_dH", Field::Fixed2}};
    for (size_t i = 0; i < 5; ++i)
        sectionPara.push_back({84 + 8 * i, 91 + 8 * i, "TEMP", Field::Fill, "    TEMP"});
    expectTable(lines, at + 1, sectionPara, 124, 10, 3);
    at += 12;
    EXPECT_EQ(lines[at++], "");

    // Block 6: one row per waveform, 4 levels of 3.
    EXPECT_EQ(lines[at], "TOKAN_VivUdDat_RayPara:");
    std::vector<ColumnRule> rays = {{0, 1, "SI", Field::LeftInt},
                                    {2, 9, "SourL", Field::Fixed2},
                                    {10, 17, "DestL", Field::Fixed2},
                                    {18, 25, "T(us)", Field::Fixed1},
                                    {26, 33, "Ta(us)", Field::Fixed1},
                                    {34, 41, "A(dB)", Field::Fixed1},
                                    {42, 49, "Tf1(us)", Field::Fill, "     0.0"},
                                    {50, 57, "Tf2(us)", Field::Fill, "     0.0"},
                                    {58, 65, "AbsMax", Field::Fixed1},
                                    {66, 69, "Del", Field::Fill, "   0"},
                                    {70, 81, "Seek", Field::Int},
                                    {82, 89, "Gain", Field::Fixed0},
                                    {90, 97, "Delay", Field::Fixed1}};
    for (size_t i = 0; i < 4; ++i)
        rays.push_back({98 + 8 * i, 105 + 8 * i, "Temp", Field::Fill, "    TEMP"});
    expectTable(lines, at + 1, rays, 130, 12, 12);
    EXPECT_EQ(lines.size(), at + 2 + 12);
}

TEST(DataFileWriter, FourPipesWriteTenTableRowsAndSixRaysPerLevel) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(4, 512, kHorizontal, dir.base("p4"));
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 2);
    CSaveFile file(fixedDate());
    ASSERT_TRUE(file.saveAtEnd(info, listPointers(lists)));
    EXPECT_EQ(file.rowCount(), 6);
    const std::string cht = readText(info.chtPath);
    EXPECT_NE(cht.find("SectNum  :       6\r\n"), std::string::npos);

    // Blocks 4 and 5: six rows with values, then four placeholders, every row 124 characters.
    for (const char* title : {"TOKAN_VivUdDat_DefectPara:\r\n", "TOKAN_VivUdDat_SectionPara:\r\n"}) {
        size_t at = cht.find(title);
        ASSERT_NE(at, std::string::npos);
        at = cht.find("\r\n", at + std::strlen(title)) + 2;  // skip the header line
        for (int r = 0; r < kTableRows; ++r) {
            const size_t end = cht.find("\r\n", at);
            ASSERT_EQ(end - at, kTableRowChars) << title << " row " << r;
            EXPECT_EQ(cht.compare(at, 4, "SI  ") == 0, r >= 6) << title << " row " << r;
            at = end + 2;
        }
    }
    // Six rays per level; the first level's Seek is 1, 1025, ..., 5121.
    size_t at = cht.find("SI   SourL");
    for (int r = 0; r < 12; ++r) {
        at = cht.find("\r\n", at) + 2;
        EXPECT_EQ(cht.substr(at, 2), std::to_string(r % 6) + " ");
        EXPECT_EQ(std::stoll(cht.substr(at + 70, 12)), 1 + 1024 * r) << "row " << r;
    }
    EXPECT_EQ(cht.find("\r\n", at) + 2, cht.size());
    EXPECT_EQ(fs::file_size(info.chdPath), 2u * 6 * 1024);
}

TEST(DataFileWriter, SectionBlockAndSlotsFollowThePipeCount) {
    ViewingState viewing;
    TempDir dir;
    // Two pipes: one row everywhere.
    {
        CInfo info = makeInfo(2, 512, kHorizontal, dir.base("p2"));
        Lists lists = makeLists(512);
        fillLists(info, lists, 0, 1);
        CSaveFile file(fixedDate());
        ASSERT_TRUE(file.saveAtEnd(info, listPointers(lists)));
        const std::string cht = readText(info.chtPath);
        EXPECT_NE(
            cht.find(
                "SectNum  :       1\r\nSectID0  :     1-2\r\nSourPipe0:       0\r\nDestPipe0:       1\r\n"
                "SectIDI  :********\r\n"),
            std::string::npos);
        EXPECT_EQ(fs::file_size(info.chdPath), 1024u);
    }
    // Four pipes, one transmitter to three receivers: 1-2, 1-3, 1-4 in use. The table still
    // has six rows; those of 2-3, 2-4 and 3-4 take the first section's values with a
    // two-decimal CrossD. Each level holds three waveforms, the rays SI 0, 1, 3.
    {
        CInfo info = makeInfo(4, 1024, kHorizontal, dir.base("p4r"));
        info.sectionCount = 3;
        info.sections[0].spacing = 345;
        Lists lists = makeLists(1024);
        fillLists(info, lists, 0, 2);
        CSaveFile file(fixedDate());
        ASSERT_TRUE(file.saveAtEnd(info, listPointers(lists)));
        const std::string cht = readText(info.chtPath);
        EXPECT_NE(
            cht.find(
                "\r\n2       0.34    0.05      70    10.5     0.4   100.0    1024  500.00    0.50    0.00"),
            std::string::npos);
        EXPECT_NE(
            cht.find(
                "\r\n3      0.670    0.05      80    12.5     0.4   100.0    1024  500.00    0.50    0.00"),
            std::string::npos);
        size_t at = cht.find("SI   SourL");
        const char* sis[] = {"0 ", "1 ", "3 ", "0 ", "1 ", "3 "};
        for (int r = 0; r < 6; ++r) {
            at = cht.find("\r\n", at) + 2;
            EXPECT_EQ(cht.substr(at, 2), sis[r]);
            EXPECT_EQ(std::stoll(cht.substr(at + 70, 12)), 1 + 2048 * r);
        }
        EXPECT_EQ(fs::file_size(info.chdPath), 2u * 3 * 2048);
    }
}

// The test mode decides PILELen, Sen_dH and the transmitter depth SourL.
TEST(DataFileWriter, TestModeShapesDepthColumns) {
    ViewingState viewing;
    TempDir dir;
    struct Case {
        int mode;
        const char* pileLen;
        const char* senDh;  // row of the 1-2 section (heightDiff 250 mm)
        const char* firstRay;
    };
    const Case cases[] = {
        {kHorizontal, "PILELen m:   12.00", "    0.00", "0    12.00   12.00"},
        {kInclined, "PILELen m:   12.50", "    0.25", "0    12.25   12.00"},
        {kFan, "PILELen m:   12.50", "    0.25", "0     9.50   12.00"},
    };
    for (const Case& c : cases) {
        CInfo info = makeInfo(3, 512, c.mode, dir.base("mode" + std::to_string(c.mode)));
        for (SectionPara& s : info.sections)
            s.sectionStartDepth = 9.5f;
        Lists lists = makeLists(512);
        fillLists(info, lists, 0, 1);
        CSaveFile file(fixedDate());
        ASSERT_TRUE(file.saveAtEnd(info, listPointers(lists)));
        const std::string cht = readText(info.chtPath);
        EXPECT_NE(cht.find(std::string("\r\n") + c.pileLen + "\r\n"), std::string::npos) << c.mode;
        const size_t row = cht.find("\r\n0      0.600");
        ASSERT_NE(row, std::string::npos);
        EXPECT_EQ(cht.substr(row + 2 + 76, 8), c.senDh) << c.mode;
        const size_t ray = cht.find("\r\n", cht.find("SI   SourL")) + 2;
        EXPECT_EQ(cht.substr(ray, 18), c.firstRay) << c.mode;
    }
}

// Values too wide for their column become stars, so the rows keep their places; a line break
// typed into a job text cannot split its line.
TEST(DataFileWriter, RowsKeepTheirWidthWhateverTheValues) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(2, 512, kHorizontal, dir.base("wide"));
    info.siteName = "一号\r\n二号";
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 2);
    {
        auto guard = lists[0]->lock();
        lists[0]->first->delay = 123456789.0f;
        lists[0]->first->gain = -1.0e9f;
        lists[0]->first->ampIndex = 100000;  // beyond the waveform: amplitude of the zero line
    }
    CSaveFile file(fixedDate());
    ASSERT_TRUE(file.saveAtEnd(info, listPointers(lists)));
    const std::string cht = readText(info.chtPath);
    EXPECT_NE(cht.find("SITE     :\xD2\xBB\xBA\xC5  \xB6\xFE\xBA\xC5\r\nDATE"), std::string::npos);
    const size_t row = cht.find("\r\n", cht.find("SI   SourL")) + 2;
    EXPECT_EQ(cht.find("\r\n", row) - row, kRayRowChars);
    EXPECT_EQ(cht.substr(row + 82, 16), "****************");  // gain, delay
    EXPECT_EQ(cht.substr(row + 34, 8), "    -inf");           // A(dB) of a zero amplitude
    const size_t next = cht.find("\r\n", row) + 2;
    EXPECT_EQ(cht.find("\r\n", next) - next, kRayRowChars);
}

// Save-at-end gathers levels into large writes; a test of several such pieces must come out byte
// for byte as the level-by-level real-time writer leaves it.
TEST(DataFileWriter, SaveAtEndInPiecesEqualsTheRealTimePair) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(4, 1024, kHorizontal, dir.base("atend"));
    Lists lists = makeLists(1024);
    const int levels = 900;  // 900 x 6 x 2 KB: 10.5 MB of waveforms, three pieces
    fillLists(info, lists, 0, levels);
    CSaveFile atEnd(fixedDate());
    ASSERT_TRUE(atEnd.saveAtEnd(info, listPointers(lists))) << atEnd.errorText();

    CInfo live = info;
    live.chtPath = dir.base("live") + ".CHT";
    live.chdPath = dir.base("live") + ".CHD";
    CSaveFile realTime(fixedDate());
    ASSERT_TRUE(realTime.createFiles(live));
    for (int level = 0; level < levels; ++level)
        ASSERT_TRUE(realTime.writeLevel(live, listPointers(lists), level));
    ASSERT_TRUE(realTime.close());

    EXPECT_EQ(fs::file_size(info.chdPath), static_cast<uintmax_t>(levels) * 6 * 2048);
    EXPECT_TRUE(readText(info.chdPath) == readText(live.chdPath));
    std::string a = readText(info.chtPath), b = readText(live.chtPath);
    // The file names inside the header differ; everything else must not.
    const auto cut = [](std::string& text, const std::string& name) {
        for (size_t at = text.find(name); at != std::string::npos; at = text.find(name))
            text.erase(at, name.size());
    };
    cut(a, "atend");
    cut(b, "live");
    EXPECT_TRUE(a == b);
}

// The .CHT is put in place last; when that fails, the .CHD already renamed is taken back, so the
// old pair stays whole (and without an old pair, no lone new .CHD is left).
TEST(DataFileWriter, AFailedFinalRenameLeavesTheOldPairWhole) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kHorizontal, dir.base("pile"));
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 5);
    writeText(info.chdPath, "old waves");
    // A non-empty folder under the .CHT's name: no file can be renamed over it.
    fs::create_directories(info.chtPath);
    writeText(fs::path(info.chtPath) / "keep", "x");

    CSaveFile file(fixedDate());
    EXPECT_FALSE(file.saveAtEnd(info, listPointers(lists)));
    EXPECT_FALSE(file.errorText().empty());
    EXPECT_EQ(readText(info.chdPath), "old waves");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    fs::remove(info.chdPath);
    CSaveFile second(fixedDate());
    EXPECT_FALSE(second.saveAtEnd(info, listPointers(lists)));
    EXPECT_FALSE(fs::exists(info.chdPath));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(DataFileWriter, SaveAtEndReplacesAnExistingPairOnlyWhenComplete) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kHorizontal, dir.base("pile"));
    writeText(info.chtPath, "old text");
    writeText(info.chdPath, "old waves");
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 45);

    std::vector<int> reports;
    CSaveFile file(fixedDate());
    ASSERT_TRUE(file.saveAtEnd(info, listPointers(lists), [&](int done, int total) {
        EXPECT_EQ(total, 45);
        // While the pair is written the user's names still hold the old one.
        EXPECT_EQ(readText(info.chtPath), "old text");
        EXPECT_EQ(readText(info.chdPath), "old waves");
        reports.push_back(done);
    }));
    std::vector<int> expected = {20};
    for (int n = 26; n <= 45; ++n)
        expected.push_back(n);  // every 20th, then each of the last 20
    EXPECT_EQ(reports, expected);
    EXPECT_EQ(fs::file_size(info.chdPath), 45u * 3 * 1024);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    // A pair that cannot be finished leaves the finished one alone and no stray files.
    const std::string before = readText(info.chtPath);
    CInfo broken = info;
    broken.chdPath = (dir.path() / "missing" / "pile.CHD").string();
    CSaveFile second(fixedDate());
    EXPECT_FALSE(second.saveAtEnd(broken, listPointers(lists)));
    EXPECT_NE(second.errorText().find("missing"), std::string::npos);
    EXPECT_EQ(readText(info.chtPath), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// Runs `body` in a child whose files may grow to `limit` bytes (writes beyond fail with EFBIG)
// and returns its exit status.
template <typename Body>
int inChildWithFileLimit(rlim_t limit, Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit r{limit, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &r);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DataFileWriter, AWriteFailureLeavesNoHalfPair) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kHorizontal, dir.base("full"));
    writeText(info.chtPath, "old text");
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 40);
    // Save at the end on a disk that fills up: the old pair stays, the temporaries go.
    const int status = inChildWithFileLimit(50000, [&] {
        CSaveFile file(fixedDate());
        const bool ok = file.saveAtEnd(info, listPointers(lists));
        return ok ? 1 : file.errorText().find("full.CHD") != std::string::npos ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readText(info.chtPath), "old text");
    EXPECT_FALSE(fs::exists(info.chdPath));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // In real time a level that fails is left out whole and the levels after it still go in.
    // Level 0's waveforms fit under the limit; its rows do not, and are cut off again.
    const int rt = inChildWithFileLimit(RLIM_INFINITY, [&] {
        CSaveFile file(fixedDate());
        if (!file.createFiles(info)) return 3;
        rlimit r{static_cast<rlim_t>(fs::file_size(info.chtPath) + 200), RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &r);
        if (file.writeLevel(info, listPointers(lists), 0)) return 4;
        r.rlim_cur = RLIM_INFINITY;
        ::setrlimit(RLIMIT_FSIZE, &r);
        for (int level = 1; level < 5; ++level) {
            if (!file.writeLevel(info, listPointers(lists), level)) return 5;
        }
        return file.close() ? 0 : 6;
    });
    ASSERT_EQ(rt, 0);
    CInfo back;
    Lists read = makeLists(512);
    OpenReport report =
        openDataFile(dir.base("full"), back, [&](const CInfo&) { return listPointers(read); });
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.levels, 4);
    EXPECT_EQ(report.droppedLevels, 0);
    auto guard = read[0]->lock();
    EXPECT_EQ(read[0]->pointAt(0)->samples[0], generatedCode(1, 0, 0));
    EXPECT_EQ(read[0]->pointAt(3)->samples[5], generatedCode(4, 0, 5));
}

TEST(DataFileWriter, CompletingARealTimeTestWritesTheMissingLevels) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kHorizontal, dir.base("rt"));
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 25);
    {
        // The probes stopped a little short of level 24: it still counts as level 24.
        auto guard = lists[0]->lock();
        lists[0]->current->depth = 12.0f - 24 * 0.05f + 0.02f;
    }
    CSaveFile file(fixedDate());
    ASSERT_TRUE(file.createFiles(info));
    for (int level = 0; level < 3; ++level)
        ASSERT_TRUE(file.writeLevel(info, listPointers(lists), level));
    std::vector<std::pair<int, int>> reports;
    ASSERT_TRUE(file.completeRealTime(info, listPointers(lists), -1,
                                      [&](int done, int total) { reports.emplace_back(done, total); }));
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.levelsWritten(), 25);
    std::vector<std::pair<int, int>> expected = {{10, 22}, {20, 22}};
    for (int n = 13; n <= 22; ++n) {
        if (n != 20) expected.emplace_back(n, 22);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(reports, expected);
    EXPECT_EQ(fs::file_size(info.chdPath), 25u * 3 * 1024);

    EXPECT_EQ(lastMeasuredLevel(info, 12.0f), 0);
    EXPECT_EQ(lastMeasuredLevel(info, 11.0f), 20);
    EXPECT_EQ(lastMeasuredLevel(info, 12.5f), -1);
    info.testMode = kFan;
    info.sections[0].sectionStartDepth = 10.0f;
    info.sections[0].heightDiff = 500;  // start at 9.5 m
    EXPECT_EQ(lastMeasuredLevel(info, 9.0f), 10);
}

TEST(DataFileWriter, ReloadRecentRefillsTheHalfWindowFromTheFiles) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kHorizontal, dir.base("ring"));
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 30);
    CSaveFile file(fixedDate());
    ASSERT_TRUE(file.createFiles(info));
    for (int level = 0; level < 30; ++level)
        ASSERT_TRUE(file.writeLevel(info, listPointers(lists), level));

    auto scramble = [&] {
        for (auto& list : lists) {
            auto guard = list->lock();
            for (SamplePoint* p = list->first; p; p = p->next) {
                p->depth = -1.0f;
                p->gain = -1.0f;
                std::fill(p->samples.begin(), p->samples.end(), uint16_t{7});
            }
        }
    };
    scramble();
    // Window of 20 levels: the last ten written (20..29) go to points 10..19.
    ASSERT_TRUE(file.reloadRecent(info, listPointers(lists), 30, 20));
    for (int e = 0; e < 3; ++e) {
        auto guard = lists[e]->lock();
        for (int i = 0; i < 30; ++i) {
            const SamplePoint& p = *lists[e]->pointAt(i);
            if (i < 10 || i >= 20) {
                EXPECT_EQ(p.depth, -1.0f) << e << " " << i;
                continue;
            }
            const int level = i + 10;
            EXPECT_NEAR(p.depth, 12.0f - level * 0.05f, 1e-4) << e << " " << i;
            EXPECT_EQ(p.gain, static_cast<float>(info.sections[e].gain));
            for (int j = 0; j < 512; ++j)
                ASSERT_EQ(p.samples[j], generatedCode(level, e, j)) << e << " " << i;
        }
    }

    // A waveform file that was cut behind the writer's back: nothing changes.
    scramble();
    fs::resize_file(info.chdPath, 3 * 1024 * 25);
    EXPECT_FALSE(file.reloadRecent(info, listPointers(lists), 30, 20));
    auto guard = lists[1]->lock();
    EXPECT_EQ(lists[1]->pointAt(15)->depth, -1.0f);
    EXPECT_EQ(lists[1]->pointAt(15)->samples[3], 7);
}

// The service thread writes levels while the worker keeps appending and picking new ones: the
// writer takes each list's lock while it copies a point, as every reader of the lists does.
TEST(DataFileWriter, WritesLevelsWhileTheWorkerAppends) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kHorizontal, dir.base("live"));
    Lists lists = makeLists(512);
    constexpr int kLevels = 60;
    std::atomic<int> ready{0};
    std::thread worker([&] {
        std::vector<uint16_t> wave(512);
        for (int l = 0; l < kLevels; ++l) {
            for (int e = 0; e < 3; ++e) {
                for (int j = 0; j < 512; ++j)
                    wave[j] = generatedCode(l, e, j);
                lists[e]->append(wave.data(), 12.0f - l * 0.05f);
                auto guard = lists[e]->lock();
                lists[e]->tail->tIndex = 40;  // picked after it was linked, under the lock
                lists[e]->tail->ampIndex = 55;
                lists[e]->tail->gain = 80.0f;
            }
            ready = l + 1;
        }
    });
    CSaveFile file(fixedDate());
    ASSERT_TRUE(file.createFiles(info));
    for (int level = 0; level < kLevels; ++level) {
        while (ready.load() <= level)
            std::this_thread::yield();
        ASSERT_TRUE(file.writeLevel(info, listPointers(lists), level));
        // Re-reading the newest half window races the worker's appends too.
        if (level % 10 == 9) {
            ASSERT_TRUE(file.reloadRecent(info, listPointers(lists), level - 9, 20));
        }
    }
    worker.join();
    ASSERT_TRUE(file.close());
    CInfo back;
    Lists read;
    const OpenReport report = openDataFile(dir.base("live"), back, [&](const CInfo&) {
        read = makeLists(512);
        return listPointers(read);
    });
    ASSERT_TRUE(report.ok) << report.error;
    ASSERT_EQ(report.levels, kLevels);
    auto guard = read[3]->lock();  // 2-3
    EXPECT_EQ(read[3]->pointAt(kLevels - 1)->samples[100], generatedCode(kLevels - 1, 2, 100));
}

TEST(DataFileWriter, NumberTextsIgnoreTheLocaleAndKeepTheirWidth) {
    std::string out;
    putFixed(out, 2.5, 8, 0);  // printf rounds the exact value half to even
    putFixed(out, 0.125, 6, 2);
    putInt(out, 7, 3, true);
    putColumnFixed(out, -12345.6, 8, 1);
    putColumnFixed(out, 123456789.0, 8, 1);
    putColumnInt(out, 1234567890123, 12);
    EXPECT_EQ(out, std::string("       2") + "  0.12" + "7  " + "-12345.6" + "********" + "************");
    EXPECT_EQ(parseInt("  -42abc"), -42);
    EXPECT_EQ(parseInt("99999999999"), INT32_MAX);
    EXPECT_EQ(parseInt("x1"), 0);
    EXPECT_EQ(parseReal(" 19.95  "), 19.95);
    EXPECT_EQ(parseReal("-1.0e2x"), -100.0);
    EXPECT_TRUE(std::isinf(parseReal("    -inf")));
    EXPECT_EQ(parseReal("1e999"), HUGE_VAL);
    EXPECT_EQ(parseReal("1e-999"), 0.0);
    EXPECT_EQ(parseReal("--1"), 0.0);
    EXPECT_EQ(parseReal(""), 0.0);
}

}  // namespace
}  // namespace lx9
