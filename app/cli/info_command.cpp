// `lx9 info`: loads the settings (defaults on a first run), prints the record's derived values
// and stores the settings again — a quick look at what the program would start a test with.
#include <cstdio>

#include "cli/commands.h"
#include "data/cinfo.h"
#include "data/globals.h"
#include "data/point_metrics.h"
#include "data/settings_store.h"

namespace lx9::cli {
namespace {

int runInfo() {
    const auto path = settingsPath();
    switch (loadSettings(currentInfo, uploadSettings, path)) {
        case LoadResult::Loaded:
            std::printf("settings: %s\n", path.c_str());
            break;
        case LoadResult::NoFile:
            std::printf("settings: %s (not found, defaults)\n", path.c_str());
            break;
        case LoadResult::Damaged:
            std::printf("settings: %s (damaged, defaults)\n", path.c_str());
            break;
    }
    savedInfo = currentInfo;
    const CInfo& info = currentInfo;

    std::printf("job: %s / %s / %s, pile %s, %s\n", info.siteName.c_str(), info.unitName.c_str(),
                info.personName.c_str(), info.pileId.c_str(), info.testDate.c_str());
    std::printf("pile: length %.2f m, start depth %.2f m, step %d mm, %d pipes, %d sections\n",
                info.pileLength, info.startDepth, info.stepMm, info.pipeCount, info.sectionCount);
    std::printf("sections:");
    for (const auto& name : info.sectionNames) {
        if (!name.empty()) std::printf(" %s", name.c_str());
    }
    std::printf("\n");
    maxPointCount = expectedLevelCount(info);
    std::printf("maxPointCount: %d (%s)\n", maxPointCount.load(), info.saveMode.c_str());

    // A sample point: arrival at sample 99, the section's own delay, a full-scale crest.
    const PointMetrics m =
        pointMetrics(info, 1, 99, info.startDepth, static_cast<float>(info.sections[0].gain), 4095, -1.0f);
    std::printf(
        "sample point (section %s, tIndex 99, ampCode 4095, gain %d): T = %.2f us, A = %.3f (%.2f dB), "
        "v = %.3f km/s\n",
        info.sections[0].name.c_str(), info.sections[0].gain, m.time, m.amplitude, amplitudeToDb(m.amplitude),
        m.velocity / 1e6);

    const StoreResult stored = storeSettings(info, uploadSettings, path);
    if (!stored.ok) {
        std::fprintf(stderr, "%s\n", stored.message.c_str());
        return 1;
    }
    std::printf("settings stored: %s\n", path.c_str());
    return 0;
}

}  // namespace

void addInfoCommand(CLI::App& app, Action& action) {
    auto* cmd =
        app.add_subcommand("info", "Load the settings, print the test record's derived values, store them");
    cmd->callback([&action] { action = runInfo; });
}

}  // namespace lx9::cli
