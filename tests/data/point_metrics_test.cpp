#include "data/point_metrics.h"

#include <gtest/gtest.h>

#include <cmath>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {
namespace {

CInfo defaults() {
    CInfo info;
    info.resetToDefaults();
    return info;
}

TEST(PointMetrics, TimeVelocityAndAmplitude) {
    const CInfo info = defaults();  // dt 1.0 µs, delay 100 µs, spacing 340 mm
    PointMetrics m = pointMetrics(info, 1, 99, 20.0f, 0.0f, 4095, -1.0f);
    EXPECT_FLOAT_EQ(m.time, 200.0f);             // (99 + 1) * 1.0 + 100
    EXPECT_FLOAT_EQ(m.velocity, 1700000.0f);     // 340 mm / 200 µs = 1.7 km/s in mm/s
    EXPECT_FLOAT_EQ(m.amplitude, 1999 / 0.732);  // trunc(2047 * 4000 / 4095) = 1999, integers

    m = pointMetrics(info, 2, 99, 20.0f, 80.0f, 2048 + 100, 50.0f);
    EXPECT_FLOAT_EQ(m.time, 150.0f);  // the point's own delay
    EXPECT_FLOAT_EQ(m.amplitude, static_cast<float>(100 * 2 * 0.00048828125 / 80 * 1000 / 0.732));

    m = pointMetrics(info, 1, 0, 20.0f, 0.9f, 0, 0.0f);               // gain truncates to 0: integer branch
    EXPECT_FLOAT_EQ(m.amplitude, static_cast<float>(-2000 / 0.732));  // trunc(-2048*4000/4095) = -2000
}

TEST(PointMetrics, TinyTimeIsClampedInsteadOfDividingByZero) {
    CInfo info = defaults();
    PointMetrics m = pointMetrics(info, 1, -1, 20.0f, 1.0f, 2048, 0.0f);  // T = 0
    EXPECT_FLOAT_EQ(m.time, 0.00001f);
    EXPECT_TRUE(std::isfinite(m.velocity));
    EXPECT_FLOAT_EQ(m.velocity, static_cast<float>(340 / 0.00001 * 1e6));
}

TEST(PointMetrics, PathLengthByTestMode) {
    CInfo info = defaults();
    info.sections[0].spacing = 300;
    info.sections[0].heightDiff = -400;
    info.testMode = kInclined;  // sqrt(400² + 300²) = 500
    EXPECT_FLOAT_EQ(pointMetrics(info, 1, 99, 0.0f, 1.0f, 2048, 0.0f).velocity, 500.0f / 100 * 1e6f);

    info.testMode = kFan;  // fixed transducer at 15.5 m, point at 15 m: offset 500 mm
    info.sections[0].sectionStartDepth = 15.5f;
    info.sections[0].spacing = 1200;  // sqrt(500² + 1200²) = 1300
    EXPECT_FLOAT_EQ(pointMetrics(info, 1, 99, 15.0f, 1.0f, 2048, 0.0f).velocity, 1300.0f / 100 * 1e6f);
    // The offset is truncated to whole millimetres: 15.1f lies a hair above 15.1, so 399 mm.
    EXPECT_FLOAT_EQ(pointMetrics(info, 1, 99, 15.1f, 1.0f, 2048, 0.0f).velocity,
                    static_cast<float>(std::sqrt(399.0 * 399 + 1200 * 1200) / 100 * 1e6));

    EXPECT_EQ(pointMetrics(info, 7, 99, 15.0f, 1.0f, 2048, 0.0f).velocity, 0.0f);  // no such section
}

TEST(PointMetrics, AmplitudeDbFromTheWaveform) {
    SamplePoint p;
    EXPECT_DOUBLE_EQ(waveformAmplitudeDb(p), 0.0);  // no waveform: V = 2.5e-8, 0 dB
    p.samples = {2048, 3072, 2048};
    p.gain = 2.0f;
    p.ampIndex = 1;  // V = 1024 * 2 * 2^-11 / 2 = 0.5 V
    EXPECT_NEAR(waveformAmplitudeDb(p), 20 * std::log10(0.5 / 2.5e-8), 1e-9);
    p.ampIndex = 0;  // the zero line: V = 0 gives 0 dB
    EXPECT_DOUBLE_EQ(waveformAmplitudeDb(p), 0.0);
    p.ampIndex = 3;  // beyond the waveform: treated as no reading
    EXPECT_DOUBLE_EQ(waveformAmplitudeDb(p), 0.0);
    EXPECT_NEAR(amplitudeToDb(-1.0), 20 * std::log10(1.0 / 0.000025), 1e-9);
    // A flat waveform's amplitude 0 (and anything at or below 0.000025) gives the 0 dB floor,
    // never −∞ or NaN.
    for (double a : {0.0, -0.0, 0.000025, -0.00001, std::nan("")})
        EXPECT_EQ(amplitudeToDb(a), 0.0) << a;
    EXPECT_NEAR(amplitudeToDb(0.00005), 20 * std::log10(2.0), 1e-12);
}

}  // namespace
}  // namespace lx9
