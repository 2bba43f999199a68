#include "data/data_file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <span>
#include <system_error>

#include "data/atomic_file.h"
#include "data/data_file_text.h"
#include "data/point_metrics.h"
#include "data/text_codec.h"

namespace lx9 {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr size_t kPendingBytes = 4u << 20;  // save-at-end writes in pieces of about this size
constexpr std::string_view kTempLine = "TEMP     :********";
constexpr std::string_view kStars = "********";

// A user text on one line of the .CHT: a line break inside it would end its line early and
// shift every block after it, so breaks become spaces.
std::string userText(std::string_view utf8) {
    std::string line(utf8);
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return utf8ToGbk(line);
}

void line(std::string& out, std::string_view text) {
    out += text;
    out += kCrLf;
}

// One row of the defect or section table that a slot at or beyond the row count leaves empty.
void placeholderTableRow(std::string& out) {
    out += "SI  ";
    for (int i = 0; i < 15; ++i)
        out += kStars;
    out += kCrLf;
}

void defectBlock(std::string& out, int rowCount) {
    line(out, "TOKAN_VivUdDat_DefectPara:");
    line(out,
         "SI       Num Defect0 Defect1 Defect2 Defect3 Defect4 Defect5 Defect6 Defect7 Defect8 Defect9"
         "    Temp    Temp    Temp    Temp");
    for (int k = 0; k < kTableRows; ++k) {
        if (k >= rowCount) {
            placeholderTableRow(out);
            continue;
        }
        putInt(out, k, 2, true);
        putColumnInt(out, 0, 10);
        for (int i = 0; i < 10; ++i)
            putColumnFixed(out, 0.0, 8, 2);
        for (int i = 0; i < 4; ++i)
            out += "    TEMP";
        out += kCrLf;
    }
}

void sectionParaBlock(std::string& out, const CInfo& info, int rowCount,
                      const std::array<bool, kMaxSections>& present,
                      const std::array<int, kMaxSections>& entry) {
    line(out, "TOKAN_VivUdDat_SectionPara:");
    line(out,
         "SI    CrossD    Move    Gain  T0(us)  dT(us)   Delay  DatLen   FiltL   FiltH  Sen_dH"
         "    TEMP    TEMP    TEMP    TEMP    TEMP");
    for (int k = 0; k < kTableRows; ++k) {
        if (k >= rowCount) {
            placeholderTableRow(out);
            continue;
        }
        // A slot that takes no part in the test still gets a row, from the first section.
        const bool own = k < kMaxSections && present[k];
        const SectionPara& s = info.sections[own ? entry[k] : 0];
        putInt(out, k, 2, true);
        putColumnFixed(out, s.spacing / 1000.0, 10, own ? 3 : 2);
        putColumnFixed(out, info.stepMm / 1000.0, 8, 2);
        putColumnInt(out, s.gain, 8);
        putColumnFixed(out, s.zeroTime, 8, 1);
        putColumnFixed(out, info.sampleInterval, 8, 1);
        putColumnFixed(out, s.delay, 8, 1);
        putColumnInt(out, info.sampleLength, 8);
        putColumnFixed(out, s.lowPass, 8, 2);
        putColumnFixed(out, s.highPass, 8, 2);
        putColumnFixed(out, info.testMode == kHorizontal ? 0.0 : s.heightDiff / 1000.0, 8, 2);
        for (int i = 0; i < 5; ++i)
            out += "    TEMP";
        out += kCrLf;
    }
}

std::string headerText(const CInfo& info, std::string_view date, int rowCount,
                       const std::array<bool, kMaxSections>& present,
                       const std::array<int, kMaxSections>& entry) {
    std::string out;
    out.reserve(8192);

    line(out, "TOKAN_VivUdDat_DatFormat:");
    line(out, "Format   :KPX_VivUd_000");
    line(out, "SITE     :" + userText(info.siteName));
    line(out, "DATE     :" + std::string(date));
    line(out, "UNIT     :" + userText(info.unitName));
    line(out, "PERSON   :" + userText(info.personName));
    line(out, "INST     :KPX-LX9");
    line(out, "SOFT     :KPX_VivUd V2.3.0");
    line(out, "PILEID   :" + userText(info.pileId));
    for (int i = 0; i < 7; ++i)
        line(out, kTempLine);
    out += kCrLf;

    line(out, "TOKAN_VivUdDat_PilePipePara:");
    out += "PILED  mm:";
    putFixed(out, info.pileDiameter, 8, 2);
    out += kCrLf;
    out += "PILELen m:";
    putFixed(out, info.testMode == kHorizontal ? info.startDepth : info.pileLength, 8, 2);
    out += kCrLf;
    out += "PILEL   m:";
    putFixed(out, 0.0, 8, 2);
    out += kCrLf;
    out += "PILEV m/s:";
    putFixed(out, info.pipeVelocity * 1000.0f, 8, 0);
    out += kCrLf;
    out += "PILEW  mm:";
    putInt(out, info.pipeOuterDiameter, 8);
    out += kCrLf;
    out += "PIPED  mm:";
    putInt(out, info.pipeInnerDiameter, 8);
    out += kCrLf;
    out += "SENSORDmm:";
    putInt(out, info.probeDiameter, 8);
    out += kCrLf;
    out += "APoreDeg :";
    putInt(out, info.offsetAngle, 8);
    out += kCrLf;
    for (int i = 0; i < 6; ++i)
        line(out, kTempLine);
    out += "PIPENUM  :";
    putInt(out, info.pipeCount, 8);
    out += kCrLf;
    for (int pipe = 1; pipe <= 8; ++pipe) {
        if (pipe > info.pipeCount) {
            line(out, "Pipe*    :********");
            continue;
        }
        out += "Pipe";
        putInt(out, pipe, 0);
        out += "Dp  :";
        putFixed(out, info.pileLength, 8, 2);
        out += kCrLf;
    }
    out += kCrLf;

    line(out, "TOKAN_VivUdDat_Section:");
    out += "SectNum  :";
    putInt(out, rowCount, 8);
    out += kCrLf;
    for (int k = 0; k < kTableRows; ++k) {
        if (k >= rowCount) {
            line(out, "SectIDI  :********");
            line(out, "SourPipeI:********");
            line(out, "DestPipeI:********");
            continue;
        }
        const std::string_view name = kSiNames[k];
        out += "SectID";
        putInt(out, k, 0);
        out += "  :";
        out.append(8 - name.size(), ' ');
        out += name;
        out += kCrLf;
        out += "SourPipe";
        putInt(out, k, 0);
        out += ':';
        putInt(out, name[0] - '1', 8);
        out += kCrLf;
        out += "DestPipe";
        putInt(out, k, 0);
        out += ':';
        putInt(out, name[2] - '1', 8);
        out += kCrLf;
    }
    for (int i = 0; i < 4; ++i)
        line(out, kTempLine);
    out += kCrLf;

    defectBlock(out, rowCount);
    out += kCrLf;
    sectionParaBlock(out, info, rowCount, present, entry);
    out += kCrLf;

    line(out, "TOKAN_VivUdDat_RayPara:");
    line(out,
         "SI   SourL   DestL   T(us)  Ta(us)   A(dB) Tf1(us) Tf2(us)  AbsMax Del    Seek        Gain   Delay"
         "    Temp    Temp    Temp    Temp");
    return out;
}

// Stores p's waveform at `out` as the .CHD holds it, `length` values (the zero line after a
// shorter waveform), and returns the largest distance of any of its samples from the zero code,
// for the row: one pass over a waveform that is read from memory only once.
int storeWave(const SamplePoint& p, int16_t* out, size_t length) {
    const uint16_t* in = p.samples.data();
    const size_t have = std::min(p.samples.size(), length);
    int absMax = 0;
    for (size_t j = 0; j < have; ++j) {
        const int value = static_cast<int>(in[j]) - kChdZeroCode;
        out[j] = static_cast<int16_t>(value);
        absMax = std::max(absMax, std::abs(value));
    }
    for (size_t j = have; j < p.samples.size(); ++j)
        absMax = std::max(absMax, std::abs(static_cast<int>(in[j]) - kChdZeroCode));
    std::fill(out + have, out + length, static_cast<int16_t>(2048 - kChdZeroCode));
    return absMax;
}

// One row of the ray block for point p of section entry `entry` (slot SI `si`); absMax is what
// storeWave returned for p.
void rayRow(std::string& out, const CInfo& info, int si, int entry, const SamplePoint& p, int64_t seek,
            int absMax) {
    const SectionPara& s = info.sections[entry];
    float source = p.depth;
    if (info.testMode == kInclined) source = p.depth + s.heightDiff / 1000.0f;
    if (info.testMode == kFan) source = s.sectionStartDepth;

    putInt(out, si, 2, true);
    putColumnFixed(out, source, 8, 2);
    putColumnFixed(out, p.depth, 8, 2);
    putRayPickColumns(out, info, entry, p);
    putColumnFixed(out, 0.0, 8, 1);
    putColumnFixed(out, 0.0, 8, 1);
    putColumnFixed(out, absMax, 8, 1);
    putColumnInt(out, 0, 4);
    putColumnInt(out, seek, 12);
    putColumnFixed(out, p.gain + 0.001, 8, 0);
    putColumnFixed(out, p.delay, 8, 1);
    // The rows carry the fill in capitals, unlike their header line: readers elsewhere compare
    // these columns as text.
    for (int i = 0; i < 4; ++i)
        out += "    TEMP";
    out += kCrLf;
}

std::span<const uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

int openFor(const std::filesystem::path& path, bool fresh) {
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (fresh ? O_EXCL : O_TRUNC);
    return ::open(path.c_str(), flags, 0644);
}

}  // namespace

void putRayPickColumns(std::string& out, const CInfo& info, int entry, const SamplePoint& p) {
    const SectionPara& s = info.sections[entry];
    const int32_t ampCode = p.ampIndex >= 0 && static_cast<size_t>(p.ampIndex) < p.samples.size()
                                ? p.samples[static_cast<size_t>(p.ampIndex)]
                                : 2048;  // no sample there: the zero line
    const PointMetrics m = pointMetrics(info, entry + 1, p.tIndex, p.depth, p.gain, ampCode, p.delay);
    const float d = p.delay == -1.0f ? s.delay : p.delay;
    const float ta =
        static_cast<float>(p.ampIndex + 1) * info.sampleInterval + static_cast<float>(std::trunc(d));
    putColumnFixed(out, m.time, 8, 1);
    putColumnFixed(out, ta, 8, 1);
    putColumnFixed(out, amplitudeToDb(m.amplitude), 8, 1);
}

CSaveFile::CSaveFile(DateSource date) : date_(std::move(date)) {
    if (!date_) date_ = todayText;
}

CSaveFile::~CSaveFile() {
    closeFiles();
    discardTemporaries();
}

bool CSaveFile::fail(const std::filesystem::path& where, int err) {
    error_ = fileErrorText(where, err);
    if (target_ == Target::ReplaceAtClose) failed_ = true;  // the pair can no longer be complete
    return false;
}

void CSaveFile::closeFiles() {
    chdSync_.reset();  // it syncs the .CHD
    if (chtFile_ >= 0) ::close(chtFile_);
    if (chdFile_ >= 0) ::close(chdFile_);
    chtFile_ = chdFile_ = -1;
}

void CSaveFile::discardTemporaries() {
    if (target_ != Target::ReplaceAtClose) return;
    if (!chtWritten_.empty()) ::unlink(chtWritten_.c_str());
    if (!chdWritten_.empty()) ::unlink(chdWritten_.c_str());
    chtWritten_.clear();
    chdWritten_.clear();
}

bool CSaveFile::createFiles(const CInfo& info, Target target) {
    closeFiles();
    discardTemporaries();
    target_ = target;
    failed_ = false;
    error_.clear();
    levels_.clear();
    chdPending_.clear();
    chtPending_.clear();
    nextChdPos_ = 1;
    chtSize_ = 0;

    chtPath_ = info.chtPath;
    chdPath_ = info.chdPath;
    if (chtPath_.empty() || chdPath_.empty()) {
        error_ = "数据文件没有文件名";
        return false;
    }
    sampleLength_ = std::max(info.sampleLength, 0);
    sectionCount_ = std::clamp(info.sectionCount, 0, kMaxSections);
    bytesPerWaveform_ = 2 * static_cast<int64_t>(sampleLength_);
    rowCount_ = rowCountForPipes(info.pipeCount);
    for (int k = 0; k < kMaxSections; ++k) {
        slotNames_[k] = kSiNames[k];
        slotSi_[k] = k;
        slotPresent_[k] = false;
        slotEntry_[k] = -1;
        for (int e = 0; e < kMaxSections; ++e) {
            if (info.sections[e].name != slotNames_[k]) continue;
            if (slotEntry_[k] < 0) slotEntry_[k] = e;
            if (e < sectionCount_) slotPresent_[k] = true;
        }
    }

    const bool temporary = target == Target::ReplaceAtClose;
    chtWritten_ = temporary ? temporarySibling(chtPath_) : chtPath_;
    chdWritten_ = temporary ? temporarySibling(chdPath_) : chdPath_;
    chtFile_ = openFor(chtWritten_, temporary);
    if (chtFile_ < 0) {
        const int err = errno;
        chtWritten_.clear();
        chdWritten_.clear();
        return fail(chtPath_, err);
    }
    chdFile_ = openFor(chdWritten_, temporary);
    if (chdFile_ < 0) {
        const int err = errno;
        closeFiles();
        if (temporary) {
            ::unlink(chtWritten_.c_str());
        }
        chtWritten_.clear();
        chdWritten_.clear();
        return fail(chdPath_, err);
    }

    const std::string header = headerText(info, date_(), rowCount_, slotPresent_, slotEntry_);
    if (!writeAll(chtFile_, bytesOf(header))) {
        const int err = errno;
        failed_ = true;
        return fail(chtPath_, err);
    }
    chtSize_ = header.size();
    if (temporary) {
        try {
            chdSync_ = std::make_unique<BackgroundSync>(chdFile_);
        } catch (const std::system_error&) {
            // No thread: close() syncs it all, as it does anyway.
        }
    } else {
        // The pair must exist, header included, before the first level counts as saved.
        if (::fdatasync(chtFile_) != 0 || ::fdatasync(chdFile_) != 0) return fail(chtPath_, errno);
        syncDirectory(chtPath_.parent_path());
        if (chdPath_.parent_path() != chtPath_.parent_path()) syncDirectory(chdPath_.parent_path());
    }
    return true;
}

bool CSaveFile::writeLevelWith(const CInfo& info, const SectionLists& lists, const PointOf& pointOf) {
    if (!isOpen()) {
        if (error_.empty()) error_ = "数据文件没有打开";
        return false;
    }
    if (failed_) return false;

    const int64_t start = nextChdPos_;
    const size_t blockValues = static_cast<size_t>(sectionCount_) * static_cast<size_t>(sampleLength_);
    // Save-at-end builds the level at the end of what it is gathering; real time in a buffer of
    // its own.
    const bool gathering = target_ == Target::ReplaceAtClose;
    StoredValues& values = gathering ? chdPending_ : levelBuffer_;
    if (!gathering) values.clear();
    if (gathering && values.empty()) {
        chdPendingAt_ = static_cast<uint64_t>(start - 1);
        chtPendingAt_ = chtSize_;
    }
    const size_t first = values.size();
    values.resize(first + blockValues);  // unset: every value is written below
    rowBuffer_.clear();
    int rows = 0;
    for (int k = 0; k < kMaxSections && rows < sectionCount_; ++k) {
        if (!slotPresent_[k]) continue;
        const int entry = slotEntry_[k];
        CSampleDataList* list = lists[entry];
        if (!list) continue;
        auto guard = list->lock();
        const SamplePoint* p = pointOf(*list);
        if (!p) continue;
        int16_t* out = values.data() + first + static_cast<size_t>(rows) * static_cast<size_t>(sampleLength_);
        const int absMax = storeWave(*p, out, static_cast<size_t>(sampleLength_));
        rayRow(rowBuffer_, info, slotSi_[k], entry, *p, start + bytesPerWaveform_ * rows, absMax);
        ++rows;
    }
    // Slots of sections without a point at this level stay zero.
    std::fill(values.begin() + static_cast<std::ptrdiff_t>(first + static_cast<size_t>(rows) * sampleLength_),
              values.end(), int16_t{0});
    if constexpr (std::endian::native == std::endian::big) {
        for (size_t i = first; i < values.size(); ++i) {
            const auto u = static_cast<uint16_t>(values[i]);
            values[i] = static_cast<int16_t>(static_cast<uint16_t>((u >> 8) | (u << 8)));
        }
    }
    const uint64_t blockBytes = blockValues * sizeof(int16_t);

    if (gathering) {
        chtPending_ += rowBuffer_;
        levels_.push_back(LevelRecord{chtSize_, rows, static_cast<uint64_t>(start - 1)});
        chtSize_ += rowBuffer_.size();
        nextChdPos_ = start + static_cast<int64_t>(blockBytes);
        return chdPending_.size() * sizeof(int16_t) < kPendingBytes || flushPending();
    }
    const std::span<const uint8_t> block(reinterpret_cast<const uint8_t*>(levelBuffer_.data()), blockBytes);
    // Real time: each level is durable before the next is measured.
    if (!writeAllAt(chdFile_, block, static_cast<uint64_t>(start - 1)) || ::fdatasync(chdFile_) != 0) {
        return fail(chdPath_, errno);
    }
    // The rows go out only once their waveforms are on disk.
    if (!writeAllAt(chtFile_, bytesOf(rowBuffer_), chtSize_) || ::fdatasync(chtFile_) != 0) {
        const int err = errno;
        // Cut a partly written row block off, so the next level's rows start on a row boundary.
        if (::ftruncate(chtFile_, static_cast<off_t>(chtSize_)) == 0) ::fdatasync(chtFile_);
        return fail(chtPath_, err);
    }
    levels_.push_back(LevelRecord{chtSize_, rows, static_cast<uint64_t>(start - 1)});
    chtSize_ += rowBuffer_.size();
    nextChdPos_ = start + static_cast<int64_t>(blockBytes);
    return true;
}

bool CSaveFile::flushPending() {
    if (chdPending_.empty() && chtPending_.empty()) return true;
    const std::span<const uint8_t> values(reinterpret_cast<const uint8_t*>(chdPending_.data()),
                                          chdPending_.size() * sizeof(int16_t));
    if (!writeAllAt(chdFile_, values, chdPendingAt_)) return fail(chdPath_, errno);
    if (!writeAllAt(chtFile_, bytesOf(chtPending_), chtPendingAt_)) return fail(chtPath_, errno);
    // Only a start: the disk writes while the next piece is built. close() still waits for all.
    ::sync_file_range(chdFile_, static_cast<off_t>(chdPendingAt_), static_cast<off_t>(values.size()),
                      SYNC_FILE_RANGE_WRITE);
    ::sync_file_range(chtFile_, static_cast<off_t>(chtPendingAt_), static_cast<off_t>(chtPending_.size()),
                      SYNC_FILE_RANGE_WRITE);
    if (chdSync_) chdSync_->written();
    chdPending_.clear();
    chtPending_.clear();
    return true;
}

bool CSaveFile::writeLevel(const CInfo& info, const SectionLists& lists, int level) {
    return writeLevelWith(info, lists, [level](CSampleDataList& list) { return list.point(level); });
}

bool CSaveFile::close() {
    if (!isOpen()) {
        if (target_ == Target::ReplaceAtClose) discardTemporaries();
        return !failed_;
    }
    bool ok = !failed_;
    if (target_ == Target::InPlace) {
        closeFiles();
        return ok;
    }
    if (ok && !flushPending()) ok = false;
    const int background = chdSync_ ? chdSync_->finish() : 0;
    chdSync_.reset();
    if (ok && background != 0) ok = fail(chdPath_, background);  // this fd will not report it again
    if (ok && (::fdatasync(chdFile_) != 0 || ::fdatasync(chtFile_) != 0)) ok = fail(chtPath_, errno);
    const int chd = chdFile_, cht = chtFile_;
    chtFile_ = chdFile_ = -1;
    if (::close(chd) != 0 && ok) ok = fail(chdPath_, errno);
    if (::close(cht) != 0 && ok) ok = fail(chtPath_, errno);
    // The .CHT goes last: a pair is found by its .CHT, so it appears once the waveforms are there.
    // The old .CHD stays reachable under a temporary name until then, so that a .CHT that cannot
    // be put in place leaves the old pair as it was rather than new waveforms beside old rows.
    std::filesystem::path oldChd;
    if (ok) {
        oldChd = temporarySibling(chdPath_);
        if (::link(chdPath_.c_str(), oldChd.c_str()) != 0) oldChd.clear();  // none, or no links here
    }
    if (ok && !commitTemporary(chdWritten_, chdPath_, &error_)) ok = false;
    if (ok) chdWritten_.clear();
    if (ok && !commitTemporary(chtWritten_, chtPath_, &error_)) {
        ok = false;
        if (chdWritten_.empty()) {  // the new .CHD is in place: take it back
            if (oldChd.empty() || ::rename(oldChd.c_str(), chdPath_.c_str()) != 0) ::unlink(chdPath_.c_str());
            oldChd.clear();
        }
    }
    if (!oldChd.empty()) ::unlink(oldChd.c_str());
    if (ok) chtWritten_.clear();
    if (!ok) {
        failed_ = true;
        discardTemporaries();
    }
    return ok;
}

bool CSaveFile::saveAtEnd(const CInfo& info, const SectionLists& lists, const ProgressFn& progress) {
    if (!createFiles(info, Target::ReplaceAtClose)) {
        discardTemporaries();
        return false;
    }
    // Walk the chains by position: every list holds one point per level in acquisition order.
    int total = 0;
    for (int k = 0; k < kMaxSections; ++k) {
        if (!slotPresent_[k] || !lists[slotEntry_[k]]) continue;
        auto guard = lists[slotEntry_[k]]->lock();
        total = std::max<int>(total, lists[slotEntry_[k]]->count);
    }
    for (int i = 0; i < total; ++i) {
        if (!writeLevelWith(info, lists, [i](CSampleDataList& list) { return list.pointAt(i); })) {
            close();
            return false;
        }
        const int done = i + 1;
        if (progress && (done % 20 == 0 || done > total - 20)) progress(done, total);
    }
    return close();
}

bool CSaveFile::completeRealTime(const CInfo& info, const SectionLists& lists, int firstLevel,
                                 const ProgressFn& progress, int windowLevels) {
    if (!isOpen()) {
        if (error_.empty()) error_ = "数据文件没有打开";
        return false;
    }
    const int first = firstLevel < 0 ? levelsWritten() : firstLevel;
    int last = -1;
    for (CSampleDataList* list : lists) {
        if (!list) continue;
        auto guard = list->lock();
        if (!list->current) continue;
        last = lastMeasuredLevel(info, list->current->depth);
        break;
    }
    bool ok = true;
    const int total = last - first + 1;
    for (int level = first; level <= last; ++level) {
        const int position = windowLevels > 0 ? level % windowLevels : level;
        if (!writeLevel(info, lists, position)) ok = false;  // keep going: later levels may still be saved
        const int done = level - first + 1;
        if (progress && (done % 10 == 0 || done > total - 10)) progress(done, total);
    }
    return close() && ok;
}

int lastMeasuredLevel(const CInfo& info, float depth) {
    if (info.stepMm <= 0) return -1;
    const SectionPara& s0 = info.sections[0];
    const double top =
        info.testMode == kHorizontal ? info.startDepth : s0.sectionStartDepth - s0.heightDiff / 1000.0;
    const double h = (top - depth + 0.0001) * 1000.0;
    // Nearest level: a point recorded within half a step of its level still counts as that level.
    const double levels = std::floor(h / info.stepMm + 0.5);
    if (!(levels >= 0.0)) return -1;
    return static_cast<int>(std::min(levels, 65535.0));
}

bool CSaveFile::reloadRecent(const CInfo& info, const SectionLists& lists, int level, int windowLevels) {
    if (!isOpen()) {
        if (error_.empty()) error_ = "数据文件没有打开";
        return false;
    }
    if (windowLevels < 2 || level < 0) return false;
    if (!flushPending()) return false;  // it reads back what was written
    const int half = windowLevels / 2;
    const int n = std::min(half, levelsWritten());
    if (n == 0) return true;
    const size_t firstLevel = levels_.size() - static_cast<size_t>(n);

    const uint64_t chtFrom = levels_[firstLevel].chtOffset;
    std::string rows(chtSize_ - chtFrom, '\0');
    std::span<uint8_t> rowBytes(reinterpret_cast<uint8_t*>(rows.data()), rows.size());
    if (!readAllAt(chtFile_, rowBytes, chtFrom)) return fail(chtPath_, errno ? errno : EIO);
    const uint64_t chdFrom = levels_[firstLevel].chdOffset;
    const uint64_t chdTo = static_cast<uint64_t>(nextChdPos_ - 1);
    std::vector<uint8_t> waves(chdTo - chdFrom);
    if (!readAllAt(chdFile_, waves, chdFrom)) return fail(chdPath_, errno ? errno : EIO);

    // Everything is read and checked before the first point changes.
    struct Update {
        CSampleDataList* list;
        int index;
        float depth;
        float gain;
        size_t waveOffset;
    };
    std::vector<Update> updates;
    for (int j = 0; j < n; ++j) {
        const LevelRecord& rec = levels_[firstLevel + static_cast<size_t>(j)];
        const int index = (level % windowLevels + j) % windowLevels;
        for (int r = 0; r < rec.rows; ++r) {
            const size_t at =
                static_cast<size_t>(rec.chtOffset - chtFrom) + static_cast<size_t>(r) * kRayRowBytes;
            if (at + kRayRowChars > rows.size()) return fail(chtPath_, EIO);
            const std::string_view row(rows.data() + at, kRayRowChars);
            const int si = parseInt(row.substr(0, 2));
            const int64_t seek = parseInt64(row.substr(70, 12));
            if (si < 0 || si >= kMaxSections) return fail(chtPath_, EIO);
            if (seek < 1 || static_cast<uint64_t>(seek - 1) < chdFrom ||
                static_cast<uint64_t>(seek - 1) + static_cast<uint64_t>(bytesPerWaveform_) > chdTo) {
                return fail(chdPath_, EIO);
            }
            int entry = -1;
            for (int e = 0; e < kMaxSections && entry < 0; ++e) {
                if (info.sections[e].name == kSiNames[si]) entry = e;
            }
            if (entry < 0 || !lists[entry]) continue;
            updates.push_back(Update{lists[entry], index, static_cast<float>(parseReal(row.substr(10, 8))),
                                     static_cast<float>(parseReal(row.substr(82, 8))),
                                     static_cast<size_t>(static_cast<uint64_t>(seek - 1) - chdFrom)});
        }
    }
    for (const Update& u : updates) {
        auto guard = u.list->lock();
        SamplePoint* p = u.list->point(u.index);
        if (!p) continue;
        p->depth = u.depth;
        p->gain = u.gain;
        const size_t count = std::min(p->samples.size(), static_cast<size_t>(sampleLength_));
        for (size_t j = 0; j < count; ++j)
            p->samples[j] = readChdSample(waves.data() + u.waveOffset + 2 * j);
    }
    return true;
}

}  // namespace lx9
