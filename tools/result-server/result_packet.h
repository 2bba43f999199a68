// The result server's reading of the upload packets: cutting a TCP byte stream into packets
// (never trusting a length beyond the maximum packet size) and parsing one packet into its
// fields after checking its length, trailer and checksum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace lx9::server {

inline constexpr std::size_t kMaxPacketSize = 8192;
inline constexpr std::size_t kMinPacketSize = 81;  // the 79-byte header, 'F' and the checksum
inline constexpr std::size_t kMaxImageChunk = kMaxPacketSize - 94;

// Header fields common to every packet (texts in UTF-8, cut at their zero byte).
struct PacketHeader {
    uint32_t length = 0;
    uint32_t secondLength = 0;
    std::string family;
    uint8_t type = 0;
    std::string instrument;
    std::string serial;
    std::string pileId;
    std::string sectionList;  // empty in image packets
};

struct SectionEntry {  // file header 2, one position
    std::string name;
    float startDepth = 0, heightDiff = 0, spacing = 0, gain = 0, zeroReading = 0, delay = 0, highPass = 0,
          lowPass = 0;
};

struct FileHeader1 {
    uint8_t testModeCode = 0;  // testMode + 20
    uint8_t standardCode = 0;
    std::array<double, 3> dates{};
    std::string fileName;
    int32_t pileDiameter = 0;
    float pileLength = 0;
    float step = 0;  // stepMm × 1000 as sent
    int32_t pipeCount = 0;
    int32_t presentCount = 0;
    float sampleInterval = 0;
    int32_t sampleLength = 0;
    std::array<uint8_t, 10> reserved{};
    float pipeVelocity = 0;
    float pipeOuterDiameter = 0, pipeInnerDiameter = 0, probeDiameter = 0;
    int32_t offsetAngle = 0;
    float pulleyDiameter = 0, cableDiameter = 0;
};

struct FileHeader2 {
    uint8_t testModeCode = 0;
    std::array<SectionEntry, 10> sections{};
};

struct DataEntry {
    std::string name;
    float spacing = 0, time = 0, amplitudeDb = 0;
};

struct DataRecord {
    int32_t levelNumber = 0;  // 1-based
    float depth = 0;
    std::array<DataEntry, 10> entries{};
};

struct CriteriaEntry {
    bool zero = true;       // all 34 bytes zero: no present section at this position
    float velocity = 0;     // km/s
    float amplitudeDb = 0;  // dB
};

struct CriteriaRecord {
    int32_t number = 0;  // 1: positions 0..4, 2: positions 5..9
    std::array<CriteriaEntry, 5> entries{};
};

struct ImageChunk {
    std::string section;
    int32_t chunkNumber = 0;  // 1-based
    std::vector<uint8_t> bytes;
};

struct EndRecord {
    float firstDepth = 0;
};

using PacketBody = std::variant<FileHeader1, FileHeader2, DataRecord, CriteriaRecord, ImageChunk, EndRecord>;

struct Packet {
    PacketHeader header;
    PacketBody body;
};

enum class PacketError {
    None,
    TooShort,
    BadMagic,
    BadLength,
    BadTrailer,
    BadChecksum,
    BadFamily,
    BadType,
    BadSize
};
const char* packetErrorText(PacketError e);

// Parses one whole packet (exactly its declared length). On failure `error` says why.
std::optional<Packet> parsePacket(std::span<const uint8_t> bytes, PacketError* error = nullptr);

// GBK text field: the bytes up to the first zero, as UTF-8.
std::string textField(std::span<const uint8_t> field);

// Cuts a byte stream into packets. Bytes that cannot start a packet are skipped up to the next
// "KPX" and reported once per run as invalid; a declared length outside the packet bounds is
// invalid too. Never holds more than one maximal packet plus what was fed since.
class PacketFramer {
  public:
    struct Item {
        bool valid = false;          // false: invalid bytes were dropped
        std::vector<uint8_t> bytes;  // the packet, when valid
    };

    void feed(std::span<const uint8_t> bytes);
    // The next framed packet or invalid run, if any.
    std::optional<Item> next();
    // Bytes of a packet begun but not complete.
    bool hasPartial() const { return !buffer_.empty(); }
    // Forgets a packet begun (after a time-out); it counts as invalid.
    void dropPartial() { buffer_.clear(); }

  private:
    std::vector<uint8_t> buffer_;
};

}  // namespace lx9::server
