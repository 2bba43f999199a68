// `lx9 demo`: the whole job of the program in one run, on this machine alone. In a temporary
// folder it starts the instrument simulator (a 20 m pile, four pipes, two defects) on a loopback
// port, runs a real-time-saved test through the console controller, opens the data files,
// analyses them under the four standards beside the simulator's truth, draws each section's
// wave-train image, starts a result server on another loopback port, uploads the test to it and
// says where everything is. The user's own settings are never touched.
//
// `lx9 demo --gui` instead opens the touch-screen program `LX9` as a window on the same simulated
// pile, so that a person without an instrument can run a whole test by hand.
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis_report.h"
#include "analysis/pile_analysis.h"
#include "cli/acquire_session.h"
#include "cli/commands.h"
#include "cli/test_file.h"
#include "data/data_folder.h"
#include "data/globals.h"
#include "data/settings_store.h"
#include "instrument_simulator.h"
#include "pile_model.h"
#include "result_server.h"
#include "setup/sys_adjust_form.h"
#include "ui/gui_application.h"
#include "upload/section_image.h"
#include "upload/upload_job.h"

namespace lx9::cli {
namespace {

namespace fs = std::filesystem;

struct DemoArgs {
    double pileLengthM = 20.0;
    double winchSpeedMps = 1.0;
    std::string folder;  // empty: a new temporary folder
    uint64_t seed = 7;
    bool gui = false;  // open LX9 on the simulator instead of the scripted run
    bool winchSpeedGiven = false;
};

// A depth range over which a section is flagged, in metres (top < bottom).
struct DepthRange {
    double top = 0.0;
    double bottom = 0.0;
};

// The demonstration pile: sound concrete with one local defect on a single section and one that
// crosses three sections, all deep enough to lie inside the test for the shortest demo pile.
sim::Scenario demoScenario(const DemoArgs& a) {
    sim::Scenario s;
    s.pileLengthM = a.pileLengthM;
    s.pipeCount = 4;
    s.winch.speedMps = a.winchSpeedMps;
    s.winch.startDelayS = 1.0;  // time for the console to connect and start recording
    const double L = a.pileLengthM;
    sim::Defect local;
    local.topM = 0.30 * L;
    local.bottomM = 0.30 * L + 0.4;
    local.sections = {"1-2"};
    local.velocityLossPercent = 25.0;
    local.attenuationDb = 12.0;
    sim::Defect band;
    band.topM = 0.65 * L;
    band.bottomM = 0.65 * L + 0.8;
    band.sections = {"1-3", "2-3", "3-4"};
    band.velocityLossPercent = 15.0;
    band.attenuationDb = 8.0;
    s.defects = {local, band};
    return s;
}

// The test the operator would set up for that pile: its geometry measured from the pipes, the
// pipe-and-water correction from the calibration, real-time saving.
void setUpTest(CInfo& info, const sim::Scenario& s) {
    info.resetToDefaults();
    info.siteName = "演示工地";
    info.unitName = "演示检测单位";
    info.personName = "演示";
    info.pileId = "D-1#";
    info.pipeCount = s.pipeCount;
    info.sectionCount = 6;
    info.pileLength = static_cast<float>(s.pileLengthM);
    info.startDepth = static_cast<float>(s.effectiveTestHeightM());
    info.stepMm = 50;
    info.pileDiameter = static_cast<int32_t>(s.pileDiameterMm);
    info.saveMode = std::string(kSaveRealTime);
    info.standard = std::string(kStandardHighway);
    info.pipeOuterDiameter = static_cast<int32_t>(s.pipeOuterDiameterMm);
    info.pipeInnerDiameter = static_cast<int32_t>(s.pipeInnerDiameterMm);
    info.probeDiameter = static_cast<int32_t>(s.probeDiameterMm);
    info.pipeVelocity = static_cast<float>(s.pipeVelocityMps / 1000.0);
    info.waterVelocity = static_cast<float>(s.waterVelocityMps / 1000.0);
    info.pipeCorrection =
        static_cast<float>(pipeCorrectionTime(info.pipeOuterDiameter, info.pipeInnerDiameter,
                                              info.pipeVelocity, info.probeDiameter, info.waterVelocity)
                               .value_or(0.0));
    const sim::PileModel pile(s, 0);
    for (int k = 0; k < kMaxSections; ++k) {
        const int p = kPairNames[k][0] - '0', q = kPairNames[k][2] - '0';
        info.sections[k].spacing = static_cast<int32_t>(std::lround(pile.spacingMm(p, q)));
    }
    info.rebuildSectionNames();
}

// Joins flagged depths into ranges; depths closer than `gap` belong to one range.
std::vector<DepthRange> joinRanges(std::vector<double> depths, double gap) {
    std::sort(depths.begin(), depths.end());
    std::vector<DepthRange> ranges;
    for (double d : depths) {
        if (!ranges.empty() && d - ranges.back().bottom <= gap) {
            ranges.back().bottom = d;
        } else {
            ranges.push_back({d, d});
        }
    }
    return ranges;
}

// Pads to `width` terminal columns: a Chinese character takes two columns but three UTF-8 bytes,
// so printf's byte-counted widths would misalign the table.
std::string padded(const std::string& text, int width) {
    int columns = 0;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        columns += len >= 3 ? 2 : 1;
        i += len;
    }
    return text + std::string(static_cast<size_t>(std::max(width - columns, 1)), ' ');
}

std::string rangesText(const std::vector<DepthRange>& ranges) {
    if (ranges.empty()) return "-";
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(2);
    for (size_t i = 0; i < ranges.size(); ++i) {
        if (i) out << ", ";
        out << ranges[i].top << "-" << ranges[i].bottom << " m";
    }
    return out.str();
}

// Depths the simulator marked as defective, per section, from its truth file.
std::map<std::string, std::vector<double>> truthDefects(const fs::path& truthFile) {
    std::map<std::string, std::vector<double>> depths;
    std::ifstream in(truthFile);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');)
            cells.push_back(cell);
        if (cells.size() >= 8 && cells[7] == "1") depths[cells[2]].push_back(std::stod(cells[1]));
    }
    return depths;
}

void printDefects(const std::vector<PileAnalysis>& analyses, const fs::path& truthFile, int32_t stepMm) {
    const double gap = 2.5 * stepMm / 1000.0;
    const auto truth = truthDefects(truthFile);
    std::printf(
        "\nDefects: the simulator's truth beside what each standard flags (velocity or amplitude\n"
        "below its critical value; grades 3 and 4 under 广东建筑):\n");
    std::printf("  %-5s %s", "", padded("truth", 24).c_str());
    for (const auto& a : analyses)
        std::printf("%s", padded(a.standard, 24).c_str());
    std::printf("\n");
    for (int k = 0; k < kMaxSections; ++k) {
        const std::string name(kPairNames[k]);
        auto t = truth.find(name);
        std::printf(
            "  %-5s %s", name.c_str(),
            padded(rangesText(joinRanges(t == truth.end() ? std::vector<double>{} : t->second, gap)), 24)
                .c_str());
        for (const auto& a : analyses) {
            std::vector<double> flagged;
            for (const auto& s : a.sections) {
                if (s.name != name) continue;
                for (const auto& f : s.findings) {
                    if (a.graded ? f.grade >= 3 : (f.belowVelocity || f.belowAmplitude))
                        flagged.push_back(f.depth);
                }
            }
            // A lone flagged point is scatter, not a defect: keep ranges of two points or more.
            std::vector<DepthRange> ranges;
            for (const auto& r : joinRanges(flagged, gap)) {
                if (r.bottom - r.top >= stepMm / 1000.0 - 1e-6) ranges.push_back(r);
            }
            std::printf("%s", padded(rangesText(ranges), 24).c_str());
        }
        std::printf("\n");
    }
}

// LX9 as built beside this tool: the build tree keeps it in ../program, an installation in the
// same folder.
fs::path findProgram() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (const char* env = std::getenv("LX9_PROGRAM"); env && *env) return env;
    for (const fs::path& p :
         {self.parent_path() / "LX9", self.parent_path().parent_path() / "program" / "LX9"})
        if (::access(p.c_str(), X_OK) == 0) return p;
    return {};
}

int runProgram(const fs::path& program, const std::vector<std::string>& args) {
    std::vector<std::string> all = {program.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The simulator with the demonstration pile and LX9 as an office window on it, until LX9 closes.
int runDemoGui(DemoArgs a, const fs::path& root) {
    const fs::path program = findProgram();
    if (program.empty()) {
        std::fprintf(stderr, "lx9 demo: LX9 was not found beside lx9 (set LX9_PROGRAM)\n");
        return 1;
    }
    const fs::path settingsDir = root / "settings", dataDir = root / "data";
    fs::create_directories(settingsDir);
    fs::create_directories(dataDir);
    ::setenv("LX9_CONFIG_DIR", settingsDir.c_str(), 1);
    std::string error;
    if (!setDataFolder(settingsDir, dataDir, &error)) {
        std::fprintf(stderr, "lx9 demo: %s\n", error.c_str());
        return 1;
    }
    // A person needs time between 采样 and 新存, and a winch slow enough to watch.
    if (!a.winchSpeedGiven) a.winchSpeedMps = 0.3;
    sim::SimulatorOptions so;
    so.port = 0;
    so.scenario = demoScenario(a);
    so.scenario.winch.startDelayS = 20.0;
    so.seed = a.seed;
    so.truthPath = (root / "truth.csv").string();
    sim::InstrumentSimulator simulator(so);
    try {
        simulator.start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lx9 demo: %s\n", e.what());
        return 1;
    }
    const std::string instrument = "127.0.0.1:" + std::to_string(simulator.port());
    ::setenv("KAXIL_INSTRUMENT", instrument.c_str(), 1);
    setUpTest(currentInfo, so.scenario);
    if (const StoreResult stored =
            storeSettings(currentInfo, uploadSettings, settingsDir / kSettingsFileName);
        !stored.ok) {
        std::fprintf(stderr, "lx9 demo: %s\n", stored.message.c_str());
        return 1;
    }
    std::printf(
        "LX9 demo in %s\n"
        "Instrument simulator on %s: %.0f m pile, 4 pipes, the probes wait %.0f s at the toe after\n"
        "采样 and then rise at %.2f m/s.\n"
        "In LX9: 确定 (connected), 采样, then 新存 and a file name within those seconds; the test\n"
        "ends at the top with the save dialog. 关闭 ends the demo. Data files go to %s\n",
        root.c_str(), instrument.c_str(), so.scenario.pileLengthM, so.scenario.winch.startDelayS,
        a.winchSpeedMps, dataDir.c_str());
    const int rc = runProgram(program, {"--window"});
    simulator.stop();
    if (rc != 0) std::fprintf(stderr, "lx9 demo: LX9 ended with %d\n", rc);
    return rc == 0 ? 0 : 1;
}

// The demo's own folder and what goes in it.
struct DemoFolders {
    fs::path root, settings, data, images, server, truth;
};

// The file pair the recorded test was saved as.
struct RecordedTest {
    fs::path settingsFile;
    std::string base;     // the data pair without its extension
    std::string chtFile;  // the header file the office opens
};

// 1. The instrument: the simulator on a loopback port of its own.
bool startInstrument(sim::InstrumentSimulator& simulator, const sim::SimulatorOptions& so) {
    try {
        simulator.start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lx9 demo: %s\n", e.what());
        return false;
    }
    const std::string instrument = "127.0.0.1:" + std::to_string(simulator.port());
    ::setenv("KAXIL_INSTRUMENT", instrument.c_str(), 1);
    std::printf(
        "\n1. Instrument simulator on %s: %.0f m pile, 4 pipes (6 sections), defects at %.2f-%.2f m "
        "(1-2) and %.2f-%.2f m (1-3, 2-3, 3-4)\n",
        instrument.c_str(), so.scenario.pileLengthM, so.scenario.defects[0].topM,
        so.scenario.defects[0].bottomM, so.scenario.defects[1].topM, so.scenario.defects[1].bottomM);
    return true;
}

// 2. The test, as a field tester runs it: set up, sample, record to the top, save. The simulator
// is stopped once the test is over, whatever its outcome.
bool recordTest(const DemoFolders& f, const sim::Scenario& scenario, sim::InstrumentSimulator& simulator,
                RecordedTest& recorded) {
    setUpTest(currentInfo, scenario);
    recorded.settingsFile = f.settings / kSettingsFileName;
    if (const StoreResult stored = storeSettings(currentInfo, uploadSettings, recorded.settingsFile);
        !stored.ok) {
        std::fprintf(stderr, "lx9 demo: %s\n", stored.message.c_str());
        return false;
    }
    savedInfo = currentInfo;
    std::printf("\n2. Recording %d levels (step %d mm, real-time saving) through the console controller\n",
                wholeTestLevelCount(currentInfo), currentInfo.stepMm);
    AcquireSessionOptions session;
    session.out = (f.data / "DEMO").string();
    session.settingsFile = recorded.settingsFile;
    const AcquireSessionResult run = runAcquireSession(session);
    simulator.stop();
    if (!run.connected || !run.saved) {
        std::fprintf(stderr, "lx9 demo: the test was not %s\n", run.connected ? "saved" : "connected");
        return false;
    }
    recorded.base = session.out;
    recorded.chtFile = session.out + ".CHT";
    std::printf("   saved %d levels: %s and %s.CHD\n", run.levels, recorded.chtFile.c_str(),
                recorded.base.c_str());
    return true;
}

// 3. The office: open the pair and analyse it under every standard.
bool analyseTest(const std::string& chtFile, const fs::path& truthFile, LoadedTest& test) {
    std::string error;
    if (!loadTestFile(chtFile, test, error)) {
        std::fprintf(stderr, "lx9 demo: %s\n", error.c_str());
        return false;
    }
    std::vector<PileAnalysis> analyses;
    for (std::string_view standard :
         {kStandardBuilding, kStandardGuangdong, kStandardHighway, kStandardRailway})
        analyses.push_back(analysePile(test.info, test.pointers(), standard));
    ReportHeader header{chtFile, test.info.pileId, test.info.siteName, test.info.testDate, test.info.stepMm,
                        false};
    std::printf("\n3. Analysis of %s under the four standards\n\n", chtFile.c_str());
    std::fputs(formatReport(header, analyses, ReportFormat::Table).c_str(), stdout);
    printDefects(analyses, truthFile, test.info.stepMm);
    return true;
}

// 4. The wave-train image of every section, as an upload sends it.
bool drawImages(const LoadedTest& test, const fs::path& imageDir) {
    std::printf("\n4. Wave-train images\n");
    for (int k = 0; k < kMaxSections; ++k) {
        if (!test.info.sections[k].present || !test.lists[k]) continue;
        const fs::path png = imageDir / (test.info.sections[k].name + ".png");
        if (!renderSectionImage(test.info, test.pointers(), k, png)) {
            std::fprintf(stderr, "lx9 demo: cannot draw %s\n", png.c_str());
            return false;
        }
        std::printf("   %s\n", png.c_str());
    }
    return true;
}

// 5. The result server on another loopback port, and the upload. `storedAt` is the folder the
// server kept the upload in.
bool uploadTest(const DemoFolders& f, const LoadedTest& test, const std::string& chtFile,
                fs::path& storedAt) {
    server::ServerOptions serverOptions;
    serverOptions.port = 0;
    serverOptions.store = f.server;
    serverOptions.onStored = [&storedAt](const server::StoredUpload&, const fs::path& folder) {
        storedAt = folder;
    };
    server::ResultServer resultServer(serverOptions);
    std::string error;
    if (!resultServer.start(&error)) {
        std::fprintf(stderr, "lx9 demo: result server: %s\n", error.c_str());
        return false;
    }
    std::printf("\n5. Upload to the result server on 127.0.0.1:%u\n", resultServer.port());
    UploadRequest request;
    request.info = test.info;
    request.info.uploadFile = chtFile;
    request.settings = {"LX9-DEMO", "0001", 0x7F000001, resultServer.port()};
    request.lists = test.pointers();
    request.imageFolder = f.root;
    UploadHooks hooks;
    std::string lastStage;
    int lastLevelPercent = -100;
    hooks.progress = [&](const UploadProgress& p) {
        // One line per stage, and one per tenth of the data levels: a line for every level or
        // every image chunk would flood the terminal.
        const std::string stage = p.text.substr(0, p.text.find('('));
        const int percent = static_cast<int>(p.fraction * 100);
        const bool levelLine = stage.find("数据表深度") != std::string::npos;
        if (stage != lastStage && (!levelLine || percent - lastLevelPercent >= 10)) {
            std::printf("   %3d%% %s\n", percent, p.text.c_str());
            if (levelLine) lastLevelPercent = percent;
        }
        lastStage = stage;
    };
    hooks.computeCriticals = [](const CInfo& info, const SectionLists& lists) {
        storeUploadCriticals(info, lists);
    };
    hooks.renderImage = renderSectionImage;
    hooks.console = [](std::string_view) {};
    CancelSignal cancel;
    const UploadResult uploaded = runUpload(request, hooks, cancel);
    resultServer.stop();
    if (!uploaded.ok) {
        std::fprintf(stderr, "lx9 demo: the upload failed: %s\n", uploaded.message.c_str());
        return false;
    }
    return true;
}

void printWhere(const DemoFolders& f, const RecordedTest& recorded, const fs::path& storedAt) {
    std::printf("\nWhere everything is:\n");
    std::printf("  data files      %s, %s.CHD\n", recorded.chtFile.c_str(), recorded.base.c_str());
    std::printf("  settings        %s\n", recorded.settingsFile.c_str());
    std::printf("  simulator truth %s\n", f.truth.c_str());
    std::printf("  images          %s\n", f.images.c_str());
    std::printf("  server copy     %s\n", storedAt.empty() ? f.server.c_str() : storedAt.c_str());
}

int runDemo(const DemoArgs& a) {
    // Everything the demo writes lives in one folder of its own.
    fs::path root = a.folder;
    if (root.empty()) {
        std::string pattern = (fs::temp_directory_path() / "lx9-demo.XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::perror("lx9 demo: cannot create a temporary folder");
            return 1;
        }
        root = pattern;
    }
    if (a.gui) return runDemoGui(a, root);
    const DemoFolders f{
        root, root / "settings", root / "data", root / "images", root / "server", root / "truth.csv"};
    for (const auto& d : {f.settings, f.data, f.images, f.server})
        fs::create_directories(d);
    // The console's progress goes to standard error; line buffering keeps both in order in a log.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    ::setenv("LX9_CONFIG_DIR", f.settings.c_str(), 1);
    std::printf("LX9 demo in %s\n", root.c_str());

    sim::SimulatorOptions so;
    so.port = 0;
    so.scenario = demoScenario(a);
    so.seed = a.seed;
    so.truthPath = f.truth.string();
    sim::InstrumentSimulator simulator(so);
    if (!startInstrument(simulator, so)) return 1;
    RecordedTest recorded;
    if (!recordTest(f, so.scenario, simulator, recorded)) return 1;
    LoadedTest test;
    if (!analyseTest(recorded.chtFile, f.truth, test)) return 1;
    // Images are drawn off screen, by the drawing stage and again by the upload.
    ui::OffscreenGui gui;
    if (!drawImages(test, f.images)) return 1;
    fs::path storedAt;
    if (!uploadTest(f, test, recorded.chtFile, storedAt)) return 1;
    printWhere(f, recorded, storedAt);
    return 0;
}

}  // namespace

void addDemoCommand(CLI::App& app, Action& action) {
    auto args = std::make_shared<DemoArgs>();
    auto* cmd = app.add_subcommand(
        "demo", "Run a whole test against the built-in simulator, analyse, draw and upload it");
    cmd->add_option("--pile-length", args->pileLengthM, "pile length in metres")
        ->check(CLI::Range(2.0, 60.0))
        ->capture_default_str();
    cmd->add_option("--winch-speed", args->winchSpeedMps, "speed at which the probes rise, m/s")
        ->check(CLI::Range(0.05, 2.0))
        ->capture_default_str();
    cmd->add_option("--folder", args->folder,
                    "folder for everything the demo writes (default: a new temporary one)");
    cmd->add_option("--seed", args->seed, "seed of the simulated pile")->capture_default_str();
    cmd->add_flag("--gui", args->gui,
                  "open the touch-screen program LX9 as a window on the simulator and run the test by hand");
    cmd->callback([&action, args, cmd] {
        args->winchSpeedGiven = cmd->count("--winch-speed") > 0;
        action = [args] { return runDemo(*args); };
    });
}

}  // namespace lx9::cli
