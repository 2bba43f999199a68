#include "upload/section_image_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace lx9 {
namespace {

TEST(SectionImageGeometryTest, TraceSpacingAndHeight) {
    auto s = traceScale(20.0f, 50);
    ASSERT_TRUE(s);
    EXPECT_NEAR(s->spacing, 960.0 / 401, 1e-9);  // ≈ 2.39
    EXPECT_EQ(s->height, 15.0);                  // 2c is below 15

    s = traceScale(5.0f, 250);
    ASSERT_TRUE(s);
    EXPECT_NEAR(s->spacing, 960.0 / 21, 1e-9);  // ≈ 45.7
    EXPECT_EQ(s->height, 50.0);

    s = traceScale(2.0f, 100);  // c = 960 / 21 again, b = 2c ≈ 91 limited to 50
    ASSERT_TRUE(s);
    EXPECT_EQ(s->height, 50.0);
    s = traceScale(10.0f, 250);  // c = 960 / 41 ≈ 23.4, b = 2c ≈ 46.8
    ASSERT_TRUE(s);
    EXPECT_NEAR(s->height, 2 * 960.0 / 41, 1e-9);

    EXPECT_FALSE(traceScale(20.0f, 0));
    EXPECT_FALSE(traceScale(-1.0f, 50));
}

TEST(SectionImageGeometryTest, FirstPointAtTheBottomLaterPointsAbove) {
    const auto s = *traceScale(20.0f, 50);
    EXPECT_NEAR(traceBaseline(0, s), 1050 - s.spacing / 2, 1e-9);
    EXPECT_NEAR(traceBaseline(400, s), 1050 - 400.5 * s.spacing, 1e-9);
    EXPECT_GT(traceBaseline(400, s), 90.0);  // the last expected level still lies in the plot
}

TEST(SectionImageGeometryTest, PolylinesHave512SegmentsAndStayInTheirBand) {
    const auto s = *traceScale(5.0f, 250);
    std::vector<uint16_t> w1024(1024, 2048), w512(512, 2048);
    for (std::size_t j = 0; j < w1024.size(); ++j)
        w1024[j] = j % 2 ? 4095 : 0;
    for (std::size_t j = 0; j < w512.size(); ++j)
        w512[j] = j % 2 ? 4095 : 0;
    const double y0 = traceBaseline(3, s);

    const auto a = tracePolyline(w1024, y0, s);
    ASSERT_EQ(a.size(), 513u);  // the start point and every second sample: 512 segments
    const auto b = tracePolyline(w512, y0, s);
    ASSERT_EQ(b.size(), 513u);

    EXPECT_EQ(b[0], (PixelPoint{45, static_cast<int>(std::lround(y0))}));
    EXPECT_EQ(b[1].x, 45);
    EXPECT_EQ(b[2].x, 46);  // 512 pixels for 512 samples
    EXPECT_EQ(b.back().x, 45 + 511);
    // Code 0 goes down and 4095 up, each by at most b/2 = 25.
    EXPECT_EQ(b[1].y, static_cast<int>(std::lround(y0 + 2048.0 * 50 / 4095)));
    EXPECT_EQ(b[2].y, static_cast<int>(std::lround(y0 - 2047.0 * 50 / 4095)));
    for (const auto& p : a) {
        EXPECT_GE(p.y, y0 - 25.0 - 0.5);
        EXPECT_LE(p.y, y0 + 25.0 + 0.5);
        EXPECT_GE(p.x, 45);
        EXPECT_LT(p.x, 557);
    }
    // Every second sample of 1024: the last drawn is sample 1022.
    EXPECT_EQ(a.back().x, 45 + 512 * 1022 / 1024);
}

TEST(SectionImageGeometryTest, TracesNeverLeaveThePlotArea) {
    const auto s = *traceScale(5.0f, 250);  // b = 50 around a baseline 22 px above the bottom
    std::vector<uint16_t> low(512, 0);
    const auto line = tracePolyline(low, traceBaseline(0, s), s);
    for (const auto& p : line)
        EXPECT_LE(p.y, 1050);
    // A baseline outside the plot (more points than levels) draws nothing.
    EXPECT_TRUE(tracePolyline(low, 80.0, s).empty());
    EXPECT_TRUE(tracePolyline({}, 500.0, s).empty());
}

TEST(SectionImageGeometryTest, TimeLabelsChooseTheirFormatBySize) {
    EXPECT_EQ(timeLabel(1024), "1024");
    EXPECT_EQ(timeLabel(250), "250");
    EXPECT_EQ(timeLabel(50), "50");
    EXPECT_EQ(timeLabel(2.5), "2.5");
    EXPECT_EQ(timeLabel(5), "5");
    EXPECT_EQ(timeLabel(0), "0");

    const auto ticks = timeScaleTicks(0.5f, 512);  // 256 µs: steps of 50
    ASSERT_EQ(ticks.size(), 6u);
    EXPECT_EQ(ticks[0].at, 45);
    EXPECT_EQ(ticks[1].text, "50");
    EXPECT_EQ(ticks[1].at, 45 + static_cast<int>(std::lround(512 * 50 / 256.0)));
    EXPECT_TRUE(timeScaleTicks(0.0f, 512).empty());
}

TEST(SectionImageGeometryTest, DepthLabelsRunFromTheStartDepthToZero) {
    const auto labels = depthLabels(20.0f, 50);  // 48 px per metre: every metre
    ASSERT_EQ(labels.size(), 21u);
    EXPECT_EQ(labels.front().text, "0");
    EXPECT_EQ(labels.back().text, "20");
    const auto s = *traceScale(20.0f, 50);
    EXPECT_EQ(labels.back().at, static_cast<int>(std::lround(traceBaseline(0, s))));
    EXPECT_EQ(labels.front().at, static_cast<int>(std::lround(traceBaseline(400, s))));
    const auto deep = depthLabels(150.0f, 50);  // 6.4 px per metre: every 5 m
    ASSERT_GE(deep.size(), 2u);
    EXPECT_EQ(deep[1].text, "5");
    EXPECT_GE(deep[1].at - deep[0].at, 30);
}

}  // namespace
}  // namespace lx9
