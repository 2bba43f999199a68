// The real LX9 process on an X server of its own (xvfb-run; a 1280×800 screen, so that a window
// left at its own 1024×768 would show), against the instrument
// simulator on loopback: full screen, it connects, samples and closes through `--self-test`,
// grabbing the screen before and during free sampling.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QColor>
#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "instrument_simulator.h"
#include "tests/cli/spawn_program.h"

namespace lx9 {
namespace {

namespace fs = std::filesystem;

// Pixels that differ between two pictures of the same size inside a rectangle.
int differing(const QImage& a, const QImage& b, const QRect& r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) ++n;
    return n;
}

TEST(LX9Process, FullScreenUnderXvfbConnectsSamplesAndCloses) {
    if (::access("/usr/bin/xvfb-run", X_OK) != 0) GTEST_SKIP() << "xvfb-run is not installed";
    const fs::path root = fs::temp_directory_path() / ("lx9_process_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "home");

    sim::SimulatorOptions o;
    o.port = 0;
    o.scenario.pileLengthM = 10.0;
    o.scenario.pipeCount = 3;
    o.scenario.winch.startDelayS = 120.0;
    sim::InstrumentSimulator simulator(o);
    simulator.start();

    std::vector<std::string> env = {
        "PATH=/usr/bin:/bin",
        "HOME=" + (root / "home").string(),
        "LX9_CONFIG_DIR=" + (root / "settings").string(),
        "KAXIL_INSTRUMENT=127.0.0.1:" + std::to_string(simulator.port()),
        "XDG_RUNTIME_DIR=" + root.string(),
    };
    // A sanitizer build's program reads its options (suppressions) as the test does.
    for (const char* name : {"TSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    const std::string log = (root / "lx9.log").string();
    const pid_t child = test::spawnLogged(
        "/usr/bin/xvfb-run",
        {"-a", "-s", "-screen 0 1280x800x24", LX9_PROGRAM, "--self-test", (root / "shots").string()}, env,
        log);
    ASSERT_GT(child, 0);
    const int rc = test::waitExit(child);
    simulator.stop();
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    ASSERT_EQ(rc, 0) << text.str();

    const QImage before(QString::fromStdString((root / "shots" / "console.png").string()));
    const QImage during(QString::fromStdString((root / "shots" / "console-sampling.png").string()));
    ASSERT_EQ(before.size(), QSize(1280, 800));
    ASSERT_EQ(during.size(), QSize(1280, 800));
    // The window covers the screen (a bare X server has no window manager to do it): the battery
    // bar in the right margin (x 1260..1274) is full and green.
    EXPECT_EQ(QColor(before.pixel(1267, 600)), QColor(0, 255, 0));
    EXPECT_EQ(QColor(during.pixel(1267, 600)), QColor(0, 255, 0));
    // 采样 became 暂停 and the point information appeared; the panels stayed put.
    EXPECT_GT(differing(before, during, QRect(190, 744, 93, 48)), 20);  // 采样 → 暂停
    EXPECT_GT(differing(before, during, QRect(25, 0, 1230, 25)), 50);
    EXPECT_EQ(differing(before, during, QRect(200, 400, 600, 200)), 0);
    EXPECT_TRUE(fs::exists(root / "settings" / "set.ini"));  // "关闭" stored the settings
    EXPECT_GT(simulator.stats().requests, 10u);
    fs::remove_all(root);
}

}  // namespace
}  // namespace lx9
