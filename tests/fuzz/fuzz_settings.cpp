// Feeds arbitrary bytes to the settings decoder: it must never crash, read out of bounds or
// allocate beyond what the input holds; whatever it accepts must store again and decode equal.
#include <cstddef>
#include <cstdint>
#include <span>

#include "data/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lx9::CInfo info;
    lx9::UploadSettings upload;
    if (!lx9::decodeSettings(std::span<const uint8_t>(data, size), info, upload)) return 0;
    const auto again = lx9::encodeSettings(info, upload);
    lx9::CInfo back;
    lx9::UploadSettings backUpload;
    if (!lx9::decodeSettings(again, back, backUpload)) __builtin_trap();
    if (lx9::encodeSettings(back, backUpload) != again) __builtin_trap();
    return 0;
}
