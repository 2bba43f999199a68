// A whole simulated crosshole test for the wave-train figures and pictures: four pipes, six
// sections, one level per step from the start depth to the head, waveforms from the simulator's
// pile model (a weak zone on 1-2 and 1-3 a third of the way up), picks from the model's truth.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "data/cinfo.h"
#include "data/point_metrics.h"
#include "data/sample_data_list.h"
#include "pile_model.h"
#include "synth_waveform.h"

namespace lx9::bench {

struct SimulatedTrainTest {
    CInfo info;
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> owned;
    SectionLists lists{};
    int levels = 0;
};

inline std::unique_ptr<SimulatedTrainTest> simulatedTrainTest(float startDepth, int32_t stepMm,
                                                              int32_t sampleLength = 512) {
    auto t = std::make_unique<SimulatedTrainTest>();
    CInfo& info = t->info;
    info.resetToDefaults();
    info.pipeCount = 4;
    info.sectionCount = 6;
    info.rebuildSectionNames();
    info.startDepth = startDepth;
    info.pileLength = startDepth;
    info.stepMm = stepMm;
    info.sampleLength = sampleLength;
    info.sampleInterval = 0.4f;
    info.standard = std::string(kStandardBuilding);
    for (SectionPara& s : info.sections) {
        s.delay = 100.0f;
        s.gain = 300;
    }

    sim::Scenario scenario;
    scenario.pileLengthM = startDepth;
    scenario.pileDiameterMm = 1200.0;
    const double zoneTop = startDepth * 0.62;
    scenario.defects.push_back(
        {zoneTop, zoneTop + std::max(0.6, startDepth * 0.04), {"1-2", "1-3"}, 18.0, 14.0, false});
    const sim::PileModel model(scenario, 7);
    t->levels = static_cast<int>(std::lround(startDepth * 1000.0 / stepMm)) + 1;

    std::vector<uint16_t> wave(static_cast<size_t>(sampleLength));
    for (int k = 0; k < kMaxSections; ++k) {
        SectionPara& s = info.sections[static_cast<size_t>(k)];
        const int a = s.name[0] - '0';
        const int b = s.name[2] - '0';
        s.spacing = static_cast<int32_t>(model.spacingMm(a, b));
        t->owned[static_cast<size_t>(k)] = std::make_unique<CSampleDataList>(sampleLength, k);
        CSampleDataList& list = *t->owned[static_cast<size_t>(k)];
        for (int i = 0; i < t->levels; ++i) {
            const float depth = startDepth - static_cast<float>(i) * stepMm / 1000.0f;
            const sim::RayTruth ray = model.ray(a, b, std::max(0.0f, depth));
            sim::WaveformParams params;
            params.sampleLength = sampleLength;
            params.delayUs = s.delay;
            params.sampleIntervalUs = info.sampleInterval;
            params.arrivalUs = ray.arrivalUs;
            params.amplitudeMv = ray.amplitudeMv;
            params.gain = s.gain;
            params.seed = sim::mixSeed(7, static_cast<uint64_t>(k), static_cast<uint64_t>(i));
            const sim::WaveformTruth truth = sim::synthWaveform(params, wave);
            list.append(wave.data(), depth);
            auto guard = list.lock();
            SamplePoint& p = *list.tail;
            p.tIndex = std::clamp(static_cast<int32_t>(std::lround(truth.arrivalIndex)), 0, sampleLength - 1);
            p.ampIndex = std::max(truth.firstPeakIndex, 0);
            p.gain = static_cast<float>(s.gain);
            p.threshold = 120.0f;  // as an amplitude pick with that threshold leaves it
            p.delay = s.delay;
            const PointMetrics m =
                pointMetrics(info, k + 1, p.tIndex, depth, p.gain, p.samples[p.ampIndex], p.delay);
            p.velocity = m.velocity;
            p.amplitude = m.amplitude;
            p.amplitudeDb = static_cast<float>(amplitudeToDb(m.amplitude));
        }
        t->lists[static_cast<size_t>(k)] = &list;
    }
    return t;
}

}  // namespace lx9::bench
