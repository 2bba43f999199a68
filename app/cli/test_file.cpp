#include "cli/test_file.h"

#include "data/data_file_format.h"
#include "data/data_file_reader.h"
#include "data/globals.h"
#include "data/run_state.h"

namespace lx9::cli {

std::array<CSampleDataList*, kMaxSections> LoadedTest::pointers() const {
    return listPointers(lists);
}

bool loadTestFile(const std::string& path, LoadedTest& test, std::string& error) {
    std::string base = path;
    if (base.size() > 4) {
        std::string suffix = base.substr(base.size() - 4);
        for (char& c : suffix)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (suffix == kChtSuffix || suffix == kChdSuffix) base.resize(base.size() - 4);
    }
    test.info.resetToDefaults();
    // The lists are walked by index as a viewed file, never as a ring of recent levels.
    testState = makeState(kStateViewing);
    const OpenReport report = openDataFile(base, test.info, [&test](const CInfo& info) {
        for (int k = 0; k < kMaxSections; ++k)
            test.lists[k] = std::make_unique<CSampleDataList>(info.sampleLength, k);
        return listPointers(test.lists);
    });
    if (!report.ok) {
        error = report.error.empty() ? "cannot open " + path : report.error;
        return false;
    }
    return true;
}

}  // namespace lx9::cli
