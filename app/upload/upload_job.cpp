#include "upload/upload_job.h"

#include <cerrno>
#include <system_error>

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace lx9 {
namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

// Shares of the whole upload at the start of each step, for the progress fraction.
constexpr double kDataStart = 0.02;
constexpr double kCriteriaStart = 0.50;
constexpr double kImagesStart = 0.52;
constexpr double kEndStart = 0.99;

class Upload {
  public:
    Upload(const UploadRequest& request, const UploadHooks& hooks, const CancelSignal& cancel)
        : req_(request),
          hooks_(hooks),
          cancel_(cancel),
          transport_(transportOptions(request), &cancel, hooks.console),
          id_{request.settings.instrumentNumber, request.settings.serialNumber, request.info.pileId} {}

    UploadResult run() {
        const CInfo& info = req_.info;

        // File header.
        post("正在发送文件头包，请稍等……", 0.0);
        const double date = testDateOle(info.testDate, req_.today.value_or(localToday()));
        const std::vector<uint8_t> headers[2] = {fileHeaderPacket1(id_, info, info.uploadFile, date),
                                                 fileHeaderPacket2(id_, info)};
        for (int n = 0; n < 2; ++n) {
            if (!send(headers[n])) {
                if (!cancel_.cancelled()) post(format("发送文件头包%d失败，上传中止！", n + 1), fraction_);
                return fail(kHeaderFailed);
            }
            post(format("发送文件头包%d成功，继续发送数据包！", n + 1), kDataStart * (n + 1) / 2);
        }
        stage_ = kStageHeader;

        // Data: one packet per level of the first present section.
        const int levels = levelCount();
        LevelReader reader(info, req_.lists);
        for (int level = 0; level < levels; ++level) {
            const DataLevel values = reader.read(level);
            const char* pile = info.pileId.c_str();
            if (!send(dataPacket(id_, info, values))) {
                if (!cancel_.cancelled())
                    post(
                        format("桩号为“%s”的数据表深度为%.2fm的数据发送失败，上传终止！", pile, values.depth),
                        fraction_);
                return fail(kDataFailed);
            }
            post(format("桩号为“%s”的数据表深度为%.2fm的数据发送成功！ ", pile, values.depth),
                 kDataStart + (kCriteriaStart - kDataStart) * (level + 1) / levels);
        }
        stage_ = kStageData;

        // Criteria, computed just before they are sent.
        if (cancel_.cancelled()) return fail(kCriteriaFailed);
        if (hooks_.computeCriticals) hooks_.computeCriticals(info, req_.lists);
        std::array<SectionCriticals, kMaxSections> criticals{};
        for (int k = 0; k < kMaxSections; ++k) {
            CSampleDataList* list = req_.lists[k];
            if (!info.sections[k].present || !list) continue;
            auto guard = list->lock();
            criticals[k] = {list->uploadVelocityCritical, list->uploadAmplitudeCritical};
        }
        const int criteriaPackets = info.sections[5].present ? 2 : 1;
        for (int n = 1; n <= criteriaPackets; ++n) {
            if (!send(criteriaPacket(id_, info, criticals, n))) return fail(kCriteriaFailed);
            post(format("桩号为“%s”的数据的%s剖面的判据和缺陷数据发送成功！", info.pileId.c_str(),
                        n == 1 ? "第1到5" : "第6到10"),
                 kCriteriaStart + (kImagesStart - kCriteriaStart) * n / criteriaPackets);
        }
        stage_ = kStageCriteria;

        // Images of the present sections, in slot order.
        const int sections = presentSectionCount(info);
        int done = 0;
        for (int k = 0; k < kMaxSections; ++k) {
            if (!info.sections[k].present) continue;
            if (!sendImage(k, done, sections)) return fail(kImagesFailed);
            ++done;
        }
        stage_ = kStageImages;

        // End.
        post("正在发送结束包，请稍等……", kEndStart);
        if (!send(endPacket(id_, info, firstDepth()))) {
            if (!cancel_.cancelled()) post("发送结束包失败，上传中止！", fraction_);
            return fail(kEndFailed);
        }
        post("发送结束包成功！", 1.0);
        transport_.close();
        post(kUploadDone, 1.0);
        return {true, false, stage_, kUploadDone};
    }

  private:
    static TransportOptions transportOptions(const UploadRequest& request) {
        TransportOptions t = request.transport;
        t.address = request.settings.serverAddress;
        t.port = request.settings.serverPort;
        return t;
    }

    void post(const std::string& text, double fraction) {
        fraction_ = fraction;
        if (hooks_.progress) hooks_.progress(UploadProgress{text, stage_, fraction});
    }

    bool send(const std::vector<uint8_t>& packet) {
        return transport_.sendPacket(packet) == kSendAcknowledged;
    }

    UploadResult fail(const char* summary) {
        transport_.close();
        UploadResult r{false, cancel_.cancelled(), stage_, cancel_.cancelled() ? kUploadCancelled : summary};
        post(r.message, fraction_);
        return r;
    }

    // Levels sent: the points of the first present section's list (the depth of each data packet
    // is taken from that list too).
    int levelCount() const {
        int k = firstPresentSlot(req_.info);
        CSampleDataList* list = k >= 0 ? req_.lists[k] : nullptr;
        if (!list) return 0;
        auto guard = list->lock();
        return list->count;
    }

    float firstDepth() const {
        int k = firstPresentSlot(req_.info);
        CSampleDataList* list = k >= 0 ? req_.lists[k] : nullptr;
        if (!list) return 0.0f;
        auto guard = list->lock();
        return list->first ? list->first->depth : 0.0f;
    }

    bool sendImage(int slot, int done, int sections) {
        const CInfo& info = req_.info;
        const std::string& name = info.sections[slot].name;
        // Drawn in this upload's own folder, under the usual name.
        if (!scratch_) scratch_.emplace(req_.imageFolder);
        if (!scratch_->ok()) {
            post(format("剖面%s的波列图无处绘制：%s", name.c_str(), scratch_->error().c_str()), fraction_);
            return false;
        }
        const std::filesystem::path path = scratch_->file(kUploadImageName);
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (!hooks_.renderImage || !hooks_.renderImage(info, req_.lists, slot, path)) {
            post(format("桩“%s”%s剖面波列图绘制失败！", info.pileId.c_str(), name.c_str()), fraction_);
            return false;
        }
        if (!std::filesystem::exists(path, ec)) {
            post(format("剖面%s的波列图文件“%s”不存在！", name.c_str(), path.c_str()), fraction_);
            return false;
        }
        std::ifstream in(path, std::ios::binary);
        if (!in || !std::filesystem::is_regular_file(path, ec)) {
            post("打开波列图文件文件失败 o_o ！", fraction_);
            return false;
        }
        const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        in.close();
        if (image.empty()) {
            post("打开的波列图文件为空！", fraction_);
            return false;
        }
        const std::size_t chunks = imageChunkCount(image.size());
        const double share = (kEndStart - kImagesStart) / sections;
        const double base = kImagesStart + share * done;
        for (std::size_t sent = 0; sent < chunks; ++sent) {
            const double percent = sent * 100.0 / chunks;
            post(format("正在发送剖面%s波列图的数据包(已完成%.2f%%)", name.c_str(), percent),
                 base + share * sent / chunks);
            const std::size_t from = sent * kImageChunkBytes;
            const std::size_t size = std::min(kImageChunkBytes, image.size() - from);
            const auto packet = imageChunkPacket(id_, name, static_cast<int32_t>(sent + 1),
                                                 std::span<const uint8_t>(image).subspan(from, size));
            if (!send(packet)) {
                if (!cancel_.cancelled())
                    post(format("剖面%s波列图的数据包发送失败(还有%.2f%%未完成)，上传停止！", name.c_str(),
                                100.0 - percent),
                         fraction_);
                return false;
            }
            if (req_.chunkPause.count() > 0 && !cancel_.waitFor(req_.chunkPause)) return false;
        }
        std::filesystem::remove(path, ec);
        return true;
    }

    const UploadRequest& req_;
    const UploadHooks& hooks_;
    const CancelSignal& cancel_;
    UploadTransport transport_;
    PacketIdentity id_;
    int stage_ = kStageIdle;
    double fraction_ = 0.0;
    std::optional<ImageScratch> scratch_;  // made at the first image, gone with the upload
};

}  // namespace

ImageScratch::ImageScratch(const std::filesystem::path& parent) {
    std::error_code ec;
    std::filesystem::path base = parent.empty() ? std::filesystem::temp_directory_path(ec) : parent;
    if (base.empty()) base = "/tmp";
    std::string pattern = (base / "lx9-images-XXXXXX").string();
    if (::mkdtemp(pattern.data())) {
        folder_ = pattern;
    } else {
        error_ = base.string() + ": " + std::strerror(errno);
    }
}

ImageScratch::~ImageScratch() {
    if (folder_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

UploadResult runUpload(const UploadRequest& request, const UploadHooks& hooks, const CancelSignal& cancel) {
    return Upload(request, hooks, cancel).run();
}

UploadJob::~UploadJob() {
    cancel();
    wait();
}

bool UploadJob::start(UploadRequest request, UploadHooks hooks) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (running_.load()) return false;
    if (thread_.joinable()) thread_.join();
    cancel_ = std::make_shared<CancelSignal>();
    result_ = {};
    const auto progress = hooks.progress;
    std::function<void()> body = [this, request = std::move(request), hooks = std::move(hooks), cancel = cancel_] {
        UploadResult r = runUpload(request, hooks, *cancel);
        {
            std::lock_guard<std::mutex> g(mutex_);
            result_ = std::move(r);
        }
        running_ = false;
    };
    // Running before the thread exists, so that a quick upload's end is never overtaken; taken
    // back when the thread cannot be made, or every later upload would be refused.
    running_ = true;
    try {
        thread_ = starter_ ? starter_(std::move(body)) : std::thread(std::move(body));
    } catch (const std::system_error&) {
        running_ = false;
        result_.message = kThreadFailed;
        if (progress) progress(UploadProgress{kThreadFailed, kStageIdle, 0.0});
        return false;
    }
    return true;
}

void UploadJob::cancel() {
    std::shared_ptr<CancelSignal> c;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        c = cancel_;
    }
    if (c) c->cancel();
}

UploadResult UploadJob::wait() {
    std::thread t;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        t = std::move(thread_);
    }
    if (t.joinable()) t.join();
    std::lock_guard<std::mutex> guard(mutex_);
    return result_;
}

}  // namespace lx9
