#include "upload/section_image_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace lx9 {
namespace {

// 1, 2 or 5 × 10^k, the smallest at or above `rough`.
double niceStep(double rough) {
    if (!(rough > 0.0) || !std::isfinite(rough)) return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= rough * (1 - 1e-9)) return m * power;
    }
    return 10.0 * power;
}

}  // namespace

std::optional<TraceScale> traceScale(float startDepth, int32_t stepMm) {
    if (stepMm <= 0 || !std::isfinite(startDepth) || startDepth < 0.0f) return std::nullopt;
    TraceScale s;
    s.spacing = 960.0 / (static_cast<double>(startDepth) * 1000.0 / stepMm + 1.0);
    s.height = std::clamp(2.0 * s.spacing, 15.0, 50.0);
    return s;
}

double traceBaseline(int i, const TraceScale& scale) {
    return kSectionPlotArea.bottom - i * scale.spacing - scale.spacing / 2.0;
}

std::vector<PixelPoint> tracePolyline(std::span<const uint16_t> samples, double y0, const TraceScale& scale) {
    std::vector<PixelPoint> line;
    const ImageRect& plot = kSectionPlotArea;
    if (samples.empty() || y0 < plot.top || y0 > plot.bottom) return line;
    const std::size_t length = samples.size();
    const std::size_t stride = length <= 512 ? 1 : 2;
    const double lowY = std::max<double>(y0 - scale.height / 2.0, plot.top);
    const double highY = std::min<double>(y0 + scale.height / 2.0, plot.bottom);
    line.reserve(length / stride + 1);
    line.push_back({plot.left, static_cast<int>(std::lround(y0))});
    for (std::size_t j = 0; j < length; j += stride) {
        const int x = plot.left + static_cast<int>(static_cast<long long>(plot.width()) * j / length);
        double y = y0 - (static_cast<double>(samples[j]) - 2048.0) * scale.height / 4095.0;
        y = std::clamp(y, lowY, highY);
        line.push_back({x, static_cast<int>(std::lround(y))});
    }
    return line;
}

std::string timeLabel(double us) {
    const char* format = "%1.0f";
    const double a = std::fabs(us);
    if (a >= 1000.0) {
        format = "%4.0f";
    } else if (a >= 100.0) {
        format = "%3.0f";
    } else if (a >= 10.0) {
        format = "%2.0f";
    } else if (std::fabs(us - std::round(us)) > 1e-6) {
        format = "%2.1f";
    }
    char text[32];
    std::snprintf(text, sizeof text, format, us);
    return text;
}

std::vector<ScaleLabel> timeScaleTicks(float sampleInterval, int32_t sampleLength) {
    std::vector<ScaleLabel> ticks;
    const double span = static_cast<double>(sampleInterval) * sampleLength;
    if (!(span > 0.0) || !std::isfinite(span)) return ticks;
    const double step = niceStep(span / 8.0);
    const ImageRect& plot = kSectionPlotArea;
    for (int n = 0; n * step <= span * (1 + 1e-9) && n <= 100; ++n) {
        const double t = n * step;
        const int x = plot.left + static_cast<int>(std::lround(plot.width() * t / span));
        ticks.push_back({std::min(x, plot.right - 1), timeLabel(t)});
    }
    return ticks;
}

std::vector<ScaleLabel> depthLabels(float startDepth, int32_t stepMm) {
    std::vector<ScaleLabel> labels;
    const auto scale = traceScale(startDepth, stepMm);
    if (!scale) return labels;
    const double pixelsPerMetre = scale->spacing * 1000.0 / stepMm;
    const double every = niceStep(30.0 / pixelsPerMetre);
    const double interval = std::max(every, 1.0);
    for (int n = 0; n * interval <= startDepth + 1e-6 && n <= 1000; ++n) {
        const double depth = n * interval;
        const double level = (startDepth - depth) * 1000.0 / stepMm;
        const double y = kSectionPlotArea.bottom - level * scale->spacing - scale->spacing / 2.0;
        char text[32];
        std::snprintf(text, sizeof text, "%.0f", depth);
        labels.push_back({static_cast<int>(std::lround(y)), text});
    }
    return labels;
}

}  // namespace lx9
