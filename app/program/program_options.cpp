#include "program/program_options.h"

namespace lx9::program {

ProgramOptions parseProgramArguments(const std::vector<std::string>& args) {
    ProgramOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--window") {
            o.window = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--self-test") {
            if (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1].rfind("--", 0) == 0) {
                o.error = "--self-test needs a folder";
                return o;
            }
            o.selfTestDir = args[++i];
        }
    }
    return o;
}

}  // namespace lx9::program
