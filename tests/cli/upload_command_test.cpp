// `lx9 render` and `lx9 upload` as a user runs them: on a pair written by the data-file writer,
// against the result server on loopback.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>

#include "data/data_file_writer.h"
#include "result_server.h"
#include "tests/upload/upload_fixtures.h"

namespace lx9 {
namespace {

using namespace lx9::testing;
namespace fs = std::filesystem;

struct Lx9Run {
    int status = -1;
    std::string output;  // standard output and error together
};

Lx9Run runLx9(const std::string& args) {
    Lx9Run r;
    const std::string command = std::string(LX9_PROGRAM) + " " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> buf;
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), pipe))
        r.output.append(buf.data(), n);
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// PNG width and height from the IHDR chunk.
std::pair<uint32_t, uint32_t> pngSize(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<unsigned char, 24> h{};
    in.read(reinterpret_cast<char*>(h.data()), h.size());
    auto be = [&](int at) {
        return uint32_t(h[at]) << 24 | uint32_t(h[at + 1]) << 16 | uint32_t(h[at + 2]) << 8 | h[at + 3];
    };
    return {be(16), be(20)};
}

class UploadCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lx9-cli-XXXXXX";
        dir = ::mkdtemp(pattern);
        info = smallTest();
        fillSmallTest(info, lists, 30);
        info.chtPath = (dir / "P7.CHT").string();
        info.chdPath = (dir / "P7.CHD").string();
        CSaveFile file;
        ASSERT_TRUE(file.saveAtEnd(info, lists)) << file.errorText();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    fs::path dir;
    CInfo info;
    OwnedLists lists;
};

TEST_F(UploadCommandTest, RenderWritesTheSectionsImage) {
    const fs::path out = dir / "1-3.png";
    const Lx9Run ok = runLx9("render " + info.chtPath + " --section 1-3 --out " + out.string());
    ASSERT_EQ(ok.status, 0) << ok.output;
    EXPECT_EQ(pngSize(out), (std::pair<uint32_t, uint32_t>{562, 1090}));

    const Lx9Run absent =
        runLx9("render " + info.chtPath + " --section 2-3 --out " + (dir / "x.png").string());
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.output.find("section 2-3 is not in"), std::string::npos) << absent.output;
    const Lx9Run missing = runLx9("render " + (dir / "none.CHT").string() + " --section 1-2 --out x.png");
    EXPECT_EQ(missing.status, 1);
}

TEST_F(UploadCommandTest, UploadSendsTheWholeTest) {
    server::ServerOptions options;
    options.port = 0;
    options.store = dir / "store";
    server::ResultServer srv(options);
    ASSERT_TRUE(srv.start());
    const std::string server = "--server 127.0.0.1:" + std::to_string(srv.port());

    const Lx9Run noSerial = runLx9("upload " + info.chtPath + " " + server + " --instrument N1");
    EXPECT_EQ(noSerial.status, 2);
    EXPECT_NE(noSerial.output.find("请输入流水号!"), std::string::npos) << noSerial.output;

    const Lx9Run r = runLx9("upload " + info.chtPath + " " + server + " --instrument N1 --serial S1");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("恭喜，已成功上传！"), std::string::npos);
    std::ifstream in(dir / "store" / "N1" / "S1" / "job.json");
    const auto j = nlohmann::json::parse(in);
    EXPECT_EQ(j["pileId"], "P-7#");
    EXPECT_EQ(j["header"]["fileName"], "P7");
    EXPECT_EQ(j["levels"].size(), 30u);
    EXPECT_EQ(j["levels"][29]["depth"].get<float>(), lists[0]->tail->depth);
    ASSERT_EQ(j["images"].size(), 2u);
    EXPECT_EQ(pngSize(dir / "store" / "N1" / "S1" / "1-2.png"), (std::pair<uint32_t, uint32_t>{562, 1090}));
    // The criteria were computed under the test's standard (railway): velocities in km/s.
    EXPECT_GT(j["criteria"][0]["velocity"].get<float>(), 0.0f);

    const Lx9Run down =
        runLx9("upload " + info.chtPath + " --server 127.0.0.1:1 --instrument N1 --serial S1");
    EXPECT_EQ(down.status, 1);
    EXPECT_NE(down.output.find("上传工程信息失败！请检测网络或者服务器是否开启!"), std::string::npos)
        << down.output;
}

std::string fileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A day's tests uploaded from a script: eight `lx9 upload` of the same pair started at once
// (under the server's connection limit). Each draws its images in a folder of its own, so all
// eight arrive whole and equal, and nothing is left behind in the temporary folder.
TEST_F(UploadCommandTest, EightUploadsSideBySideArriveCompleteAndEqual) {
    server::ServerOptions options;
    options.port = 0;
    options.store = dir / "store";
    server::ResultServer srv(options);
    ASSERT_TRUE(srv.start());
    const fs::path scratch = dir / "tmp";
    fs::create_directory(scratch);

    constexpr int kUploads = 8;
    std::vector<pid_t> children;
    for (int i = 0; i < kUploads; ++i) {
        const std::string command = "TMPDIR=" + scratch.string() + " " + LX9_PROGRAM + " upload " +
                                    info.chtPath + " --server 127.0.0.1:" + std::to_string(srv.port()) +
                                    " --instrument N1 --serial S" + std::to_string(i) + " >" +
                                    (dir / ("out" + std::to_string(i))).string() + " 2>&1";
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        children.push_back(pid);
    }
    for (int i = 0; i < kUploads; ++i) {
        int status = 0;
        ASSERT_EQ(::waitpid(children[static_cast<size_t>(i)], &status, 0), children[static_cast<size_t>(i)]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "upload " << i << ":\n"
            << fileBytes(dir / ("out" + std::to_string(i)));
    }
    EXPECT_EQ(srv.uploadsStored(), static_cast<uint64_t>(kUploads));
    EXPECT_TRUE(fs::is_empty(scratch));

    // Every upload carries the images `lx9 render` draws, section by section.
    std::map<std::string, std::string> drawn;
    for (const char* section : {"1-2", "1-3"}) {
        const fs::path out = dir / (std::string(section) + ".png");
        ASSERT_EQ(
            runLx9("render " + info.chtPath + " --section " + section + " --out " + out.string()).status, 0);
        drawn[section] = fileBytes(out);
        ASSERT_GT(drawn[section].size(), 1000u);
    }
    nlohmann::json first;
    for (int i = 0; i < kUploads; ++i) {
        const fs::path stored = dir / "store" / "N1" / ("S" + std::to_string(i));
        std::ifstream in(stored / "job.json");
        ASSERT_TRUE(in) << stored;
        nlohmann::json j = nlohmann::json::parse(in);
        EXPECT_EQ(j["serial"], "S" + std::to_string(i));
        j.erase("serial");
        if (i == 0) first = j;
        EXPECT_EQ(j, first) << "upload " << i;
        EXPECT_EQ(j["levels"].size(), 30u);
        ASSERT_EQ(j["images"].size(), 2u);
        for (const auto& [section, bytes] : drawn)
            EXPECT_TRUE(fileBytes(stored / (section + ".png")) == bytes) << "upload " << i << " " << section;
    }
}

}  // namespace
}  // namespace lx9
