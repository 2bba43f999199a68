// A saved test opened for a report or an export, as `lx9 analyse` opens it: the settings give
// what the files do not hold (the standard, the picking parameters), the pair gives the rest.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "data/cinfo.h"
#include "data/data_file_format.h"
#include "data/sample_data_list.h"

namespace lx9 {

struct ReportTest {
    CInfo info;
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
    int droppedLevels = 0;  // incomplete levels at the end of the file, left out
    SectionLists pointers() const { return listPointers(lists); }
};

// Opens FILE.CHT (or its base path). Walks the lists as a viewed file (sets the acquisition mode
// word to viewing, as the command-line tools do). False with the reason in `error`.
bool openReportTest(const std::string& path, ReportTest& test, std::string& error,
                    const ProgressFn& progress = {});

}  // namespace lx9
