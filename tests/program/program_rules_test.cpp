// The Qt-free rules behind LX9's start and its console: the command line, the connection
// dialog's handshake one try at a time, the console's hotkeys, and the data folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "acquisition/console_keys.h"
#include "acquisition/console_rules.h"
#include "acquisition/link_form.h"
#include "data/data_folder.h"
#include "program/program_options.h"
#include "tests/acquisition/test_support.h"

namespace lx9 {
namespace {

namespace fs = std::filesystem;

TEST(ProgramOptions, WindowSelfTestAndTheRelaunchArgument) {
    struct Case {
        std::vector<std::string> args;
        bool window;
        std::string selfTest;
        std::string error;
    };
    const Case cases[] = {
        {{}, false, "", ""},
        {{"-1"}, false, "", ""},  // the relaunch: full screen again
        {{"--window"}, true, "", ""},
        {{"--self-test", "/tmp/x", "--window"}, true, "/tmp/x", ""},
        {{"--self-test"}, false, "", "--self-test needs a folder"},
        {{"--self-test", "--window"}, false, "", "--self-test needs a folder"},
    };
    for (const Case& c : cases) {
        const auto o = program::parseProgramArguments(c.args);
        EXPECT_EQ(o.window, c.window);
        EXPECT_EQ(o.selfTestDir, c.selfTest);
        EXPECT_EQ(o.error, c.error);
    }
}

// Each tryOnce() is one handshake: the bar moves after each failure, the third failure ends it,
// and nothing is called once the dialog has an answer.
TEST(LinkFormOneTry, EachTryIsOneHandshake) {
    test::ScriptedLink link;
    link.failNext("GetCommunicateStatus", 2);
    LinkForm form(link);
    EXPECT_EQ(form.tryOnce(), LinkForm::Phase::Connecting);
    EXPECT_EQ(form.progress(), 1);
    EXPECT_EQ(form.text(), "正在连接中，请稍等……");
    EXPECT_EQ(form.buttons(), (std::array<std::string, 2>{}));
    EXPECT_EQ(form.tryOnce(), LinkForm::Phase::Connecting);
    EXPECT_EQ(form.progress(), 2);
    EXPECT_EQ(form.tryOnce(), LinkForm::Phase::Connected);  // the third try answers
    EXPECT_EQ(form.tryOnce(), LinkForm::Phase::Connected);
    EXPECT_EQ(link.callCount("GetCommunicateStatus"), 3);
    form.restart();  // only from a failure
    EXPECT_EQ(form.phase(), LinkForm::Phase::Connected);

    test::ScriptedLink dead;
    dead.failAlways("GetCommunicateStatus", true);
    LinkForm failing(dead);
    for (int i = 0; i < 3; ++i)
        failing.tryOnce();
    EXPECT_EQ(failing.phase(), LinkForm::Phase::Failed);
    EXPECT_EQ(failing.progress(), 3);
    EXPECT_EQ(failing.tryOnce(), LinkForm::Phase::Failed);
    EXPECT_EQ(dead.callCount("GetCommunicateStatus"), 3);
    failing.restart();
    EXPECT_EQ(failing.phase(), LinkForm::Phase::Connecting);
    EXPECT_EQ(failing.progress(), 0);
    EXPECT_EQ(failing.text(), "正在连接中，请稍等……");
}

TEST(ConsoleKeys, TheTwelvePairsPressTheirButtons) {
    const auto factory = factoryHotkeys();
    const std::pair<char, int> pairs[] = {
        {'S', kBtnSetup},  {'C', kBtnSample},  {'X', kBtnNewSave},  {'M', kBtnMode},
        {'T', kBtnAdjust}, {'G', kBtnFix},     {'Q', kBtnPageBack}, {'H', kBtnPageForward},
        {'D', kBtnOpen},   {'F', kBtnAnalyse}, {'B', kBtnClose},    {'Y', kBtnMovePoint},
    };
    for (auto [key, button] : pairs) {
        EXPECT_EQ(consoleButtonForKey(factory, static_cast<uint16_t>(key), 0), button) << key;
        EXPECT_EQ(consoleButtonForKey(factory, static_cast<uint16_t>(key + 32), 0), button)
            << key;  // lower case
        EXPECT_EQ(consoleButtonForKey(factory, static_cast<uint16_t>(key), kHotkeyCtrl), 0) << key;
    }
    // Pairs 12..16 belong to other screens; 'A' is one of them.
    EXPECT_EQ(consoleButtonForKey(factory, 'A', 0), 0);
    EXPECT_EQ(consoleButtonForKey(factory, 0, 0), 0);

    auto custom = factory;
    custom[0] = Hotkey{kHotkeyCtrl | kHotkeyShift, 'C'};  // 设置 on Ctrl+Shift+C
    custom[10] = Hotkey{0, 'S'};                          // 关闭 on S
    EXPECT_EQ(consoleButtonForKey(custom, 'C', kHotkeyCtrl | kHotkeyShift), kBtnSetup);
    EXPECT_EQ(consoleButtonForKey(custom, 'C', 0), kBtnSample);
    EXPECT_EQ(consoleButtonForKey(custom, 'S', 0), kBtnClose);
    custom[2] = Hotkey{0, 'C'};  // two pairs on one key: the lower pair's button
    EXPECT_EQ(consoleButtonForKey(custom, 'C', 0), kBtnSample);
}

TEST(DataFolder, DefaultStoredAndCreated) {
    const fs::path root = fs::temp_directory_path() / ("lx9_datafolder_" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path settings = root / "settings";
    const char* home = std::getenv("HOME");
    const std::string oldHome = home ? home : "";
    ::setenv("HOME", (root / "home").c_str(), 1);
    EXPECT_EQ(dataFolder(settings), root / "home" / "LX9 data");

    // Kept beside set.ini, which it leaves alone.
    fs::create_directories(settings);
    std::ofstream(settings / "set.ini") << "settings";
    ASSERT_TRUE(setDataFolder(settings, root / "数据 2026"));
    EXPECT_EQ(dataFolder(settings), root / "数据 2026");
    std::ifstream ini(settings / "set.ini");
    std::string line;
    std::getline(ini, line);
    EXPECT_EQ(line, "settings");
    std::string error;
    EXPECT_FALSE(setDataFolder(settings, "relative/folder", &error));
    EXPECT_EQ(error, "relative/folder: not an absolute folder path");
    EXPECT_EQ(dataFolder(settings), root / "数据 2026");
    std::ofstream(settings / kDataFolderFileName) << "not/absolute\n";
    EXPECT_EQ(dataFolder(settings), root / "home" / "LX9 data");

    // Created with its parents when missing; a file in its place is refused.
    EXPECT_TRUE(ensureDataFolder(root / "a" / "b"));
    EXPECT_TRUE(fs::is_directory(root / "a" / "b"));
    EXPECT_TRUE(ensureDataFolder(root / "a" / "b"));
    std::ofstream((root / "plain").string()) << "x";
    EXPECT_FALSE(ensureDataFolder(root / "plain", &error));
    EXPECT_EQ(error, (root / "plain").string() + ": Not a directory");

    if (home)
        ::setenv("HOME", oldHome.c_str(), 1);
    else
        ::unsetenv("HOME");
    fs::remove_all(root);
}

}  // namespace
}  // namespace lx9
