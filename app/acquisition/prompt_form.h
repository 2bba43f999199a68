// The rules of `CDlg_Prompt`, the file-opening prompt: it asks the service thread to open a data
// file for viewing (WM_USER+103) and waits, with no way to close it, for the answer: the header
// has been read (WM_USER+106: the console re-creates its lists and views), the file is open
// (WM_USER+104: it closes and tells the console), or the open failed (WM_USER+105: it says so,
// puts the console back to idle and shows its OK button). Qt-free; user-interface thread only.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "acquisition/test_dialog_host.h"

namespace lx9 {

inline constexpr std::string_view kPromptCaption = "打开文件";
inline constexpr std::string_view kPromptWaiting = "正在打开，请稍等......";
inline constexpr std::string_view kPromptFailedCaption = "打开失败";
inline constexpr std::string_view kPromptFailed = "           打开文件失败！";

class PromptForm {
  public:
    enum class Phase { Waiting, Failed, Closed };

    // `basePath` is the pair's path without its suffix; `request` the console's file request,
    // `handle` the prompt's own name in the service thread's answers. `overExistingView`: the
    // prompt leaves the console's lists and views alone.
    PromptForm(std::atomic<uint32_t>& state, TestDialogHost& host, std::string basePath, uintptr_t request,
               uintptr_t handle, bool overExistingView = false);

    // Posts the request; a service thread that has ended fails the open at once.
    void open();

    uintptr_t handle() const { return handle_; }
    Phase phase() const { return phase_; }
    const std::string& caption() const { return caption_; }
    const std::string& text() const { return text_; }
    // Why the open failed, from the service thread (shown under the fixed text).
    const std::string& reason() const { return reason_; }
    bool okVisible() const { return phase_ == Phase::Failed; }
    bool closeCommandEnabled() const { return phase_ != Phase::Waiting; }
    // Enter and Escape are ignored while it waits.
    bool acceptsKeys() const { return phase_ != Phase::Waiting; }
    bool opened() const { return opened_; }

    void onHeaderRead();                       // WM_USER+106
    void onOpened();                           // WM_USER+104
    void onFailed(const std::string& reason);  // WM_USER+105
    void ok();                                 // after a failure

  private:
    std::atomic<uint32_t>& state_;
    TestDialogHost& host_;
    std::string basePath_;
    uintptr_t request_;
    uintptr_t handle_;
    bool overExistingView_;
    Phase phase_ = Phase::Waiting;
    std::string caption_{kPromptCaption};
    std::string text_{kPromptWaiting};
    std::string reason_;
    bool opened_ = false;
};

}  // namespace lx9
