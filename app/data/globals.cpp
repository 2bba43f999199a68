#include "data/globals.h"

namespace lx9 {

CInfo currentInfo;
CInfo savedInfo;
std::mutex currentInfoLock;
std::array<std::unique_ptr<CSampleDataList>, kMaxSections> sectionLists;
std::atomic<int32_t> maxPointCount{0};
UploadSettings uploadSettings;

SharedInfo sharedCurrentInfo() {
    return SharedInfo(currentInfo, currentInfoLock);
}

}  // namespace lx9
