// COpenfile: reads a data file pair (.CHT text, .CHD waveforms) back into a test record and the
// six point lists, for viewing, analysis and upload.
//
// Nothing in the files is trusted: every count, position, length and section number is checked
// against the file sizes and the record's limits before it is used, no read goes outside the
// files or a buffer, and a bad file fails with a message saying which part could not be used. A
// pair whose last level was cut short (a process killed or a power cut while it was written)
// opens with every complete level; droppedLevels() says how many were left out.
//
// Threading contract: one COpenfile per open operation, used by one thread (the background
// service thread, or the upload's). It fills the CInfo it is given without a lock (the console
// changes nothing while an open runs) and appends to the lists through their own locking.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/cinfo.h"
#include "data/data_file_format.h"
#include "data/wave_allocator.h"

namespace lx9 {

class COpenfile {
  public:
    // Remembers basePath + ".CHT" and basePath + ".CHD" (a lower-case suffix is found too, as a
    // Windows file system would) and reads the whole .CHT. A file that cannot be opened, or is
    // implausibly large, leaves the text empty and says why in errorText().
    explicit COpenfile(std::string_view basePath);

    // A pair held in memory (fuzzing, tests): the .CHT text and the .CHD bytes, which must
    // outlive the object.
    COpenfile(std::string chtText, std::span<const uint8_t> chdBytes);

    // Fills the header fields of `info` (job texts, pile and pipes, the sections named in the
    // section table, step, sampling, start depth). False when the text is empty or a value the
    // rest of the program depends on is unusable; `info` is then partly filled and the caller
    // restores its copy.
    bool parseHeader(CInfo& info);

    // Appends one point per ray row of every complete level to the list of its section and
    // settles the sections' display and present flags and the test mode. Call after
    // parseHeader with the lists to fill (null entries are skipped). False when the .CHD cannot
    // be read or no complete level is left; the points appended by this call are then removed.
    // Progress is reported in levels.
    bool readRows(CInfo& info, const SectionLists& lists, const ProgressFn& progress = {});

    const std::string& chtPath() const { return chtPath_; }
    const std::string& chdPath() const { return chdPath_; }
    // Why the last step failed, for the user; empty when nothing failed.
    const std::string& errorText() const { return error_; }
    int levelsRead() const { return levelsRead_; }
    // Levels found in the files but left out because they were incomplete.
    int droppedLevels() const { return droppedLevels_; }
    // Whether the waveforms were located by the Seek column (true) or by row position.
    bool seekHonoured() const { return seekHonoured_; }

  private:
    // One ray row kept between the scan of the text and the read of the waveforms.
    struct Ray {
        float destL, gain, delay, t, ta, adb;
        uint32_t waveIndex;  // offset of the waveform in the .CHD, in 16-bit values
        int8_t si;
    };

    size_t findKey(std::string_view key) const;
    std::string_view labelled(std::string_view key, bool cut) const;
    std::string_view column(size_t keyPos, size_t rowLength, int row, size_t width) const;
    bool failWith(std::string_view message);
    // 120 000 rows in a large test: kept in huge-page memory.
    using RayVector = std::vector<Ray, LargeAllocator<Ray>>;
    bool scanRays(const CInfo& info, uint64_t chdSize, RayVector& rays, std::vector<uint32_t>& levelStarts,
                  bool& transmitterMoved);
    class WaveformFill;  // reads the .CHD into the points being built
    // The fields of a point of section slot k from its row, once its waveform is in.
    static void setPointFields(const CInfo& info, int k, const Ray& ray, SamplePoint& p);

    // Memory for the text of a file (allocateLarge): huge-page-advised, so that a 16 MB text costs a handful
    // of page faults rather than thousands, and not zeroed before it is read into.
    class TextMemory {
      public:
        TextMemory() = default;
        ~TextMemory() { release(); }
        TextMemory(const TextMemory&) = delete;
        TextMemory& operator=(const TextMemory&) = delete;
        char* allocate(size_t bytes);  // nullptr when there is no memory
        void release();

      private:
        char* data_ = nullptr;
        size_t bytes_ = 0;
    };

    std::string chtPath_, chdPath_;
    std::string_view text_;  // the whole .CHT, GBK bytes as stored: in textMemory_ or ownedText_
    TextMemory textMemory_;
    std::string ownedText_;
    std::span<const uint8_t> chdMemory_;
    bool inMemory_ = false;
    bool headerRead_ = false;
    size_t headerEnd_ = 0;  // keys are searched before this position only
    size_t rayKeyPos_ = std::string::npos;
    std::string error_;
    int levelsRead_ = 0;
    int droppedLevels_ = 0;
    bool seekHonoured_ = false;
};

// What an open for viewing reports.
struct OpenReport {
    bool ok = false;
    std::string error;  // why it failed, for the user
    int levels = 0;
    int droppedLevels = 0;
};

// Called once the header is read, with the header fields filled in; returns the lists to fill
// (the console recreates them here with the waveform length just read).
using HeaderReadFn = std::function<SectionLists(const CInfo& info)>;

// The whole open of a pair for viewing: keeps a copy of `info`, reads the header, calls
// headerRead, reads the rows, and on any failure copies the kept record back into `info`.
OpenReport openDataFile(std::string_view basePath, CInfo& info, const HeaderReadFn& headerRead,
                        const ProgressFn& progress = {});

}  // namespace lx9
