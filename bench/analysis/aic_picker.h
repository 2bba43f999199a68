// The textbook reference a user would compare the system's pickers with: Maeda's Akaike
// information criterion computed straight from the raw trace, without any filter, over the
// stretch from the first sample to the largest excursion (the usual window: it holds the quiet
// part and the rise of the wave, not the wave's decay back into the noise, which would otherwise
// be the larger change of variance).
#pragma once

#include <cstdint>

namespace lx9::bench {

// With m the sample of the largest |x| (x the samples less the zero line, m at least 4):
// AIC(k) = k·log(var(x[0 … k−1])) + (m − k)·log(var(x[k … m])) for k = 2 … m − 1; returns the
// k of the minimum, the first sample of the louder part. Traces shorter than 5 samples give 0.
int PickByAic(const uint16_t* samples, int n);

}  // namespace lx9::bench
