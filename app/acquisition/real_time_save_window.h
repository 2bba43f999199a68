// The console's side of a real-time save. The worker keeps H = maxPointCount levels in memory
// (level i in chain position i mod H). Each level goes to the files as soon as it is stored, so a
// crash or a power cut loses at most the level being written: on WM_USER+120, +127 and +129 (and
// every new frame) the console asks this object what to post, and gets a write request (+125)
// whenever levels were stored that were not asked for yet, and, once per half window of H/2
// levels, a reload (+126) of the half window just written.
//
// The arithmetic: +125 carries L = the levels stored; the service thread writes every level from
// the first one not yet in the files up to L - 1. With r levels asked for, the reload is due when
// r has reached the next multiple of H/2 since the last reload; it carries r - H/2, the first of
// the last H/2 levels written, whose ring positions the service thread refills from the files.
//
// Threading: the user-interface thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "acquisition/mailbox.h"

namespace lx9 {

class RealTimeSaveWindow {
  public:
    explicit RealTimeSaveWindow(int32_t windowLevels);

    // The requests to post to the service thread, in order, now that `levelsStored` levels of the
    // test have been recorded.
    std::vector<Message> onLevelsChanged(int32_t levelsStored);

    // Levels handed to the service thread for writing so far.
    int32_t levelsRequested() const { return requested_; }

  private:
    int32_t half_;
    int32_t requested_ = 0;
    int32_t nextReload_;  // the requested count at which the next reload is due
};

}  // namespace lx9
