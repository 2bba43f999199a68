// `lx9 set` against a settings file in a private folder: what it stores, what it refuses.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/globals.h"
#include "data/settings_store.h"

namespace lx9 {
namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

class SetCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("lx9-set-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Runs the tool with its settings in `dir`; stdout and stderr together.
    ToolRun run(const std::string& args) const {
        const std::string command = "LX9_CONFIG_DIR='" + dir.string() + "' " LX9_BIN " set " + args + " 2>&1";
        ToolRun r;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return r;
        std::array<char, 4096> buffer{};
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            r.out.append(buffer.data(), n);
        const int status = ::pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }

    CInfo stored() const {
        CInfo info;
        UploadSettings upload;
        EXPECT_EQ(loadSettings(info, upload, dir / "set.ini"), LoadResult::Loaded);
        return info;
    }

    std::filesystem::path dir;
};

TEST_F(SetCommandTest, StoresAcceptedAssignmentsWithTheirHistory) {
    const ToolRun r = run("l=25 C1=400,G=200 T3=80.5");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("C1=400"), std::string::npos) << r.out;
    const CInfo info = stored();
    EXPECT_EQ(info.pileLength, 25.0f);
    EXPECT_EQ(info.startDepth, 20.0f);
    EXPECT_EQ(info.sections[0].spacing, 400);
    EXPECT_EQ(info.sections[5].gain, 200);
    EXPECT_EQ(info.sections[2].delay, 80.5f);
    EXPECT_EQ(info.historyCount, 1);
    EXPECT_EQ(info.commandHistory[0], "l=25,C1=400,G=200,T3=80.5");

    const ToolRun show = run("--show");
    ASSERT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("\nL=25.00\n"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("\nT3=80.5\n"), std::string::npos) << show.out;
}

TEST_F(SetCommandTest, RefusalsStoreNothing) {
    ToolRun r = run("G=8");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("错误：增益G的值输入不正确"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "set.ini"));

    r = run("L=0");  // the line is fine; the setup's OK refuses it
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("桩长超出范围(0-200)，请重新输入！"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "set.ini"));

    r = run("L=30 NO");
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "set.ini"));

    r = run("");
    EXPECT_EQ(r.status, 2);
}

}  // namespace
}  // namespace lx9
