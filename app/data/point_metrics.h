// The one conversion from a pick to travel time, amplitude and velocity, used by the worker, the
// data files and the views, and the amplitude in decibels that the grades use.
#pragma once

#include <cstdint>

namespace lx9 {

class CInfo;
struct SamplePoint;

struct PointMetrics {
    float time = 0.0f;       // µs
    float amplitude = 0.0f;  // mV / 0.732
    float velocity = 0.0f;   // mm/s
};

// sectionNumber is 1-based; ampCode is the raw sample at the amplitude index; delay -1 means the
// section's delay. A section number outside 1..6 has no geometry: its velocity is 0.
PointMetrics pointMetrics(const CInfo& info, int sectionNumber, int32_t tIndex, float depth, float gain,
                          int32_t ampCode, float delay);

// The distance (mm) a velocity of section `sectionNumber` (1-based) is measured over at `depth`:
// the spacing; in fan mode combined with the depth's offset from the section's start depth; in
// inclined mode with the height difference. 0 for a section number outside 1..6.
double sectionPathLength(const CInfo& info, int sectionNumber, float depth);

// 20·log10(|V| / 2.5e-8) of the sample at ampIndex, V in volts at the gain; 0 dB when V is 0.
double waveformAmplitudeDb(const SamplePoint& point);

// 20·log10(|amplitude| / 0.000025): the decibel form of a point's amplitude, never below
// kAmplitudeDbFloor. A flat waveform has amplitude 0, whose logarithm is −∞: the files would
// print "-inf" and a view would turn it into an undefined pixel. The floor is 0 dB, the value of
// amplitude 0.000025 and the same 0 dB waveformAmplitudeDb gives a zero voltage; measured
// amplitudes lie far above it.
inline constexpr double kAmplitudeDbFloor = 0.0;
double amplitudeToDb(double amplitude);

}  // namespace lx9
