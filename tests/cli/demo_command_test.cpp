// `lx9 demo` end to end on a short pile: the program runs the simulator, a whole test, the four
// analyses, the images and an upload to its own result server, all in one folder, and leaves the
// user's home alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "data/data_file_reader.h"
#include "spawn_program.h"

namespace lx9 {
namespace {

namespace fs = std::filesystem;

class DemoCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("lx9_demo_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs lx9 with only a scratch HOME in the environment; stdout and stderr go to out.log.
    int run(const std::vector<std::string>& args) {
        const std::string log = (dir / "out.log").string();
        std::filesystem::remove(log);
        const pid_t child = test::spawnLogged(LX9_CLI_PATH, args,
                                              {"HOME=" + (dir / "home").string(), "PATH=/usr/bin:/bin"}, log);
        return child < 0 ? -1 : test::waitExit(child);
    }
    std::string output() const {
        std::ifstream in(dir / "out.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The row of the defects table for a section: its cells after the section name.
    std::string defectRow(const std::string& section) const {
        std::istringstream lines(output().substr(output().find("Defects:")));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("  " + section + " ", 0) == 0) return line.substr(2 + section.size());
        }
        return {};
    }

    // The cells of that row (truth, then one per standard), each as its depth ranges; "-" is
    // none. Cells are at least two spaces apart; ranges in a cell are separated by ", ".
    std::vector<std::vector<std::pair<double, double>>> defectCells(const std::string& section) const {
        std::vector<std::vector<std::pair<double, double>>> cells;
        const std::string row = defectRow(section);
        const std::regex cell("(-|[0-9.]+-[0-9.]+ m(, [0-9.]+-[0-9.]+ m)*)");
        const std::regex range("([0-9.]+)-([0-9.]+) m");
        for (auto it = std::sregex_iterator(row.begin(), row.end(), cell); it != std::sregex_iterator();
             ++it) {
            std::vector<std::pair<double, double>> ranges;
            const std::string text = it->str();
            for (auto r = std::sregex_iterator(text.begin(), text.end(), range); r != std::sregex_iterator();
                 ++r)
                ranges.emplace_back(std::stod((*r)[1]), std::stod((*r)[2]));
            cells.push_back(ranges);
        }
        return cells;
    }

    fs::path dir;
};

bool isPng(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<unsigned char, 8> head{};
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    return in && head == std::array<unsigned char, 8>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
}

TEST_F(DemoCommand, AShortPileRunsTheWholeJob) {
    const fs::path out = dir / "demo";
    ASSERT_EQ(run({"demo", "--pile-length", "4", "--winch-speed", "1", "--folder", out.string()}), 0)
        << output();
    const std::string text = output();

    // The test: 4 m at 50 mm is 81 levels, saved in real time and read back whole.
    EXPECT_NE(text.find("Recording 81 levels"), std::string::npos) << text;
    COpenfile file((out / "data" / "DEMO").string());
    CInfo info;
    info.resetToDefaults();
    ASSERT_TRUE(file.parseHeader(info)) << text;
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
    for (auto& l : lists)
        l = std::make_unique<CSampleDataList>(info.sampleLength);
    ASSERT_TRUE(file.readRows(info, listPointers(lists)));
    EXPECT_EQ(file.levelsRead(), 81);
    EXPECT_EQ(info.pipeCount, 4);
    EXPECT_EQ(info.pileId, "D-1#");

    // The analyses: every standard reports, and the strong local defect on 1-2 (1.20-1.60 m) is
    // flagged by at least three of the four standards at depths that overlap it. (Which frame
    // each level keeps depends on timing, so scattered flags elsewhere are not asserted on.)
    for (const char* standard : {"Standard 建筑", "Standard 广东建筑", "Standard 公路", "Standard 铁路"})
        EXPECT_NE(text.find(standard), std::string::npos) << standard;
    const std::vector<std::vector<std::pair<double, double>>> cells = defectCells("1-2");
    ASSERT_EQ(cells.size(), 5u) << defectRow("1-2");
    ASSERT_EQ(cells[0], (std::vector<std::pair<double, double>>{{1.20, 1.60}})) << defectRow("1-2");
    int found = 0;
    for (size_t c = 1; c < cells.size(); ++c) {
        found += std::any_of(cells[c].begin(), cells[c].end(),
                             [](const auto& r) { return r.first < 1.60 + 1e-9 && r.second > 1.20 - 1e-9; });
    }
    EXPECT_GE(found, 3) << defectRow("1-2");

    // Six images, and the server's copy of the upload with every level and image.
    for (const char* s : {"1-2", "1-3", "1-4", "2-3", "2-4", "3-4"}) {
        EXPECT_TRUE(isPng(out / "images" / (std::string(s) + ".png"))) << s;
        EXPECT_TRUE(isPng(out / "server" / "LX9-DEMO" / "0001" / (std::string(s) + ".png"))) << s;
    }
    std::ifstream jobFile(out / "server" / "LX9-DEMO" / "0001" / "job.json");
    ASSERT_TRUE(jobFile) << text;
    const auto job = nlohmann::json::parse(jobFile);
    EXPECT_EQ(job["pileId"], "D-1#");
    EXPECT_EQ(job["levels"].size(), 81u);
    EXPECT_EQ(job["images"].size(), 6u);
    EXPECT_NE(text.find("server copy     " + (out / "server" / "LX9-DEMO" / "0001").string()),
              std::string::npos);

    // Settings lived in the demo's folder; nothing was written under HOME.
    EXPECT_TRUE(fs::exists(out / "settings" / "set.ini"));
    EXPECT_TRUE(fs::is_empty(dir / "home")) << "the demo wrote under HOME";
}

TEST_F(DemoCommand, RefusesAPileOutsideItsRange) {
    EXPECT_NE(run({"demo", "--pile-length", "0.5", "--folder", (dir / "x").string()}), 0);
    EXPECT_FALSE(fs::exists(dir / "x" / "data"));
}

}  // namespace
}  // namespace lx9
