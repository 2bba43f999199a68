#include "result_store.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>

#include "data/atomic_file.h"

namespace lx9::server {
namespace {

using nlohmann::json;

bool sameSender(const StoredUpload& u, const PacketHeader& h) {
    return u.instrument == h.instrument && u.serial == h.serial && u.pileId == h.pileId;
}

// OLE automation date (days since 30 December 1899) as "YYYY-MM-DD"; empty when out of range.
std::string isoDate(double ole) {
    if (!std::isfinite(ole) || ole < -657434.0 || ole > 2958465.0) return {};
    using namespace std::chrono;
    const sys_days day = sys_days(year(1899) / December / 30) + days(static_cast<long>(std::floor(ole)));
    const year_month_day ymd(day);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return text;
}

std::string imageFileName(const std::string& section) {
    return safeFolderName(section) + ".png";
}

bool writeFile(const std::filesystem::path& file, std::span<const uint8_t> bytes, std::string* error) {
    return writeFileAtomically(file, bytes, error);
}

}  // namespace

Acceptance UploadAssembly::accept(Packet packet, std::string* why) {
    auto reject = [why](const char* text) {
        if (why) *why = text;
        return Acceptance::Rejected;
    };
    if (auto* h1 = std::get_if<FileHeader1>(&packet.body)) {
        // A file header 1 always begins a new upload (a re-sent one begins it again).
        current_.emplace();
        current_->instrument = packet.header.instrument;
        current_->serial = packet.header.serial;
        current_->pileId = packet.header.pileId;
        current_->sectionList = packet.header.sectionList;
        current_->header1 = *h1;
        return Acceptance::Accepted;
    }
    if (!current_) return reject("no file header 1 before this packet");
    StoredUpload& u = *current_;
    if (!sameSender(u, packet.header))
        return reject("instrument, serial or pile number differ from the header");

    if (auto* h2 = std::get_if<FileHeader2>(&packet.body)) {
        u.header2 = std::move(*h2);
        return Acceptance::Accepted;
    }
    if (auto* d = std::get_if<DataRecord>(&packet.body)) {
        if (d->levelNumber < 1 || static_cast<std::size_t>(d->levelNumber) > limits_.maxLevels)
            return reject("level number out of range");
        u.levels[d->levelNumber] = std::move(*d);
        return Acceptance::Accepted;
    }
    if (auto* c = std::get_if<CriteriaRecord>(&packet.body)) {
        if (c->number != 1 && c->number != 2) return reject("criteria packet number is neither 1 nor 2");
        u.criteria[c->number] = std::move(*c);
        return Acceptance::Accepted;
    }
    if (auto* chunk = std::get_if<ImageChunk>(&packet.body)) {
        StoredImage* image =
            u.images.empty() || u.images.back().section != chunk->section ? nullptr : &u.images.back();
        if (chunk->chunkNumber == 1 && !(image && image->chunks == 1)) {
            if (u.images.size() >= limits_.maxImages) return reject("too many images");
            if (chunk->bytes.size() > limits_.maxImageBytes) return reject("image too large");
            const std::size_t size = chunk->bytes.size();
            u.images.push_back({chunk->section, std::move(chunk->bytes), 1, size});
            return Acceptance::Accepted;
        }
        if (!image) return reject("image chunk without its first chunk");
        if (chunk->chunkNumber == image->chunks) {
            // The last chunk again: its acknowledgement was lost; it replaces itself.
            image->bytes.resize(image->bytes.size() - image->lastChunkSize);
        } else if (chunk->chunkNumber != image->chunks + 1) {
            return reject("image chunk out of order");
        }
        if (image->bytes.size() + chunk->bytes.size() > limits_.maxImageBytes)
            return reject("image too large");
        image->bytes.insert(image->bytes.end(), chunk->bytes.begin(), chunk->bytes.end());
        image->chunks = chunk->chunkNumber;
        image->lastChunkSize = chunk->bytes.size();
        return Acceptance::Accepted;
    }
    if (auto* end = std::get_if<EndRecord>(&packet.body)) {
        u.end = *end;
        completed_ = std::move(current_);
        current_.reset();
        return Acceptance::Completed;
    }
    return reject("unexpected packet");
}

StoredUpload UploadAssembly::takeCompleted() {
    StoredUpload u = completed_ ? std::move(*completed_) : StoredUpload{};
    completed_.reset();
    return u;
}

std::string safeFolderName(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= 100) break;
        out += (c < 0x20 || c == 0x7F || c == '/' || c == '\\') ? '_' : static_cast<char>(c);
    }
    // Do not leave half a UTF-8 character at the cut.
    std::size_t lead = out.size();
    while (lead > 0 && (static_cast<unsigned char>(out[lead - 1]) & 0xC0) == 0x80)
        --lead;
    if (lead > 0) {
        const unsigned char c = static_cast<unsigned char>(out[lead - 1]);
        const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (out.size() - (lead - 1) < need) out.resize(lead - 1);
    }
    if (out.empty() || out == "." || out == "..") return "_";
    return out;
}

std::string uploadJson(const StoredUpload& u) {
    const FileHeader1& h = u.header1;
    json j;
    j["instrument"] = u.instrument;
    j["serial"] = u.serial;
    j["pileId"] = u.pileId;
    j["sectionList"] = u.sectionList;
    j["header"] = {
        {"testMode", static_cast<int>(h.testModeCode) - 20},
        {"standardCode", h.standardCode},
        {"dates", {h.dates[0], h.dates[1], h.dates[2]}},
        {"testDate", isoDate(h.dates[0])},
        {"fileName", h.fileName},
        {"pileDiameter", h.pileDiameter},
        {"pileLength", h.pileLength},
        {"step", h.step},
        {"pipeCount", h.pipeCount},
        {"presentCount", h.presentCount},
        {"sampleInterval", h.sampleInterval},
        {"sampleLength", h.sampleLength},
        {"reserved", std::vector<int>(h.reserved.begin(), h.reserved.end())},
        {"pipeVelocity", h.pipeVelocity},
        {"pipeOuterDiameter", h.pipeOuterDiameter},
        {"pipeInnerDiameter", h.pipeInnerDiameter},
        {"probeDiameter", h.probeDiameter},
        {"offsetAngle", h.offsetAngle},
        {"pulleyDiameter", h.pulleyDiameter},
        {"cableDiameter", h.cableDiameter},
    };
    json sections = json::array();
    if (u.header2) {
        for (const SectionEntry& s : u.header2->sections) {
            sections.push_back({{"name", s.name},
                                {"startDepth", s.startDepth},
                                {"heightDiff", s.heightDiff},
                                {"spacing", s.spacing},
                                {"gain", s.gain},
                                {"zeroReading", s.zeroReading},
                                {"delay", s.delay},
                                {"highPass", s.highPass},
                                {"lowPass", s.lowPass}});
        }
    }
    j["sections"] = std::move(sections);
    json levels = json::array();
    for (const auto& [number, d] : u.levels) {
        json entries = json::array();
        for (const DataEntry& e : d.entries)
            entries.push_back(
                {{"name", e.name}, {"spacing", e.spacing}, {"time", e.time}, {"amplitudeDb", e.amplitudeDb}});
        levels.push_back({{"level", number}, {"depth", d.depth}, {"entries", std::move(entries)}});
    }
    j["levels"] = std::move(levels);
    json criteria = json::array();
    for (const auto& [number, c] : u.criteria) {
        for (int i = 0; i < 5; ++i) {
            const CriteriaEntry& e = c.entries[i];
            criteria.push_back({{"position", (number - 1) * 5 + i},
                                {"present", !e.zero},
                                {"velocity", e.velocity},
                                {"amplitudeDb", e.amplitudeDb}});
        }
    }
    j["criteria"] = std::move(criteria);
    json images = json::array();
    for (const StoredImage& image : u.images)
        images.push_back({{"section", image.section},
                          {"file", imageFileName(image.section)},
                          {"bytes", image.bytes.size()},
                          {"chunks", image.chunks}});
    j["images"] = std::move(images);
    j["end"] = {{"firstDepth", u.end.firstDepth}};
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<std::filesystem::path> storeUpload(const std::filesystem::path& root, const StoredUpload& u,
                                                 std::string* error) {
    namespace fs = std::filesystem;
    auto failed = [error](const std::string& why) -> std::optional<fs::path> {
        if (error) *error = why;
        return std::nullopt;
    };
    const fs::path parent = root / safeFolderName(u.instrument);
    const fs::path target = parent / safeFolderName(u.serial);
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec) return failed(parent.string() + ": " + ec.message());

    // A fresh folder beside the target; it replaces the target in one rename.
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".incoming-%d-%016llx", static_cast<int>(::getpid()),
                  static_cast<unsigned long long>(random()));
    const fs::path staging = parent / (safeFolderName(u.serial) + suffix);
    if (!fs::create_directory(staging, ec) || ec) return failed(staging.string() + ": " + ec.message());
    auto cleanup = [&] { fs::remove_all(staging, ec); };

    const std::string text = uploadJson(u);
    std::string why;
    if (!writeFile(staging / "job.json",
                   std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                   &why)) {
        cleanup();
        return failed(why);
    }
    for (const StoredImage& image : u.images) {
        if (!writeFile(staging / imageFileName(image.section), image.bytes, &why)) {
            cleanup();
            return failed(why);
        }
    }
    // An earlier upload with the same names is moved aside first, then removed.
    fs::path old;
    if (fs::exists(target, ec)) {
        old = parent / (safeFolderName(u.serial) + suffix + ".old");
        fs::rename(target, old, ec);
        if (ec) {
            cleanup();
            return failed(target.string() + ": " + ec.message());
        }
    }
    fs::rename(staging, target, ec);
    if (ec) {
        const std::string reason = target.string() + ": " + ec.message();
        if (!old.empty()) fs::rename(old, target, ec);
        cleanup();
        return failed(reason);
    }
    syncDirectory(parent);
    if (!old.empty()) fs::remove_all(old, ec);
    return target;
}

}  // namespace lx9::server
