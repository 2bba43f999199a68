#include "acquisition/real_time_save_window.h"

#include <algorithm>

#include "acquisition/messages.h"

namespace lx9 {

RealTimeSaveWindow::RealTimeSaveWindow(int32_t windowLevels)
    : half_(std::max<int32_t>(windowLevels / 2, 1)), nextReload_(half_) {}

std::vector<Message> RealTimeSaveWindow::onLevelsChanged(int32_t levelsStored) {
    std::vector<Message> requests;
    // Levels dropped by lowering the probes and stored again are in the files already.
    if (levelsStored <= requested_) return requests;
    requested_ = levelsStored;
    requests.push_back(Message{kMsgWriteHalfWindow, static_cast<uintptr_t>(requested_), 0, 0, {}});
    if (requested_ >= nextReload_) {
        // One reload however many half windows a resample jumped: only the newest one is whole
        // in memory.
        requests.push_back(Message{kMsgReloadRecent, static_cast<uintptr_t>(requested_ - half_), 0, 0, {}});
        nextReload_ = requested_ + half_;
    }
    return requests;
}

}  // namespace lx9
