#include "data/data_file_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "data/data_file_text.h"
#include "data/data_file_writer.h"
#include "data/point_metrics.h"
#include "data_file_test_support.h"

namespace lx9 {
namespace {

using namespace testing_support;

const CSaveFile::DateSource kDate = [] { return std::string("2026-3-9"); };

int siOf(const std::string& name) {
    return static_cast<int>(std::find(kSiNames.begin(), kSiNames.end(), name) - kSiNames.begin());
}

// A pair written save-at-end (or in real time) from a generated test.
void writePair(const CInfo& info, Lists& lists, int levels, bool realTime) {
    CSaveFile file(kDate);
    if (realTime) {
        ASSERT_TRUE(file.createFiles(info)) << file.errorText();
        for (int level = 0; level < levels; ++level) {
            ASSERT_TRUE(file.writeLevel(info, listPointers(lists), level)) << file.errorText();
        }
        ASSERT_TRUE(file.close());
    } else {
        ASSERT_TRUE(file.saveAtEnd(info, listPointers(lists))) << file.errorText();
    }
}

// Opens base into `info` and fresh lists, as the console does after the header is read.
OpenReport openInto(const std::string& base, CInfo& info, Lists& lists) {
    return openDataFile(base, info, [&](const CInfo& header) {
        lists = makeLists(header.sampleLength);
        return listPointers(lists);
    });
}

// A record that is plainly not the one in the file, to show what the open replaced.
CInfo otherRecord() {
    CInfo info;
    info.resetToDefaults();
    info.siteName = "旧工程";
    info.sampleLength = 1024;
    info.pipeCount = 4;
    return info;
}

using RoundTripParam = std::tuple<bool, int, int, int>;  // real time, test mode, samples, pipes

class DataFileRoundTrip : public ::testing::TestWithParam<RoundTripParam> {};

TEST_P(DataFileRoundTrip, EveryFieldAndSampleComesBack) {
    const auto [realTime, mode, length, pipes] = GetParam();
    ViewingState viewing;
    TempDir dir;
    const std::string base = dir.base("pile");
    CInfo info = makeInfo(pipes, length, mode, base);
    Lists lists = makeLists(length);
    constexpr int kLevels = 6;
    fillLists(info, lists, 0, kLevels);
    writePair(info, lists, kLevels, realTime);

    CInfo back = otherRecord();
    Lists read;
    const OpenReport report = openInto(base, back, read);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.levels, kLevels);
    EXPECT_EQ(report.droppedLevels, 0);

    EXPECT_EQ(back.siteName, info.siteName);
    EXPECT_EQ(back.unitName, info.unitName);
    EXPECT_EQ(back.personName, info.personName);
    EXPECT_EQ(back.pileId, info.pileId);
    EXPECT_EQ(back.testDate, "2026-3-9");
    EXPECT_EQ(back.pipeCount, pipes);
    EXPECT_EQ(back.sectionCount, rowCountForPipes(pipes));
    EXPECT_EQ(back.pileDiameter, info.pileDiameter);
    // The file's pile length line carries the start depth of a horizontal test.
    EXPECT_EQ(back.pileLength, mode == kHorizontal ? 12.0f : 12.5f);
    EXPECT_EQ(back.pipeVelocity, 5.12f);
    EXPECT_EQ(back.pipeOuterDiameter, info.pipeOuterDiameter);
    EXPECT_EQ(back.pipeInnerDiameter, info.pipeInnerDiameter);
    EXPECT_EQ(back.probeDiameter, info.probeDiameter);
    EXPECT_EQ(back.stepMm, 50);
    EXPECT_EQ(back.sampleInterval, 0.4f);
    EXPECT_EQ(back.sampleLength, length);
    EXPECT_EQ(back.testMode, mode);
    // The start depth is the first ray's transmitter depth.
    const float start = mode == kInclined ? 12.25f : 12.0f;
    EXPECT_FLOAT_EQ(back.startDepth, start);

    for (int e = 0; e < kMaxSections; ++e) {
        const SectionPara& s = info.sections[e];
        const int si = siOf(s.name);
        const int k = kSiSectionSlot[si];
        const SectionPara& b = back.sections[k];
        SCOPED_TRACE(s.name);
        if (e >= info.sectionCount) {
            if (std::none_of(info.sections.begin(), info.sections.begin() + info.sectionCount,
                             [&](const SectionPara& x) { return x.name == s.name; })) {
                EXPECT_FALSE(b.present);
                EXPECT_FALSE(b.display);
            }
            continue;
        }
        EXPECT_EQ(b.name, s.name);
        EXPECT_EQ(back.sectionSlot[si], k);
        EXPECT_TRUE(b.present);
        EXPECT_TRUE(b.display);
        EXPECT_EQ(b.spacing, s.spacing);
        EXPECT_EQ(b.gain, s.gain);
        EXPECT_EQ(b.delay, s.delay);
        EXPECT_EQ(b.lowPass, s.lowPass);
        EXPECT_EQ(b.highPass, s.highPass);
        EXPECT_EQ(b.zeroTime, s.zeroTime);
        EXPECT_EQ(back.appliedSections[k].delay, s.delay);
        EXPECT_EQ(back.appliedSections[k].spacing, s.spacing);
        EXPECT_EQ(b.heightDiff, mode == kHorizontal ? 0 : s.heightDiff);
        EXPECT_FLOAT_EQ(b.sectionStartDepth, start);

        auto wrote = lists[e]->lock();
        auto got = read[k]->lock();
        ASSERT_EQ(read[k]->count, kLevels);
        for (int l = 0; l < kLevels; ++l) {
            const SamplePoint& p = *lists[e]->pointAt(l);
            const SamplePoint& q = *read[k]->pointAt(l);
            SCOPED_TRACE(l);
            EXPECT_NEAR(q.depth, p.depth, 1e-4);
            EXPECT_EQ(q.delay, p.delay);
            EXPECT_EQ(q.gain, p.gain);
            EXPECT_EQ(q.threshold, 0.0f);
            EXPECT_EQ(q.tIndex, p.tIndex);
            EXPECT_EQ(q.ampIndex, p.ampIndex);
            EXPECT_EQ(q.samples, p.samples);
            const PointMetrics m =
                pointMetrics(info, e + 1, p.tIndex, p.depth, p.gain, p.samples[p.ampIndex], p.delay);
            EXPECT_NEAR(q.amplitudeDb, amplitudeToDb(m.amplitude), 0.051);
            EXPECT_NEAR(q.amplitude, amplitudeToDb(m.amplitude), 1e-3);
            EXPECT_NEAR(q.tIndexValue, std::trunc((std::round(m.time * 10) / 10 - p.delay) / 0.4), 1.0);
        }
    }
}

std::string roundTripName(const ::testing::TestParamInfo<RoundTripParam>& info) {
    const auto& [realTime, mode, length, pipes] = info.param;
    return std::string(realTime ? "RealTime" : "AtEnd") + "_Mode" + std::to_string(mode) + "_" +
           std::to_string(length) + "_Pipes" + std::to_string(pipes);
}

INSTANTIATE_TEST_SUITE_P(AllModes, DataFileRoundTrip,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(kHorizontal, kInclined, kFan),
                                            ::testing::Values(512, 1024), ::testing::Range(2, 6)),
                         roundTripName);

// Writes a small 4-pipe test and returns the .CHT text for the tests that doctor it.
std::string writeSample(const TempDir& dir, const std::string& name, CInfo& info, int levels = 3) {
    info = makeInfo(4, 512, kHorizontal, dir.base(name));
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, levels);
    writePair(info, lists, levels, false);
    return readText(info.chtPath);
}

// Applies `edit` to each row of the section table (the header line included).
template <typename Edit>
std::string editSectionTable(std::string cht, Edit edit) {
    size_t at = cht.find("SI    CrossD");
    for (int r = 0; r <= kTableRows; ++r) {
        const size_t end = cht.find("\r\n", at);
        std::string row = cht.substr(at, end - at);
        edit(row, r);
        cht.replace(at, end - at, row);
        at = cht.find("\r\n", at) + 2;
    }
    return cht;
}

TEST(DataFileReader, OlderNarrowSectionTableStillFindsEveryRow) {
    ViewingState viewing;
    TempDir dir;
    CInfo info;
    // Only section 3-4 in use, so the step and waveform length come from table row 5, where a
    // reader that assumed the wide layout would be twelve characters off.
    info = makeInfo(4, 1024, kHorizontal, dir.base("narrow"));
    info.sectionCount = 1;
    info.sections[0].name = "3-4";
    info.sections[5].name = "1-2";
    info.sampleInterval = 12.8f;
    Lists lists = makeLists(1024);
    fillLists(info, lists, 0, 2);
    writePair(info, lists, 2, false);
    CInfo wide = otherRecord();
    Lists wideLists;
    ASSERT_TRUE(openInto(dir.base("narrow"), wide, wideLists).ok);

    // The older layout: CrossD eight characters wide, rows of 122 characters.
    const std::string narrow =
        editSectionTable(readText(info.chtPath), [](std::string& row, int) { row.erase(2, 2); });
    ASSERT_NE(narrow.find("SI  CrossD    Move"), std::string::npos);
    writeText(info.chtPath, narrow);
    CInfo back = otherRecord();
    Lists read;
    const OpenReport report = openInto(dir.base("narrow"), back, read);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(back.stepMm, 50);
    EXPECT_EQ(back.sampleInterval, 12.8f);
    EXPECT_EQ(back.sampleLength, 1024);
    for (int k = 0; k < kMaxSections; ++k)
        EXPECT_EQ(back.sections[k], wide.sections[k]) << k;
    EXPECT_EQ(back.sections[5].spacing, 600);
    auto guard = read[5]->lock();
    EXPECT_EQ(read[5]->count, 2);
}

// Files written before the ray rows carried "    TEMP" ended them with "    Temp": they open the same.
TEST(DataFileReader, RayRowsOpenWithEitherSpellingOfTheirFill) {
    ViewingState viewing;
    TempDir dir;
    CInfo info;
    std::string cht = writeSample(dir, "pile", info, 4);
    CInfo now = otherRecord();
    Lists nowLists;
    ASSERT_TRUE(openInto(dir.base("pile"), now, nowLists).ok);

    const std::string fill = "    TEMP    TEMP    TEMP    TEMP\r\n";
    size_t rows = 0;
    for (size_t at = cht.find(fill, cht.find("SI   SourL")); at != std::string::npos;
         at = cht.find(fill, at)) {
        cht.replace(at, fill.size(), "    Temp    Temp    Temp    Temp\r\n");
        ++rows;
    }
    ASSERT_EQ(rows, 4u * 6);
    writeText(info.chtPath, cht);
    CInfo before = otherRecord();
    Lists beforeLists;
    const OpenReport report = openInto(dir.base("pile"), before, beforeLists);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.levels, 4);
    for (int k = 0; k < kMaxSections; ++k) {
        EXPECT_EQ(before.sections[k], now.sections[k]) << k;
        auto a = nowLists[k]->lock();
        auto b = beforeLists[k]->lock();
        ASSERT_EQ(beforeLists[k]->count, 4);
        for (int l = 0; l < 4; ++l) {
            const SamplePoint& p = *nowLists[k]->pointAt(l);
            const SamplePoint& q = *beforeLists[k]->pointAt(l);
            EXPECT_EQ(q.depth, p.depth);
            EXPECT_EQ(q.gain, p.gain);
            EXPECT_EQ(q.delay, p.delay);
            EXPECT_EQ(q.tIndex, p.tIndex);
            EXPECT_EQ(q.ampIndex, p.ampIndex);
            EXPECT_EQ(q.amplitude, p.amplitude);
            EXPECT_EQ(q.samples, p.samples);
        }
    }
}

TEST(DataFileReader, DatLen5121IsRead512) {
    ViewingState viewing;
    TempDir dir;
    CInfo info;
    const std::string cht = editSectionTable(writeSample(dir, "len", info), [](std::string& row, int r) {
        if (r >= 1 && r <= 6) row.replace(52, 8, "    5121");
    });
    writeText(info.chtPath, cht);
    CInfo back = otherRecord();
    Lists read;
    const OpenReport report = openInto(dir.base("len"), back, read);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(back.sampleLength, 512);
    auto guard = read[2]->lock();
    EXPECT_EQ(read[2]->pointAt(1)->samples[511], generatedCode(1, 2, 511));
}

// A file the program cannot use leaves the record exactly as it was, with the reason.
TEST(DataFileReader, BadHeadersFailAndRestoreTheRecord) {
    ViewingState viewing;
    TempDir dir;
    CInfo info;
    const std::string good = writeSample(dir, "bad", info);
    struct Case {
        const char* what;
        std::string cht;
        std::string_view message;
    };
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const std::string rowZero = "\r\n0      0.600";
    const Case cases[] = {
        {"no pipe count", replaced("PIPENUM  :       4\r\n", ""), kTextBadPipeCount},
        {"one pipe", replaced("PIPENUM  :       4", "PIPENUM  :       1"), kTextBadPipeCount},
        {"nine pipes", replaced("PIPENUM  :       4", "PIPENUM  :       9"), kTextBadPipeCount},
        {"SI 7 in the section table", replaced(rowZero, "\r\n7      0.600"), kTextBadSectionSi},
        {"SI -1 in the section table", replaced(rowZero, "\r\n-1     0.600"), kTextBadSectionSi},
        {"text for an SI", replaced(rowZero, "\r\nx      0.600"), kTextBadSectionSi},
        {"no section table", replaced("SI    CrossD", "SI    Cross_"), kTextBadSectionSi},
        {"eleven sections", replaced("SectNum  :       6", "SectNum  :      11"), kTextBadSectionCount},
        {"no step", replaced("\r\n0      0.600    0.05", "\r\n0      0.600    0.00"), kTextBadStep},
        {"no sampling interval", replaced("     0.4   100.0     512", "     0.0   100.0     512"),
         kTextBadInterval},
        {"2048 samples", replaced("     0.4   100.0     512", "     0.4   100.0    2048"), kTextBadLength},
        {"negative first SI", replaced("\r\n0    12.00   12.00", "\r\n-5   12.00   12.00"), kTextBadRaySi},
        {"start depth not a number", replaced("\r\n0    12.00   12.00", "\r\n0      nan   12.00"),
         kTextBadStartDepth},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeText(info.chtPath, c.cht);
        CInfo back = otherRecord();
        const CInfo before = back;
        Lists read;
        bool listsMade = false;
        const OpenReport report = openDataFile(dir.base("bad"), back, [&](const CInfo& h) {
            listsMade = true;
            read = makeLists(h.sampleLength);
            return listPointers(read);
        });
        EXPECT_FALSE(report.ok);
        EXPECT_EQ(report.error, c.message);
        EXPECT_FALSE(listsMade);
        EXPECT_TRUE(back == before);
    }
}

TEST(DataFileReader, FanTestWithoutHeightDifferenceReadsBackHorizontal) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kFan, dir.base("fan"));
    for (SectionPara& s : info.sections) {
        s.heightDiff = 0;
        s.sectionStartDepth = 8.0f;
    }
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 3);
    writePair(info, lists, 3, true);
    CInfo back = otherRecord();
    Lists read;
    ASSERT_TRUE(openInto(dir.base("fan"), back, read).ok);
    EXPECT_EQ(back.testMode, kHorizontal);
    EXPECT_EQ(back.startDepth, 8.0f);
    EXPECT_EQ(back.pileLength, 12.5f);

    // With a height difference the fixed transmitter makes it a fan test again.
    info.sections[1].heightDiff = 300;
    writePair(info, lists, 3, true);
    back = otherRecord();
    ASSERT_TRUE(openInto(dir.base("fan"), back, read).ok);
    EXPECT_EQ(back.testMode, kFan);
    EXPECT_EQ(back.sections[1].heightDiff, 300);
}

// A pair cut short while it was written keeps every complete level and says how many it left.
TEST(DataFileReader, CutPairsKeepEveryCompleteLevel) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kHorizontal, dir.base("cut"));
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 6);
    writePair(info, lists, 6, true);
    const std::string cht = readText(info.chtPath);
    const std::string chd = readText(info.chdPath);
    const size_t rays = cht.size() - 18 * kRayRowBytes;  // first ray row

    struct Case {
        const char* what;
        std::string cht, chd;
        int levels, dropped;
    };
    const Case cases[] = {
        {"intact", cht, chd, 6, 0},
        {"waveforms one byte short", cht, chd.substr(0, chd.size() - 1), 5, 1},
        {"waveforms of two and a half levels", cht, chd.substr(0, 3072 * 2 + 1536), 2, 4},
        {"row cut in the middle", cht.substr(0, cht.size() - 50), chd, 5, 1},
        {"row without its line end", cht.substr(0, cht.size() - 2), chd, 6, 0},
        {"level missing its last row", cht.substr(0, cht.size() - kRayRowBytes), chd, 5, 1},
        {"next level's first row begun", cht + "0    11.", chd, 6, 1},
        {"level rows out of step",
         cht.substr(0, rays + 3 * kRayRowBytes) + "1 " + cht.substr(rays + 3 * kRayRowBytes), chd, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeText(info.chtPath, c.cht);
        writeText(info.chdPath, c.chd);
        CInfo back = otherRecord();
        Lists read;
        std::vector<int> progress;
        const OpenReport report = openDataFile(
            dir.base("cut"), back,
            [&](const CInfo& h) {
                read = makeLists(h.sampleLength);
                return listPointers(read);
            },
            [&](int done, int total) { progress.push_back(done * 100 + total); });
        ASSERT_TRUE(report.ok) << report.error;
        EXPECT_EQ(report.levels, c.levels);
        EXPECT_EQ(report.droppedLevels, c.dropped);
        EXPECT_EQ(progress.back(), c.levels * 101);
        for (int e = 0; e < 3; ++e) {
            auto guard = read[kSiSectionSlot[e]]->lock();
            ASSERT_EQ(read[kSiSectionSlot[e]]->count, c.levels);
            for (int l = 0; l < c.levels; ++l) {
                const SamplePoint& p = *read[kSiSectionSlot[e]]->pointAt(l);
                EXPECT_EQ(p.samples[0], generatedCode(l, e, 0));
                EXPECT_EQ(p.samples[511], generatedCode(l, e, 511));
            }
        }
    }

    // Nothing complete at all: the open fails and says so.
    writeText(info.chtPath, cht.substr(0, rays + 100));
    writeText(info.chdPath, chd);
    CInfo back = otherRecord();
    Lists read;
    OpenReport report = openInto(dir.base("cut"), back, read);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.error, kTextNoLevels);
    writeText(info.chtPath, cht);
    writeText(info.chdPath, "");
    report = openInto(dir.base("cut"), back, read);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("cut.CHD"), std::string::npos);
}

// When the levels hold unused waveform slots only the Seek column finds the waveforms; a file
// whose Seek column is unusable falls back to row positions.
TEST(DataFileReader, SeekColumnIsHonouredWhenConsistent) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kHorizontal, dir.base("seek"));
    info.sections[1].name = "1-2";  // a duplicate: two rows a level in blocks of three slots
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 4);
    writePair(info, lists, 4, false);
    const std::string cht = readText(info.chtPath);
    ASSERT_NE(cht.find("        4097"), std::string::npos);  // level 1, second row

    COpenfile file(dir.base("seek"));
    CInfo back = otherRecord();
    ASSERT_TRUE(file.parseHeader(back));
    Lists read = makeLists(512);
    ASSERT_TRUE(file.readRows(back, listPointers(read)));
    EXPECT_TRUE(file.seekHonoured());
    {
        auto guard = read[3]->lock();  // section 2-3 (SI 2), written from entry 2
        ASSERT_EQ(read[3]->count, 4);
        for (int l = 0; l < 4; ++l)
            EXPECT_EQ(read[3]->pointAt(l)->samples[9], generatedCode(l, 2, 9)) << l;
    }

    // A normal pair with one damaged Seek: positions are used, and are right.
    info = makeInfo(3, 512, kHorizontal, dir.base("seek"));
    lists = makeLists(512);
    fillLists(info, lists, 0, 4);
    writePair(info, lists, 4, false);
    std::string damaged = readText(info.chtPath);
    damaged.replace(damaged.find("        4097"), 12, "     4097abc");
    writeText(info.chtPath, damaged);
    COpenfile second(dir.base("seek"));
    back = otherRecord();
    ASSERT_TRUE(second.parseHeader(back));
    read = makeLists(512);
    ASSERT_TRUE(second.readRows(back, listPointers(read)));
    EXPECT_FALSE(second.seekHonoured());
    auto guard = read[3]->lock();  // 2-3
    for (int l = 0; l < 4; ++l)
        EXPECT_EQ(read[3]->pointAt(l)->samples[7], generatedCode(l, 2, 7)) << l;
}

TEST(DataFileReader, JobTextsCannotMoveTheTables) {
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kHorizontal, dir.base("texts"));
    info.siteName = "SI    CrossD 工程";
    info.unitName = "PIPENUM  :       1";
    info.personName = "SI   SourL    Seek    ";
    info.pileId = "  DatLen 5121 长度超过九个字符的桩号  ";
    Lists lists = makeLists(512);
    fillLists(info, lists, 0, 2);
    writePair(info, lists, 2, false);
    CInfo back = otherRecord();
    Lists read;
    const OpenReport report = openInto(dir.base("texts"), back, read);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(back.siteName, info.siteName);
    EXPECT_EQ(back.unitName, info.unitName);
    EXPECT_EQ(back.personName, "SI   SourL    Seek");  // trimmed like every value
    EXPECT_EQ(back.pileId, "DatLen 5121 长度超过九个字符的桩号");
    EXPECT_EQ(back.pipeCount, 3);
    EXPECT_EQ(back.sampleLength, 512);
    EXPECT_EQ(back.sections[0].spacing, 600);
    EXPECT_EQ(report.levels, 2);
}

TEST(DataFileReader, FindsThePairOrSaysWhyNot) {
    ViewingState viewing;
    TempDir dir;
    CInfo back = otherRecord();
    Lists read;
    OpenReport report = openInto(dir.base("none"), back, read);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("none.CHT"), std::string::npos);

    // Copied from a Windows machine with lower-case suffixes, named with or without them.
    CInfo info;
    writeSample(dir, "lower", info);
    fs::rename(info.chtPath, dir.path() / "lower.cht");
    fs::rename(info.chdPath, dir.path() / "lower.chd");
    for (const char* name : {"lower", "lower.cht", "lower.CHT", "lower.chd"}) {
        back = otherRecord();
        report = openInto(dir.base(name), back, read);
        EXPECT_TRUE(report.ok) << name << ": " << report.error;
        EXPECT_EQ(report.levels, 3) << name;
    }
    fs::remove(dir.path() / "lower.chd");
    report = openInto(dir.base("lower"), back, read);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("lower.CHD"), std::string::npos);
}

// A caller whose lists hold longer waveforms than the file gets the file's samples followed by
// the zero line.
// The rows' fast number reading gives parseReal's double bit for bit: for the plain decimals it
// reads itself and for every text it hands on.
TEST(DataFileReader, RowNumbersReadExactlyAsParseReal) {
    auto bits = [](double v) {
        uint64_t b = 0;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    const std::vector<std::string> texts = {"0",
                                            "-0",
                                            "-0.000",
                                            "+1.5",
                                            ".5",
                                            "5.",
                                            "-.25",
                                            "19.95",
                                            "0.1",
                                            "0.3",
                                            "-123.456",
                                            "99999.99",
                                            "123456789012345",
                                            "1234567890123.45",
                                            "0.000000000000001",
                                            "1234567890123456",
                                            "9007199254740993",
                                            "0.30000000000000004",
                                            "1e3",
                                            "-1.0e2",
                                            "1.2.3",
                                            "-",
                                            "+",
                                            "",
                                            ".",
                                            "nan",
                                            "-inf",
                                            "12x",
                                            "1 2",
                                            "********",
                                            "--1",
                                            "+-1",
                                            "-+1"};
    for (const std::string& text : texts)
        EXPECT_EQ(bits(parseRowReal(text)), bits(parseReal(text))) << text;
    // Every kind of value the writer puts in an 8-character column.
    std::mt19937 random(25);
    std::uniform_real_distribution<double> value(-99999.0, 99999.0);
    for (int i = 0; i < 100000; ++i) {
        std::string column;
        putColumnFixed(column, value(random) / std::pow(10.0, i % 6), 8, i % 4);
        const std::string_view text = trimText(column);
        ASSERT_EQ(bits(parseRowReal(text)), bits(parseReal(text))) << text;
    }
}

// A pair large enough for both filling threads comes back point for point, in lists as the
// program makes them and in a mix: a section nobody keeps, one kept at half the file's waveform
// length. The thread-sanitizer build runs it too.
TEST(DataFileReader, ALargePairComesBackWholeIntoAnyLists) {
    ViewingState viewing;
    TempDir dir;
    const std::string base = dir.base("deep");
    CInfo info = makeInfo(4, 1024, kHorizontal, base);
    info.startDepth = 75.0f;
    info.pileLength = 75.5f;
    Lists lists = makeLists(1024);
    constexpr int kLevels = 1400;  // 6 x 1400 waveforms of 2 KB: 17.2 MB
    fillLists(info, lists, 0, kLevels);
    writePair(info, lists, kLevels, false);
    ASSERT_GE(fs::file_size(base + ".CHD"), 16u << 20);

    constexpr int kDropped = 2, kHalved = 3;  // list slots
    for (const bool mixed : {false, true}) {
        SCOPED_TRACE(mixed ? "mixed lists" : "lists of the file's length");
        CInfo back = otherRecord();
        Lists read;
        std::vector<int> progress;
        const auto caller = std::this_thread::get_id();
        bool elsewhere = false;
        const OpenReport report = openDataFile(
            base, back,
            [&](const CInfo& h) {
                read = makeLists(h.sampleLength);
                if (mixed) {
                    read[kDropped].reset();
                    read[kHalved] = std::make_unique<CSampleDataList>(512, kHalved);
                }
                return listPointers(read);
            },
            [&](int done, int total) {
                elsewhere = elsewhere || std::this_thread::get_id() != caller;
                ASSERT_EQ(total, kLevels);
                progress.push_back(done);
            });
        ASSERT_TRUE(report.ok) << report.error;
        ASSERT_EQ(report.levels, kLevels);
        EXPECT_FALSE(elsewhere);
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_EQ(progress.back(), kLevels);
        for (int e = 0; e < kMaxSections; ++e) {
            const int slot = kSiSectionSlot[siOf(info.sections[e].name)];
            if (mixed && slot == kDropped) continue;
            CSampleDataList& written = *lists[static_cast<size_t>(e)];
            CSampleDataList& opened = *read[static_cast<size_t>(slot)];
            auto g1 = written.lock();
            auto g2 = opened.lock();
            ASSERT_EQ(opened.count, kLevels);
            EXPECT_EQ(opened.current, opened.tail);
            for (int i = 0; i < kLevels; ++i) {
                const SamplePoint& w = *written.pointAt(i);
                const SamplePoint& o = *opened.pointAt(i);
                if (mixed && slot == kHalved) {
                    ASSERT_EQ(o.samples.size(), 512u);
                    ASSERT_TRUE(std::equal(o.samples.begin(), o.samples.end(), w.samples.begin())) << i;
                } else {
                    ASSERT_EQ(o.samples, w.samples) << e << " " << i;
                }
                ASSERT_NEAR(o.depth, w.depth, 0.0005);
                ASSERT_EQ(o.tIndex, w.tIndex);
                ASSERT_EQ(o.ampIndex, w.ampIndex);
            }
        }
    }
}

TEST(DataFileReader, LongerListsGetTheZeroLineAfterTheFileSamples) {
    ViewingState viewing;
    TempDir dir;
    CInfo info;
    writeSample(dir, "short", info, 2);
    COpenfile file(dir.base("short"));
    CInfo back = otherRecord();
    ASSERT_TRUE(file.parseHeader(back));
    Lists read = makeLists(1024);
    ASSERT_TRUE(file.readRows(back, listPointers(read)));
    auto guard = read[4]->lock();  // 2-4, entry 4 of the four-pipe test
    const SamplePoint& p = *read[4]->pointAt(1);
    ASSERT_EQ(p.samples.size(), 1024u);
    EXPECT_EQ(p.samples[511], generatedCode(1, 4, 511));
    EXPECT_EQ(p.samples[512], 2048);
    EXPECT_EQ(p.samples[1023], 2048);
}

TEST(DataFileReader, ListsThatWouldOverflowAreLeftAsTheyWere) {
    ViewingState viewing;
    TempDir dir;
    CInfo info;
    writeSample(dir, "full", info);
    COpenfile file(dir.base("full"));
    CInfo back = otherRecord();
    ASSERT_TRUE(file.parseHeader(back));
    Lists read = makeLists(512);
    read[3] = std::make_unique<CSampleDataList>(1, 3);  // 2-3: nearly full already
    const uint16_t code = 2048;
    for (int i = 0; i < CSampleDataList::kMaxPoints - 2; ++i)
        ASSERT_TRUE(read[3]->append(&code, 0.0f));
    EXPECT_FALSE(file.readRows(back, listPointers(read)));
    EXPECT_EQ(file.errorText(), kTextTooManyPoints);
    for (int k = 0; k < kMaxSections; ++k) {
        auto guard = read[k]->lock();
        EXPECT_EQ(read[k]->count, k == 3 ? CSampleDataList::kMaxPoints - 2 : 0) << k;
    }
}

}  // namespace
}  // namespace lx9
