// `lx9 render FILE --view wavetrain`: a saved test's wave train as the console's panel draws it.
#pragma once

#include <string>

namespace lx9::cli {

struct WaveTrainRenderOptions {
    std::string style;             // dash, mini, grey or curves; empty: the settings' form
    std::string size = "974x422";  // the console's wave-train panel on the 1024×768 screen
    int page = 0;                  // screens back from the newest points
};

// Draws FILE's wave train into `out` (PNG); `section` empty: every section with points, side
// by side. Returns the exit code; the reason for a failure goes to standard error.
int renderWaveTrainFile(const std::string& file, const std::string& section,
                        const WaveTrainRenderOptions& options, const std::string& out);

}  // namespace lx9::cli
