#include "acquisition/real_time_save_window.h"

#include <algorithm>

#include "acquisition/messages.h"

namespace lx9 {

RealTimeSaveWindow::RealTimeSaveWindow(int32_t windowLevels)
    : half_(std::max<int32_t>(windowLevels / 2, 1)) {}

std::optional<Message> RealTimeSaveWindow::onLevelsChanged(int32_t levelsStored) {
    if (writeDue_) {
        if (levelsStored < written_ + half_) return std::nullopt;
        written_ += half_;
        writeDue_ = false;
        reloadDue_ = true;
        return Message{kMsgWriteHalfWindow, static_cast<uintptr_t>(written_), 0, 0, {}};
    }
    if (reloadDue_) {
        reloadDue_ = false;
        writeDue_ = true;
        return Message{kMsgReloadRecent, static_cast<uintptr_t>(written_ - half_), 0, 0, {}};
    }
    return std::nullopt;
}

}  // namespace lx9
