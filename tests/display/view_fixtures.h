// Records and lists built by hand for the view tests.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9::testing {

// n sections shown (slots 0..n-1), sample interval 1 µs, section delay 0, spacing 300 mm.
inline CInfo viewRecord(int shown, int32_t sampleLength = 512) {
    CInfo info;
    info.resetToDefaults();
    info.pipeCount = 4;
    info.sectionCount = 6;
    info.rebuildSectionNames();
    info.sampleInterval = 1.0f;
    info.sampleLength = sampleLength;
    info.pileLength = 20.0f;
    info.stepMm = 50;
    info.testMode = kHorizontal;
    for (int k = 0; k < kMaxSections; ++k) {
        SectionPara& s = info.sections[static_cast<size_t>(k)];
        s.present = s.display = k < shown;
        s.name = std::string(kPairNames[static_cast<size_t>(k)]);
        s.spacing = 300;
        s.delay = 0.0f;
    }
    return info;
}

struct ViewLists {
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> owned;
    SectionLists pointers() const {
        SectionLists p{};
        for (int k = 0; k < kMaxSections; ++k)
            p[static_cast<size_t>(k)] = owned[static_cast<size_t>(k)].get();
        return p;
    }
};

// Appends one picked point: the waveform, depth, tIndex, ampIndex, gain and delay 0.
inline void addPoint(CSampleDataList& list, const std::vector<uint16_t>& wave, float depth, int32_t tIndex,
                     int32_t ampIndex, float gain = 80.0f) {
    std::vector<uint16_t> w = wave;
    w.resize(static_cast<size_t>(list.sampleLength), 2048);
    list.append(w.data(), depth);
    auto guard = list.lock();
    SamplePoint* p = list.tail;
    p->tIndex = tIndex;
    p->ampIndex = ampIndex;
    p->gain = gain;
    p->delay = 0.0f;
}

// A pile with a defect for pictures and benchmarks: four pipes, six sections of 1024 samples,
// `levels` levels 50 mm apart from the pile's foot; between 40 % and 50 % of the levels the
// arrival is late and the wave weak. Each level's picks are set as the worker would.
inline void fillDefectPile(CInfo& info, ViewLists& lists, int levels) {
    info = viewRecord(6, 1024);
    info.sampleInterval = 0.4f;
    info.stepMm = 50;
    info.pileLength = static_cast<float>((levels - 1) * 0.05 + 0.5);
    info.startDepth = info.pileLength - 0.5f;
    info.pileId = "12#";
    std::vector<uint16_t> wave(1024);
    for (int k = 0; k < kMaxSections; ++k) {
        info.sections[static_cast<size_t>(k)].spacing = k == 2 || k == 3 ? 1080 : 760;
        auto& list = lists.owned[static_cast<size_t>(k)];
        list = std::make_unique<CSampleDataList>(1024, k);
        for (int i = 0; i < levels; ++i) {
            const bool defect = i > levels * 4 / 10 && i < levels / 2 && k < 3;
            const int spacing = info.sections[static_cast<size_t>(k)].spacing;
            // About 4.2 km/s in sound concrete, 3.1 km/s in the defect; a little scatter.
            const double v = (defect ? 3.1 : 4.2) + 0.05 * std::sin(i * 0.37 + k);
            const int arrival = static_cast<int>(spacing / v / info.sampleInterval);
            const double gain = defect ? 500.0 : 1500.0;
            for (int j = 0; j < 1024; ++j) {
                const double t = j - arrival;
                const double s =
                    t < 0 ? 0.0 : std::sin(t * 0.3) * (1 - std::exp(-t / 8.0)) * std::exp(-t / 220.0);
                wave[static_cast<size_t>(j)] = static_cast<uint16_t>(2048 + gain * s);
            }
            int peak = arrival;
            for (int j = arrival; j < std::min(arrival + 60, 1024); ++j) {
                if (std::abs(wave[static_cast<size_t>(j)] - 2048) >
                    std::abs(wave[static_cast<size_t>(peak)] - 2048))
                    peak = j;
            }
            addPoint(*list, wave, info.startDepth - 0.05f * i, arrival, peak);
        }
    }
}

}  // namespace lx9::testing
