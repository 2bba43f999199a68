// Writes the pieces of a pair being saved at the end from a thread of its own, while the caller
// builds the next piece: copying a quarter gigabyte into the kernel's cache is work a second
// core can do beside the formatting. Each piece is also handed to the disk at once, so that
// the final sync waits for little more than the last piece.
//
// One piece waits at most: hand() blocks while the previous one has not been taken. The caller
// still syncs the files (drain() first); nothing here makes a piece durable.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lx9 {

// A stretch of both files: .CHD values as stored and .CHT rows, each at its byte offset.
struct SavePiece {
    std::vector<int16_t> chd;
    uint64_t chdAt = 0;
    std::string cht;
    uint64_t chtAt = 0;
};

// Which file a failed write was for, and errno; err 0: no failure.
struct PieceFailure {
    bool chd = false;
    int err = 0;
};

// Writes `piece` to the two files and asks the disk to start on it. Used by the thread, and by
// a caller that could not start one.
PieceFailure writePiece(int chdFile, int chtFile, const SavePiece& piece);

class PieceWriter {
  public:
    // Starts the thread; throws std::system_error when there is none to start. The files must
    // stay open until the writer is destroyed.
    PieceWriter(int chdFile, int chtFile);
    // Writes what it was handed, then ends the thread.
    ~PieceWriter();
    PieceWriter(const PieceWriter&) = delete;
    PieceWriter& operator=(const PieceWriter&) = delete;

    // Takes `piece` to write and leaves in it an emptied pair of buffers (those of a piece
    // already written, so their memory is used again). False, piece untouched, once a write
    // has failed.
    bool hand(SavePiece& piece);
    // Waits until every piece handed over is written. False when a write failed.
    bool drain();
    PieceFailure failure() const;

  private:
    void run();

    int chdFile_, chtFile_;
    mutable std::mutex lock_;  // guards everything below
    std::condition_variable changed_;
    std::optional<SavePiece> waiting_;
    SavePiece spare_;
    bool writing_ = false;
    bool stop_ = false;
    PieceFailure failure_;
    std::thread thread_;  // last: starts once the rest is set up
};

}  // namespace lx9
