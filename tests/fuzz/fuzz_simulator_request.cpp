// Feeds the simulated instrument arbitrary datagrams, in sequences so that state built by one
// (a channel configuration, a held test) meets the next: it must never crash, and whatever it
// answers must stay within what the link can receive. The input is a run of records: a one-byte
// time step (tenths of a second), a two-byte little-endian length, then that many request bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "instrument_model.h"
#include "scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lx9::sim::Scenario scenario;
    scenario.winch.speedMps = 2.0;  // reach the top within a fuzz run
    lx9::sim::InstrumentModel model(scenario, 1);
    size_t truthRows = 0;
    model.setTruthSink([&](const lx9::sim::TruthRow&) { ++truthRows; });
    double now = 0.0;
    size_t at = 0;
    while (at + 3 <= size) {
        now += data[at] / 10.0;
        size_t length = data[at + 1] | (data[at + 2] << 8);
        at += 3;
        length = std::min(length, size - at);
        const std::span<const uint8_t> request(data + at, length);
        at += length;

        const auto reply = model.handle(request, now);
        if (reply && reply->size() > 6 * 1024 * 2) __builtin_trap();
        if (reply && !request.empty() && (request[0] == 'g' || (request[0] == 'G' && reply->size() > 4))) {
            if (((*reply)[1] & 0xF0) != 0xF0) __builtin_trap();  // every frame carries its marker
        }
        if (reply) (void)lx9::sim::InstrumentModel::corrupt(request, *reply);
        const auto declined = model.declineFor(request);
        if (declined && declined->size() != 4) __builtin_trap();
        (void)lx9::sim::InstrumentModel::describe(request);
    }
    return 0;
}
