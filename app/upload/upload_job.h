// The upload job: sends a finished test to the result server — two file-header packets, one data
// packet per depth level, the criteria, every present section's wave-train image in chunks and
// the end packet — and reports each step as a status text.
//
// Threading contract: runUpload runs on the calling thread (UploadJob gives it a thread of its
// own). It reads the request's record copy, and the point lists under each list's lock, so the
// caller keeps the lists alive and unchanged in size until it returns (the acquisition is idle
// during an upload). The hooks are called on the upload thread; a window that shows the progress
// must carry the text over to its own thread.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "data/cinfo.h"
#include "data/globals.h"
#include "upload/upload_packets.h"
#include "upload/upload_transport.h"

namespace lx9 {

// Stages reached: 0 idle, 1 header sent, 2 data sent, 3 criteria sent, 4 images sent.
inline constexpr int kStageIdle = 0;
inline constexpr int kStageHeader = 1;
inline constexpr int kStageData = 2;
inline constexpr int kStageCriteria = 3;
inline constexpr int kStageImages = 4;

inline constexpr const char* kUploadImageName = "Kolmer_UploadSegImage.png";

struct UploadProgress {
    std::string text;       // the status line
    int stage = 0;          // stage reached so far
    double fraction = 0.0;  // share of the whole upload done, 0..1
};

// Draws a section's wave train into a PNG file (renderSectionImage in the program).
using ImageRenderer = std::function<bool(const CInfo& info, const SectionLists& lists, int slot,
                                         const std::filesystem::path& path)>;
// Computes the critical values of every present section and stores them in the lists'
// uploadVelocityCritical and uploadAmplitudeCritical (taking each list's lock itself).
using CriticalsCalculator = std::function<void(const CInfo& info, const SectionLists& lists)>;

struct UploadHooks {
    std::function<void(const UploadProgress&)> progress;
    // Absent: the lists' upload critical values are sent as they stand.
    CriticalsCalculator computeCriticals;
    ImageRenderer renderImage;
    UploadConsoleLines console;  // the transport's console lines; standard output when absent
};

struct UploadRequest {
    CInfo info;  // the test; info.uploadFile names the data file sent
    UploadSettings settings;
    SectionLists lists{};
    // The folder in which this upload makes a private folder of its own to draw its images in
    // (uploads side by side must never share one image file); empty: the system's temporary
    // folder ($TMPDIR or /tmp). The private folder goes when the upload ends, whatever the outcome.
    std::filesystem::path imageFolder;
    // Attempts, waits and time-outs; the address and port come from `settings`.
    TransportOptions transport;
    std::chrono::milliseconds chunkPause{9};  // after every image chunk
    // The date sent when the test date does not parse; today when absent.
    std::optional<std::chrono::year_month_day> today;
};

struct UploadResult {
    bool ok = false;
    bool cancelled = false;
    int stage = kStageIdle;
    std::string message;  // "恭喜，已成功上传！", the failed step's summary, or the cancel notice
};

inline constexpr const char* kUploadDone = "恭喜，已成功上传！";
inline constexpr const char* kUploadCancelled = "上传已取消！";
inline constexpr const char* kHeaderFailed = "上传工程信息失败！请检测网络或者服务器是否开启!";
inline constexpr const char* kDataFailed = "上传数据点失败！";
inline constexpr const char* kCriteriaFailed = "上传判据失败！";
inline constexpr const char* kImagesFailed = "上传波列图片失败！";
inline constexpr const char* kEndFailed = "上传结束包失败！";
inline constexpr const char* kThreadFailed = "创建GPRS线程失败";

// A folder of one's own for drawing images: created exclusively (mode 0700) under `parent` (empty:
// the system's temporary folder) and removed, with everything in it, with the object. Two of
// them never share a file, so uploads, renders and reports can draw side by side.
class ImageScratch {
  public:
    explicit ImageScratch(const std::filesystem::path& parent = {});
    ~ImageScratch();
    ImageScratch(const ImageScratch&) = delete;
    ImageScratch& operator=(const ImageScratch&) = delete;

    bool ok() const { return !folder_.empty(); }
    const std::filesystem::path& folder() const { return folder_; }
    // Why the folder could not be made (empty when ok()).
    const std::string& error() const { return error_; }
    // `name` inside the folder.
    std::filesystem::path file(std::string_view name) const { return folder_ / name; }

  private:
    std::filesystem::path folder_;
    std::string error_;
};

// Runs the whole upload on the calling thread.
UploadResult runUpload(const UploadRequest& request, const UploadHooks& hooks, const CancelSignal& cancel);

// One upload at a time on a thread of its own. A second start while one runs is refused.
// Threading contract: start, cancel, running and wait may be called from any thread.
class UploadJob {
  public:
    // Starts the upload's thread running `body`; throws std::system_error when it cannot (the
    // default is std::thread; tests make it fail).
    using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

    UploadJob() = default;
    explicit UploadJob(ThreadStarter starter) : starter_(std::move(starter)) {}
    ~UploadJob();  // cancels a running upload and waits for it
    UploadJob(const UploadJob&) = delete;
    UploadJob& operator=(const UploadJob&) = delete;

    // False, and nothing started, while an upload runs, or when its thread cannot be created:
    // then "创建GPRS线程失败" goes to the progress hook and is wait()'s message, and the job
    // stays ready for the next start.
    bool start(UploadRequest request, UploadHooks hooks);
    // Stops the running upload at once (its result says cancelled).
    void cancel();
    bool running() const { return running_.load(); }
    // Waits for the upload started last and returns its result (an idle job returns stage 0).
    UploadResult wait();

  private:
    mutable std::mutex mutex_;  // guards thread_, cancel_ and result_
    std::thread thread_;
    std::shared_ptr<CancelSignal> cancel_;
    UploadResult result_;
    std::atomic<bool> running_{false};
    ThreadStarter starter_;
};

}  // namespace lx9
