// The command line of `LX9`: any argument skips the single-instance wait (the relaunch on close
// passes "-1"); "--window" runs the console as an ordinary window for office use; "--self-test
// DIR" checks the program on this machine (connect, sample, two screenshots into DIR, close).
// Qt-free.
#pragma once

#include <string>
#include <vector>

namespace lx9::program {

struct ProgramOptions {
    bool window = false;
    std::string selfTestDir;  // empty: no self-test
    bool help = false;
    std::string error;  // a malformed option, for the user
};

// `args` without the program's name. Unknown arguments are kept for the instance rule only.
ProgramOptions parseProgramArguments(const std::vector<std::string>& args);

inline constexpr const char* kProgramUsage =
    "usage: LX9 [--window] [--self-test DIR]\n"
    "  --window          an ordinary resizable window (office use); closing it does not relaunch\n"
    "  --self-test DIR   connect, sample for three seconds, write DIR/console.png and\n"
    "                    DIR/console-sampling.png, close\n";

}  // namespace lx9::program
