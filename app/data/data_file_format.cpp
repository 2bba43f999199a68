#include "data/data_file_format.h"

namespace lx9 {

SectionLists listPointers(const std::array<std::unique_ptr<CSampleDataList>, kMaxSections>& lists) {
    SectionLists out{};
    for (int k = 0; k < kMaxSections; ++k)
        out[k] = lists[k].get();
    return out;
}

int rowCountForPipes(int pipeCount) {
    if (pipeCount == 2) return 1;
    if (pipeCount == 3) return 3;
    return 6;
}

std::string dataFileBase(std::string_view path) {
    if (path.size() >= 4) {
        std::string_view tail = path.substr(path.size() - 4);
        auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        std::string folded;
        for (char c : tail)
            folded.push_back(upper(c));
        if (folded == kChtSuffix || folded == kChdSuffix) path.remove_suffix(4);
    }
    return std::string(path);
}

}  // namespace lx9
