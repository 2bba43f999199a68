// `lx9 analyse FILE.CHT`: opens a data file pair, optionally re-picks every point with the
// settings' picking method, and prints each section's statistics, critical values, PSD and the
// points below the critical values under one or all of the four standards.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_report.h"
#include "analysis/pile_analysis.h"
#include "analysis/process_points.h"
#include "cli/commands.h"
#include "data/cinfo.h"
#include "data/data_file_format.h"
#include "data/data_file_reader.h"
#include "data/globals.h"
#include "data/point_metrics.h"
#include "data/run_state.h"
#include "data/settings_store.h"
#include "workbench/pick_audit.h"

namespace lx9::cli {
namespace {

struct AnalyseOptions {
    std::string file;
    std::string standard;  // empty: the settings' standard
    std::string format = "table";
    bool repick = false;
};

// Every point that holds a waveform gets a fresh pick; its amplitude in dB follows the pick, as
// a re-pick in the workbench does.
void repickAll(const CInfo& info, const std::array<std::unique_ptr<CSampleDataList>, kMaxSections>& lists) {
    for (int k = 0; k < kMaxSections; ++k) {
        if (!lists[k] || !info.sections[k].present) continue;
        CSampleDataList& list = *lists[k];
        auto guard = list.lock();
        for (int i = 0; i < list.count; ++i) {
            SamplePoint* p = list.pointAt(i);
            if (!p || p->samples.empty()) continue;
            const PointPick pick = PickWaveform(info, k, p->samples, p->depth);
            StorePick(*p, pick);
            p->amplitudeDb = static_cast<float>(amplitudeToDb(pick.amplitude));
        }
    }
}

int runAnalyse(const AnalyseOptions& o) {
    const auto format = reportFormatFromText(o.format);
    if (!format) {
        std::fprintf(stderr, "lx9 analyse: unknown format \"%s\" (table, csv or json)\n", o.format.c_str());
        return 2;
    }

    // The settings give what the files do not hold: the standard and the picking parameters.
    CInfo info;
    UploadSettings upload;
    if (loadSettings(info, upload, settingsPath()) != LoadResult::Loaded) info.resetToDefaults();

    // The lists are walked as a viewed file's lists are: by position, never wrapped.
    testState = makeState(kStateViewing);
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
    const bool showProgress = isatty(STDERR_FILENO) && o.format == "table";
    const OpenReport opened = openDataFile(
        o.file, info,
        [&lists](const CInfo& read) {
            for (int k = 0; k < kMaxSections; ++k)
                lists[k] = std::make_unique<CSampleDataList>(read.sampleLength, k);
            return listPointers(lists);
        },
        [showProgress](int done, int total) {
            if (showProgress && (done % 64 == 0 || done == total))
                std::fprintf(stderr, "\rreading level %d of %d", done, total);
        });
    if (showProgress) std::fprintf(stderr, "\r%40s\r", "");
    if (!opened.ok) {
        std::fprintf(stderr, "lx9 analyse: cannot open %s: %s\n", o.file.c_str(),
                     opened.error.empty() ? "the file pair could not be read" : opened.error.c_str());
        return 2;
    }
    if (opened.droppedLevels > 0) {
        std::fprintf(stderr, "lx9 analyse: %d incomplete level(s) at the end of the file left out\n",
                     opened.droppedLevels);
    }
    if (o.repick) repickAll(info, lists);

    std::vector<std::string> standards;
    if (o.standard == "all") {
        standards = {std::string(kStandardBuilding), std::string(kStandardGuangdong),
                     std::string(kStandardHighway), std::string(kStandardRailway)};
    } else {
        standards = {o.standard.empty() ? info.standard : o.standard};
    }

    const SectionLists pointers = listPointers(lists);
    std::vector<PileAnalysis> analyses;
    for (const std::string& standard : standards) {
        // The Guangdong statistics interval starts as the whole section, as when the workbench opens.
        if (standard == kStandardGuangdong) setWholeIntervals(info, pointers);
        analyses.push_back(analysePile(info, pointers, standard));
    }
    const ReportHeader header{o.file, info.pileId, info.siteName, info.testDate, info.stepMm, o.repick};
    std::string text = formatReport(header, analyses, *format);
    // Picks corrected by hand and saved from the workbench: the figures above rest on them.
    const std::filesystem::path cht = dataFileBase(o.file) + std::string(kChtSuffix);
    if (const int picked = handPickedPoints(info, cht); picked > 0) {
        char note[512];
        std::snprintf(note, sizeof note, "hand picks: %d point(s) carry picks corrected by hand (%s)\n",
                      picked, auditPath(cht).filename().c_str());
        if (*format == ReportFormat::Table) {
            text += note;
        } else {
            std::fprintf(stderr, "lx9 analyse: %s", note);
        }
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

void addAnalyseCommand(CLI::App& app, Action& action) {
    auto options = std::make_shared<AnalyseOptions>();
    auto* cmd =
        app.add_subcommand("analyse", "Critical values, PSD and defective points of a data file pair");
    cmd->add_option("file", options->file, "the test's .CHT file (or its base path)")->required();
    cmd->add_option("--standard", options->standard,
                    "建筑, 广东建筑, 公路, 铁路 or all (default: the standard of the settings)")
        ->check(CLI::IsMember({std::string(kStandardBuilding), std::string(kStandardGuangdong),
                               std::string(kStandardHighway), std::string(kStandardRailway),
                               std::string("all")}));
    cmd->add_option("--format", options->format, "table, csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}));
    cmd->add_flag("--repick", options->repick, "pick every point again with the settings' picking method");
    cmd->callback([&action, options] { action = [options] { return runAnalyse(*options); }; });
}

}  // namespace lx9::cli
