// Where a view reads what it draws: a record, the lock that guards it (if any) and the six point
// lists. The console's views read the program's globals; a report or a test hands in a file it
// opened itself.
#pragma once

#include <mutex>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

struct ViewSource {
    const CInfo* info = nullptr;
    std::mutex* infoLock = nullptr;  // guards *info while other threads may change it
    SectionLists lists{};
    bool live = false;  // the running test: the waveform view writes its measures back
};

// currentInfo under currentInfoLock and sectionLists, live.
ViewSource globalViewSource();

}  // namespace lx9
