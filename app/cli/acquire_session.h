// A whole test without a screen: connects through the link library, pushes the parameters,
// samples, records into DIR/NAME.CHT and .CHD through the console controller, shows a progress
// line on standard error and answers the end-of-test save. Ctrl-C ends the test and saves what
// was measured; a second Ctrl-C leaves at once. The test record (currentInfo) must be loaded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace lx9::cli {

struct AcquireSessionOptions {
    std::string out;                     // DIR/NAME of the data files
    std::filesystem::path settingsFile;  // where the console stores the settings
    bool recover = false;                // take up a test the instrument still holds
    // Never end the test before the top by itself: missed points wait for the probes and a lost
    // instrument is waited for. Otherwise a 2 s hold is resampled at the probes' height and 30 s
    // without the instrument ends and saves the test.
    bool untilEnd = false;
};

struct AcquireSessionResult {
    bool connected = false;
    bool saved = false;
    int32_t levels = 0;
    int fileErrors = 0;  // file errors reported during the test (even if it ended saved)
};

AcquireSessionResult runAcquireSession(const AcquireSessionOptions& options);

}  // namespace lx9::cli
