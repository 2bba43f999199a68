#include "acquisition/prompt_form.h"

#include "acquisition/messages.h"
#include "data/globals.h"
#include "data/run_state.h"

namespace lx9 {

PromptForm::PromptForm(std::atomic<uint32_t>& state, TestDialogHost& host, std::string basePath,
                       uintptr_t request, uintptr_t handle, bool overExistingView)
    : state_(state),
      host_(host),
      basePath_(std::move(basePath)),
      request_(request),
      handle_(handle),
      overExistingView_(overExistingView) {}

void PromptForm::open() {
    if (phase_ != Phase::Waiting) return;
    Message m{kMsgOpenFile, request_, static_cast<intptr_t>(handle_), 0, basePath_};
    if (!host_.postToService(std::move(m))) onFailed("后台服务已停止");
}

void PromptForm::onHeaderRead() {
    if (phase_ != Phase::Waiting) return;
    if (!overExistingView_) host_.recreateForFile();
}

void PromptForm::onOpened() {
    if (phase_ != Phase::Waiting) return;
    opened_ = true;
    phase_ = Phase::Closed;
    host_.postToConsole(Message{kMsgFileOpened, 0, 0, 0, {}});
}

void PromptForm::onFailed(const std::string& reason) {
    if (phase_ != Phase::Waiting) return;
    phase_ = Phase::Failed;
    caption_ = std::string(kPromptFailedCaption);
    text_ = std::string(kPromptFailed);
    reason_ = reason;
    state_ = makeState(kStateIdle);
    if (!overExistingView_) host_.resetViews();
}

void PromptForm::ok() {
    if (phase_ == Phase::Failed) phase_ = Phase::Closed;
}

}  // namespace lx9
