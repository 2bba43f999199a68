// Automatic first-arrival picking: no settings beyond the sampling interval. The trace is
// detrended, cut into half waves at its zero crossings (which also give its dominant frequency),
// and the arrival is bracketed where the mean level of the next period rises most above the mean
// level of the two periods before; the onset is then placed inside that bracket.
//
// Threading: plain functions on caller-owned buffers; safe on any thread.
#pragma once

#include <cstdint>

namespace lx9 {

// The nominal frequency every caller passes (Hz).
inline constexpr double kAutoNominalHz = 30000.0;

struct AutoPick {
    double arrivalTime = 0;  // µs after the delay, whole µs
    double peakTime = 0;     // µs after the delay, whole µs
};

// What the automatic picker decided on the way, for the workbench and for measurements.
struct AutoPickDetail {
    AutoPick times;
    double arrival = 0;              // onset in samples (fractional: a zero crossing)
    int peak = 0;                    // sample of the first peak
    double frequency = 0;            // Hz behind the period: measured, or the nominal one
    bool frequencyMeasured = false;  // false: no estimate, or outside nominal/1.6 … nominal·1.6
    double period = 0;               // P in samples
    int candidate = 0;               // chosen bracket centre
    double ratio = 0;                // its ratio
    int earlier = -1;                // earlier candidate that counted, or -1
    int later = -1;                  // later candidate that counted, or -1
    double snr = 0;                  // largest over smallest background level
};

// samples[0 … n−1], dt in µs, startTime the section delay (µs), nominal frequency in Hz. Both
// results lie inside the trace, the arrival before the peak. A zero, negative or non-finite dt or
// nominal frequency gives both times 0.
AutoPickDetail PickAutoDetailed(const uint16_t* samples, int n, double dt, double startTime,
                                double nominalHz);
AutoPick PickAuto(const uint16_t* samples, int n, double dt, double startTime, double nominalHz);

}  // namespace lx9
