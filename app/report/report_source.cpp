#include "report/report_source.h"

#include "data/data_file_reader.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "data/settings_store.h"

namespace lx9 {

bool openReportTest(const std::string& path, ReportTest& test, std::string& error,
                    const ProgressFn& progress) {
    UploadSettings upload;
    if (loadSettings(test.info, upload, settingsPath()) != LoadResult::Loaded) test.info.resetToDefaults();
    testState = makeState(kStateViewing);
    const OpenReport opened = openDataFile(
        path, test.info,
        [&test](const CInfo& read) {
            for (int k = 0; k < kMaxSections; ++k)
                test.lists[k] = std::make_unique<CSampleDataList>(read.sampleLength, k);
            return test.pointers();
        },
        progress);
    if (!opened.ok) {
        // The reader's reasons name the file already.
        error =
            opened.error.empty() ? "cannot open " + path + ": the file pair could not be read" : opened.error;
        return false;
    }
    test.droppedLevels = opened.droppedLevels;
    return true;
}

}  // namespace lx9
