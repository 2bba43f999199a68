#include "workbench/pick_audit.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>

#include "data/atomic_file.h"
#include "data/data_file_format.h"
#include "data/data_file_text.h"
#include "data/data_file_writer.h"

namespace lx9 {
namespace {

constexpr std::string_view kRayTitle = "TOKAN_VivUdDat_RayPara:";
constexpr std::string_view kRayHeader = "SI   SourL";
constexpr std::string_view kTimeKey = "   T(us)";
constexpr std::string_view kArrivalKey = "  Ta(us)";
constexpr std::string_view kDbKey = "   A(dB)";
constexpr size_t kPickColumnsChars = 24;

void putJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

void putField(std::string& out, std::string_view key, long long value) {
    out += ",\"";
    out += key;
    out += "\":";
    out += std::to_string(value);
}

// The text after "key": on the line, none when absent.
std::optional<std::string_view> fieldOf(std::string_view line, std::string_view key) {
    std::string quoted(1, '"');
    quoted.append(key);
    quoted.append("\":");
    const size_t at = line.find(quoted);
    if (at == std::string_view::npos) return std::nullopt;
    return line.substr(at + quoted.size());
}

std::optional<long long> intField(std::string_view line, std::string_view key) {
    const auto rest = fieldOf(line, key);
    if (!rest) return std::nullopt;
    long long v = 0;
    const auto [end, ec] = std::from_chars(rest->data(), rest->data() + rest->size(), v);
    if (ec != std::errc() || end == rest->data()) return std::nullopt;
    return v;
}

std::optional<std::string> stringField(std::string_view line, std::string_view key) {
    const auto rest = fieldOf(line, key);
    if (!rest || rest->empty() || rest->front() != '"') return std::nullopt;
    const size_t close = rest->find('"', 1);
    if (close == std::string_view::npos) return std::nullopt;
    return std::string(rest->substr(1, close - 1));
}

int slotNamed(const CInfo& info, std::string_view name) {
    for (int k = 0; k < kMaxSections; ++k) {
        if (info.sections[k].present && info.sections[k].name == name) return k;
    }
    return -1;
}

bool readWhole(const std::filesystem::path& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = fileErrorText(path, errno ? errno : ENOENT);
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = fileErrorText(path, EIO);
        return false;
    }
    return true;
}

// Replaces the pick columns of the changed points' rows in the .CHT text. Rows are mapped to
// points as the reader maps them: in file order, each section number counting its own points.
bool spliceRows(std::string& text, const CInfo& info, const SectionLists& lists,
                const std::vector<PickChange>& changes, std::string& error) {
    const size_t title = text.find(kRayTitle);
    const size_t header = title == std::string::npos ? std::string::npos : text.find(kRayHeader, title);
    const size_t lineEnd = header == std::string::npos ? std::string::npos : text.find('\n', header);
    if (lineEnd == std::string::npos) {
        error = "数据文件中没有测点表";
        return false;
    }
    const std::string_view headerLine = std::string_view(text).substr(header, lineEnd - header);
    const size_t t = headerLine.find(kTimeKey);
    if (t == std::string::npos || headerLine.find(kArrivalKey) != t + 8 ||
        headerLine.find(kDbKey) != t + 16) {
        error = "数据文件的测点表格式不支持保存判读";
        return false;
    }
    std::map<std::pair<int, int>, const PickChange*> wanted;
    for (const PickChange& c : changes)
        wanted[{c.slot, c.level}] = &c;

    std::array<int, kMaxSections> seen{};
    size_t done = 0;
    for (size_t row = 0;; ++row) {
        const size_t start = header + (row + 1) * kRayRowBytes;
        if (start + kRayRowBytes > text.size() + 2 || start + t + kPickColumnsChars > text.size()) break;
        int si = parseInt(std::string_view(text).substr(start, 2));
        if (si >= 10) si /= 10;
        if (si < 0 || si >= kMaxSections) continue;
        const int slot = kSiSectionSlot[si];
        const int level = seen[slot]++;
        const auto found = wanted.find({slot, level});
        if (found == wanted.end()) continue;
        CSampleDataList* list = lists[slot];
        if (!list) continue;
        std::string columns;
        {
            auto guard = list->lock();
            const SamplePoint* p = list->pointAt(level);
            if (!p) continue;
            putRayPickColumns(columns, info, slot, *p);
        }
        if (columns.size() != kPickColumnsChars) {
            error = "判读值超出数据文件的列宽";
            return false;
        }
        text.replace(start + t, kPickColumnsChars, columns);
        ++done;
    }
    // The lists must be the file's points one for one (not a window of a longer test), or a
    // pick would land in another level's row.
    for (const PickChange& c : changes) {
        CSampleDataList* list = lists[c.slot];
        if (!list) continue;
        auto guard = list->lock();
        if (list->count != seen[c.slot]) {
            error = "数据文件的测点与内存中的测点不一致，不能保存判读";
            return false;
        }
    }
    if (done != wanted.size()) {
        error = "数据文件中找不到修改过的测点";
        return false;
    }
    return true;
}

bool syncedWrite(const std::filesystem::path& path, std::string_view bytes, int flags, std::string& error) {
    const int fd = ::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = fileErrorText(path, errno);
        return false;
    }
    const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    const int err = errno;
    ::close(fd);
    if (!ok) error = fileErrorText(path, err);
    return ok;
}

}  // namespace

PickTable capturePicks(const SectionLists& lists) {
    PickTable table;
    for (int k = 0; k < kMaxSections; ++k) {
        if (!lists[k]) continue;
        auto guard = lists[k]->lock();
        for (int i = 0; i < lists[k]->count; ++i) {
            const SamplePoint* p = lists[k]->pointAt(i);
            table[k].push_back(p ? PointPicks{p->tIndex, p->ampIndex} : PointPicks{-1, -1});
        }
    }
    return table;
}

std::vector<PickChange> changedPicks(const SectionLists& lists, const PickTable& baseline) {
    std::vector<PickChange> changes;
    for (int k = 0; k < kMaxSections; ++k) {
        if (!lists[k]) continue;
        auto guard = lists[k]->lock();
        const int n = std::min<int>(lists[k]->count, static_cast<int>(baseline[k].size()));
        for (int i = 0; i < n; ++i) {
            const SamplePoint* p = lists[k]->pointAt(i);
            if (!p) continue;
            const PointPicks now{p->tIndex, p->ampIndex};
            if (now != baseline[k][static_cast<size_t>(i)])
                changes.push_back({k, i, p->depth, baseline[k][static_cast<size_t>(i)], now});
        }
    }
    return changes;
}

std::filesystem::path auditPath(const std::filesystem::path& chtPath) {
    std::string name = chtPath.filename().string();
    if (name.size() >= 4 && name[name.size() - 4] == '.') name.resize(name.size() - 4);
    return chtPath.parent_path() / (name + std::string(kAuditSuffix));
}

std::string auditLine(const PickChange& c, std::string_view section, std::string_view tester,
                      std::string_view time, bool restore) {
    std::string line = "{\"time\":";
    putJsonString(line, time);
    line += ",\"tester\":";
    putJsonString(line, tester);
    line += ",\"section\":";
    putJsonString(line, section);
    putField(line, "level", c.level);
    // The shortest text that reads back as the stored float.
    char depth[32];
    const auto r = std::to_chars(depth, depth + sizeof depth, c.depth);
    line += ",\"depth\":";
    line.append(depth, r.ptr);
    putField(line, "oldTIndex", c.before.tIndex);
    putField(line, "newTIndex", c.after.tIndex);
    putField(line, "oldAmpIndex", c.before.ampIndex);
    putField(line, "newAmpIndex", c.after.ampIndex);
    if (restore) line += ",\"restore\":true";
    line += '}';
    return line;
}

std::string auditTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

bool savePicks(const CInfo& info, const SectionLists& lists, const std::vector<PickChange>& changes,
               std::string_view time, bool restore, std::string& error) {
    if (changes.empty()) return true;
    if (info.chtPath.empty()) {
        error = std::string(kPicksNoFile);
        return false;
    }
    const std::filesystem::path cht = dataFileBase(info.chtPath) + std::string(kChtSuffix);
    const std::filesystem::path target =
        std::filesystem::exists(cht) ? cht : std::filesystem::path(info.chtPath);
    std::string text;
    if (!readWhole(target, text, error)) return false;
    if (!spliceRows(text, info, lists, changes, error)) return false;

    std::string lines;
    for (const PickChange& c : changes) {
        lines += auditLine(c, info.sections[c.slot].name, info.personName, time, restore);
        lines += '\n';
    }
    const std::filesystem::path temporary = temporarySibling(target);
    if (!syncedWrite(temporary, text, O_CREAT | O_EXCL, error)) {
        std::filesystem::remove(temporary);
        return false;
    }
    const std::filesystem::path audit = auditPath(target);
    const bool fresh = !std::filesystem::exists(audit);
    if (!syncedWrite(audit, lines, O_CREAT | O_APPEND, error)) {
        std::filesystem::remove(temporary);
        return false;
    }
    if (fresh) syncDirectory(audit.parent_path());
    if (!commitTemporary(temporary, target, &error)) {
        std::filesystem::remove(temporary);
        return false;
    }
    return true;
}

std::vector<AuditEntry> readAudit(const std::filesystem::path& path) {
    std::vector<AuditEntry> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        AuditEntry e;
        const auto section = stringField(line, "section");
        const auto level = intField(line, "level");
        const auto oldT = intField(line, "oldTIndex");
        const auto newT = intField(line, "newTIndex");
        const auto oldA = intField(line, "oldAmpIndex");
        const auto newA = intField(line, "newAmpIndex");
        if (!section || !level || !oldT || !newT || !oldA || !newA || *level < 0) continue;
        e.section = *section;
        e.level = static_cast<int>(*level);
        e.before = {static_cast<int32_t>(*oldT), static_cast<int32_t>(*oldA)};
        e.after = {static_cast<int32_t>(*newT), static_cast<int32_t>(*newA)};
        e.restore = line.find("\"restore\":true") != std::string::npos;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<OriginalPick> originalPicks(const CInfo& info, const std::vector<AuditEntry>& entries) {
    // The first line of a point holds what it had before any saved change; restores append
    // lines too, so later lines never change the original.
    std::map<std::pair<int, int>, PointPicks> first;
    for (const AuditEntry& e : entries) {
        const int slot = slotNamed(info, e.section);
        if (slot < 0) continue;
        first.emplace(std::make_pair(slot, e.level), e.before);
    }
    std::vector<OriginalPick> out;
    for (const auto& [key, picks] : first)
        out.push_back({key.first, key.second, picks});
    return out;
}

int handPickedPoints(const CInfo& info, const std::filesystem::path& chtPath) {
    const std::filesystem::path audit = auditPath(chtPath);
    std::error_code ec;
    if (!std::filesystem::exists(audit, ec)) return 0;
    const std::vector<AuditEntry> entries = readAudit(audit);
    std::map<std::pair<int, int>, std::pair<PointPicks, PointPicks>> net;  // original, latest
    for (const AuditEntry& e : entries) {
        const int slot = slotNamed(info, e.section);
        if (slot < 0) continue;
        const auto key = std::make_pair(slot, e.level);
        auto it = net.find(key);
        if (it == net.end()) {
            net.emplace(key, std::make_pair(e.before, e.after));
        } else {
            it->second.second = e.after;
        }
    }
    int count = 0;
    for (const auto& [key, picks] : net)
        count += picks.first != picks.second ? 1 : 0;
    return count;
}

PickStore::PickStore(const CInfo& info, const SectionLists& lists)
    : info_(info), lists_(lists), baseline_(capturePicks(lists)) {}

std::string PickStore::save(std::string_view time) {
    ok_ = false;
    const std::vector<PickChange> changes = pending();
    if (changes.empty()) return std::string(kSavePicksNone);
    std::string error;
    if (!savePicks(info_, lists_, changes, time, false, error)) return error;
    for (const PickChange& c : changes)
        baseline_[c.slot][static_cast<size_t>(c.level)] = c.after;
    ok_ = true;
    return std::string(kSavePicksDone);
}

std::string PickStore::restore(std::string_view time) {
    ok_ = false;
    const std::filesystem::path audit =
        info_.chtPath.empty() ? std::filesystem::path() : auditPath(info_.chtPath);
    const std::vector<OriginalPick> originals =
        audit.empty() ? std::vector<OriginalPick>{} : originalPicks(info_, readAudit(audit));
    // Unsaved changes go back to what the file holds, saved ones to their originals.
    PickTable target = baseline_;
    for (const OriginalPick& o : originals) {
        if (static_cast<size_t>(o.level) < target[o.slot].size())
            target[o.slot][static_cast<size_t>(o.level)] = o.picks;
    }
    std::vector<PickChange> onDisk;
    bool anything = false;
    for (int k = 0; k < kMaxSections; ++k) {
        if (!lists_[k]) continue;
        for (size_t i = 0; i < target[k].size(); ++i) {
            const int level = static_cast<int>(i);
            const PointPicks now = picksOf(*lists_[k], level);
            const PointPicks want = target[k][i];
            if (now != want) {
                anything = true;
                writeHandPick(info_, *lists_[k], k, level, PickKind::Arrival, want.tIndex);
                writeHandPick(info_, *lists_[k], k, level, PickKind::Amplitude, want.ampIndex);
            }
            if (baseline_[k][i] != want) {
                float depth = 0.0f;
                {
                    auto guard = lists_[k]->lock();
                    if (const SamplePoint* p = lists_[k]->pointAt(level)) depth = p->depth;
                }
                onDisk.push_back({k, level, depth, baseline_[k][i], want});
            }
        }
    }
    if (!anything && onDisk.empty()) return std::string(kRestoreNone);
    std::string error;
    if (!savePicks(info_, lists_, onDisk, time, true, error)) return error;
    baseline_ = target;
    ok_ = true;
    return std::string(kRestoreDone);
}

}  // namespace lx9
