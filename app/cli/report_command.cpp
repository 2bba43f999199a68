// `lx9 report FILE.CHT [--standard NAME] --out report.pdf|report.html [--sections 1-2,1-3]`:
// the test report the workbench's "生成报告" writes, without a display.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "report/report_model.h"
#include "report/report_writer.h"
#include "ui/gui_application.h"

namespace lx9::cli {
namespace {

struct ReportArgs {
    std::string file;
    std::string standard;
    std::string out;
    std::string sections;
};

// A bar on the terminal, redrawn only when it changes; nothing when stderr is not a terminal.
class ProgressBar {
  public:
    explicit ProgressBar(bool shown) : shown_(shown) {}
    ~ProgressBar() {
        if (drawn_) std::fprintf(stderr, "\r\033[K");
    }
    void update(int done, int total, const std::string& what) {
        if (!shown_ || total <= 0) return;
        const int percent = static_cast<int>(100LL * done / total);
        if (percent == percent_ && what == what_) return;
        percent_ = percent;
        what_ = what;
        constexpr int kWidth = 30;
        const int filled = kWidth * percent / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%% %s\033[K", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, ' ').c_str(), percent, what.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }

  private:
    bool shown_;
    bool drawn_ = false;
    int percent_ = -1;
    std::string what_;
};

int runReport(const ReportArgs& args) {
    if (args.out.empty()) {
        std::fprintf(stderr, "lx9 report: --out names the report to write (report.pdf or report.html)\n");
        return 2;
    }
    ReportRequest request;
    request.file = args.file;
    request.standard = args.standard;
    request.out = args.out;
    if (!args.sections.empty()) {
        const auto names = parseSectionList(args.sections);
        if (!names) {
            std::fprintf(stderr, "lx9 report: --sections wants names such as 1-2,1-3, not \"%s\"\n",
                         args.sections.c_str());
            return 2;
        }
        request.sections = *names;
    }
    ui::OffscreenGui gui;
    ReportOutcome outcome;
    {
        ProgressBar bar(::isatty(STDERR_FILENO) != 0);
        outcome = writeReport(
            request, [&bar](int done, int total, const std::string& what) { bar.update(done, total, what); });
    }
    if (outcome.exitCode != 0) {
        std::fprintf(stderr, "lx9 report: %s\n", outcome.error.c_str());
        return outcome.exitCode;
    }
    std::printf("%s\n", args.out.c_str());
    return 0;
}

}  // namespace

void addReportCommand(CLI::App& app, Action& action) {
    auto args = std::make_shared<ReportArgs>();
    auto* cmd = app.add_subcommand("report", "Write a test report (PDF or HTML) of a data file pair");
    cmd->add_option("file", args->file, "the test's .CHT file (or its base path)")->required();
    cmd->add_option("--standard", args->standard,
                    "建筑, 广东建筑, 公路 or 铁路 (default: the standard of the settings)");
    cmd->add_option("--out", args->out, "report.pdf or report.html (required)");
    cmd->add_option("--sections", args->sections, "sections to report, e.g. 1-2,1-3 (default: all)");
    cmd->callback([&action, args] { action = [args] { return runReport(*args); }; });
}

}  // namespace lx9::cli
