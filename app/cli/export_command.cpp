// `lx9 export FILE.CHT [--format csv|json] [--standard NAME]`: every point of every present
// section, as the analysis judges it under one standard, for a spreadsheet.
#include <cstdio>
#include <memory>
#include <string>

#include "analysis/pile_analysis.h"
#include "cli/commands.h"
#include "report/point_export.h"
#include "report/report_model.h"
#include "report/report_source.h"

namespace lx9::cli {
namespace {

struct ExportOptions {
    std::string file;
    std::string standard;  // empty: the settings' standard
    std::string format = "csv";
};

int runExport(const ExportOptions& o) {
    if (o.format != "csv" && o.format != "json") {
        std::fprintf(stderr, "lx9 export: unknown format \"%s\" (csv or json)\n", o.format.c_str());
        return 2;
    }
    if (!o.standard.empty() && !isKnownStandard(o.standard)) {
        std::fprintf(stderr, "lx9 export: unknown standard \"%s\" (建筑, 广东建筑, 公路 or 铁路)\n",
                     o.standard.c_str());
        return 2;
    }
    ReportTest test;
    std::string error;
    if (!openReportTest(o.file, test, error)) {
        std::fprintf(stderr, "lx9 export: %s\n", error.c_str());
        return 2;
    }
    if (test.droppedLevels > 0) {
        std::fprintf(stderr, "lx9 export: %d incomplete level(s) at the end of the file left out\n",
                     test.droppedLevels);
    }
    const std::string standard = o.standard.empty() ? test.info.standard : o.standard;
    const SectionLists lists = test.pointers();
    // The Guangdong statistics interval starts as the whole section, as `lx9 analyse` takes it.
    if (standard == kStandardGuangdong) setWholeIntervals(test.info, lists);
    const PileAnalysis pile = analysePile(test.info, lists, standard);
    const auto points = exportPoints(test.info, lists, pile, readPickTrail(o.file));
    const std::string text =
        o.format == "csv"
            ? exportCsv(points)
            : exportJson({o.file, test.info.pileId, pile.standard, std::string(pile.rules)}, points);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

void addExportCommand(CLI::App& app, Action& action) {
    auto options = std::make_shared<ExportOptions>();
    auto* cmd = app.add_subcommand("export", "Every point of a data file pair as CSV or JSON");
    cmd->add_option("file", options->file, "the test's .CHT file (or its base path)")->required();
    cmd->add_option("--standard", options->standard,
                    "建筑, 广东建筑, 公路 or 铁路 (default: the standard of the settings)");
    cmd->add_option("--format", options->format, "csv (default) or json");
    cmd->callback([&action, options] { action = [options] { return runExport(*options); }; });
}

}  // namespace lx9::cli
