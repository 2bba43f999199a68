// The result server's reading of a byte stream: framing, parsing, gathering an upload and
// writing its job.json. No input may crash it, leak, or make it hold more than it should.
#include <cstddef>
#include <cstdint>
#include <span>

#include "result_packet.h"
#include "result_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lx9::server;
    PacketFramer framer;
    UploadAssembly assembly(AssemblyLimits{1000, 1 << 16, 10});
    // The first byte picks how the stream is cut into reads, as TCP may cut it.
    const std::size_t step = size ? 1 + data[0] % 64 : 1;
    for (std::size_t at = size ? 1 : 0; at < size; at += step) {
        framer.feed(std::span<const uint8_t>(data + at, std::min(step, size - at)));
        while (auto item = framer.next()) {
            if (!item->valid) continue;
            auto packet = parsePacket(item->bytes);
            if (!packet) continue;
            if (assembly.accept(std::move(*packet)) == Acceptance::Completed) {
                const std::string json = uploadJson(assembly.takeCompleted());
                if (json.empty()) __builtin_trap();
            }
        }
    }
    return 0;
}
