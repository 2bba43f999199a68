#include "display/view_source.h"

#include "acquisition/shared_flags.h"
#include "analysis/algorithm.h"
#include "data/globals.h"

namespace lx9 {

ViewSource globalViewSource() {
    return {&currentInfo, &currentInfoLock, globalSectionLists(), true};
}

}  // namespace lx9
