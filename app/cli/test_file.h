// Opening a saved test for the command line: the .CHT/.CHD pair into a record and six point lists
// that the command owns.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9::cli {

struct LoadedTest {
    CInfo info;
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
    std::array<CSampleDataList*, kMaxSections> pointers() const;
};

// Opens FILE.CHT (or its base path without the suffix). False with the reason in `error`.
bool loadTestFile(const std::string& path, LoadedTest& test, std::string& error);

}  // namespace lx9::cli
