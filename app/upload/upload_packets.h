// The result server's packets, byte for byte. Every packet starts with the common header ("KPX",
// its length twice, family "002", type, instrument, serial, pile number and, except in image
// packets, the section list) and ends with 'F' and an 8-bit sum of everything before it.
// Integers and floats are little-endian; text fields are GBK.
//
// The builders take plain inputs (the record, one level's values, the critical values) so that
// the bytes can be checked without a server or a data file.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

inline constexpr uint8_t kPacketFileHeader = 11;
inline constexpr uint8_t kPacketData = 12;  // data and criteria packets
inline constexpr uint8_t kPacketImage = 175;
inline constexpr uint8_t kPacketEnd = 14;

inline constexpr std::size_t kPacketHeaderSize = 79;
inline constexpr std::size_t kPacketHeaderWithListSize = 119;
inline constexpr std::size_t kSectionListFieldSize = 40;
inline constexpr std::size_t kFileHeader1Size = 285;
inline constexpr std::size_t kFileHeader2Size = 484;
inline constexpr std::size_t kDataPacketSize = 410;
inline constexpr std::size_t kCriteriaPacketSize = 306;
inline constexpr std::size_t kEndPacketSize = 161;
inline constexpr std::size_t kImageChunkOverhead = 94;  // an image packet is 94 + m bytes
inline constexpr std::size_t kImageChunkBytes = 388;    // image bytes per chunk

inline constexpr int kSectionPositions = 10;  // entries per packet: the ten pipe pairs of five pipes

// Name of a section position that holds no present section: "1*2", "1*3", "2*3", "1*4", "2*4",
// "3*4", "1*5", "2*5", "3*5", "4*5" for positions 0..9.
std::string_view placeholderName(int position);

// Who sends: the three texts of every header (UTF-8 in memory).
struct PacketIdentity {
    std::string instrumentNumber;
    std::string serialNumber;
    std::string pileId;
};

// 8-bit sum (modulo 256) of the bytes.
uint8_t packetChecksum(std::span<const uint8_t> bytes);

// Appends a text field of n bytes: the text in GBK, cut at n bytes (never inside a character);
// a shorter text is followed by one zero byte and then spaces up to n.
void appendTextField(std::vector<uint8_t>& out, std::string_view utf8, std::size_t n);

// "%s," for each of the six slots: the slot's name when present, else the position's placeholder.
std::string sectionListText(const CInfo& info);

// Standard code of the header: 1 "公路", 2 "铁路", 3 "建筑", 7 "广东建筑", 1 for anything else.
uint8_t uploadStandardCode(std::string_view standard);

// A test date written "Y-M-D", "Y.M.D" or "Y年M月D日" (surrounding blanks allowed); none for any
// other text or a day that does not exist.
std::optional<std::chrono::year_month_day> parseTestDate(std::string_view text);

// Days since 30 December 1899 (the OLE automation date) of a date at midnight.
double oleDate(std::chrono::year_month_day date);

// The header's date: the parsed test date, or `today` when the text does not parse.
double testDateOle(std::string_view testDate, std::chrono::year_month_day today);

// Today's local date.
std::chrono::year_month_day localToday();

// The file name of an upload path without its folder and without its last four characters.
std::string uploadFileStem(std::string_view path);

// Slot of the first present section, or -1.
int firstPresentSlot(const CInfo& info);

// Number of present sections.
int presentSectionCount(const CInfo& info);

// File header packet 1 (job, pile and instrument settings) and 2 (the ten section entries).
std::vector<uint8_t> fileHeaderPacket1(const PacketIdentity& id, const CInfo& info,
                                       std::string_view uploadFile, double oleDate);
std::vector<uint8_t> fileHeaderPacket2(const PacketIdentity& id, const CInfo& info);

// One section position of a data packet.
struct DataEntry {
    bool present = false;  // false: placeholder name and zeros
    std::string name;
    float spacingM = 0.0f;     // m
    float time = 0.0f;         // µs
    float amplitudeDb = 0.0f;  // dB
};

// The values of one depth level as the data packet carries them.
struct DataLevel {
    int32_t level = 0;  // 0-based; the packet carries level + 1
    float depth = 0.0f;
    std::array<DataEntry, kMaxSections> entries{};
};

// Reads level `level` of every present section's list (each list under its lock). A present
// section whose list has no point at that level is sent with its name and spacing and zero
// time and amplitude.
DataLevel dataLevel(const CInfo& info, const SectionLists& lists, int level);

// Reads levels one after the other without walking each list from its first point again: the
// upload's data step is linear in the number of levels. Levels may be read in any order (going
// back restarts the walk). The lists must not change between reads (the acquisition is idle).
class LevelReader {
  public:
    LevelReader(const CInfo& info, const SectionLists& lists) : info_(info), lists_(lists) {}
    DataLevel read(int level);

  private:
    const CInfo& info_;
    SectionLists lists_;
    std::array<const SamplePoint*, kMaxSections> at_{};  // point `index_[k]` of list k, or null
    std::array<int, kMaxSections> index_{};
    std::array<bool, kMaxSections> started_{};
};

std::vector<uint8_t> dataPacket(const PacketIdentity& id, const CInfo& info, const DataLevel& level);

// Critical values of one section as computed before the upload.
struct SectionCriticals {
    float velocity = 0.0f;     // mm/s (uploadVelocityCritical)
    float amplitudeDb = 0.0f;  // dB (uploadAmplitudeCritical)
};

// Criteria packet n (1: positions 0..4, 2: positions 5..9).
std::vector<uint8_t> criteriaPacket(const PacketIdentity& id, const CInfo& info,
                                    const std::array<SectionCriticals, kMaxSections>& criticals, int number);

// Image chunk `chunkNumber` (1-based) of a section's image; carries bytes.size() image bytes.
std::vector<uint8_t> imageChunkPacket(const PacketIdentity& id, std::string_view sectionName,
                                      int32_t chunkNumber, std::span<const uint8_t> bytes);

// Number of chunks an image of `size` bytes travels in.
std::size_t imageChunkCount(std::size_t size);

// End packet; firstDepth is the depth of the first point of the first present section.
std::vector<uint8_t> endPacket(const PacketIdentity& id, const CInfo& info, float firstDepth);

}  // namespace lx9
