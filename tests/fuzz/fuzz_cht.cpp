// Feeds arbitrary .CHT text to the pair reader, beside the waveforms of the reference pair: it
// must never crash, read out of bounds, leak or hang, and what it accepts must be usable.
#include <cstddef>
#include <cstdint>

#include "data_file_fuzz.h"

namespace {
const lx9::fuzzing::Pair& reference() {
    static const lx9::fuzzing::Pair pair = lx9::fuzzing::referencePair();
    return pair;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    reference();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& chd = reference().chd;
    lx9::fuzzing::openPair(std::string(reinterpret_cast<const char*>(data), size), chd.data(), chd.size());
    return 0;
}
