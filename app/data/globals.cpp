#include "data/globals.h"

namespace lx9 {

CInfo currentInfo;
CInfo savedInfo;
std::array<std::unique_ptr<CSampleDataList>, kMaxSections> sectionLists;
std::atomic<int32_t> maxPointCount{0};
std::atomic<uint32_t> testState{makeState(kStateIdle)};
UploadSettings uploadSettings;

}  // namespace lx9
