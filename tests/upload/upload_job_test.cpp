#include "upload/upload_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>
#include <thread>

#include "result_server.h"
#include "scripted_peer.h"
#include "upload_fixtures.h"

namespace lx9 {
namespace {

using namespace lx9::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A temporary folder removed with the test.
struct TempDir {
    fs::path path;
    TempDir() {
        char pattern[] = "/tmp/lx9-upload-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// A renderer that writes `size` known bytes (different per slot) instead of drawing.
ImageRenderer fakeImages(std::size_t size) {
    return [size](const CInfo&, const SectionLists&, int slot, const fs::path& path) {
        std::ofstream out(path, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i)
            out.put(static_cast<char>((i * 7 + slot) & 0xFF));
        return true;
    };
}

std::vector<uint8_t> fakeImageBytes(std::size_t size, int slot) {
    std::vector<uint8_t> b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>((i * 7 + slot) & 0xFF);
    return b;
}

class UploadJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        info = smallTest();
        fillSmallTest(info, lists);
        request.info = info;
        request.settings = {"LX9-0001", "S2024-01", 0x7F000001, 0};
        request.lists = lists;
        request.imageFolder = dir.path;
        request.chunkPause = 0ms;
        request.transport.retryWait = 10ms;
        request.transport.receiveTimeout = 50ms;
        request.today = std::chrono::year(2030) / 1 / 2;
        hooks.progress = [this](const UploadProgress& p) {
            texts.push_back(p.text);
            fractions.push_back(p.fraction);
        };
        hooks.console = [this](std::string_view s) { console += s; };
        hooks.renderImage = fakeImages(777);
        hooks.computeCriticals = [](const CInfo&, const SectionLists& l) {
            for (int k = 0; k < 2; ++k) {
                auto g = l[k]->lock();
                l[k]->uploadVelocityCritical = 3800000.0f + 100000.0f * k;
                l[k]->uploadAmplitudeCritical = 98.5f + k;
            }
        };
    }

    bool contains(const std::string& text) const {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }

    TempDir dir;
    CInfo info;
    OwnedLists lists;
    UploadRequest request;
    UploadHooks hooks;
    std::vector<std::string> texts;
    std::vector<double> fractions;
    std::string console;
};

TEST_F(UploadJobTest, AWholeUploadReachesTheServerFieldByField) {
    TempDir store;
    server::ServerOptions options;
    options.port = 0;
    options.store = store.path;
    server::ResultServer srv(options);
    ASSERT_TRUE(srv.start());
    request.settings.serverPort = srv.port();

    CancelSignal cancel;
    const UploadResult r = runUpload(request, hooks, cancel);
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.stage, kStageImages);
    EXPECT_EQ(r.message, "恭喜，已成功上传！");
    EXPECT_TRUE(fs::is_empty(dir.path));  // the image and its private folder are gone

    // The status texts in order (images: 3 chunks each for 777 bytes).
    const std::vector<std::string> expected = {
        "正在发送文件头包，请稍等……",
        "发送文件头包1成功，继续发送数据包！",
        "发送文件头包2成功，继续发送数据包！",
        "桩号为“P-7#”的数据表深度为20.00m的数据发送成功！ ",
        "桩号为“P-7#”的数据表深度为19.95m的数据发送成功！ ",
        "桩号为“P-7#”的数据表深度为19.90m的数据发送成功！ ",
        "桩号为“P-7#”的数据表深度为19.85m的数据发送成功！ ",
        "桩号为“P-7#”的数据的第1到5剖面的判据和缺陷数据发送成功！",
        "正在发送剖面1-2波列图的数据包(已完成0.00%)",
        "正在发送剖面1-2波列图的数据包(已完成33.33%)",
        "正在发送剖面1-2波列图的数据包(已完成66.67%)",
        "正在发送剖面1-3波列图的数据包(已完成0.00%)",
        "正在发送剖面1-3波列图的数据包(已完成33.33%)",
        "正在发送剖面1-3波列图的数据包(已完成66.67%)",
        "正在发送结束包，请稍等……",
        "发送结束包成功！",
        "恭喜，已成功上传！",
    };
    EXPECT_EQ(texts, expected);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_EQ(fractions.back(), 1.0);

    // What the server stored, against what was sent.
    ASSERT_EQ(srv.uploadsStored(), 1u);
    const fs::path job = store.path / "LX9-0001" / "S2024-01";
    std::ifstream in(job / "job.json");
    const auto j = nlohmann::json::parse(in);
    EXPECT_EQ(j["instrument"], "LX9-0001");
    EXPECT_EQ(j["serial"], "S2024-01");
    EXPECT_EQ(j["pileId"], "P-7#");
    EXPECT_EQ(j["sectionList"], "1-2,1-3,2*3,1*4,2*4,3*4,");
    const auto& h = j["header"];
    EXPECT_EQ(h["testMode"], 0);
    EXPECT_EQ(h["standardCode"], 2);
    EXPECT_EQ(h["testDate"], "2024-03-05");
    EXPECT_EQ(h["fileName"], "P7");
    EXPECT_EQ(h["pileDiameter"], 1200);
    EXPECT_EQ(h["pileLength"].get<float>(), 20.5f);
    EXPECT_EQ(h["step"].get<float>(), 50000.0f);
    EXPECT_EQ(h["pipeCount"], 3);
    EXPECT_EQ(h["presentCount"], 2);
    EXPECT_EQ(h["sampleInterval"].get<float>(), 0.5f);
    EXPECT_EQ(h["sampleLength"], 512);
    EXPECT_EQ(h["pipeVelocity"].get<float>(), 0.00512f);
    EXPECT_EQ(h["offsetAngle"], -15);
    EXPECT_EQ(h["cableDiameter"].get<float>(), 10.0f);

    ASSERT_EQ(j["sections"].size(), 10u);
    EXPECT_EQ(j["sections"][1]["name"], "1-3");
    EXPECT_EQ(j["sections"][1]["spacing"].get<float>(), 560.0f);
    EXPECT_EQ(j["sections"][1]["zeroReading"].get<float>(), 1.5f);
    EXPECT_EQ(j["sections"][2]["name"], "2*3");

    ASSERT_EQ(j["levels"].size(), 4u);
    for (int level = 0; level < 4; ++level) {
        const DataLevel sent = dataLevel(info, lists, level);
        const auto& got = j["levels"][level];
        EXPECT_EQ(got["level"], level + 1);
        EXPECT_EQ(got["depth"].get<float>(), sent.depth);
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(got["entries"][k]["name"], info.sections[k].name);
            EXPECT_EQ(got["entries"][k]["spacing"].get<float>(), sent.entries[k].spacingM);
            EXPECT_EQ(got["entries"][k]["time"].get<float>(), sent.entries[k].time);
            EXPECT_EQ(got["entries"][k]["amplitudeDb"].get<float>(), sent.entries[k].amplitudeDb);
        }
        EXPECT_EQ(got["entries"][9]["name"], "4*5");
    }

    ASSERT_EQ(j["criteria"].size(), 5u);  // one criteria packet: no slot 5
    EXPECT_EQ(j["criteria"][0]["velocity"].get<float>(), 3.8f);
    EXPECT_EQ(j["criteria"][1]["amplitudeDb"].get<float>(), 99.5f);
    EXPECT_FALSE(j["criteria"][2]["present"].get<bool>());

    ASSERT_EQ(j["images"].size(), 2u);
    for (int k = 0; k < 2; ++k) {
        const std::string name = info.sections[k].name;
        EXPECT_EQ(j["images"][k]["section"], name);
        EXPECT_EQ(j["images"][k]["chunks"], 3);
        std::ifstream png(job / (name + ".png"), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(png),
                                         std::istreambuf_iterator<char>()};
        EXPECT_EQ(bytes, fakeImageBytes(777, k));
    }
    EXPECT_EQ(j["end"]["firstDepth"].get<float>(), 20.0f);
}

TEST_F(UploadJobTest, NoServerFailsTheHeaderStep) {
    request.settings.serverPort = closedPort();
    CancelSignal cancel;
    const UploadResult r = runUpload(request, hooks, cancel);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.stage, kStageIdle);
    EXPECT_EQ(r.message, "上传工程信息失败！请检测网络或者服务器是否开启!");
    EXPECT_EQ(texts, (std::vector<std::string>{"正在发送文件头包，请稍等……", "发送文件头包1失败，上传中止！",
                                               "上传工程信息失败！请检测网络或者服务器是否开启!"}));
    EXPECT_EQ(console, "错误：连接服务器失败，程序即将关闭（回车）！");
}

TEST_F(UploadJobTest, ARefusedDataPacketStopsTheUpload) {
    ScriptedPeer peer({Reply::Ack, Reply::Ack}, Reply::OneByte);
    request.settings.serverPort = peer.port();
    CancelSignal cancel;
    const UploadResult r = runUpload(request, hooks, cancel);
    EXPECT_EQ(r.stage, kStageHeader);
    EXPECT_EQ(r.message, "上传数据点失败！");
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "桩号为“P-7#”的数据表深度为20.00m的数据发送失败，上传终止！");
    EXPECT_EQ(peer.packets().size(), 2u + 4u);  // two headers, four attempts of level 1
}

TEST_F(UploadJobTest, ImageFailuresHaveTheirOwnTexts) {
    TempDir store;
    server::ServerOptions options;
    options.port = 0;
    options.store = store.path;
    server::ResultServer srv(options);
    ASSERT_TRUE(srv.start());
    request.settings.serverPort = srv.port();

    struct Case {
        ImageRenderer renderer;
        std::string text;  // "%s": the path the renderer was given
        fs::path folder = {};
    };
    const std::vector<Case> cases = {
        {[](auto&, auto&, int, auto&) { return false; }, "桩“P-7#”1-2剖面波列图绘制失败！"},
        {[](auto&, auto&, int, auto&) { return true; }, "剖面1-2的波列图文件“%s”不存在！"},
        {[](auto&, auto&, int, const fs::path& p) { return std::ofstream(p).good(); },
         "打开的波列图文件为空！"},
        {[](auto&, auto&, int, const fs::path& p) { return fs::create_directory(p); },
         "打开波列图文件文件失败 o_o ！"},
        {fakeImages(10),
         "剖面1-2的波列图无处绘制：" + (dir.path / "gone").string() + ": No such file or directory",
         dir.path / "gone"},
    };
    for (const Case& c : cases) {
        texts.clear();
        fs::path drawnAt;
        hooks.renderImage = [&](const CInfo& i, const SectionLists& l, int slot, const fs::path& p) {
            drawnAt = p;
            return c.renderer(i, l, slot, p);
        };
        request.imageFolder = c.folder.empty() ? dir.path : c.folder;
        CancelSignal cancel;
        const UploadResult r = runUpload(request, hooks, cancel);
        EXPECT_EQ(r.stage, kStageCriteria);
        EXPECT_EQ(r.message, "上传波列图片失败！");
        ASSERT_GE(texts.size(), 2u);
        std::string text = c.text;
        if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, drawnAt.string());
        EXPECT_EQ(texts[texts.size() - 2], text);
        EXPECT_TRUE(fs::is_empty(dir.path)) << text;  // removed whatever the outcome
    }
    EXPECT_EQ(srv.uploadsStored(), 0u);
}

// Each upload draws in a folder of its own, private to the user, made afresh and removed when it
// ends; two uploads running side by side never see each other's file.
TEST_F(UploadJobTest, EachUploadDrawsInAPrivateFolderOfItsOwn) {
    std::mutex lock;
    std::vector<fs::path> drawnAt;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    hooks.renderImage = [&](const CInfo& i, const SectionLists& l, int slot, const fs::path& p) {
        EXPECT_FALSE(fs::exists(p));
        EXPECT_EQ(p.filename(), kUploadImageName);
        EXPECT_EQ(p.parent_path().parent_path(), dir.path);
        EXPECT_EQ(fs::status(p.parent_path()).permissions(), fs::perms::owner_all);
        {
            std::lock_guard<std::mutex> g(lock);
            drawnAt.push_back(p);
        }
        if (++inside > 1) overlapped = true;
        std::this_thread::sleep_for(20ms);  // both uploads draw at once
        const bool ok = fakeImages(800)(i, l, slot, p);
        --inside;
        return ok;
    };
    ScriptedPeer first({}), second({});
    UploadRequest other = request;
    request.settings.serverPort = first.port();
    other.settings.serverPort = second.port();
    UploadResult a, b;
    // The fixture's progress and console hooks append to plain vectors: the second upload,
    // on its own thread, reports nowhere so that only the drawing is shared.
    auto otherHooks = hooks;
    otherHooks.progress = [](const UploadProgress&) {};
    otherHooks.console = [](std::string_view) {};
    std::thread t([&] {
        CancelSignal cancel;
        a = runUpload(other, otherHooks, cancel);
    });
    CancelSignal cancel;
    b = runUpload(request, hooks, cancel);
    t.join();
    EXPECT_TRUE(a.ok) << a.message;
    EXPECT_TRUE(b.ok) << b.message;
    EXPECT_TRUE(overlapped);
    ASSERT_EQ(drawnAt.size(), 4u);
    std::set<fs::path> folders;
    for (const fs::path& p : drawnAt)
        folders.insert(p.parent_path());
    EXPECT_EQ(folders.size(), 2u);  // one per upload, both sections drawn in it
    EXPECT_TRUE(fs::is_empty(dir.path));
    // Each server got each section's own bytes: 2 headers, 4 levels, 1 criteria, 3 + 3 chunks, end.
    for (ScriptedPeer* peer : {&first, &second}) {
        const auto packets = peer->packets();
        ASSERT_EQ(packets.size(), 2u + 4u + 1u + 6u + 1u);
        for (int slot = 0; slot < 2; ++slot) {
            std::vector<uint8_t> image;
            for (int c = 0; c < 3; ++c) {
                const auto& p = packets[7 + 3 * slot + c];
                image.insert(image.end(), p.begin() + 92, p.end() - 2);
            }
            EXPECT_EQ(image, fakeImageBytes(800, slot)) << slot;
        }
    }
}

TEST_F(UploadJobTest, OneUploadAtATimeAndACancelStopsItAtOnce) {
    ScriptedPeer peer({});
    request.settings.serverPort = peer.port();
    request.chunkPause = 5000ms;  // the job sits in the pause after the first image chunk
    std::atomic<bool> inImages{false};
    hooks.progress = [&](const UploadProgress& p) {
        if (p.text.starts_with("正在发送剖面")) inImages = true;
    };
    UploadJob job;
    ASSERT_TRUE(job.start(request, hooks));
    EXPECT_FALSE(job.start(request, hooks));  // refused, not forgotten
    while (!inImages)
        std::this_thread::sleep_for(5ms);
    const auto start = std::chrono::steady_clock::now();
    job.cancel();
    const UploadResult r = job.wait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3000ms);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "上传已取消！");
    EXPECT_FALSE(job.running());

    // Once finished, the next upload may start.
    request.chunkPause = 0ms;
    ScriptedPeer again({});
    request.settings.serverPort = again.port();
    hooks.progress = {};
    ASSERT_TRUE(job.start(request, hooks));
    EXPECT_TRUE(job.wait().ok);
}

// A thread that cannot be created says so, and leaves the job ready: the next start uploads.
TEST_F(UploadJobTest, AThreadThatCannotBeCreatedIsReportedAndTheJobStaysReady) {
    int tries = 0;
    UploadJob job([&](std::function<void()> body) {
        if (++tries == 1)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    });
    EXPECT_FALSE(job.start(request, hooks));
    EXPECT_FALSE(job.running());
    EXPECT_EQ(texts, (std::vector<std::string>{"创建GPRS线程失败"}));
    EXPECT_EQ(job.wait().message, "创建GPRS线程失败");
    ScriptedPeer peer({});
    request.settings.serverPort = peer.port();
    ASSERT_TRUE(job.start(request, hooks));
    EXPECT_TRUE(job.wait().ok);
    EXPECT_EQ(tries, 2);
}

TEST_F(UploadJobTest, SlotFiveSendsTheSecondCriteriaPacket) {
    for (auto& s : request.info.sections)
        s.present = true;
    request.info.pipeCount = 4;
    request.info.sectionCount = 6;
    request.info.rebuildSectionNames();
    fillSmallTest(request.info, lists, 2);
    request.lists = lists;
    hooks.computeCriticals = {};
    hooks.renderImage = fakeImages(5);
    ScriptedPeer peer({});
    request.settings.serverPort = peer.port();
    CancelSignal cancel;
    ASSERT_TRUE(runUpload(request, hooks, cancel).ok);
    EXPECT_TRUE(contains("桩号为“P-7#”的数据的第6到10剖面的判据和缺陷数据发送成功！"));
    EXPECT_EQ(peer.packets().size(), 2u + 2u + 2u + 6u + 1u);
}

}  // namespace
}  // namespace lx9
