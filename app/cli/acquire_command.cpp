// `lx9 acquire --out DIR/NAME`: a whole test without a screen, through the same console controller
// the touch-screen program uses (see acquire_session.h).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "cli/acquire_session.h"
#include "cli/commands.h"
#include "data/globals.h"
#include "data/settings_store.h"

namespace lx9::cli {
namespace {

struct AcquireOptions {
    std::string out;
    std::string instrument;
    std::string settings;
    std::string save;
    std::string recover = "no";
    bool untilEnd = false;
};

int runAcquire(const AcquireOptions& o) {
    if (!o.instrument.empty()) ::setenv("KAXIL_INSTRUMENT", o.instrument.c_str(), 1);
    const std::filesystem::path settingsFile =
        o.settings.empty() ? settingsPath() : std::filesystem::path(o.settings) / kSettingsFileName;
    if (loadSettings(currentInfo, uploadSettings, settingsFile) == LoadResult::Damaged)
        std::fprintf(stderr, "settings damaged, defaults used: %s\n", settingsFile.c_str());
    if (o.save == "realtime") currentInfo.saveMode = std::string(kSaveRealTime);
    if (o.save == "end") currentInfo.saveMode = std::string(kSaveAtEnd);
    std::filesystem::path out(o.out);
    if (out.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(out.parent_path(), ec);
    }

    AcquireSessionOptions session;
    session.out = o.out;
    session.settingsFile = settingsFile;
    session.recover = o.recover == "yes";
    session.untilEnd = o.untilEnd;
    const AcquireSessionResult result = runAcquireSession(session);
    if (!result.connected) return 1;
    if (!result.saved) {
        std::fprintf(stderr, "no data file was written\n");
        return 1;
    }
    std::printf("%s.CHT\n%s.CHD\n%d levels\n", o.out.c_str(), o.out.c_str(), result.levels);
    if (result.fileErrors > 0) {
        // The pair may lack what a failed write held: the caller must not take it as whole.
        std::fprintf(stderr, "%d file error(s) were reported during the test\n", result.fileErrors);
        return 1;
    }
    return 0;
}

}  // namespace

void addAcquireCommand(CLI::App& app, Action& action) {
    auto options = std::make_shared<AcquireOptions>();
    CLI::App* cmd =
        app.add_subcommand("acquire", "Run a whole test on the instrument and save its data files");
    cmd->add_option("--out", options->out, "DIR/NAME of the data files (NAME.CHT and NAME.CHD)")->required();
    cmd->add_option("--instrument", options->instrument,
                    "host:port of the instrument (else KAXIL_INSTRUMENT)");
    cmd->add_option("--settings", options->settings, "folder of the set.ini to use");
    cmd->add_option("--save", options->save, "realtime or end: the save mode of this test")
        ->check(CLI::IsMember({"realtime", "end"}));
    cmd->add_option("--recover", options->recover, "yes or no: take up a test the instrument still holds")
        ->check(CLI::IsMember({"yes", "no"}));
    cmd->add_flag("--until-end", options->untilEnd,
                  "never end the test before the top by itself (missed points wait for the probes, a "
                  "lost instrument is waited for); only Ctrl-C ends it early");
    cmd->callback([options, &action] { action = [options] { return runAcquire(*options); }; });
}

}  // namespace lx9::cli
