// Feeds typed lines to the setup's quick-set interpreter: it must never crash or hang, a line the
// syntax pass refuses must change nothing, every refusal must say why, and the history must stay
// within its fifteen lines with the newest accepted line last. The first byte picks the test mode
// and the transceive mode; the rest is one or more lines separated by line feeds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "../setup/setup_fakes.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "setup/quick_set.h"
#include "setup/setup_form.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lx9;
    if (size == 0) return 0;
    CInfo current = test::defaultInfo();
    CInfo saved = current;
    std::mutex infoLock;
    test::RecordingConsole console;
    test::RecordingSink sink;
    testState = makeState(data[0] & 0x80 ? kStateFreeSampling : kStateIdle);
    SetupForm form({current, infoLock}, saved, console, sink);
    form.setTestMode((data[0] & 0x3) % 3);
    if (form.controls().pairwiseEnabled) form.setPairwise(data[0] & 0x4);
    QuickSet quick(form, {current, infoLock});

    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (int lines = 0; lines < 32 && !rest.empty(); ++lines) {
        const size_t end = rest.find('\n');
        const std::string line(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);

        const SetupControls before = form.controls();
        const CInfo record = current;
        const QuickSetResult r = quick.execute(line);
        if (r.syntaxRejected && (!(form.controls() == before) || !(current == record))) __builtin_trap();
        if (!r.ok && r.message.empty()) __builtin_trap();
        if (current.historyCount < 0 || current.historyCount > kHistoryLines) __builtin_trap();
        if (r.applied > 0 && current.commandHistory[current.historyCount - 1] != line) __builtin_trap();
        for (size_t i = 0; i < (line.size() & 7); ++i)
            (line.size() & 8) ? quick.up() : quick.down();
        if (quick.cursor() < 0 || quick.cursor() > current.historyCount) __builtin_trap();
    }
    testState = makeState(kStateIdle);
    return 0;
}
