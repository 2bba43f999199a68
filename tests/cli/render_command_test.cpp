// `lx9 render --view waveform|curves|map` as a user runs it, on a pair written by the data-file
// writer: the pictures, and the refusals of bad options with exit 2.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <cstdio>
#include <filesystem>

#include "data/data_file_writer.h"
#include "tests/display/view_fixtures.h"

namespace lx9 {
namespace {

namespace fs = std::filesystem;

struct Lx9Run {
    int status = -1;
    std::string output;
};

Lx9Run lx9(const std::string& args) {
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

class RenderCommandTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/lx9-render-XXXXXX";
        dir = ::mkdtemp(pattern);
        CInfo info;
        testing::ViewLists lists;
        testing::fillDefectPile(info, lists, 41);
        info.chtPath = (dir / "P12.CHT").string();
        info.chdPath = (dir / "P12.CHD").string();
        CSaveFile file;
        ASSERT_TRUE(file.saveAtEnd(info, lists.pointers())) << file.errorText();
        cht = info.chtPath;
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    static std::string out(const std::string& name) { return (dir / name).string(); }
    static inline fs::path dir;
    static inline std::string cht;
};

TEST_F(RenderCommandTest, DrawsEachViewAtItsSize) {
    struct Case {
        std::string args;
        int width, height;
    };
    const std::vector<Case> cases = {
        {"--view waveform --section 1-2", 1000, 300},
        {"--view waveform --section 1-2 --level 40 --size 640x200", 640, 200},
        {"--view curves --section 1-3 --standard 广东建筑", 300, 700},
        {"--view map --section 1-3 --size 200x200", 200, 200},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string png = out("v" + std::to_string(i) + ".png");
        const Lx9Run r = lx9("render " + cht + " " + cases[i].args + " --out " + png);
        ASSERT_EQ(r.status, 0) << cases[i].args << "\n" << r.output;
        const QImage img(QString::fromStdString(png));
        EXPECT_EQ(img.size(), QSize(cases[i].width, cases[i].height)) << cases[i].args;
    }
    // The map highlights the chosen section: pipes 1 (top) and 3 (bottom) joined in green.
    EXPECT_EQ(QImage(QString::fromStdString(out("v3.png"))).pixelColor(100, 100), QColor(0, 128, 0));
    // Another level is another picture.
    ASSERT_EQ(lx9("render " + cht + " --view waveform --section 1-2 --level 0 --size 640x200 --out " +
                  out("l0.png"))
                  .status,
              0);
    EXPECT_NE(QImage(QString::fromStdString(out("l0.png"))), QImage(QString::fromStdString(out("v1.png"))));
}

TEST_F(RenderCommandTest, RefusesBadOptionsWithExit2) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--view wave --section 1-2", "unknown view wave"},
        {"--view curves --section 2-5", "section 2-5 is not in"},
        {"--view waveform --section 1-2 --level 41",
         "level 41 is not in section 1-2 (it has levels 0 to 40)"},
        {"--view waveform --section 1-2 --level -1", "level -1 is not in section 1-2"},
        {"--view map --section 1-2 --size 10x200", "size 10x200 is not WxH"},
        {"--view map --section 1-2 --size 800", "size 800 is not WxH"},
        {"--view map --section 1-2 --size 9000x100", "size 9000x100 is not WxH"},
        {"--view curves --section 1-2 --standard 欧洲", "standard 欧洲 is not one of"},
    };
    for (const auto& [args, message] : cases) {
        const Lx9Run r = lx9("render " + cht + " " + args + " --out " + out("bad.png"));
        EXPECT_EQ(r.status, 2) << args << "\n" << r.output;
        EXPECT_NE(r.output.find(message), std::string::npos) << args << "\n" << r.output;
    }
    EXPECT_FALSE(fs::exists(out("bad.png")));
}

}  // namespace
}  // namespace lx9
