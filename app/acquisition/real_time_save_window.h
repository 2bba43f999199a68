// The console's side of a real-time save. The worker keeps H = maxPointCount levels in memory
// (level i in chain position i mod H); the service thread must write each half window of H/2
// levels before the ring comes round to it. On WM_USER+120, +127 and +129 the console asks this
// object what to post: it alternates between writing the last complete half window (+125) and
// reloading it (+126), each once per half window.
//
// The arithmetic: with h = H / 2 and w levels already written, the half window [w, w + h) is
// complete once w + h levels are stored; +125 then carries L = w + h (the service thread writes
// L - h .. L - 1), and the following request +126 carries L - h, the first level of that window,
// whose ring positions the reload refills from the files.
//
// Threading: the user-interface thread only.
#pragma once

#include <cstdint>
#include <optional>

#include "acquisition/mailbox.h"

namespace lx9 {

class RealTimeSaveWindow {
  public:
    explicit RealTimeSaveWindow(int32_t windowLevels);

    // The request to post to the service thread, if any, now that `levelsStored` levels of the
    // test have been recorded.
    std::optional<Message> onLevelsChanged(int32_t levelsStored);

    // Levels handed to the service thread for writing so far.
    int32_t levelsRequested() const { return written_; }

  private:
    int32_t half_;
    int32_t written_ = 0;
    bool writeDue_ = true;
    bool reloadDue_ = false;
};

}  // namespace lx9
