// Helpers shared by the data-file tests: a scratch folder, point lists, whole-file reads and a
// generated test whose every value can be recomputed from its level and section.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "data/data_file_format.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "data/sample_data_list.h"

namespace lx9::testing_support {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "lx9-datafile-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string base(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

// point(i) wraps by maxPointCount except while a file is viewed; the tests index plainly.
class ViewingState {
  public:
    ViewingState() : saved_(testState.load()) { testState = makeState(kStateViewing); }
    ~ViewingState() { testState = saved_; }

  private:
    uint32_t saved_;
};

using Lists = std::array<std::unique_ptr<CSampleDataList>, kMaxSections>;

inline Lists makeLists(int sampleLength) {
    Lists lists;
    for (int k = 0; k < kMaxSections; ++k)
        lists[k] = std::make_unique<CSampleDataList>(sampleLength, k);
    return lists;
}

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// A record for `pipes` pipes in a given test mode, with sections named as the setup dialog
// names them (the sections in use first) and the pair's paths set to base.
inline CInfo makeInfo(int pipes, int sampleLength, int testMode, const std::string& base) {
    CInfo info;
    info.resetToDefaults();
    info.pipeCount = pipes;
    info.sampleLength = sampleLength;
    info.testMode = testMode;
    info.sampleInterval = 0.4f;
    info.stepMm = 50;
    info.startDepth = 12.0f;
    info.pileLength = 12.5f;
    info.siteName = "示例工程（一期）";
    info.unitName = "检测中心";
    info.personName = "张三";
    info.pileId = "A-12#";
    static const std::array<std::array<const char*, 6>, 4> names = {{
        {"1-2", "1-3", "1-4", "2-3", "2-4", "3-4"},  // 2 pipes: only 1-2 in use
        {"1-2", "1-3", "2-3", "1-4", "2-4", "3-4"},  // 3 pipes
        {"1-2", "1-3", "1-4", "2-3", "2-4", "3-4"},  // 4 pipes
        {"1-2", "1-3", "1-4", "2-3", "2-4", "3-4"},  // 5 pipes: the first six pairs
    }};
    info.sectionCount = pipes == 2 ? 1 : pipes == 3 ? 3 : 6;
    for (int k = 0; k < kMaxSections; ++k) {
        SectionPara& s = info.sections[k];
        s.name = names[static_cast<size_t>(pipes - 2)][static_cast<size_t>(k)];
        s.spacing = 600 + 35 * k;
        s.gain = 70 + 5 * k;
        s.delay = k % 2 ? 99.5f : 100.0f;
        s.zeroTime = 10.5f + k;
        s.lowPass = k % 2 ? 60.0f : 500.0f;
        s.highPass = k % 2 ? 10.0f : 0.5f;
        s.heightDiff = testMode == kHorizontal ? 0 : 250 + 10 * k;
        s.sectionStartDepth = 12.0f;
    }
    info.chtPath = base + ".CHT";
    info.chdPath = base + ".CHD";
    return info;
}

// The sample of a generated test at level l, section entry e, index j.
inline uint16_t generatedCode(int l, int e, int j) {
    return static_cast<uint16_t>((j * 37 + l * 101 + e * 13) % 4096);
}

// Appends `levels` levels of generated points to the lists of the sections in use.
inline void fillLists(const CInfo& info, Lists& lists, int firstLevel, int levels) {
    std::vector<uint16_t> wave(static_cast<size_t>(info.sampleLength));
    for (int l = firstLevel; l < firstLevel + levels; ++l) {
        for (int e = 0; e < info.sectionCount; ++e) {
            for (int j = 0; j < info.sampleLength; ++j)
                wave[static_cast<size_t>(j)] = generatedCode(l, e, j);
            const float depth = info.startDepth - l * info.stepMm / 1000.0f;
            ASSERT_TRUE(lists[e]->append(wave.data(), depth));
            auto guard = lists[e]->lock();
            SamplePoint& p = *lists[e]->tail;
            p.tIndex = 40 + (l * 7 + e * 3) % 200;
            p.ampIndex = p.tIndex + 15;
            p.gain = static_cast<float>(info.sections[e].gain);
            p.delay = (l + e) % 3 == 0 ? -1.0f : info.sections[e].delay;
        }
    }
}

}  // namespace lx9::testing_support
