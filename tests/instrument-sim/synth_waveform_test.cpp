#include "synth_waveform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace lx9::sim {
namespace {

WaveformParams clean() {
    WaveformParams p;
    p.sampleLength = 512;
    p.sampleIntervalUs = 1.0;
    p.delayUs = 100.0;
    p.arrivalUs = 134.5;
    p.frequencyHz = 50000.0;
    p.amplitudeMv = 5.0;
    p.gain = 100.0;
    p.noiseMv = 0.0;
    return p;
}

TEST(SynthWaveform, SilentUntilTheArrivalThenAPositiveFirstHalfWave) {
    WaveformTruth truth;
    const auto w = synthWaveform(clean(), &truth);
    ASSERT_EQ(w.size(), 512u);
    EXPECT_DOUBLE_EQ(truth.arrivalIndex, 34.5);
    for (int k = 0; k <= 34; ++k)
        EXPECT_EQ(w[k], 2048) << k;
    EXPECT_GT(w[35], 2048);
    // The first extremum: a crest a little later than a quarter period (5 µs) after the arrival,
    // the rising envelope holding it back.
    const WaveShape shape = waveShape();
    EXPECT_GT(shape.firstPeakPeriods, 0.25);
    EXPECT_LT(shape.firstPeakPeriods, 0.35);
    EXPECT_DOUBLE_EQ(truth.firstPeakUs, 134.5 + shape.firstPeakPeriods * 20.0);
    EXPECT_DOUBLE_EQ(truth.firstPeakMv, 5.0 * shape.firstPeakFraction);
    ASSERT_GE(truth.firstPeakIndex, 36);
    const int i = truth.firstPeakIndex;
    EXPECT_EQ(w[i], truth.firstPeakCode);
    EXPECT_GE(w[i], w[i - 1]);
    EXPECT_GE(w[i], w[i + 1]);
    EXPECT_NEAR(w[i] - 2048, truth.firstPeakMv * 100 * 1.024, 0.05 * truth.firstPeakMv * 102.4);
    EXPECT_FALSE(truth.clipped);
}

TEST(SynthWaveform, EnvelopePeakFollowsAmplitudeAndGain) {
    // Dense sampling finds the envelope peak: amplitude x gain x 1.024 codes above the zero line.
    auto p = clean();
    p.sampleIntervalUs = 0.1;
    p.delayUs = 130.0;
    p.sampleLength = 1024;
    p.amplitudeMv = 1.0;
    for (double gain : {100.0, 1000.0}) {
        p.gain = gain;
        WaveformTruth truth;
        const auto w = synthWaveform(p, &truth);
        const int top = *std::max_element(w.begin(), w.end()) - 2048;
        const int bottom = 2048 - *std::min_element(w.begin(), w.end());
        EXPECT_DOUBLE_EQ(truth.peakCodes, 1.024 * gain);
        EXPECT_NEAR(std::max(top, bottom), 1.024 * gain, 0.02 * gain) << gain;
    }
}

TEST(SynthWaveform, ClipsToTheConverterRange) {
    auto p = clean();
    p.amplitudeMv = 100.0;  // 10 240 codes at gain 100
    WaveformTruth truth;
    const auto w = synthWaveform(p, &truth);
    EXPECT_TRUE(truth.clipped);
    EXPECT_EQ(*std::max_element(w.begin(), w.end()), 4095);
    EXPECT_EQ(*std::min_element(w.begin(), w.end()), 0);
}

TEST(SynthWaveform, ArrivalOutsideTheWindow) {
    auto p = clean();
    p.arrivalUs = 93.0;  // before the window opens: the wave is already under way at sample 0
    WaveformTruth truth;
    auto w = synthWaveform(p, &truth);
    EXPECT_DOUBLE_EQ(truth.arrivalIndex, -7.0);
    EXPECT_NE(w[0], 2048);
    p.arrivalUs = 700.0;  // after it closes: nothing but the zero line
    w = synthWaveform(p, &truth);
    EXPECT_TRUE(std::all_of(w.begin(), w.end(), [](uint16_t v) { return v == 2048; }));
    EXPECT_EQ(truth.firstPeakIndex, -1);
}

TEST(SynthWaveform, NoiseIsSeededAndScaledAtTheReceiverInput) {
    auto p = clean();
    p.amplitudeMv = 0.0;
    p.noiseMv = 0.1;  // 10.24 codes rms at gain 100
    p.seed = 7;
    const auto a = synthWaveform(p);
    const auto b = synthWaveform(p);
    EXPECT_EQ(a, b);
    p.seed = 8;
    EXPECT_NE(synthWaveform(p), a);
    double sum = 0.0;
    for (uint16_t v : a)
        sum += (v - 2048.0) * (v - 2048.0);
    EXPECT_NEAR(std::sqrt(sum / a.size()), 10.24, 1.0);
}

TEST(SynthWaveform, RefusesBadArguments) {
    std::vector<uint16_t> shortBuffer(100);
    EXPECT_THROW(synthWaveform(clean(), std::span<uint16_t>(shortBuffer)), std::invalid_argument);
    auto p = clean();
    p.sampleIntervalUs = 0.0;
    EXPECT_THROW(synthWaveform(p), std::invalid_argument);
    p = clean();
    p.arrivalUs = std::nan("");
    EXPECT_THROW(synthWaveform(p), std::invalid_argument);
}

}  // namespace
}  // namespace lx9::sim
