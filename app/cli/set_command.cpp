// `lx9 set NAME=VALUE ...` runs the setup's quick-set line against the settings file and then the
// setup's OK, so that a script can prepare a test exactly as an operator would at the dialog:
// same names, same checks, same messages. `lx9 set --show` prints the settings as quick-set
// assignments (with the rest as comments).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "data/cinfo.h"
#include "data/globals.h"
#include "data/settings_store.h"
#include "setup/quick_set.h"
#include "setup/setup_console.h"
#include "setup/setup_form.h"
#include "ui/message_sink.h"

namespace lx9::cli {
namespace {

// No console runs beside the tool: OK only stores the settings.
class StoreOnlyConsole : public SetupConsole {
  public:
    explicit StoreOnlyConsole(std::filesystem::path file) : file_(std::move(file)) {}

    StoreResult storeSettings(const CInfo& info) override {
        StoreResult result = lx9::storeSettings(info, uploadSettings, file_);
        stored_ = result.ok;
        return result;
    }
    void pushParameters() override {}
    void stopWorker() override {}
    void rebuildPointLists() override {}
    void startWorker() override {}
    void setListsReady(bool) override {}
    bool workerPaused() const override { return true; }
    void setWorkerPaused(bool) override {}
    void acquisitionModeChanged() override {}
    bool showTestTypeAtStart() const override { return false; }
    void setShowTestTypeAtStart(bool) override {}

    bool stored() const { return stored_; }

  private:
    std::filesystem::path file_;
    bool stored_ = false;
};

class StderrSink : public MessageSink {
  public:
    void showMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    bool askYesNo(const std::string& text) override {
        std::fprintf(stderr, "%s (no)\n", text.c_str());
        return false;
    }
};

const char* testModeName(int mode) {
    switch (mode) {
        case kHorizontal:
            return "平测";
        case kInclined:
            return "斜测";
        case kFan:
            return "扇形测";
        default:
            return "?";
    }
}

void show(const SetupForm& form, const CInfo& info) {
    const SetupControls& c = form.controls();
    std::printf("# 工程名称=%s 检测单位=%s 检测人员=%s 桩号=%s\n", c.siteName.c_str(), c.unitName.c_str(),
                c.personName.c_str(), c.pileId.c_str());
    int channels = 0;
    for (const auto& ch : c.channels)
        channels += ch.checked ? 1 : 0;
    std::printf("# %s, %s, %d channels, %s, %s, 滤波 %s\n", testModeName(c.testMode),
                c.pairwise ? "自发自收" : "一发多收", channels, c.bufferedMode ? "缓存模式" : "实时模式",
                info.standard.c_str(), c.filter.c_str());
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const ChannelRow& row = c.channels[ch];
        if (row.checked) std::printf("# CH%d %s %s\n", ch + 1, row.pipe.c_str(), row.state.c_str());
    }
    std::printf("# sections:");
    for (int r = 0; r < kMaxSections; ++r) {
        if (c.rows[r].displayEnabled)
            std::printf(" %s%s", std::string(kPairNames[r]).c_str(), c.rows[r].display ? "" : "(hidden)");
    }
    std::printf("\n");
    std::printf("PN=%s\nM=%s\nD=%s\nL=%s\nPD=%s\nA=%s\n", c.pipeCount.c_str(), c.step.c_str(),
                c.startDepth.c_str(), c.pileLength.c_str(), c.pileDiameter.c_str(), c.offsetAngle.c_str());
    for (int r = 0; r < kMaxSections; ++r)
        std::printf("C%d=%s\n", r + 1, c.rows[r].spacing.c_str());
    for (int r = 0; r < kMaxSections; ++r)
        std::printf("G%d=%s\n", r + 1, c.rows[r].gain.c_str());
    for (int r = 0; r < kMaxSections; ++r)
        std::printf("T%d=%s\n", r + 1, c.rows[r].delay.c_str());
    std::printf("# history (%d):\n", info.historyCount);
    for (int i = 0; i < info.historyCount && i < kHistoryLines; ++i)
        std::printf("#   %s\n", info.commandHistory[i].c_str());
}

int runSet(const std::vector<std::string>& assignments, bool showOnly) {
    const auto path = settingsPath();
    loadSettings(currentInfo, uploadSettings, path);
    savedInfo = currentInfo;
    StoreOnlyConsole console(path);
    StderrSink sink;
    SetupForm form(sharedCurrentInfo(), savedInfo, console, sink);
    std::printf("# settings: %s\n", path.c_str());
    if (showOnly) {
        show(form, currentInfo);
        return 0;
    }
    if (assignments.empty()) {
        std::fprintf(stderr, "lx9 set: give NAME=VALUE assignments or --show\n");
        return 2;
    }
    std::string line;
    for (const auto& a : assignments) {
        if (!line.empty()) line += ",";
        line += a;
    }
    QuickSet quickSet(form, sharedCurrentInfo());
    const QuickSetResult result = quickSet.execute(line);
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", result.message.c_str());
        return 1;
    }
    if (result.command == QuickSetCommand::No) {
        std::printf("not stored (NO)\n");
        return 0;
    }
    // Without YES on the line, the tool presses OK itself.
    const FormOutcome outcome = result.command == QuickSetCommand::Yes ? result.outcome : form.ok().outcome;
    if (outcome != FormOutcome::Accepted) return 1;
    if (!console.stored()) return 2;
    std::printf("settings stored: %s\n", path.c_str());
    const SetupForm stored(sharedCurrentInfo(), savedInfo, console, sink);
    show(stored, currentInfo);
    return 0;
}

}  // namespace

void addSetCommand(CLI::App& app, Action& action) {
    auto* cmd = app.add_subcommand(
        "set", "Set test parameters with quick-set assignments (e.g. L=20 C1=100 G=200) and store them");
    auto assignments = std::make_shared<std::vector<std::string>>();
    auto showOnly = std::make_shared<bool>(false);
    cmd->add_option("assignments", *assignments, "NAME=VALUE statements, as on the setup's quick-set line");
    cmd->add_flag("--show", *showOnly, "Print the stored settings as quick-set assignments");
    cmd->callback(
        [&action, assignments, showOnly] { action = [=] { return runSet(*assignments, *showOnly); }; });
}

}  // namespace lx9::cli
