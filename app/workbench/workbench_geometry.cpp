#include "workbench/workbench_geometry.h"

#include <algorithm>
#include <cmath>

namespace lx9 {

double sampleX(int sample, int width, int samples) {
    if (samples <= 0) return 0.0;
    return static_cast<double>(sample) * width / samples;
}

std::vector<PlotPoint> waveTrace(const uint16_t* samples, int count, double left, double top, double width,
                                 double height, int zoom) {
    std::vector<PlotPoint> out;
    if (!samples || count <= 0 || width <= 0 || height <= 0) return out;
    const double mid = top + height / 2.0;
    const double scale = zoom * (height / 2.0) / 2048.0;
    auto yOf = [&](uint16_t code) {
        return std::clamp(mid - (static_cast<double>(code) - 2048.0) * scale, top, top + height);
    };
    const int columns = std::max(1, static_cast<int>(width / 2.0));
    if (count <= columns) {
        out.reserve(static_cast<size_t>(count));
        for (int j = 0; j < count; ++j)
            out.push_back({left + j * width / count, yOf(samples[j])});
        return out;
    }
    // Several samples per column: draw each column's lowest and highest value.
    out.reserve(static_cast<size_t>(columns) * 2);
    for (int c = 0; c < columns; ++c) {
        const int from = static_cast<int>(static_cast<int64_t>(c) * count / columns);
        const int to = static_cast<int>(static_cast<int64_t>(c + 1) * count / columns);
        uint16_t low = samples[from], high = samples[from];
        for (int j = from; j < to; ++j) {
            low = std::min(low, samples[j]);
            high = std::max(high, samples[j]);
        }
        const double x = left + from * width / count;
        out.push_back({x, yOf(high)});
        out.push_back({x, yOf(low)});
    }
    return out;
}

int trainRows(int height, int rowHeight) {
    return rowHeight > 0 ? std::max(1, height / rowHeight) : 1;
}

double curveX(CurveMode mode, double value, double width) {
    switch (mode) {
        case CurveMode::Velocity:
            return value * width / 6.0;
        case CurveMode::Amplitude:
            return width - value * width / 150.0;
        case CurveMode::Psd:
            return value * width / 20000.0;
    }
    return 0.0;
}

double depthY(double depth, double height, double pileLength) {
    return pileLength > 0 ? depth * height / pileLength : 0.0;
}

int pointNearestY(const std::vector<SectionCurvePoint>& points, double y, double height, double pileLength) {
    if (height <= 0 || pileLength <= 0) return -1;
    const double depth = y * pileLength / height;
    int best = -1;
    double distance = 1e300;
    for (size_t i = 0; i < points.size(); ++i) {
        const double d = std::fabs(points[i].depth - depth);
        if (d <= distance) {
            distance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

}  // namespace lx9
