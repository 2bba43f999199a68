#include "result_packet.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "data/text_codec.h"

namespace lx9::server {
namespace {

constexpr std::size_t kListEnd = 119;

class Reader {
  public:
    Reader(std::span<const uint8_t> bytes, std::size_t at) : b_(bytes), at_(at) {}

    uint8_t u8() { return b_[at_++]; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(b_[at_ + i]) << (8 * i);
        at_ += 4;
        return v;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    float f32() { return std::bit_cast<float>(u32()); }
    double f64() {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v |= static_cast<uint64_t>(b_[at_ + i]) << (8 * i);
        at_ += 8;
        return std::bit_cast<double>(v);
    }
    std::string text(std::size_t n) {
        auto s = textField(b_.subspan(at_, n));
        at_ += n;
        return s;
    }
    std::span<const uint8_t> raw(std::size_t n) {
        auto s = b_.subspan(at_, n);
        at_ += n;
        return s;
    }
    std::size_t at() const { return at_; }

  private:
    std::span<const uint8_t> b_;
    std::size_t at_;
};

std::optional<Packet> failWith(PacketError* error, PacketError e) {
    if (error) *error = e;
    return std::nullopt;
}

}  // namespace

const char* packetErrorText(PacketError e) {
    switch (e) {
        case PacketError::None:
            return "ok";
        case PacketError::TooShort:
            return "shorter than a header";
        case PacketError::BadMagic:
            return "does not start with KPX";
        case PacketError::BadLength:
            return "length field differs from the packet";
        case PacketError::BadTrailer:
            return "no 'F' before the checksum";
        case PacketError::BadChecksum:
            return "checksum mismatch";
        case PacketError::BadFamily:
            return "family is not 002";
        case PacketError::BadType:
            return "unknown packet type";
        case PacketError::BadSize:
            return "size does not fit the packet type";
    }
    return "?";
}

std::string textField(std::span<const uint8_t> field) {
    auto end = std::find(field.begin(), field.end(), uint8_t{0});
    return gbkToUtf8(std::string_view(reinterpret_cast<const char*>(field.data()),
                                      static_cast<std::size_t>(end - field.begin())));
}

std::optional<Packet> parsePacket(std::span<const uint8_t> bytes, PacketError* error) {
    if (error) *error = PacketError::None;
    const std::size_t n = bytes.size();
    if (n < kMinPacketSize || n > kMaxPacketSize) return failWith(error, PacketError::TooShort);
    if (std::memcmp(bytes.data(), "KPX", 3) != 0) return failWith(error, PacketError::BadMagic);

    Packet p;
    Reader r(bytes, 3);
    p.header.length = r.u32();
    p.header.secondLength = r.u32();
    if (p.header.length != n) return failWith(error, PacketError::BadLength);
    if (bytes[n - 2] != 'F') return failWith(error, PacketError::BadTrailer);
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < n; ++i)
        sum += bytes[i];
    if (static_cast<uint8_t>(sum) != bytes[n - 1]) return failWith(error, PacketError::BadChecksum);
    p.header.family = r.text(3);
    if (p.header.family != "002") return failWith(error, PacketError::BadFamily);
    p.header.type = r.u8();
    p.header.instrument = r.text(24);
    p.header.serial = r.text(24);
    p.header.pileId = r.text(16);

    const uint8_t type = p.header.type;
    if (type == 175) {
        // Image chunk: the second length is the number of image bytes.
        if (n < 94 || p.header.secondLength != n - 94) return failWith(error, PacketError::BadSize);
        ImageChunk c;
        r.u8();
        c.section = r.text(3);
        r.i32();
        r.u8();
        c.chunkNumber = r.i32();
        auto data = r.raw(n - 94);
        c.bytes.assign(data.begin(), data.end());
        p.body = std::move(c);
        return p;
    }
    if (type != 11 && type != 12 && type != 14) return failWith(error, PacketError::BadType);
    if (p.header.secondLength != n) return failWith(error, PacketError::BadLength);
    if (n < kListEnd + 3) return failWith(error, PacketError::BadSize);
    p.header.sectionList = r.text(40);

    if (type == 11) {
        r.u8();
        const uint8_t mode = r.u8();
        const uint8_t part = r.u8();
        if (part == 1 && n == 285) {
            FileHeader1 h;
            h.testModeCode = mode;
            h.standardCode = r.u8();
            for (double& d : h.dates)
                d = r.f64();
            h.fileName = r.text(60);
            h.pileDiameter = r.i32();
            h.pileLength = r.f32();
            h.step = r.f32();
            h.pipeCount = r.i32();
            h.presentCount = r.i32();
            h.sampleInterval = r.f32();
            h.sampleLength = r.i32();
            auto reserved = r.raw(10);
            std::copy(reserved.begin(), reserved.end(), h.reserved.begin());
            h.pipeVelocity = r.f32();
            h.pipeOuterDiameter = r.f32();
            h.pipeInnerDiameter = r.f32();
            h.probeDiameter = r.f32();
            h.offsetAngle = r.i32();
            h.pulleyDiameter = r.f32();
            h.cableDiameter = r.f32();
            p.body = std::move(h);
            return p;
        }
        if (part == 2 && n == 484) {
            FileHeader2 h;
            h.testModeCode = mode;
            for (SectionEntry& e : h.sections) {
                e.name = r.text(3);
                e.startDepth = r.f32();
                e.heightDiff = r.f32();
                e.spacing = r.f32();
                e.gain = r.f32();
                e.zeroReading = r.f32();
                e.delay = r.f32();
                e.highPass = r.f32();
                e.lowPass = r.f32();
            }
            p.body = std::move(h);
            return p;
        }
        return failWith(error, PacketError::BadSize);
    }
    if (type == 12) {
        const uint8_t kind = r.u8();
        if (kind == 1 && n == 410) {
            DataRecord d;
            d.levelNumber = r.i32();
            d.depth = r.f32();
            for (DataEntry& e : d.entries) {
                e.name = r.text(3);
                e.spacing = r.f32();
                e.time = r.f32();
                e.amplitudeDb = r.f32();
                r.raw(12);
            }
            p.body = std::move(d);
            return p;
        }
        if (kind == 7 && n == 306) {
            CriteriaRecord c;
            c.number = r.i32();
            for (CriteriaEntry& e : c.entries) {
                auto raw = r.raw(34);
                e.zero = std::all_of(raw.begin(), raw.end(), [](uint8_t b) { return b == 0; });
                Reader f(raw, 0);
                f.f32();
                e.velocity = f.f32();
                f.raw(4 + 4 + 1 + 1 + 4 + 4);
                e.amplitudeDb = f.f32();
            }
            p.body = std::move(c);
            return p;
        }
        return failWith(error, PacketError::BadSize);
    }
    // type 14
    if (n != 161) return failWith(error, PacketError::BadSize);
    EndRecord e;
    r.u8();
    r.i32();
    r.i32();
    r.i32();
    e.firstDepth = r.f32();
    p.body = e;
    return p;
}

void PacketFramer::feed(std::span<const uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<PacketFramer::Item> PacketFramer::next() {
    static constexpr uint8_t kMagic[3] = {'K', 'P', 'X'};
    if (buffer_.empty()) return std::nullopt;
    // How many leading bytes cannot begin a packet: up to the next "KPX" (or a tail that may
    // still become one).
    std::size_t skip = 0;
    while (skip < buffer_.size()) {
        const std::size_t have = std::min<std::size_t>(3, buffer_.size() - skip);
        if (std::memcmp(buffer_.data() + skip, kMagic, have) == 0) break;
        ++skip;
    }
    if (skip > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(skip));
        return Item{false, {}};
    }
    if (buffer_.size() < 7) return std::nullopt;
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= static_cast<uint32_t>(buffer_[3 + i]) << (8 * i);
    if (length < kMinPacketSize || length > kMaxPacketSize) {
        // Not a packet we would take: drop the 'K' so the scan moves on.
        buffer_.erase(buffer_.begin());
        std::size_t more = 0;
        while (more < buffer_.size()) {
            const std::size_t have = std::min<std::size_t>(3, buffer_.size() - more);
            if (std::memcmp(buffer_.data() + more, kMagic, have) == 0) break;
            ++more;
        }
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(more));
        return Item{false, {}};
    }
    if (buffer_.size() < length) return std::nullopt;
    Item item{true, std::vector<uint8_t>(buffer_.begin(), buffer_.begin() + length)};
    buffer_.erase(buffer_.begin(), buffer_.begin() + length);
    return item;
}

}  // namespace lx9::server
