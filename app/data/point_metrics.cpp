#include "data/point_metrics.h"

#include <cmath>
#include <cstdlib>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

PointMetrics pointMetrics(const CInfo& info, int sectionNumber, int32_t tIndex, float depth, float gain,
                          int32_t ampCode, float delay) {
    const bool known = sectionNumber >= 1 && sectionNumber <= kMaxSections;
    const SectionPara none{};
    const SectionPara& s = known ? info.sections[sectionNumber - 1] : none;
    const double dt = info.sampleInterval;

    PointMetrics m;
    double d = delay == -1.0f ? s.delay : delay;
    double t = (static_cast<double>(tIndex) + 1) * dt + d;
    if (std::fabs(t) < 0.00001) t = 0.00001;
    m.time = static_cast<float>(t);

    double a;
    if (static_cast<int64_t>(gain) == 0) {
        a = static_cast<double>((static_cast<int64_t>(ampCode) - 2048) * 4000 / 4095);
    } else {
        a = (ampCode - 2048) * 2 * 0.00048828125 / gain * 1000;
    }
    m.amplitude = static_cast<float>(a / 0.732);

    const double path = sectionPathLength(info, sectionNumber, depth);
    m.velocity = static_cast<float>(path / t * 1000000.0);
    return m;
}

double sectionPathLength(const CInfo& info, int sectionNumber, float depth) {
    if (sectionNumber < 1 || sectionNumber > kMaxSections) return 0.0;
    const SectionPara& s = info.sections[sectionNumber - 1];
    const int64_t spacing = s.spacing;
    switch (info.testMode) {
        case kInclined: {
            const int64_t hd = std::llabs(static_cast<int64_t>(s.heightDiff));
            return std::sqrt(static_cast<double>(hd * hd + spacing * spacing));
        }
        case kFan: {
            const double o = std::trunc(std::fabs(s.sectionStartDepth * 1000.0 - depth * 1000.0));
            return std::sqrt(o * o + static_cast<double>(spacing * spacing));
        }
        default:
            return static_cast<double>(spacing);
    }
}

double waveformAmplitudeDb(const SamplePoint& p) {
    double v = 2.5e-8;
    if (!p.samples.empty() && p.ampIndex >= 0 && p.gain != 0.0f &&
        static_cast<size_t>(p.ampIndex) < p.samples.size()) {
        v = (static_cast<double>(p.samples[p.ampIndex]) - 2048) * 2 * 0.00048828125 / p.gain;
    }
    if (v == 0.0) return 0.0;
    return 20.0 * std::log10(std::fabs(v) / 2.5e-8);
}

double amplitudeToDb(double amplitude) {
    const double db = 20.0 * std::log10(std::fabs(amplitude) / 0.000025);
    return db > kAmplitudeDbFloor ? db : kAmplitudeDbFloor;  // also −∞ and NaN
}

}  // namespace lx9
