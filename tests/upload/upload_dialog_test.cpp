// The upload dialog offscreen: the start checks in order, an upload that reaches the result
// server on loopback with the same job as `lx9 upload`, and "退出" cancelling a running upload.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "data/data_file_reader.h"
#include "data/data_file_writer.h"
#include "data/run_state.h"
#include "result_server.h"
#include "ui/gui_application.h"
#include "ui/message_sink.h"
#include "upload/upload_dialog.h"
#include "upload/upload_transport.h"
#include "upload_fixtures.h"

namespace lx9 {
namespace {

using namespace lx9::testing;
namespace fs = std::filesystem;

struct RecordingSink : MessageSink {
    std::vector<std::string> said;
    void showMessage(const std::string& text) override { said.push_back(text); }
    bool askYesNo(const std::string& text) override {
        said.push_back(text);
        return true;
    }
};

class UploadDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lx9-upload-dialog-XXXXXX";
        dir = ::mkdtemp(pattern);
        CInfo written = smallTest();
        OwnedLists source;
        fillSmallTest(written, source, 12);
        written.chtPath = (dir / "P7.CHT").string();
        written.chdPath = (dir / "P7.CHD").string();
        CSaveFile file;
        ASSERT_TRUE(file.saveAtEnd(written, source)) << file.errorText();
        // As the console holds a file opened for viewing.
        saved = testState.load();
        testState = makeState(kStateViewing);
        info.resetToDefaults();
        for (int k = 0; k < kMaxSections; ++k)
            lists[k] = std::make_unique<CSampleDataList>(512, k);
        ASSERT_TRUE(openDataFile((dir / "P7").string(), info, [this](const CInfo&) {
                        return SectionLists(lists);
                    }).ok);
        info.uploadFile = written.chtPath;
    }
    void TearDown() override {
        testState = saved;
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    UploadDialogContext context() {
        UploadDialogContext c;
        c.info = SharedInfo{info, infoLock};
        c.lists = [this] { return SectionLists(lists); };
        c.settings = &settings;
        c.sink = &sink;
        c.numberPad = [this](QWidget*, const std::string& title, double) -> std::optional<double> {
            padTitles.push_back(title);
            if (padAnswers.empty()) return std::nullopt;
            const double v = padAnswers.front();
            padAnswers.erase(padAnswers.begin());
            return v;
        };
        return c;
    }

    ui::OffscreenWidgets app;
    fs::path dir;
    uint32_t saved = 0;
    CInfo info;
    std::mutex infoLock;
    OwnedLists lists;
    UploadSettings settings;
    RecordingSink sink;
    std::vector<std::string> padTitles;
    std::vector<double> padAnswers;
};

nlohmann::json readJob(const fs::path& file) {
    std::ifstream in(file);
    return nlohmann::json::parse(in);
}

TEST_F(UploadDialogTest, ChecksThenUploadsTheSameJobAsTheCommandLine) {
    server::ServerOptions options;
    options.port = 0;
    options.store = dir / "store";
    server::ResultServer srv(options);
    ASSERT_TRUE(srv.start());

    settings = {"", "", 0x7F000001, 5005};
    CDlgUpdataSet dialog(context());
    dialog.show();
    EXPECT_EQ(dialog.fileLabel()->text().toStdString(), info.uploadFile);
    EXPECT_EQ(dialog.pileLabel()->text(), QStringLiteral("P-7#"));
    EXPECT_EQ(dialog.octet(0)->text(), QStringLiteral("127"));
    EXPECT_EQ(dialog.octet(3)->text(), QStringLiteral("1"));
    EXPECT_GE(dialog.startButton()->height(), 40);

    // The checks, in order: serial number before instrument number before port.
    QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
    dialog.instrumentField()->setText(QStringLiteral("N1"));
    QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
    dialog.serialField()->setText(QStringLiteral("S1"));
    dialog.instrumentField()->clear();
    QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
    dialog.instrumentField()->setText(QStringLiteral("N1"));
    padAnswers = {0};
    QTest::mouseClick(dialog.portField(), Qt::LeftButton);
    QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
    EXPECT_EQ(sink.said, (std::vector<std::string>{"请输入流水号!", "请输入流水号!", "请输入仪器编号!",
                                                   "请输入端口号!"}));
    EXPECT_FALSE(dialog.uploading());

    // The keypad: an octet out of range is refused, the port takes the server's.
    padAnswers = {300, static_cast<double>(srv.port())};
    QTest::mouseClick(dialog.octet(2), Qt::LeftButton);
    EXPECT_EQ(dialog.octet(2)->text(), QStringLiteral("0"));
    QTest::mouseClick(dialog.portField(), Qt::LeftButton);
    EXPECT_EQ(padTitles, (std::vector<std::string>{"端口", "服务器地址", "端口"}));

    QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.uploading());
    EXPECT_FALSE(dialog.startButton()->isEnabled());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !dialog.uploading() && dialog.startButton()->isEnabled(); }, 30000));
    EXPECT_TRUE(dialog.lastOk()) << dialog.lastMessage();
    EXPECT_EQ(dialog.statusLabel()->text(), QStringLiteral("恭喜，已成功上传！"));
    EXPECT_EQ(dialog.progressBar()->value(), 1000);
    EXPECT_EQ(settings, (UploadSettings{"N1", "S1", 0x7F000001, srv.port()}));

    // The command line sends the same pair as another job.
    const std::string command = std::string(LX9_PROGRAM) + " upload " + info.uploadFile +
                                " --server 127.0.0.1:" + std::to_string(srv.port()) +
                                " --instrument N1 --serial S2 > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    nlohmann::json fromDialog = readJob(dir / "store" / "N1" / "S1" / "job.json");
    nlohmann::json fromCommand = readJob(dir / "store" / "N1" / "S2" / "job.json");
    ASSERT_EQ(fromDialog["levels"].size(), 12u);
    fromCommand["serial"] = fromDialog["serial"];
    EXPECT_EQ(fromDialog, fromCommand);
}

TEST_F(UploadDialogTest, BrowseTakesTheFileTheConsoleOpened) {
    info.uploadFile.clear();
    info.chtPath = "/old/pair.CHT";
    const std::string opened = (dir / "P7.CHT").string();
    bool opening = false;
    UploadDialogContext c = context();
    // The console's prompt: the pair is read in the background and named when the read is done.
    int browses = 0;
    c.browse = [&] {
        if (++browses == 1) return;  // the operator cancelled the file chooser
        opening = true;
        QTimer::singleShot(100, [&] { opening = false; });
        QTimer::singleShot(150, [&] { info.chtPath = opened; });
    };
    c.opening = [&] { return opening; };
    CDlgUpdataSet dialog(std::move(c));
    dialog.show();
    EXPECT_EQ(dialog.fileLabel()->text(), QString());
    QTest::mouseClick(dialog.browseButton(), Qt::LeftButton);
    QTest::qWait(1500);
    EXPECT_EQ(info.chtPath, "/old/pair.CHT");  // nothing opened: the viewed pair stays
    EXPECT_EQ(info.uploadFile, "");
    QTest::mouseClick(dialog.browseButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.pileLabel()->text().isEmpty(); }, 3000));
    EXPECT_EQ(info.uploadFile, opened);
    EXPECT_EQ(dialog.fileLabel()->text().toStdString(), opened);
    EXPECT_EQ(dialog.pileLabel()->text(), QStringLiteral("P-7#"));
}

TEST_F(UploadDialogTest, ExitDuringAnUploadCancelsIt) {
    // A server that accepts the connection but never answers.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);

    settings = {"N1", "S1", 0x7F000001, ntohs(a.sin_port)};
    CDlgUpdataSet dialog(context());
    dialog.show();
    QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
    ASSERT_TRUE(dialog.uploading());
    QTest::qWait(200);
    QTest::mouseClick(dialog.exitButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.uploading());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(sink.said.empty());  // a cancel is no failure to report
    ::close(listener);
}

}  // namespace
}  // namespace lx9
