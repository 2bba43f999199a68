#include "upload/upload_packets.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <ctime>

#include "data/point_metrics.h"
#include "data/text_codec.h"

namespace lx9 {
namespace {

constexpr std::array<std::string_view, kSectionPositions> kPlaceholders = {"1*2", "1*3", "2*3", "1*4", "2*4",
                                                                           "3*4", "1*5", "2*5", "3*5", "4*5"};

// Little-endian appenders; the packets are laid out field by field in the order they travel.
class Bytes {
  public:
    explicit Bytes(std::size_t reserve) { out.reserve(reserve); }

    void u8(uint8_t v) { out.push_back(v); }
    void i16(int16_t v) { raw(static_cast<uint16_t>(v), 2); }
    void i32(int32_t v) { raw(static_cast<uint32_t>(v), 4); }
    void f32(float v) { raw(std::bit_cast<uint32_t>(v), 4); }
    void f64(double v) { raw(std::bit_cast<uint64_t>(v), 8); }
    void text(std::string_view utf8, std::size_t n) { appendTextField(out, utf8, n); }
    void zeros(std::size_t n) { out.insert(out.end(), n, uint8_t{0}); }

    // float 0, float 0, int16 0: the ten zero bytes most packets carry before the trailer.
    void tailZeros() {
        f32(0.0f);
        f32(0.0f);
        i16(0);
    }

    // Writes the two length fields (offsets 3 and 7) and appends 'F' and the checksum.
    std::vector<uint8_t> finish(std::optional<int32_t> secondLength = std::nullopt) {
        out.push_back('F');
        const auto total = static_cast<int32_t>(out.size() + 1);
        put(3, static_cast<uint32_t>(total));
        put(7, static_cast<uint32_t>(secondLength.value_or(total)));
        out.push_back(packetChecksum(out));
        return std::move(out);
    }

    std::vector<uint8_t> out;

  private:
    void raw(uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void put(std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
};

// The common header; the lengths are filled in by finish().
Bytes header(const PacketIdentity& id, uint8_t type, const CInfo* withList, std::size_t size) {
    Bytes b(size);
    for (char c : {'K', 'P', 'X'})
        b.u8(static_cast<uint8_t>(c));
    b.i32(0);
    b.i32(0);
    b.text("002", 3);
    b.u8(type);
    b.text(id.instrumentNumber, 24);
    b.text(id.serialNumber, 24);
    b.text(id.pileId, 16);
    if (withList) b.text(sectionListText(*withList), kSectionListFieldSize);
    return b;
}

bool presentAt(const CInfo& info, int position) {
    return position < kMaxSections && info.sections[position].present;
}

// Parses "<digits>" at the front of text; advances it.
std::optional<int> number(std::string_view& text) {
    int v = 0;
    std::size_t n = 0;
    while (n < text.size() && n < 6 && text[n] >= '0' && text[n] <= '9')
        v = v * 10 + (text[n++] - '0');
    if (n == 0 || (n < text.size() && text[n] >= '0' && text[n] <= '9')) return std::nullopt;
    text.remove_prefix(n);
    return v;
}

bool consume(std::string_view& text, std::string_view sep) {
    if (!text.starts_with(sep)) return false;
    text.remove_prefix(sep.size());
    return true;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::string_view placeholderName(int position) {
    return position >= 0 && position < kSectionPositions ? kPlaceholders[position] : std::string_view{};
}

uint8_t packetChecksum(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return static_cast<uint8_t>(sum & 0xFF);
}

void appendTextField(std::vector<uint8_t>& out, std::string_view utf8, std::size_t n) {
    // Cut on a character boundary: half a double-byte character would corrupt the text.
    const std::string gbk = utf8ToGbkCut(utf8, n);
    out.insert(out.end(), gbk.begin(), gbk.end());
    if (gbk.size() < n) {
        out.push_back(0);
        out.insert(out.end(), n - gbk.size() - 1, uint8_t{' '});
    }
}

std::string sectionListText(const CInfo& info) {
    std::string text;
    for (int k = 0; k < kMaxSections; ++k) {
        text += info.sections[k].present ? info.sections[k].name : std::string(kPlaceholders[k]);
        text += ',';
    }
    return text;
}

uint8_t uploadStandardCode(std::string_view standard) {
    if (standard == kStandardRailway) return 2;
    if (standard == kStandardBuilding) return 3;
    if (standard == kStandardGuangdong) return 7;
    return 1;
}

std::optional<std::chrono::year_month_day> parseTestDate(std::string_view text) {
    text = trimBlanks(text);
    auto y = number(text);
    if (!y) return std::nullopt;
    std::string_view sep1, sep2, end;
    if (text.starts_with("-")) {
        sep1 = sep2 = "-";
    } else if (text.starts_with(".")) {
        sep1 = sep2 = ".";
    } else if (text.starts_with("年")) {
        sep1 = "年";
        sep2 = "月";
        end = "日";
    } else {
        return std::nullopt;
    }
    consume(text, sep1);
    auto m = number(text);
    if (!m || !consume(text, sep2)) return std::nullopt;
    auto d = number(text);
    if (!d) return std::nullopt;
    if (!end.empty() && !consume(text, end)) return std::nullopt;
    if (!text.empty()) return std::nullopt;
    // The years an OLE date can hold.
    if (*y < 100 || *y > 9999) return std::nullopt;
    std::chrono::year_month_day date{std::chrono::year(*y), std::chrono::month(static_cast<unsigned>(*m)),
                                     std::chrono::day(static_cast<unsigned>(*d))};
    if (!date.ok()) return std::nullopt;
    return date;
}

double oleDate(std::chrono::year_month_day date) {
    using namespace std::chrono;
    constexpr sys_days epoch = year(1899) / December / 30;
    return static_cast<double>((sys_days(date) - epoch).count());
}

double testDateOle(std::string_view testDate, std::chrono::year_month_day today) {
    return oleDate(parseTestDate(testDate).value_or(today));
}

std::chrono::year_month_day localToday() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return std::chrono::year_month_day{std::chrono::year(tm.tm_year + 1900),
                                       std::chrono::month(static_cast<unsigned>(tm.tm_mon + 1)),
                                       std::chrono::day(static_cast<unsigned>(tm.tm_mday))};
}

std::string uploadFileStem(std::string_view path) {
    if (auto slash = path.find_last_of('/'); slash != std::string_view::npos) path.remove_prefix(slash + 1);
    if (path.size() <= 4) return {};
    path.remove_suffix(4);
    return std::string(path);
}

int firstPresentSlot(const CInfo& info) {
    for (int k = 0; k < kMaxSections; ++k) {
        if (info.sections[k].present) return k;
    }
    return -1;
}

int presentSectionCount(const CInfo& info) {
    return static_cast<int>(std::count_if(info.sections.begin(), info.sections.end(),
                                          [](const SectionPara& s) { return s.present; }));
}

std::vector<uint8_t> fileHeaderPacket1(const PacketIdentity& id, const CInfo& info,
                                       std::string_view uploadFile, double date) {
    Bytes b = header(id, kPacketFileHeader, &info, kFileHeader1Size);
    b.u8(0);
    b.u8(static_cast<uint8_t>(info.testMode + 20));
    b.u8(1);
    b.u8(uploadStandardCode(info.standard));
    b.f64(date);
    b.f64(date);
    b.f64(date);
    b.text(uploadFileStem(uploadFile), 60);
    b.i32(info.pileDiameter);
    b.f32(info.pileLength);
    b.f32(static_cast<float>(info.stepMm * 1000.0));
    b.i32(info.pipeCount);
    b.i32(presentSectionCount(info));
    b.f32(info.sampleInterval);
    b.i32(info.sampleLength);
    b.f32(info.uploadFields.value0);
    b.f32(info.uploadFields.value1);
    b.u8(info.uploadFields.byte0);
    b.u8(info.uploadFields.byte1);
    b.f32(static_cast<float>(info.pipeVelocity / 1000.0));
    b.f32(static_cast<float>(info.pipeOuterDiameter));
    b.f32(static_cast<float>(info.pipeInnerDiameter));
    b.f32(static_cast<float>(info.probeDiameter));
    b.i32(info.offsetAngle);
    b.f32(info.pulleyDiameter);
    b.f32(info.cableDiameter);
    b.tailZeros();
    return b.finish();
}

std::vector<uint8_t> fileHeaderPacket2(const PacketIdentity& id, const CInfo& info) {
    Bytes b = header(id, kPacketFileHeader, &info, kFileHeader2Size);
    b.u8(0);
    b.u8(static_cast<uint8_t>(info.testMode + 20));
    b.u8(2);
    for (int k = 0; k < kSectionPositions; ++k) {
        if (!presentAt(info, k)) {
            b.text(kPlaceholders[k], 3);
            b.zeros(32);
            continue;
        }
        const SectionPara& s = info.sections[k];
        b.text(s.name, 3);
        b.f32(info.testMode != kHorizontal ? s.sectionStartDepth : info.startDepth);
        b.f32(static_cast<float>(s.heightDiff));
        b.f32(static_cast<float>(s.spacing));
        b.f32(static_cast<float>(s.gain));
        b.f32(info.zeroReadings[k]);
        b.f32(s.delay);
        b.f32(s.highPass);
        b.f32(s.lowPass);
    }
    b.tailZeros();
    return b.finish();
}

DataLevel dataLevel(const CInfo& info, const SectionLists& lists, int level) {
    return LevelReader(info, lists).read(level);
}

DataLevel LevelReader::read(int level) {
    const CInfo& info = info_;
    DataLevel out;
    out.level = level;
    bool depthTaken = false;
    for (int k = 0; k < kMaxSections; ++k) {
        const SectionPara& s = info.sections[k];
        if (!s.present) continue;
        DataEntry& e = out.entries[k];
        e.present = true;
        e.name = s.name;
        e.spacingM = static_cast<float>(s.spacing / 1000.0);
        CSampleDataList* list = lists_[k];
        std::unique_lock<std::mutex> guard;
        const SamplePoint* p = nullptr;
        if (list && level >= 0) {
            guard = list->lock();
            // Walk the chain itself: the upload reads a finished test, never a ring of recent levels.
            if (!started_[k] || level < index_[k]) {
                at_[k] = list->first;
                index_[k] = 0;
                started_[k] = true;
            }
            while (at_[k] && index_[k] < level) {
                at_[k] = at_[k]->next;
                ++index_[k];
            }
            if (!at_[k]) index_[k] = std::max(index_[k], level);
            p = at_[k];
        }
        if (!depthTaken) {
            out.depth = p ? p->depth : 0.0f;
            depthTaken = true;
        }
        if (!p) continue;
        e.time =
            p->delay == -1.0f ? 0.0f : static_cast<float>((p->tIndex + 1.0) * info.sampleInterval + p->delay);
        const int32_t ampCode = p->ampIndex >= 0 && static_cast<std::size_t>(p->ampIndex) < p->samples.size()
                                    ? p->samples[p->ampIndex]
                                    : 2048;
        const PointMetrics m = pointMetrics(info, k + 1, p->tIndex, p->depth, p->gain, ampCode, p->delay);
        double a = m.amplitude;
        if (std::fabs(a) < 0.01) a = 0.01;
        e.amplitudeDb = static_cast<float>(amplitudeToDb(a));
    }
    return out;
}

std::vector<uint8_t> dataPacket(const PacketIdentity& id, const CInfo& info, const DataLevel& level) {
    Bytes b = header(id, kPacketData, &info, kDataPacketSize);
    b.u8(1);
    b.i32(level.level + 1);
    b.f32(level.depth);
    for (int k = 0; k < kSectionPositions; ++k) {
        if (k >= kMaxSections || !level.entries[k].present) {
            b.text(kPlaceholders[k], 3);
            b.zeros(24);
            continue;
        }
        const DataEntry& e = level.entries[k];
        b.text(e.name, 3);
        b.f32(e.spacingM);
        b.f32(e.time);
        b.f32(e.amplitudeDb);
        b.zeros(12);
    }
    b.tailZeros();
    return b.finish();
}

std::vector<uint8_t> criteriaPacket(const PacketIdentity& id, const CInfo& info,
                                    const std::array<SectionCriticals, kMaxSections>& criticals, int number) {
    Bytes b = header(id, kPacketData, &info, kCriteriaPacketSize);
    b.u8(7);
    b.i32(number);
    const int from = number == 2 ? 5 : 0;
    for (int k = from; k < from + 5; ++k) {
        if (!presentAt(info, k)) {
            b.zeros(34);
            continue;
        }
        b.f32(0.0f);
        b.f32(static_cast<float>(criticals[k].velocity / 1000000.0));
        b.f32(0.0f);
        b.f32(0.0f);
        b.u8(0);
        b.u8(0);
        b.f32(0.0f);
        b.i32(0);
        b.f32(criticals[k].amplitudeDb);
        b.f32(0.0f);
    }
    b.tailZeros();
    return b.finish();
}

std::vector<uint8_t> imageChunkPacket(const PacketIdentity& id, std::string_view sectionName,
                                      int32_t chunkNumber, std::span<const uint8_t> bytes) {
    Bytes b = header(id, kPacketImage, nullptr, kImageChunkOverhead + bytes.size());
    b.u8(0);
    b.text(sectionName, 3);
    b.i32(0);
    b.u8(0);
    b.i32(chunkNumber);
    b.out.insert(b.out.end(), bytes.begin(), bytes.end());
    return b.finish(static_cast<int32_t>(bytes.size()));
}

std::size_t imageChunkCount(std::size_t size) {
    return (size + kImageChunkBytes - 1) / kImageChunkBytes;
}

std::vector<uint8_t> endPacket(const PacketIdentity& id, const CInfo& info, float firstDepth) {
    Bytes b = header(id, kPacketEnd, &info, kEndPacketSize);
    b.u8(0);
    b.i32(1);
    b.i32(0);
    b.i32(0);
    b.f32(firstDepth);
    b.text("***", 3);
    b.zeros(20);
    return b.finish();
}

}  // namespace lx9
