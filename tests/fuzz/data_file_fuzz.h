// The reference pair the data-file fuzzers mutate against: a generated test written by the real
// writer into a scratch folder and read back as bytes. Its .CHT is the seed of fuzz_cht and the
// fixed text of fuzz_chd; its .CHD the other way round.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "data/data_file_format.h"
#include "data/data_file_reader.h"
#include "data/data_file_writer.h"
#include "data/globals.h"
#include "data/run_state.h"

namespace lx9::fuzzing {

struct Pair {
    std::string cht;
    std::vector<uint8_t> chd;
};

inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A test of `levels` levels with every section of `pipes` pipes in use.
inline Pair referencePair(int pipes = 4, int testMode = kHorizontal, int sampleLength = 512, int levels = 4) {
    testState = makeState(kStateViewing);
    CInfo info;
    info.resetToDefaults();
    info.pipeCount = pipes;
    info.sectionCount = pipes == 2 ? 1 : pipes == 3 ? 3 : 6;
    info.testMode = testMode;
    info.sampleLength = sampleLength;
    info.siteName = "示例工程";
    const char* names3[6] = {"1-2", "1-3", "2-3", "1-4", "2-4", "3-4"};
    for (int k = 0; k < kMaxSections; ++k) {
        if (pipes == 3) info.sections[k].name = names3[k];
        info.sections[k].heightDiff = testMode == kHorizontal ? 0 : 200 + 10 * k;
    }
    std::string dir = (std::filesystem::temp_directory_path() / "lx9-fuzz-XXXXXX").string();
    if (!::mkdtemp(dir.data())) return {};
    info.chtPath = dir + "/ref.CHT";
    info.chdPath = dir + "/ref.CHD";
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
    std::vector<uint16_t> wave(static_cast<size_t>(sampleLength));
    for (int k = 0; k < kMaxSections; ++k) {
        lists[k] = std::make_unique<CSampleDataList>(sampleLength, k);
        for (int l = 0; k < info.sectionCount && l < levels; ++l) {
            for (int j = 0; j < sampleLength; ++j)
                wave[j] = static_cast<uint16_t>(2048 + ((j * 7 + l + k) % 64) - 32);
            lists[k]->append(wave.data(), info.startDepth - 0.05f * l);
            auto guard = lists[k]->lock();
            lists[k]->tail->tIndex = 50 + l;
            lists[k]->tail->ampIndex = 60 + l;
            lists[k]->tail->gain = 80.0f;
            lists[k]->tail->delay = l % 2 ? -1.0f : 100.0f;
        }
    }
    CSaveFile file([] { return std::string("2026-3-9"); });
    Pair pair;
    if (file.saveAtEnd(info, listPointers(lists))) {
        pair.cht = readAll(info.chtPath);
        const std::string chd = readAll(info.chdPath);
        pair.chd.assign(chd.begin(), chd.end());
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return pair;
}

// Opens a pair held in memory as the service thread opens a file, and checks what an accepted
// file promises: every point has the header's waveform length, and no list overflows.
inline void openPair(std::string cht, const uint8_t* chd, size_t chdSize) {
    COpenfile file(std::move(cht), std::span<const uint8_t>(chd, chdSize));
    CInfo info;
    info.resetToDefaults();
    if (!file.parseHeader(info)) return;
    if (info.sampleLength != 512 && info.sampleLength != 1024) __builtin_trap();
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
    for (int k = 0; k < kMaxSections; ++k)
        lists[k] = std::make_unique<CSampleDataList>(info.sampleLength, k);
    if (!file.readRows(info, listPointers(lists))) return;
    for (auto& list : lists) {
        auto guard = list->lock();
        for (int i = 0; i < list->count; ++i) {
            const SamplePoint* p = list->pointAt(i);
            if (!p || p->samples.size() != static_cast<size_t>(info.sampleLength)) __builtin_trap();
            if (p->tIndex < 0 || p->tIndex >= info.sampleLength || p->ampIndex < 0 ||
                p->ampIndex >= info.sampleLength) {
                __builtin_trap();
            }
        }
    }
}

}  // namespace lx9::fuzzing
