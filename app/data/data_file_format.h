// What the writer and the reader of the crosshole data file pair share: the section numbers (SI)
// of the file, the fixed row widths, the file name suffixes and the messages of a failed open.
//
// A test is stored as base + ".CHT" (GBK text: parameters in labelled blocks, then one
// fixed-width row per recorded waveform) and base + ".CHD" (the waveforms, signed 16-bit
// little-endian values, code − 2047, one block per depth level).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

SectionLists listPointers(const std::array<std::unique_ptr<CSampleDataList>, kMaxSections>& lists);

// Progress of a long file operation: levels done so far and levels in all.
using ProgressFn = std::function<void(int done, int total)>;

// Section numbers of the file. SI 0..5 are the writer's row slots, ordered by the higher pipe
// number, then the lower; SI 6..9 only ever come from other writers.
inline constexpr int kSiCount = 10;
inline constexpr std::array<std::string_view, kSiCount> kSiNames = {"1-2", "1-3", "2-3", "1-4", "2-4",
                                                                    "3-4", "1-5", "2-5", "3-5", "4-5"};
// The `sections` slot (ordered by the lower pipe first) that holds each writer SI.
inline constexpr std::array<int, kMaxSections> kSiSectionSlot = {0, 1, 3, 2, 4, 5};

inline constexpr std::string_view kChtSuffix = ".CHT";
inline constexpr std::string_view kChdSuffix = ".CHD";

inline constexpr int kTableRows = 10;               // rows of the defect and section tables
inline constexpr std::size_t kTableRowChars = 124;  // one row of those tables, without CR LF
inline constexpr std::size_t kRayRowChars = 130;    // one waveform row, without CR LF
inline constexpr std::size_t kRayRowBytes = 132;    // the same with CR LF
inline constexpr int kChdZeroCode = 2047;           // the file stores code − 2047

// Rows the header describes: 1 with two pipes, 3 with three, 6 otherwise.
int rowCountForPipes(int pipeCount);

// The two paths of a pair from its base path ("/x/pile1" or "/x/pile1.CHT", any case of the
// suffix): base + ".CHT" and base + ".CHD".
std::string dataFileBase(std::string_view path);

// Texts of a failed open. The first is the fixed text of a bad section number; the others say
// which part of the file could not be used.
inline constexpr std::string_view kTextBadSectionSi = "读取TOKAN_VivUdDat_SectionPara:段中的SI异常！";
inline constexpr std::string_view kTextBadPipeCount = "读取TOKAN_VivUdDat_PilePipePara:段中的PIPENUM异常！";
inline constexpr std::string_view kTextBadSectionCount = "读取TOKAN_VivUdDat_Section:段中的SectNum异常！";
inline constexpr std::string_view kTextBadStep = "读取TOKAN_VivUdDat_SectionPara:段中的Move异常！";
inline constexpr std::string_view kTextBadInterval = "读取TOKAN_VivUdDat_SectionPara:段中的dT(us)异常！";
inline constexpr std::string_view kTextBadLength = "读取TOKAN_VivUdDat_SectionPara:段中的DatLen异常！";
inline constexpr std::string_view kTextBadRaySi = "读取TOKAN_VivUdDat_RayPara:段中的SI异常！";
inline constexpr std::string_view kTextBadStartDepth = "读取TOKAN_VivUdDat_RayPara:段中的SourL异常！";
inline constexpr std::string_view kTextNoLevels = "数据文件中没有完整的测点！";
inline constexpr std::string_view kTextTooManyPoints = "数据文件的测点数超过65535！";

}  // namespace lx9
