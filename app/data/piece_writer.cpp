#include "data/piece_writer.h"

#include <fcntl.h>

#include <cerrno>
#include <span>

#include "data/atomic_file.h"

namespace lx9 {

PieceFailure writePiece(int chdFile, int chtFile, const SavePiece& piece) {
    const std::span<const uint8_t> values(reinterpret_cast<const uint8_t*>(piece.chd.data()),
                                          piece.chd.size() * sizeof(int16_t));
    const std::span<const uint8_t> rows(reinterpret_cast<const uint8_t*>(piece.cht.data()), piece.cht.size());
    if (!writeAllAt(chdFile, values, piece.chdAt)) return {true, errno ? errno : EIO};
    if (!writeAllAt(chtFile, rows, piece.chtAt)) return {false, errno ? errno : EIO};
    // Only a start: the disk writes while the next piece is built.
    ::sync_file_range(chdFile, static_cast<off_t>(piece.chdAt), static_cast<off_t>(values.size()),
                      SYNC_FILE_RANGE_WRITE);
    ::sync_file_range(chtFile, static_cast<off_t>(piece.chtAt), static_cast<off_t>(rows.size()),
                      SYNC_FILE_RANGE_WRITE);
    return {};
}

PieceWriter::PieceWriter(int chdFile, int chtFile)
    : chdFile_(chdFile), chtFile_(chtFile), thread_([this] { run(); }) {}

PieceWriter::~PieceWriter() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool PieceWriter::hand(SavePiece& piece) {
    std::unique_lock<std::mutex> g(lock_);
    changed_.wait(g, [&] { return !waiting_ || failure_.err != 0; });
    if (failure_.err != 0) return false;
    waiting_ = std::move(piece);
    piece = std::move(spare_);
    spare_ = {};
    piece.chd.clear();
    piece.cht.clear();
    g.unlock();
    changed_.notify_all();
    return true;
}

bool PieceWriter::drain() {
    std::unique_lock<std::mutex> g(lock_);
    changed_.wait(g, [&] { return (!waiting_ && !writing_) || failure_.err != 0; });
    return failure_.err == 0;
}

PieceFailure PieceWriter::failure() const {
    std::lock_guard<std::mutex> g(lock_);
    return failure_;
}

void PieceWriter::run() {
    for (;;) {
        SavePiece piece;
        {
            std::unique_lock<std::mutex> g(lock_);
            // A piece handed before the end is still written.
            changed_.wait(g, [&] { return waiting_ || stop_; });
            if (!waiting_) return;
            piece = std::move(*waiting_);
            waiting_.reset();
            writing_ = true;
        }
        changed_.notify_all();
        const PieceFailure result = writePiece(chdFile_, chtFile_, piece);
        {
            std::lock_guard<std::mutex> g(lock_);
            writing_ = false;
            if (result.err != 0 && failure_.err == 0) failure_ = result;
            spare_ = std::move(piece);
        }
        changed_.notify_all();
    }
}

}  // namespace lx9
