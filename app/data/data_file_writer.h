// CSaveFile: writes a test's data file pair (.CHT text, .CHD waveforms) from the test record and
// the six point lists, level by level while the test runs (real-time save) or all at once when
// it ends (save at the end).
//
// Durability. In real-time mode every level is one write to each file, the .CHD first, each
// followed by fdatasync: a row never reaches the .CHT before its waveform is on disk, and a
// killed process or a power cut loses at most the level being written. Save at the end writes
// to temporary names beside the targets and renames both into place only when the pair is
// complete, so the user's file name never holds a half-written pair and an existing pair is
// replaced only by a finished one.
//
// Threading contract: one CSaveFile per test, owned and called by the background service thread
// only; no member is safe to call from two threads at once. The writer reads the caller's CInfo
// without a lock (the console changes nothing while file work runs) and reads each point under
// its list's lock(), holding one list's lock at a time and only while it copies one point.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/background_sync.h"
#include "data/cinfo.h"
#include "data/data_file_format.h"
#include "data/wave_allocator.h"

namespace lx9 {

class CSaveFile {
  public:
    // Where createFiles puts the pair.
    enum class Target {
        InPlace,        // real-time save: the user's names, emptied when they exist
        ReplaceAtClose  // save at the end: temporary names, renamed over the user's at close()
    };

    // The text of the DATE line; the local date ("%d-%d-%d") unless a caller fixes it.
    using DateSource = std::function<std::string()>;

    explicit CSaveFile(DateSource date = todayText);
    // Closes the files; an uncommitted save-at-end pair is removed, the user's pair untouched.
    virtual ~CSaveFile();
    CSaveFile(const CSaveFile&) = delete;
    CSaveFile& operator=(const CSaveFile&) = delete;

    // Opens info.chtPath and info.chdPath (or their temporary siblings) and writes the header:
    // blocks 1 to 5 and the title and header lines of the ray block. Fixes the pair's layout
    // (sample length, waveforms per level, present slots) for every later level.
    bool createFiles(const CInfo& info, Target target = Target::InPlace);

    // Appends depth level `level` (point(level) of each list): the level's rows to the .CHT and
    // its block to the .CHD, one write each. Real-time files are synced before this returns.
    bool writeLevel(const CInfo& info, const SectionLists& lists, int level);

    // Refills the points of the most recent half window (H = windowLevels, normally
    // maxPointCount) from the files: the last H/2 levels written go to points level mod H,
    // level mod H + 1, ... (modulo H), which take depth, gain and waveform from the files.
    // False, points untouched, when the files cannot be read back.
    bool reloadRecent(const CInfo& info, const SectionLists& lists, int level, int windowLevels);

    // Closes both files. A save-at-end pair is synced and renamed into place here; false (and
    // the temporary files removed) when that fails or when a write failed before.
    bool close();

    // Save at the end in one call: create the pair under temporary names, write every level of
    // the lists in chain order, report progress after every 20th level and for each of the
    // last 20, then close (which renames the pair into place).
    bool saveAtEnd(const CInfo& info, const SectionLists& lists, const ProgressFn& progress = {});

    // Completes a real-time test: writes every level from firstLevel (-1: the level after the
    // last one written) up to the level of the first list's current point, reporting progress
    // after every 10th level and for each of the last ten, then closes the files. With a window
    // of H > 0 levels the lists are a ring and level L lives at chain position L mod H.
    bool completeRealTime(const CInfo& info, const SectionLists& lists, int firstLevel = -1,
                          const ProgressFn& progress = {}, int windowLevels = 0);

    bool isOpen() const { return chtFile_ >= 0; }
    // Levels written since createFiles.
    int levelsWritten() const { return static_cast<int>(levels_.size()); }
    // 1-based .CHD position where the next level's block starts.
    int64_t nextChdPos() const { return nextChdPos_; }
    int rowCount() const { return rowCount_; }
    // The reason of the last failure ("path: reason"), empty when none.
    const std::string& errorText() const { return error_; }

  private:
    // Where one level went: its first row in the .CHT, its row count, its block in the .CHD.
    struct LevelRecord {
        uint64_t chtOffset = 0;
        int rows = 0;
        uint64_t chdOffset = 0;
    };
    // How one level's point is found in a list: point(level) for real-time levels, the chain
    // position for save at the end.
    using PointOf = std::function<SamplePoint*(CSampleDataList&)>;

    bool writeLevelWith(const CInfo& info, const SectionLists& lists, const PointOf& pointOf);
    bool fail(const std::filesystem::path& where, int err);
    bool flushPending();
    void closeFiles();
    void discardTemporaries();

    DateSource date_;
    int chtFile_ = -1;
    int chdFile_ = -1;
    Target target_ = Target::InPlace;
    std::filesystem::path chtPath_, chdPath_;        // the user's names
    std::filesystem::path chtWritten_, chdWritten_;  // the names being written
    bool failed_ = false;
    std::string error_;

    int64_t nextChdPos_ = 1;
    uint64_t chtSize_ = 0;
    int rowCount_ = 0;
    std::array<std::string_view, kMaxSections> slotNames_{};
    std::array<int, kMaxSections> slotSi_{};
    std::array<bool, kMaxSections> slotPresent_{};
    std::array<int, kMaxSections> slotEntry_{};  // entry of `sections` carrying each present slot
    int sampleLength_ = 0;
    int sectionCount_ = 0;
    int64_t bytesPerWaveform_ = 0;
    std::vector<LevelRecord> levels_;

    // Per-level buffers, kept between levels so a long test allocates once.
    // Level values as the .CHD stores them; growing them leaves the new values unset, as every
    // one is written right after (WaveAllocator).
    using StoredValues = std::vector<int16_t, WaveAllocator<int16_t>>;
    StoredValues levelBuffer_;
    std::string rowBuffer_;
    // Save-at-end gathers levels into a few large writes: the temporary files need no per-level
    // durability, and one small write per level and file costs more than the data itself.
    // The levels' values go straight into chdPending_; the disk is asked to start writing each
    // piece as it is handed over, so that the final sync waits for little more than the last.
    StoredValues chdPending_;
    std::string chtPending_;
    uint64_t chdPendingAt_ = 0;
    uint64_t chtPendingAt_ = 0;
    std::unique_ptr<BackgroundSync> chdSync_;  // save at the end: syncs the .CHD as pieces go out
};

// The T(us), Ta(us) and A(dB) columns of point p's ray row in section entry `entry` (3 × 8
// characters): the part of a row a pick decides. Rows are written with it, and saved hand picks
// replace exactly these columns.
void putRayPickColumns(std::string& out, const CInfo& info, int entry, const SamplePoint& p);

// Index of the level recorded at `depth`: the distance from the test's start (startDepth in a
// horizontal test, slot 0's sectionStartDepth − heightDiff / 1000 otherwise) in steps, to the
// nearest level. -1 when there is no step or the depth lies below the start.
int lastMeasuredLevel(const CInfo& info, float depth);

}  // namespace lx9
