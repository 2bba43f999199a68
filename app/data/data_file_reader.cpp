#include "data/data_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>
#include <thread>

#include "data/atomic_file.h"
#include "data/data_file_text.h"
#include "data/point_metrics.h"
#include "data/text_codec.h"
#include "link/truncate.h"

namespace lx9 {
namespace {

// The largest legitimate .CHT (65 535 levels of six rows) is about 52 MB; anything far beyond
// that is not a data file and is not read into memory.
constexpr uint64_t kMaxChtBytes = 256ull << 20;
constexpr size_t npos = std::string::npos;

// Lines whose value is text typed by the user. Keys are never looked for inside them, so a
// site called "SI    CrossD" cannot move the section table.
constexpr std::array<std::string_view, 5> kUserTextLabels = {
    "SITE     :", "DATE     :", "UNIT     :", "PERSON   :", "PILEID   :"};

using kaxil::truncate32;

// A sample index recovered from a time in the file: x = (time − delay) / dt − 1, to the nearest
// sample; below 1 gives 0 and beyond the waveform its last sample.
int32_t sampleIndexFrom(double x, int32_t length) {
    const double r = std::floor(x + 0.5);
    if (!(r >= 1.0)) return 0;
    if (r > length - 1) return length - 1;
    return static_cast<int32_t>(r);
}

int normaliseSi(int si) {
    return si >= 10 ? si / 10 : si;
}

std::string withSuffix(std::string_view base, std::string_view suffix) {
    std::string upper = std::string(base) + std::string(suffix);
    if (::access(upper.c_str(), F_OK) == 0) return upper;
    std::string lower = std::string(base);
    for (char c : suffix)
        lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    if (::access(lower.c_str(), F_OK) == 0) return lower;
    return upper;
}

// The .CHD, on disk or held in memory: whole reads at an offset, into one buffer or scattered
// over several (the waveforms of adjacent points, which live apart in memory).
class ChdSource {
  public:
    ChdSource(int fd, std::span<const uint8_t> memory) : fd_(fd), memory_(memory) {}

    bool read(uint64_t offset, std::span<uint8_t> into) const {
        if (fd_ >= 0) return readAllAt(fd_, into, offset);
        std::memcpy(into.data(), memory_.data() + offset, into.size());
        return true;
    }

    // Fills the parts in order from the bytes at `offset`; false with errno set on a failed or
    // short read. The parts are used up.
    bool scatter(uint64_t offset, std::span<iovec> parts) const {
        if (fd_ < 0) {
            for (const iovec& part : parts) {
                std::memcpy(part.iov_base, memory_.data() + offset, part.iov_len);
                offset += part.iov_len;
            }
            return true;
        }
        while (!parts.empty()) {
            const int count = static_cast<int>(std::min<size_t>(parts.size(), IOV_MAX));
            const ssize_t n = ::preadv(fd_, parts.data(), count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = EIO;  // the file shrank under us
                return false;
            }
            offset += static_cast<uint64_t>(n);
            // Drop what was filled; a part filled in part goes on where it stopped.
            for (size_t left = static_cast<size_t>(n); left > 0;) {
                iovec& part = parts.front();
                const size_t used = std::min(left, part.iov_len);
                part.iov_base = static_cast<uint8_t*>(part.iov_base) + used;
                part.iov_len -= used;
                left -= used;
                if (part.iov_len == 0) parts = parts.subspan(1);
            }
            while (!parts.empty() && parts.front().iov_len == 0)
                parts = parts.subspan(1);
        }
        return true;
    }

  private:
    int fd_;
    std::span<const uint8_t> memory_;
};

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

COpenfile::COpenfile(std::string_view basePath)
    : chtPath_(withSuffix(basePath, kChtSuffix)), chdPath_(withSuffix(basePath, kChdSuffix)) {
    FileDescriptor fd(::open(chtPath_.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        error_ = fileErrorText(chtPath_, errno);
        return;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error_ = fileErrorText(chtPath_, errno);
        return;
    }
    if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > kMaxChtBytes) {
        error_ = chtPath_ + ": 不是数据文件";
        return;
    }
    const auto size = static_cast<size_t>(st.st_size);
    if (size == 0) return;
    char* memory = textMemory_.allocate(size);
    if (!memory) {
        error_ = fileErrorText(chtPath_, ENOMEM);
        return;
    }
    std::span<uint8_t> bytes(reinterpret_cast<uint8_t*>(memory), size);
    if (!readAllAt(fd.get(), bytes, 0)) {
        error_ = fileErrorText(chtPath_, errno ? errno : EIO);
        textMemory_.release();
        return;
    }
    text_ = std::string_view(memory, size);
}

char* COpenfile::TextMemory::allocate(size_t bytes) {
    release();
    data_ = static_cast<char*>(allocateLarge(bytes));
    if (data_) bytes_ = bytes;
    return data_;
}

void COpenfile::TextMemory::release() {
    if (!data_) return;
    freeLarge(data_, bytes_);
    data_ = nullptr;
    bytes_ = 0;
}

COpenfile::COpenfile(std::string chtText, std::span<const uint8_t> chdBytes)
    : chtPath_("(memory).CHT"), chdPath_("(memory).CHD"), chdMemory_(chdBytes), inMemory_(true) {
    if (chtText.size() <= kMaxChtBytes) {
        ownedText_ = std::move(chtText);
        text_ = ownedText_;
    }
}

bool COpenfile::failWith(std::string_view message) {
    error_ = std::string(message);
    return false;
}

size_t COpenfile::findKey(std::string_view key) const {
    const bool userLabel =
        std::find(kUserTextLabels.begin(), kUserTextLabels.end(), key) != kUserTextLabels.end();
    // Every key sits in the header, which ends with the ray table's header line: the rows after
    // it (most of a big file) are never searched, so an absent key costs little.
    const std::string_view header = std::string_view(text_).substr(0, headerEnd_);
    size_t from = 0;
    for (;;) {
        const size_t pos = header.find(key, from);
        if (pos == npos || pos + key.size() > headerEnd_) return npos;
        const size_t newline = pos == 0 ? npos : text_.rfind('\n', pos - 1);
        const size_t lineStart = newline == npos ? 0 : newline + 1;
        const std::string_view lineText = std::string_view(text_).substr(lineStart);
        bool inUserText = false;
        for (std::string_view label : kUserTextLabels) {
            if (lineText.starts_with(label)) inUserText = true;
        }
        if (userLabel ? pos == lineStart : !inUserText) return pos;
        // No later match on this line can do better: go on from the next one, so a long line
        // full of near misses is walked once.
        const size_t end = header.find('\n', pos);
        if (end == npos) return npos;
        from = end + 1;
    }
}

std::string_view COpenfile::labelled(std::string_view key, bool cut) const {
    const size_t pos = findKey(key);
    if (pos == npos) return {};
    const size_t start = pos + key.size();
    size_t end = text_.find_first_of("\r\n", start);
    if (end == npos) end = text_.size();
    std::string_view value = trimText(std::string_view(text_).substr(start, end - start));
    return cut ? value.substr(0, 9) : value;
}

std::string_view COpenfile::column(size_t keyPos, size_t rowLength, int row, size_t width) const {
    if (keyPos == npos || row < 0) return {};
    const uint64_t at = keyPos + (static_cast<uint64_t>(row) + 1) * rowLength;
    if (at >= text_.size()) return {};
    return trimText(std::string_view(text_).substr(static_cast<size_t>(at), width));
}

bool COpenfile::parseHeader(CInfo& info) {
    headerRead_ = false;
    if (text_.empty()) {
        if (error_.empty()) error_ = chtPath_ + ": 文件为空";
        return false;
    }
    error_.clear();
    headerEnd_ = text_.size();
    const size_t rayHeader = findKey("SI   SourL");
    if (rayHeader != npos) headerEnd_ = std::min(text_.size(), rayHeader + kRayRowChars);
    const int32_t sectionCount = parseInt(labelled("SectNum  :", true));
    info.sectionCount = sectionCount;

    // Job texts are read whole: they are the user's words, not numbers in a field.
    info.testDate = gbkToUtf8(labelled("DATE     :", false));
    info.personName = gbkToUtf8(labelled("PERSON   :", false));
    info.pileId = gbkToUtf8(labelled("PILEID   :", false));
    info.siteName = gbkToUtf8(labelled("SITE     :", false));
    info.unitName = gbkToUtf8(labelled("UNIT     :", false));

    info.pileDiameter = parseInt(labelled("PILED  mm:", true));
    info.pileLength = static_cast<float>(parseReal(labelled("PILELen m:", true)));
    info.pipeVelocity = static_cast<float>(parseReal(labelled("PILEV m/s:", true)) / 1000.0);
    info.pipeOuterDiameter = parseInt(labelled("PILEW  mm:", true));
    info.pipeInnerDiameter = parseInt(labelled("PIPED  mm:", true));
    info.probeDiameter = parseInt(labelled("SENSORDmm:", true));
    info.pipeCount = parseInt(labelled("PIPENUM  :", true));
    if (info.pipeCount < 2 || info.pipeCount > 5) return failWith(kTextBadPipeCount);
    if (sectionCount < 0 || sectionCount > kMaxSections) return failWith(kTextBadSectionCount);

    // The section table: 124 characters a row, or 122 in the older layout.
    const bool wide = findKey("SI    CrossD") != npos;
    const size_t tableKey = findKey(wide ? "SI    CrossD" : "SI  CrossD");
    const size_t siWidth = wide ? 4 : 2;
    const size_t tableRow = wide ? 126 : 124;
    if (tableKey == npos) return failWith(kTextBadSectionSi);
    const size_t crossKey = findKey("CrossD");
    const size_t gainKey = findKey("  Gain");
    const size_t delayKey =
        findKey("  Delay   DatLen") != npos ? findKey("  Delay   DatLen") : findKey("   Delay  DatLen");
    const size_t lowKey = findKey("  FiltL");
    const size_t highKey = findKey("FiltH");
    const size_t zeroKey = findKey("T0(us)");
    const size_t heightKey = findKey("  Sen_dH");
    for (int r = 0; r < kMaxSections; ++r) {
        const std::string_view siText = column(tableKey, tableRow, r, siWidth);
        if (siText == "SI") continue;  // a row the writer left empty
        if (!isDigits(siText)) return failWith(kTextBadSectionSi);
        const int32_t si = parseInt(siText);
        if (si < 0 || si >= kMaxSections) return failWith(kTextBadSectionSi);
        const int k = kSiSectionSlot[si];
        info.sections[k].name = std::string(kSiNames[si]);
        info.sectionSlot[si] = k;
        const int32_t spacing = truncate32((parseReal(column(crossKey, tableRow, r, 8)) + 0.0001) * 1000.0);
        const int32_t gain = parseInt(column(gainKey, tableRow, r, 8));
        const auto delay = static_cast<float>(parseReal(column(delayKey, tableRow, r, 8)));
        const auto lowPass = static_cast<float>(parseReal(column(lowKey, tableRow, r, 8)));
        const auto highPass = static_cast<float>(parseReal(column(highKey, tableRow, r, 8)));
        const auto zeroTime = static_cast<float>(parseReal(column(zeroKey, tableRow, r, 8)));
        for (auto* list : {&info.sections, &info.appliedSections}) {
            SectionPara& s = (*list)[k];
            s.spacing = spacing;
            s.gain = gain;
            s.delay = delay;
            s.lowPass = lowPass;
            s.highPass = highPass;
            s.zeroTime = zeroTime;
        }
        // Metres with two decimals back to millimetres: to the nearest one, so 0.29 is 290.
        const double height = parseReal(column(heightKey, tableRow, r, 8)) * 1000.0;
        info.sections[k].heightDiff = truncate32(std::floor(height + 0.5));
    }

    // Step, sampling and waveform length come from the table row of the first ray's section.
    rayKeyPos_ = findKey("SI   SourL");
    const int q = normaliseSi(parseInt(column(rayKeyPos_, kRayRowBytes, 0, 2)));
    if (q < 0 || q >= kSiCount) return failWith(kTextBadRaySi);
    info.stepMm = truncate32((parseReal(column(findKey("    Move"), tableRow, q, 8)) + 0.0001) * 1000.0);
    info.sampleInterval = static_cast<float>(parseReal(column(findKey("  dT(us)"), tableRow, q, 8)));
    info.sampleLength = parseInt(column(findKey("  DatLen"), tableRow, q, 8));
    if (info.sampleLength == 5121) info.sampleLength = 512;
    const double start = parseReal(column(findKey("   SourL"), kRayRowBytes, 0, 8));
    info.startDepth = static_cast<float>(start);
    for (SectionPara& s : info.sections)
        s.sectionStartDepth = info.startDepth;

    if (info.stepMm <= 0) return failWith(kTextBadStep);
    if (!(info.sampleInterval >= 0.1f - 1e-6f && info.sampleInterval <= 200.0f + 1e-4f)) {
        return failWith(kTextBadInterval);
    }
    if (info.sampleLength != 512 && info.sampleLength != 1024) return failWith(kTextBadLength);
    if (!std::isfinite(info.startDepth)) return failWith(kTextBadStartDepth);
    headerRead_ = true;
    return true;
}

bool COpenfile::scanRays(const CInfo& info, uint64_t chdSize, RayVector& rays,
                         std::vector<uint32_t>& levelStarts, bool& transmitterMoved) {
    const uint64_t waveBytes = 2 * static_cast<uint64_t>(info.sampleLength);
    const size_t sourKey = findKey("   SourL");
    const size_t destKey = findKey("   DestL");
    const size_t gainKey = findKey("   Gain   Delay");
    const size_t delayKey = gainKey == npos ? npos : gainKey + 7;  // "   Delay" inside the gain key
    const size_t timeKey = findKey("   T(us)");
    const size_t arrivalKey = findKey("  Ta(us)");
    const size_t dbKey = findKey("   A(dB)");
    const size_t seekKey = findKey("    Seek    ");

    // Complete rows: 130 characters followed by CR LF (or by the end of the file). The rows are
    // read up to the first that is not complete, in one pass over the text.
    auto complete = [&](size_t row) {
        const uint64_t start = rayKeyPos_ + (static_cast<uint64_t>(row) + 1) * kRayRowBytes;
        const uint64_t end = start + kRayRowChars;
        if (end > text_.size()) return false;
        const std::string_view after = std::string_view(text_).substr(static_cast<size_t>(end), 2);
        return after.empty() || after == "\r\n" || (after == "\r" && end + 1 == text_.size());
    };

    rays.clear();
    levelStarts.clear();
    if (rayKeyPos_ != npos) rays.reserve((text_.size() - rayKeyPos_) / kRayRowBytes);
    bool seekUsable = seekKey != npos;
    int64_t previousSeek = 0;
    int previousSi = INT_MAX;
    int32_t previousSource = 0;
    size_t firstMove = npos;
    size_t rowCount = 0;
    for (size_t r = 0; rayKeyPos_ != npos && complete(r); ++r) {
        rowCount = r + 1;
        const int row = static_cast<int>(r);
        const int si = normaliseSi(parseInt(column(rayKeyPos_, kRayRowBytes, row, 2)));
        // Rows of a level come in rising section order; a section number that does not rise
        // starts the next level.
        if (r == 0 || si <= previousSi) levelStarts.push_back(static_cast<uint32_t>(r));
        previousSi = si;

        const double source = parseRowReal(column(sourKey, kRayRowBytes, row, 8));
        const int32_t sourceCm = truncate32((source + 0.00001) * 100.0);
        if (r > 0 && sourceCm != previousSource && firstMove == npos) firstMove = r;
        previousSource = sourceCm;

        const std::string_view seekText = column(seekKey, kRayRowBytes, row, 12);
        int64_t seek = 0;
        if (seekUsable && isDigits(seekText)) {
            seek = parseInt64(seekText);
            const bool fits = seek >= 1 && (seek - 1) % 2 == 0 &&
                              static_cast<uint64_t>(seek - 1) / 2 <= std::numeric_limits<uint32_t>::max();
            const bool rising =
                r == 0 || static_cast<uint64_t>(seek) >= static_cast<uint64_t>(previousSeek) + waveBytes;
            if (!fits || !rising) seekUsable = false;
            previousSeek = seek;
        } else {
            seekUsable = false;
        }

        Ray ray{};
        ray.si = static_cast<int8_t>(std::clamp(si, -1, kSiCount));
        ray.destL = static_cast<float>(parseRowReal(column(destKey, kRayRowBytes, row, 8)));
        ray.gain = static_cast<float>(parseRowReal(column(gainKey, kRayRowBytes, row, 8)));
        ray.delay = static_cast<float>(parseRowReal(column(delayKey, kRayRowBytes, row, 8)));
        ray.t = static_cast<float>(parseRowReal(column(timeKey, kRayRowBytes, row, 8)));
        ray.ta = static_cast<float>(parseRowReal(column(arrivalKey, kRayRowBytes, row, 8)));
        ray.adb = static_cast<float>(parseRowReal(column(dbKey, kRayRowBytes, row, 8)));
        ray.waveIndex = seekUsable ? static_cast<uint32_t>((seek - 1) / 2) : 0;
        rays.push_back(ray);
    }
    // The Seek column is honoured when every row has one, in rising order without overlaps;
    // otherwise each waveform is taken from its row's position.
    seekHonoured_ = seekUsable && rowCount > 0;
    if (!seekHonoured_) {
        for (size_t r = 0; r < rays.size(); ++r) {
            rays[r].waveIndex = static_cast<uint32_t>(r * static_cast<uint64_t>(info.sampleLength));
        }
    }

    // Keep the levels whose waveforms are all in the .CHD; they end at the first that is not.
    const size_t levels = levelStarts.size();
    auto levelEnd = [&](size_t lv) { return lv + 1 < levels ? levelStarts[lv + 1] : rays.size(); };
    size_t kept = 0;
    for (; kept < levels; ++kept) {
        bool whole = true;
        for (size_t r = levelStarts[kept]; r < levelEnd(kept) && whole; ++r) {
            whole = static_cast<uint64_t>(rays[r].waveIndex) * 2 + waveBytes <= chdSize;
        }
        if (!whole) break;
    }
    size_t dropped = levels - kept;
    // Text after the last complete row is a row cut short. It either continues the last level,
    // which is then incomplete, or starts a level of its own that is lost.
    const size_t tailStart =
        rayKeyPos_ == npos
            ? text_.size()
            : static_cast<size_t>(std::min<uint64_t>(
                  text_.size(), rayKeyPos_ + (static_cast<uint64_t>(rowCount) + 1) * kRayRowBytes));
    const std::string_view tail = std::string_view(text_).substr(tailStart);
    if (!trimText(tail).empty()) {
        const std::string_view tailSi = tail.substr(0, 2);
        const bool startsLevel = !rays.empty() && isDigits(tailSi) && tail.size() >= 2 &&
                                 normaliseSi(parseInt(tailSi)) <= rays.back().si;
        if (startsLevel || rays.empty()) {
            ++dropped;
        } else if (kept == levels && kept > 0) {
            --kept;
            ++dropped;
        }
    }
    // A last level with fewer rows than the first lost rows that were being written.
    if (kept == levels && kept >= 2 &&
        levelEnd(kept - 1) - levelStarts[kept - 1] < levelEnd(0) - levelStarts[0]) {
        --kept;
        ++dropped;
    }
    const size_t keptRows = kept == levels ? rays.size() : levelStarts[kept];
    rays.resize(keptRows);
    levelStarts.resize(kept);
    droppedLevels_ = static_cast<int>(dropped);
    transmitterMoved = firstMove != npos && firstMove < keptRows;
    return kept > 0;
}

void COpenfile::setPointFields(const CInfo& info, int k, const Ray& ray, SamplePoint& p) {
    const int32_t length = info.sampleLength;
    const double dt = info.sampleInterval;
    p.depth = ray.destL;
    p.threshold = 0.0f;
    p.delay = ray.delay;
    p.gain = ray.gain;
    p.amplitudeDb = ray.adb;
    p.tIndexValue = static_cast<float>(std::trunc((static_cast<double>(ray.t) - ray.delay) / dt));
    // T was written with the delay in force, Ta with its whole microseconds.
    const double delay = ray.delay == -1.0f ? info.sections[k].delay : ray.delay;
    p.tIndex = sampleIndexFrom((ray.t - delay) / dt - 1.0, length);
    p.ampIndex = sampleIndexFrom((ray.ta - std::trunc(delay)) / dt - 1.0, length);
    const size_t at = static_cast<size_t>(p.ampIndex);
    const int32_t ampCode = at < p.samples.size() ? p.samples[at] : 2048;
    p.amplitude = static_cast<float>(
        amplitudeToDb(pointMetrics(info, k + 1, p.tIndex, p.depth, p.gain, ampCode, p.delay).amplitude));
}

// Reads the waveforms of placed points straight into them and sets their fields. Copying a
// quarter gigabyte into fresh memory is processor work (page faults, the kernel's copy), so two
// threads share it, each taking the next stretch of the file; adjacent stretches keep the disk
// reading in order.
class COpenfile::WaveformFill {
  public:
    const CInfo& info;
    const SectionLists& lists;
    static constexpr size_t kStretch = 2048;             // rays: 4 MB of 1 024-sample waveforms
    using Cursors = std::array<uint32_t, kMaxSections>;  // the next point of each list's batch

    const RayVector& rays;
    std::array<PointBatch, kMaxSections>& batches;  // the points, in file order per list
    std::span<const Cursors> stretchStarts;         // the first point of each stretch
    const std::array<bool, kMaxSections>& direct;
    ChdSource source;

    // Fills every point; 0, or the errno of the first failure.
    int run(const std::vector<uint32_t>& levelStarts, const ProgressFn& progress) const {
        std::atomic<size_t> next{0};
        std::atomic<int> failure{0};
        auto work = [&](const ProgressFn* report) {
            for (size_t at; !failure.load() && (at = next.fetch_add(kStretch)) < rays.size();) {
                const size_t end = std::min(rays.size(), at + kStretch);
                if (const int err = fillStretch(at, end)) {
                    int none = 0;
                    failure.compare_exchange_strong(none, err);
                    return;
                }
                if (report && *report) {
                    const auto levels = std::upper_bound(levelStarts.begin(), levelStarts.end(), end - 1);
                    (*report)(static_cast<int>(levels - levelStarts.begin()),
                              static_cast<int>(levelStarts.size()));
                }
            }
        };
        {
            std::jthread helper;
            try {
                if (rays.size() > kStretch) helper = std::jthread(work, nullptr);
            } catch (const std::system_error&) {
                // No second thread: this one does it all.
            }
            work(&progress);  // progress is reported from the caller's thread only
        }
        return failure.load();
    }

  private:
    static constexpr size_t kRunWaves = 256;  // waveforms per scattered read

    // The slot of the list that takes ray r; -1 for a pair no list holds.
    int slotOf(size_t r) const {
        const int si = rays[r].si;
        if (si < 0 || si >= kMaxSections) return -1;
        const int k = kSiSectionSlot[si];
        return lists[k] ? k : -1;
    }

    // Rays [first, last); 0 or an errno.
    int fillStretch(size_t first, size_t last) const {
        const int32_t length = info.sampleLength;
        const size_t waveBytes = 2 * static_cast<size_t>(length);
        Cursors next = stretchStarts[first / kStretch];
        std::array<iovec, kRunWaves> run;
        std::array<SamplePoint*, kRunWaves> runPoints;
        for (size_t r = first; r < last;) {
            const int k = slotOf(r);
            if (k < 0) {
                ++r;
                continue;
            }
            const uint64_t offset = 2 * static_cast<uint64_t>(rays[r].waveIndex);
            if (!direct[k]) {
                SamplePoint& p = batches[k][next[k]++];
                if (const int err = fillConverted(p, k, offset)) return err;
                setPointFields(info, k, rays[r], p);
                ++r;
                continue;
            }
            // Adjacent waveforms are read together, scattered into their points, and made codes
            // while they are still in the cache.
            size_t n = 0;
            for (int q = k; n < run.size() && r + n < last; ++n) {
                if (n > 0) q = slotOf(r + n);
                if (q < 0 || !direct[q] ||
                    2 * static_cast<uint64_t>(rays[r + n].waveIndex) != offset + n * waveBytes)
                    break;
                runPoints[n] = &batches[q][next[q]++];
                run[n] = iovec{runPoints[n]->samples.data(), waveBytes};
            }
            if (!source.scatter(offset, std::span(run.data(), n))) return errno ? errno : EIO;
            for (size_t i = 0; i < n; ++i) {
                SamplePoint& q = *runPoints[i];
                for (uint16_t& v : q.samples)
                    v = static_cast<uint16_t>(v + kChdZeroCode);
                setPointFields(info, kSiSectionSlot[rays[r + i].si], rays[r + i], q);
            }
            r += n;
        }
        return 0;
    }

    // A list of another waveform length (or a big-endian host) takes the samples one by one; the
    // rest of a longer list's waveform is the zero line.
    int fillConverted(SamplePoint& p, int k, uint64_t offset) const {
        const auto length = static_cast<size_t>(info.sampleLength);
        std::vector<uint8_t> stored(2 * length);
        if (!source.read(offset, stored)) return errno ? errno : EIO;
        const auto have = static_cast<size_t>(lists[k]->sampleLength);
        try {
            p.samples.assign(have, uint16_t{2048});
        } catch (const std::bad_alloc&) {
            return ENOMEM;
        }
        for (size_t j = 0; j < std::min(have, length); ++j)
            p.samples[j] = readChdSample(stored.data() + 2 * j);
        return 0;
    }
};

bool COpenfile::readRows(CInfo& info, const SectionLists& lists, const ProgressFn& progress) {
    levelsRead_ = 0;
    droppedLevels_ = 0;
    if (!headerRead_) return failWith(error_.empty() ? std::string_view("文件头没有读取") : error_);

    int fd = -1;
    uint64_t chdSize = 0;
    if (inMemory_) {
        chdSize = chdMemory_.size();
    } else {
        fd = ::open(chdPath_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return failWith(fileErrorText(chdPath_, errno));
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            const int err = errno ? errno : EINVAL;
            ::close(fd);
            return failWith(fileErrorText(chdPath_, err));
        }
        chdSize = static_cast<uint64_t>(st.st_size);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    FileDescriptor chd(fd);
    if (chdSize == 0) return failWith(chdPath_ + ": 文件为空");

    RayVector rays;
    std::vector<uint32_t> levelStarts;
    bool transmitterMoved = false;
    if (!scanRays(info, chdSize, rays, levelStarts, transmitterMoved)) return failWith(kTextNoLevels);
    // The text is not needed any more; give its memory back before the waveforms arrive.
    text_ = {};
    textMemory_.release();
    std::string().swap(ownedText_);

    std::array<bool, kSiCount> seen{};
    std::array<size_t, kMaxSections> adding{};
    for (const Ray& ray : rays) {
        if (ray.si < 0 || ray.si >= kSiCount) continue;
        seen[ray.si] = true;
        if (ray.si < kMaxSections) ++adding[ray.si];
    }
    for (int si = 0; si < kMaxSections; ++si) {
        CSampleDataList* list = lists[kSiSectionSlot[si]];
        if (!list || adding[si] == 0) continue;
        auto guard = list->lock();
        if (list->count + adding[si] > CSampleDataList::kMaxPoints) return failWith(kTextTooManyPoints);
    }

    const int32_t length = info.sampleLength;
    // A list of the file's waveform length takes the stored values as they are, made converter
    // codes in place (on a little-endian host); any other gets them one by one.
    std::array<bool, kMaxSections> direct{};
    for (int k = 0; k < kMaxSections; ++k) {
        direct[k] =
            std::endian::native == std::endian::little && lists[k] && lists[k]->sampleLength == length;
    }

    // Each list's points are built in one batch, without its lock, and linked at the end in one
    // go; a failure before that leaves the lists as they were. Every point and its waveform's
    // memory are set up before anything is read, so that the .CHD goes straight into the
    // waveforms: read into a buffer and copied, a large test's waveforms pass through memory
    // twice.
    std::array<PointBatch, kMaxSections> batches;
    std::vector<WaveformFill::Cursors> stretchStarts;
    try {
        for (int si = 0; si < kMaxSections; ++si) {
            const int k = kSiSectionSlot[si];
            if (lists[k] && adding[si] > 0) batches[k] = PointBatch(adding[si]);
        }
        stretchStarts.resize((rays.size() + WaveformFill::kStretch - 1) / WaveformFill::kStretch);
        WaveformFill::Cursors placed{};
        for (size_t r = 0; r < rays.size(); ++r) {
            if (r % WaveformFill::kStretch == 0) stretchStarts[r / WaveformFill::kStretch] = placed;
            if (rays[r].si < 0 || rays[r].si >= kMaxSections) continue;  // a pair no list holds
            const int k = kSiSectionSlot[rays[r].si];
            if (!lists[k]) continue;
            SamplePoint& p = batches[k][placed[k]++];
            if (direct[k]) p.samples.resize(static_cast<size_t>(length));  // memory taken, not touched
        }
    } catch (const std::bad_alloc&) {
        return failWith(fileErrorText(chdPath_, ENOMEM));
    }

    const WaveformFill fill{
        info, lists, rays, batches, stretchStarts, direct, ChdSource(chd.get(), chdMemory_)};
    if (const int err = fill.run(levelStarts, progress)) return failWith(fileErrorText(chdPath_, err));

    const int total = static_cast<int>(levelStarts.size());
    std::array<size_t, kMaxSections> linked{};
    for (int k = 0; k < kMaxSections; ++k) {
        if (!lists[k] || batches[k].size() == 0) continue;
        const size_t n = batches[k].size();
        if (!lists[k]->appendBatch(batches[k])) {
            for (int j = 0; j < k; ++j) {
                for (size_t i = 0; i < linked[j]; ++i)
                    lists[j]->removeLast();
            }
            return failWith(kTextTooManyPoints);
        }
        linked[k] = n;
    }
    if (progress) progress(total, total);

    for (int si = 0; si < kMaxSections; ++si) {
        SectionPara& s = info.sections[kSiSectionSlot[si]];
        s.display = s.present = seen[si];
    }
    bool tilted = false;
    for (const SectionPara& s : info.sections) {
        if (s.display && s.heightDiff != 0) tilted = true;
    }
    info.testMode = !tilted ? kHorizontal : transmitterMoved ? kInclined : kFan;
    levelsRead_ = total;
    return true;
}

OpenReport openDataFile(std::string_view basePath, CInfo& info, const HeaderReadFn& headerRead,
                        const ProgressFn& progress) {
    const CInfo kept = info;
    COpenfile file(dataFileBase(basePath));
    OpenReport report;
    report.ok = file.parseHeader(info);
    if (report.ok) {
        const SectionLists lists = headerRead ? headerRead(info) : SectionLists{};
        report.ok = file.readRows(info, lists, progress);
    }
    if (!report.ok) {
        info = kept;
        report.error = file.errorText();
    }
    report.levels = file.levelsRead();
    report.droppedLevels = file.droppedLevels();
    return report;
}

}  // namespace lx9
