// `lx9 acquire`, run as a program against the instrument simulator on loopback: a whole test
// leaves a pair the reader opens, and Ctrl-C in the middle saves what was measured.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "data/data_file_reader.h"
#include "instrument_simulator.h"
#include "scenario.h"
#include "spawn_program.h"

extern char** environ;

namespace lx9 {
namespace {

using namespace std::chrono_literals;

class AcquireCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("lx9_acquire_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "cfg");
    }
    void TearDown() override {
        if (sim) sim->stop();
        std::filesystem::remove_all(dir);
    }

    // A pile of `heightM` on the simulator and settings that match it.
    void prepare(double heightM, double speedMps) {
        sim::SimulatorOptions o;
        o.port = 0;
        o.scenario = sim::parseScenario("{\"pile\": {\"lengthM\": " + std::to_string(heightM) +
                                        "}, \"winch\": {\"speedMps\": " + std::to_string(speedMps) +
                                        ", \"startDelayS\": 1.5, \"jitterPercent\": 0}}");
        sim = std::make_unique<sim::InstrumentSimulator>(o);
        sim->start();
        const std::string depth = std::to_string(heightM);
        ASSERT_EQ(run({"set", "L=" + depth, "D=" + depth}, nullptr), 0);
    }

    // Runs lx9 with the arguments; `pid`, when given, receives the child's id at once and the
    // call returns without waiting.
    int run(const std::vector<std::string>& arguments, pid_t* pid) {
        std::vector<std::string> env = {"LX9_CONFIG_DIR=" + (dir / "cfg").string(), "PATH=/usr/bin:/bin"};
        if (sim) env.push_back("KAXIL_INSTRUMENT=127.0.0.1:" + std::to_string(sim->port()));
        const pid_t child = test::spawnLogged(LX9_CLI_PATH, arguments, env, (dir / "out.log").string());
        if (child < 0) return -1;
        if (pid) {
            *pid = child;
            return 0;
        }
        return wait(child);
    }
    static int wait(pid_t child) { return test::waitExit(child); }
    std::string output() const {
        std::ifstream in(dir / "out.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The highest "levels N/" of the progress lines so far.
    int levelsShown() const {
        const std::string text = output();
        int most = 0;
        for (size_t at = text.find("levels "); at != std::string::npos; at = text.find("levels ", at + 1))
            most = std::max(most, std::atoi(text.c_str() + at + 7));
        return most;
    }
    int levelsInPair(const std::filesystem::path& base) {
        COpenfile file(base.string());
        CInfo info;
        info.resetToDefaults();
        if (!file.parseHeader(info)) return -1;
        std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
        for (auto& l : lists)
            l = std::make_unique<CSampleDataList>(info.sampleLength);
        if (!file.readRows(info, listPointers(lists))) return -1;
        return file.levelsRead();
    }

    std::filesystem::path dir;
    std::unique_ptr<sim::InstrumentSimulator> sim;
};

TEST_F(AcquireCommand, AWholeTestLeavesAPairTheReaderOpens) {
    prepare(1.0, 1.0);
    const auto out = dir / "data" / "PILE 1";
    ASSERT_EQ(run({"acquire", "--out", out.string()}, nullptr), 0) << output();
    EXPECT_NE(output().find("21 levels"), std::string::npos) << output();
    EXPECT_NE(output().find("battery 80"), std::string::npos) << output();
    EXPECT_EQ(levelsInPair(out), 21) << output();
    EXPECT_EQ(run({"analyse", out.string() + ".CHT"}, nullptr), 0) << output();
}

// 61 levels are saved level by level; 41 fit in memory and are saved at the end. Neither
// reports a file error, and each ends with its whole pair.
TEST_F(AcquireCommand, RealTimeSavingToo) {
    for (const auto& [height, levels] : {std::pair{3.0, 61}, std::pair{2.0, 41}}) {
        if (sim) sim->stop();
        prepare(height, 2.0);
        const auto out = dir / ("P" + std::to_string(levels));
        ASSERT_EQ(run({"acquire", "--out", out.string(), "--save", "realtime"}, nullptr), 0) << output();
        EXPECT_EQ(levelsInPair(out), levels) << output();
        EXPECT_EQ(output().find("数据文件写入失败"), std::string::npos) << output();
    }
}

TEST_F(AcquireCommand, CtrlCEndsTheTestAndSavesWhatWasMeasured) {
    prepare(20.0, 0.5);
    const auto out = dir / "P3";
    pid_t pid = 0;
    ASSERT_EQ(run({"acquire", "--out", out.string()}, &pid), 0);
    // Wait until some levels are in, then interrupt.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (levelsShown() < 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    ::kill(pid, SIGINT);
    ASSERT_EQ(wait(pid), 0) << output();
    const int levels = levelsInPair(out);
    EXPECT_GE(levels, 10) << output();
    EXPECT_LT(levels, 401) << output();
}

TEST_F(AcquireCommand, NoInstrumentNoFiles) {
    // Nothing listens on this port: the connection fails after its three tries.
    sim::SimulatorOptions o;
    o.port = 0;
    sim = std::make_unique<sim::InstrumentSimulator>(o);
    sim->start();
    sim->startBurst(600000);
    const auto out = dir / "P4";
    EXPECT_EQ(run({"acquire", "--out", out.string()}, nullptr), 1);
    EXPECT_NE(output().find("仪器未连接！"), std::string::npos) << output();
    EXPECT_FALSE(std::filesystem::exists(out.string() + ".CHT"));
}

}  // namespace
}  // namespace lx9
