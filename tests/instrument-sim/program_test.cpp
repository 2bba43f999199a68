// The `lx9-instrument-sim` program: options, the printed port, the truth file and the stop signals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "sim_test_util.h"
#include "udp_client.h"

extern char** environ;

namespace lx9::sim {
namespace {

using test::Bytes;
using test::text;

// The program with its output on a pipe.
class Program {
  public:
    explicit Program(std::vector<std::string> args) {
        int out[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        args.insert(args.begin(), LX9_SIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, LX9_SIM_PROGRAM, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
    }
    ~Program() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
    }

    // Output up to the first line matching `pattern`, waiting at most timeoutMs.
    std::string readUntil(const std::string& pattern, int timeoutMs = 5000) {
        const std::regex re(pattern);
        for (int waited = 0; waited < timeoutMs; waited += 20) {
            if (std::regex_search(output_, re)) return output_;
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(out_, buffer, sizeof buffer);
                if (n > 0) output_.append(buffer, static_cast<size_t>(n));
            }
        }
        return output_;
    }

    int stop(int signal) {
        ::kill(pid_, signal);
        return wait();
    }
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        waited_ = true;
        readUntil("stopped after", 200);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    const std::string& output() const { return output_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool waited_ = false;
    std::string output_;
};

uint16_t portFrom(const std::string& output) {
    std::smatch m;
    if (!std::regex_search(output, m, std::regex("listening on 127\\.0\\.0\\.1:(\\d+)"))) return 0;
    return static_cast<uint16_t>(std::stoi(m[1]));
}

TEST(Program, PrintsItsPortAnswersAndEndsOnSigterm) {
    const auto dir = std::filesystem::temp_directory_path() / ("lx9-sim-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto truth = (dir / "truth.csv").string();
    Program sim({"--port", "0", "--seed", "3", "--verbose", "--truth", truth});
    const uint16_t port = portFrom(sim.readUntil("listening on"));
    ASSERT_NE(port, 0) << sim.output();
    test::UdpClient client;
    EXPECT_EQ(client.ask(text("a"), port), (Bytes{'R', 0, 0, 'a'}));
    EXPECT_TRUE(client.ask(text("s"), port));
    EXPECT_TRUE(client.ask(text("g"), port));
    sim.readUntil("-> 6144 bytes");
    EXPECT_EQ(sim.stop(SIGTERM), 0);
    EXPECT_NE(sim.output().find("a          -> 4 bytes"), std::string::npos) << sim.output();
    EXPECT_NE(sim.output().find("stopped after 3 requests (3 replies)"), std::string::npos) << sim.output();

    std::ifstream in(truth);
    std::stringstream text;
    text << in.rdbuf();
    const std::string csv = text.str();
    EXPECT_EQ(
        csv.rfind("travel_cm,depth_m,section,spacing_mm,arrival_us,velocity_kms,amplitude_mv,defect\n", 0),
        0u);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 7);  // header and the six pairs of four pipes
    EXPECT_NE(csv.find("0,20.000,1-2,445.0,"), std::string::npos) << csv;
    std::filesystem::remove_all(dir);
}

// The acceptance path: the program on an ephemeral port answers `lx9`'s link, as a tester would
// point the console at it.
TEST(Program, AnswersTheHandshakeOfTheConsoleLink) {
    Program sim({"--port", "0"});
    const uint16_t port = portFrom(sim.readUntil("listening on"));
    ASSERT_NE(port, 0) << sim.output();
    const auto dir = std::filesystem::temp_directory_path() / ("lx9-sim-cli-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string log = (dir / "out.log").string();
    const std::string command = "LX9_CONFIG_DIR='" + dir.string() +
                                "' KAXIL_INSTRUMENT=127.0.0.1:" + std::to_string(port) + " '" + LX9_CLI_PATH +
                                "' instrument > '" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(log);
    const std::string out((std::istreambuf_iterator<char>(in)), {});
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(out.find("handshake: connected"), std::string::npos) << out;
    EXPECT_NE(out.find("firmware version: 5"), std::string::npos) << out;
    EXPECT_EQ(sim.stop(SIGTERM), 0);
    std::filesystem::remove_all(dir);
}

TEST(Program, EndsOnSigint) {
    Program sim({"--port", "0"});
    ASSERT_NE(portFrom(sim.readUntil("listening on")), 0);
    EXPECT_EQ(sim.stop(SIGINT), 0);
}

TEST(Program, ReportsABadScenarioAndABadAddress) {
    const auto path =
        std::filesystem::temp_directory_path() / ("lx9-sim-bad-" + std::to_string(::getpid()) + ".json");
    std::ofstream(path) << R"({"pipes": {"count": 9}})";
    Program bad({"--port", "0", "--scenario", path.string()});
    EXPECT_EQ(bad.wait(), 2);
    EXPECT_NE(bad.output().find("lx9-instrument-sim: scenario: pipes.count must lie between 2 and 5"),
              std::string::npos)
        << bad.output();
    std::filesystem::remove(path);

    Program where({"--port", "0", "--bind", "not-an-address"});
    EXPECT_EQ(where.wait(), 1);
    EXPECT_NE(where.output().find("is not an IPv4 address"), std::string::npos) << where.output();
}

}  // namespace
}  // namespace lx9::sim
