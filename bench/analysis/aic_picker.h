// The textbook reference a user would compare the system's pickers with: Maeda's Akaike
// information criterion computed straight from the raw trace, without any filter or window.
#pragma once

#include <cstdint>

namespace lx9::bench {

// AIC(k) = k·log(var(x[0 … k−1])) + (n − k − 1)·log(var(x[k … n−1])) for k = 2 … n − 2, x the
// samples less the zero line; returns the k of the minimum, the first sample of the louder part.
// Traces shorter than 5 samples give 0.
int PickByAic(const uint16_t* samples, int n);

}  // namespace lx9::bench
