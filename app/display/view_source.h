// Where a view reads what it draws: a record with the lock that guards it, and the six point
// lists. The console's views read the program's globals; a report or a test hands in a file it
// opened itself, with a lock of its own.
#pragma once

#include <mutex>
#include <optional>

#include "data/cinfo.h"
#include "data/globals.h"
#include "data/sample_data_list.h"

namespace lx9 {

struct ViewSource {
    std::optional<SharedInfo> info;  // none: nothing to draw
    SectionLists lists{};
    bool live = false;  // the running test: the waveform view writes its measures back
    // The program's sectionLists, looked up at every redraw: the console re-creates them for
    // each test, so pointers taken earlier would be stale.
    bool globalLists = false;

    SectionLists currentLists() const;
};

// currentInfo (sharedCurrentInfo()) and sectionLists, live.
ViewSource globalViewSource();

}  // namespace lx9
