#include "data/settings_store.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "data/atomic_file.h"
#include "data/text_codec.h"

namespace lx9 {
namespace {

// ---- writing -------------------------------------------------------------------------------

class Writer {
  public:
    std::vector<uint8_t> bytes;

    void u8(uint8_t v) { bytes.push_back(v); }
    void boolean(bool v) { u8(v ? 1 : 0); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    // Wide text: 0xFF, tag 0xFFFE, length in code units (1, 3 or 7 bytes), UTF-16LE units.
    void text(const std::string& utf8) {
        const std::u16string units = utf8ToUtf16(utf8);
        u8(0xFF);
        u16(0xFFFE);
        const size_t n = units.size();
        if (n < 0xFF) {
            u8(static_cast<uint8_t>(n));
        } else if (n < 0xFFFE) {
            u8(0xFF);
            u16(static_cast<uint16_t>(n));
        } else {
            u8(0xFF);
            u16(0xFFFF);
            u32(static_cast<uint32_t>(n));
        }
        for (char16_t c : units)
            u16(c);
    }
};

// ---- reading -------------------------------------------------------------------------------

// Reads little-endian items from a byte span. Once a read runs past the end the reader is failed
// and every later read yields zero; lengths are checked against what remains before any
// allocation, so a damaged length can never ask for more memory than the file holds.
class Reader {
  public:
    explicit Reader(std::span<const uint8_t> b) : bytes_(b) {}

    bool ok() const { return ok_; }

    uint8_t u8() {
        if (!need(1)) return 0;
        return bytes_[pos_++];
    }
    bool boolean() { return u8() != 0; }
    uint16_t u16() {
        if (!need(2)) return 0;
        uint16_t v = static_cast<uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    uint32_t u32() {
        uint32_t lo = u16();
        uint32_t hi = u16();
        return lo | hi << 16;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    float f32() {
        uint32_t bits = u32();
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    // A string with the wide tag holds UTF-16LE units; without it, 8-bit text in code page 936.
    std::string text() {
        size_t charSize = 1;
        uint64_t length = u8();
        if (length == 0xFF) {
            uint16_t w = u16();
            if (w == 0xFFFE) {
                charSize = 2;
                length = u8();
                if (length == 0xFF) {
                    w = u16();
                    length = w < 0xFFFF ? w : u32();
                }
            } else {
                length = w < 0xFFFF ? w : u32();
            }
        }
        if (!ok_) return {};
        const uint64_t size = length * charSize;
        if (!need(size)) return {};
        const uint8_t* p = bytes_.data() + pos_;
        pos_ += size;
        if (charSize == 1) return gbkToUtf8(std::string_view(reinterpret_cast<const char*>(p), size));
        std::u16string units(length, u'\0');
        for (size_t i = 0; i < length; ++i)
            units[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
        return utf16ToUtf8(units);
    }

  private:
    bool need(uint64_t n) {
        if (!ok_ || n > bytes_.size() - pos_) {
            ok_ = false;
            return false;
        }
        return true;
    }

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

void transfer(Writer& w, const std::string& x) {
    w.text(x);
}
void transfer(Writer& w, const int32_t& x) {
    w.i32(x);
}
void transfer(Writer& w, const uint32_t& x) {
    w.u32(x);
}
void transfer(Writer& w, const uint16_t& x) {
    w.u16(x);
}
void transfer(Writer& w, const uint8_t& x) {
    w.u8(x);
}
void transfer(Writer& w, const bool& x) {
    w.boolean(x);
}
void transfer(Writer& w, const float& x) {
    w.f32(x);
}

void transfer(Reader& r, std::string& x) {
    x = r.text();
}
void transfer(Reader& r, int32_t& x) {
    x = r.i32();
}
void transfer(Reader& r, uint32_t& x) {
    x = r.u32();
}
void transfer(Reader& r, uint16_t& x) {
    x = r.u16();
}
void transfer(Reader& r, uint8_t& x) {
    x = r.u8();
}
void transfer(Reader& r, bool& x) {
    x = r.boolean();
}
void transfer(Reader& r, float& x) {
    x = r.f32();
}

// The record layout, shared by both directions so that they cannot drift apart. `io` is a Writer
// or a Reader; `item(x)` writes x or reads into x.
template <typename IO, typename Info, typename Upload>
void serialise(IO& io, Info& info, Upload& upload) {
    auto item = [&io](auto& x) { transfer(io, x); };
    item(info.siteName);
    item(info.testDate);
    item(info.unitName);
    item(info.personName);
    item(info.pileId);
    item(info.pipeCount);
    item(info.startDepth);
    item(info.stepMm);
    item(info.pileLength);
    item(info.pileDiameter);
    item(info.offsetAngle);
    item(info.saveMode);
    item(info.pickMethod);
    item(info.standard);
    item(info.testMode);
    item(info.digitalFilter);
    item(info.sampleInterval);
    item(info.sampleLength);
    item(info.pulseWidth);
    item(info.continuousFiring);
    item(info.highVoltage);
    item(info.pulleyDiameter);
    item(info.cableDiameter);
    for (auto& r : info.zeroReadings)
        item(r);
    item(info.pipeOuterDiameter);
    item(info.pipeInnerDiameter);
    item(info.pipeVelocity);
    item(info.probeDiameter);
    item(info.waterVelocity);
    item(info.pipeCorrection);
    for (auto& c : info.colours)
        item(c);
    for (auto& s : info.sections) {  // zeroTime is not stored
        item(s.display);
        item(s.present);
        item(s.name);
        item(s.spacing);
        item(s.gain);
        item(s.delay);
        item(s.highPass);
        item(s.lowPass);
        item(s.sectionStartDepth);
        item(s.sectionStep);
        item(s.heightDiff);
    }
    for (auto& c : info.channels) {
        item(c.enabled);
        item(c.role);
        item(c.pipe);
    }
    item(info.pairwiseMode);
    item(info.sectionCount);
    item(info.amplitudeThreshold);
    item(info.variancePolarity);
    item(info.varianceStart);
    item(info.mainFrequency);
    item(info.varianceThreshold);
    item(info.waveTrainStyle);
    item(info.viewOption);
    item(info.zoomInterval);
    item(info.grayColour);
    item(info.grayLevels);
    item(info.versionText);
    for (int i = 0; i < 12; ++i) {
        item(info.hotkeys[i].modifier);
        item(info.hotkeys[i].key);
    }
    item(info.showHotkeyLetters);
    for (int i = 12; i < kHotkeyCount; ++i) {
        item(info.hotkeys[i].modifier);
        item(info.hotkeys[i].key);
    }
    item(info.historyCount);
    for (auto& line : info.commandHistory)
        item(line);
    item(info.consoleState);
    item(info.consoleFlagB);
    item(info.consoleFlagA);
    item(upload.instrumentNumber);
    item(upload.serialNumber);
    item(upload.serverAddress);
    item(upload.serverPort);
    item(info.cacheMode);
}

// Values that no setup can produce and that later work (frame sizes, level arithmetic, the
// history ring) cannot cope with; a file holding one is treated like a damaged file.
const char* unusableValue(const CInfo& info) {
    if (info.sampleLength != 512 && info.sampleLength != 1024) return "sample length";
    if (info.pipeCount < 2 || info.pipeCount > 5) return "pipe count";
    if (info.sectionCount < 0 || info.sectionCount > kMaxSections) return "section count";
    if (info.stepMm <= 0) return "step";
    if (!(info.sampleInterval > 0.0f) || !std::isfinite(info.sampleInterval)) return "sampling interval";
    if (info.historyCount < 0 || info.historyCount > kHistoryLines) return "history count";
    if (info.testMode < 0 || info.testMode > 2) return "test mode";
    return nullptr;
}

// Up to this size the file is read whole; a real one is a few kilobytes.
constexpr std::uintmax_t kMaxSettingsFile = 16u << 20;

bool readWholeFile(const std::filesystem::path& file, std::vector<uint8_t>& bytes, bool& tooLarge) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::error_code ec;
    auto size = std::filesystem::file_size(file, ec);
    tooLarge = !ec && size > kMaxSettingsFile;
    if (tooLarge) return true;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void applyLoadFixups(CInfo& info) {
    if (kProgramVariant == 0 || kProgramVariant == 1) info.showHotkeyLetters = 0;
    info.rebuildSectionNames();
}

}  // namespace

std::filesystem::path settingsDirectory() {
    if (const char* dir = std::getenv("LX9_CONFIG_DIR"); dir && *dir) return dir;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && ::access(exe.parent_path().c_str(), W_OK) == 0) return exe.parent_path();
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "LX9";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".config" / "LX9";
}

std::filesystem::path settingsPath() {
    return settingsDirectory() / kSettingsFileName;
}

std::vector<uint8_t> encodeSettings(const CInfo& info, const UploadSettings& upload) {
    Writer w;
    w.bytes.reserve(4096);
    serialise(w, info, upload);
    return std::move(w.bytes);
}

bool decodeSettings(std::span<const uint8_t> bytes, CInfo& info, UploadSettings& upload, std::string* why) {
    Reader r(bytes);
    serialise(r, info, upload);
    if (!r.ok()) {
        if (why) *why = "the file ends before its last item";
        return false;
    }
    if (const char* bad = unusableValue(info)) {
        if (why) *why = std::string("unusable ") + bad;
        return false;
    }
    return true;
}

LoadResult loadSettings(CInfo& info, UploadSettings& upload, const std::filesystem::path& file) {
    std::vector<uint8_t> bytes;
    bool tooLarge = false;
    if (!readWholeFile(file, bytes, tooLarge)) {
        info.resetToDefaults();
        return LoadResult::NoFile;
    }
    CInfo loaded = info;
    UploadSettings loadedUpload = upload;
    std::string why = "the file is larger than any settings file";
    if (!tooLarge && decodeSettings(bytes, loaded, loadedUpload, &why)) {
        loaded.saveMode = std::string(kSaveAtEnd);
        info = std::move(loaded);
        upload = std::move(loadedUpload);
        applyLoadFixups(info);
        return LoadResult::Loaded;
    }
    // Keep the user's file for inspection instead of letting the next store overwrite it.
    auto bad = file;
    bad += ".bad";
    std::error_code ec;
    std::filesystem::rename(file, bad, ec);
    std::fprintf(stderr, "LX9: %s is damaged (%s); default settings loaded%s\n", file.c_str(), why.c_str(),
                 ec ? "" : (", the file is kept as " + bad.string()).c_str());
    info.resetToDefaults();
    applyLoadFixups(info);
    return LoadResult::Damaged;
}

LoadResult loadSettings(CInfo& info) {
    return loadSettings(info, uploadSettings, settingsPath());
}

StoreResult storeSettings(const CInfo& info, const UploadSettings& upload,
                          const std::filesystem::path& file) {
    std::error_code ec;
    if (!file.parent_path().empty()) std::filesystem::create_directories(file.parent_path(), ec);
    const auto bytes = encodeSettings(info, upload);
    StoreResult result;
    result.ok = writeFileAtomically(file, bytes, &result.message);
    return result;
}

StoreResult storeSettings(const CInfo& info) {
    return storeSettings(info, uploadSettings, settingsPath());
}

}  // namespace lx9
