// Builds small test records and section lists for the analysis tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "analysis/algorithm.h"
#include "data/cinfo.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "data/sample_data_list.h"

namespace lx9::testing {

// One measuring point. With dt 1 µs and delay 0 the travel time is tIndex + 1 µs, so with the
// default spacing of 340 mm, tIndex 84 is 4.0 km/s. The crest sample sits at ampIndex 0.
struct TestPoint {
    int32_t tIndex = 84;
    float amplitudeDb = 158.0f;  // the file's A(dB), copied into dbArray
    uint16_t crest = 3072;       // 1 V at gain 1: 152.04 dB from the waveform
    float gain = 1.0f;
    float delay = 0.0f;
    bool wave = true;
};

class PileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedState_ = testState.load();
        savedLevels_ = maxPointCount.load();
        testState = makeState(kStateViewing);
        maxPointCount = 0;
        info.resetToDefaults();
        info.sampleInterval = 1.0f;
        info.stepMm = 50;
        info.testMode = kHorizontal;
        for (auto& s : info.sections)
            s.present = false;
    }
    void TearDown() override {
        testState = savedState_;
        maxPointCount = savedLevels_;
    }

    // Creates the list of `slot` (present from now on) from the points, deepest first.
    // The list's sectionIndex is left at 0, as a freshly created list has it.
    CSampleDataList& addSection(int slot, const std::vector<TestPoint>& points, float bottom = 20.0f) {
        info.sections[slot].present = true;
        owned_[slot] = std::make_unique<CSampleDataList>(8);
        CSampleDataList& list = *owned_[slot];
        lists[slot] = &list;
        for (size_t i = 0; i < points.size(); ++i) {
            const TestPoint& p = points[i];
            uint16_t wave[8] = {p.crest, 2048, 2048, 2048, 2048, 2048, 2048, 2048};
            EXPECT_TRUE(list.append(wave, bottom - 0.05f * static_cast<float>(i)));
            auto g = list.lock();
            SamplePoint* t = list.tail;
            t->tIndex = p.tIndex;
            t->ampIndex = 0;
            t->gain = p.gain;
            t->delay = p.delay;
            t->amplitudeDb = p.amplitudeDb;
            if (!p.wave) t->samples.clear();
        }
        return list;
    }

    static std::vector<TestPoint> repeat(int n, TestPoint p = {}) { return std::vector<TestPoint>(n, p); }

    CInfo info;
    SectionLists lists{};

  private:
    std::unique_ptr<CSampleDataList> owned_[kMaxSections];
    uint32_t savedState_ = 0;
    int32_t savedLevels_ = 0;
};

}  // namespace lx9::testing
