#include "display/view_source.h"

#include "analysis/algorithm.h"
#include "data/globals.h"
#include "data/run_state.h"

namespace lx9 {

SectionLists ViewSource::currentLists() const {
    return globalLists ? globalSectionLists() : lists;
}

ViewSource globalViewSource() {
    return {sharedCurrentInfo(), {}, true, true};
}

}  // namespace lx9
