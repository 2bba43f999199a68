#pragma once
// Truncation towards zero into int32, shared by the protocol, the parameter records and the file
// reader: header-only so using it links nothing of the link's internals.
#include <cstdint>

namespace kaxil {

// Truncates towards zero into int32; NaN gives 0 and values beyond the range saturate, so a
// wild float never turns into undefined behaviour. Callers keep the low bits they need.
inline int32_t truncate32(double value) {
    if (value != value) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace kaxil
