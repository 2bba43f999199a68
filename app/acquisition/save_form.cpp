#include "acquisition/save_form.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "acquisition/leak_form.h"
#include "acquisition/messages.h"
#include "data/globals.h"
#include "data/run_state.h"

namespace lx9 {

int32_t levelsNeeded(const CInfo& info) {
    if (info.stepMm <= 0) return 0;
    const double depthMm = std::round(leakBaseHeight(info) * 1000.0);
    if (!(depthMm >= 0) || depthMm > 1e9) return 0;
    return static_cast<int32_t>(depthMm) / info.stepMm + 1;
}

NoSaveForm::Outcome NoSaveForm::ok() {
    if (outcome_ != Outcome::Open) return outcome_;
    outcome_ = Outcome::Accepted;
    if (confirmed_) confirmed_();
    return outcome_;
}

NoSaveForm::Outcome NoSaveForm::cancel() {
    if (outcome_ == Outcome::Open) outcome_ = Outcome::Cancelled;
    return outcome_;
}

SaveForm::SaveForm(SharedInfo current, CInfo& saved, std::atomic<uint32_t>& state, TestDialogHost& host,
                   MessageSink& sink, bool final, uintptr_t handle)
    : current_(current.record()),
      saved_(saved),
      state_(state),
      host_(host),
      sink_(sink),
      final_(final),
      handle_(handle),
      infoLock_(current.lock()) {}

// The worker stopped by itself in the end states; otherwise it is stopped here.
void SaveForm::stopWorkerUnlessEnded() {
    const uint32_t s = state_.load();
    if (s == makeState(kStateEndContinuous) || s == makeState(kStateEndFixed)) return;
    host_.stopWorkerForEnd();
}

void SaveForm::clickSave() {
    if (phase_ != Phase::Choice || saving_) return;
    saving_ = true;
    continueAfterEnd = false;
    stopWorkerUnlessEnded();
    // No worker runs from here on: after a failed save there is no test to return to.
    final_ = true;
    if (!host_.postToService(Message{kMsgFinishFiles, handle_, 0, 0, {}})) {
        saving_ = false;
        sink_.showMessage("数据文件保存失败：后台服务已停止");
        return;
    }
    // The bar and its text appear with the first report.
}

void SaveForm::onProgress(int done, int total) {
    if (phase_ == Phase::Closed || !saving_) return;
    phase_ = Phase::Progress;
    const int percent = total > 0 ? static_cast<int>(static_cast<int64_t>(done) * 100 / total) : 100;
    progress_ = std::clamp(percent, 0, 100);
    progressText_ = "已保存" + std::to_string(percent) + "%\n保存路径：" + current_.chdPath;
    if (done != total) return;

    const int32_t cacheMode = current_.cacheMode;  // the test's own mode
    {
        std::lock_guard<std::mutex> g(infoLock_);
        current_ = saved_;
    }
    host_.resetAfterTest();
    host_.postToConsole(Message{kMsgLiftSpeed, 0, 0, 0, {}});
    if (cacheMode == 1) host_.instrument().SetEnd(0);
    phase_ = Phase::Closed;
    result_ = Result::Saved;
}

void SaveForm::onSaveFailed(const std::string& reason) {
    if (phase_ == Phase::Closed || !saving_) return;
    saving_ = false;
    phase_ = Phase::Choice;
    progress_ = 0;
    progressText_.clear();
    sink_.showMessage("数据文件保存失败：" + reason);
}

NoSaveForm* SaveForm::clickNoSave() {
    if (phase_ != Phase::Choice || saving_) return nullptr;
    noSave_ = std::make_unique<NoSaveForm>([this] { endWithoutSaving(); });
    return noSave_.get();
}

void SaveForm::endWithoutSaving() {
    // The confirmation's own OK.
    continueAfterEnd = false;
    stopWorkerUnlessEnded();
    if (host_.levelsCollected() < levelsNeeded(current_))
        host_.postToService(Message{kMsgCloseFiles, 0, 0, 0, {}});
    host_.postToConsole(Message{kMsgAbandonTest, 0, 0, 0, {}});
    // Then the save dialog's.
    host_.postToConsole(Message{kMsgLiftSpeed, 0, 0, 0, {}});
    if (host_.testWroteFiles()) {
        std::error_code ec;
        if (!current_.chtPath.empty()) std::filesystem::remove(current_.chtPath, ec);
        if (!current_.chdPath.empty()) std::filesystem::remove(current_.chdPath, ec);
    }
    phase_ = Phase::Closed;
    result_ = Result::NotSaved;
}

void SaveForm::clickReturn() {
    if (phase_ != Phase::Choice || saving_ || final_) return;
    if (current_.continuousFiring) {
        uint32_t end = makeState(kStateEndContinuous);
        state_.compare_exchange_strong(end, makeState(kStateRecordContinuous));
    } else {
        uint32_t end = makeState(kStateEndFixed);
        state_.compare_exchange_strong(end, makeState(kStateRecordFixed));
    }
    continueAfterEnd = true;
    resumeArmedStart = false;
    resumeArmedRecording = false;
    if (current_.cacheMode == 0) host_.instrument().SetLEDStatus(1);
    phase_ = Phase::Closed;
    result_ = Result::ReturnedToTest;
}

}  // namespace lx9
