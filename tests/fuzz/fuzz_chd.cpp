// Feeds arbitrary .CHD bytes to the pair reader, beside the text of the reference pair: it must
// never crash, read out of bounds, leak or hang, whatever the length or content.
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
    lx9::fuzzing::openPair(reference().cht, data, size);
    return 0;
}
