// The rules of the end-of-test dialogs: `CDlg_Save` (保存) with its three choices and its progress
// phase, and the confirmation `CDlg_NoSave` (结束实验) behind "不保存". Qt-free; user-interface
// thread only.
//
// Saving: the worker is stopped (unless it stopped by itself at the end), the service thread is
// asked to finish the data files (WM_USER+99 with this dialog's handle) and its progress reports
// (WM_USER+100) drive the bar; the last one resets the console and closes the dialog. Not saving:
// the worker is stopped, the service thread closes the files when the pile was not finished
// (WM_USER+123), the console abandons the test (WM_USER+124) and the files this test wrote are
// removed. Returning to the test puts the end state back into recording.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "acquisition/test_dialog_host.h"
#include "data/cinfo.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "ui/message_sink.h"

namespace lx9 {

inline constexpr std::string_view kSaveCaption = "保存";
inline constexpr std::string_view kSaveButton = "保存";
inline constexpr std::string_view kNoSaveButton = "不保存";
inline constexpr std::string_view kReturnButton = "返回实验";
inline constexpr std::string_view kSaveFont = "宋体";
inline constexpr int kSaveFontPixels = 16;
inline constexpr std::string_view kNoSaveCaption = "结束实验";
inline constexpr std::string_view kNoSaveQuestion = "是否确认不保存？选择确认将会结束实验";

// Levels a pile needs from its base to the top: base height (mm) / step (mm) + 1.
int32_t levelsNeeded(const CInfo& info);

class NoSaveForm {
  public:
    enum class Outcome { Open, Accepted, Cancelled };
    explicit NoSaveForm(std::function<void()> confirmed) : confirmed_(std::move(confirmed)) {}

    std::string_view caption() const { return kNoSaveCaption; }
    std::string_view text() const { return kNoSaveQuestion; }
    Outcome outcome() const { return outcome_; }
    Outcome ok();
    Outcome cancel();

  private:
    std::function<void()> confirmed_;
    Outcome outcome_ = Outcome::Open;
};

class SaveForm {
  public:
    enum class Phase { Choice, Progress, Closed };
    enum class Result { None, Saved, NotSaved, ReturnedToTest };

    // `final`: the worker has stopped, there is no test to return to. `handle` names the dialog
    // in the service thread's progress reports. `current`/`saved` are currentInfo (changed under
    // its lock)/savedInfo, `state` is testState.
    SaveForm(SharedInfo current, CInfo& saved, std::atomic<uint32_t>& state, TestDialogHost& host,
             MessageSink& sink, bool final, uintptr_t handle);

    uintptr_t handle() const { return handle_; }
    Phase phase() const { return phase_; }
    Result result() const { return result_; }
    // Whether the console stays open after the dialog; it does after every outcome.
    bool stayOpen() const { return result_ != Result::None; }

    bool returnEnabled() const { return !final_; }
    // The worker stopped while the dialog was open: "返回实验" is disabled from now on.
    void markFinal() { final_ = true; }
    bool buttonsVisible() const { return phase_ == Phase::Choice; }
    // "保存" was clicked and the service thread has not finished (or failed) yet.
    bool saving() const { return saving_; }
    bool progressVisible() const { return phase_ == Phase::Progress; }
    // The close command is greyed and Esc ignored in both phases: closing the dialog is no
    // answer to it (a closed console would be relaunched and a test saved at the end lost).
    bool closeCommandEnabled() const { return false; }
    bool escapeIgnored() const { return true; }
    int progressPosition() const { return progress_; }  // 0..100
    const std::string& progressText() const { return progressText_; }

    // "保存": a second click while saving is ignored.
    void clickSave();
    // "不保存": opens the confirmation (noSave()); its OK ends the test without saving.
    NoSaveForm* clickNoSave();
    NoSaveForm* noSave() {
        return noSave_ && noSave_->outcome() == NoSaveForm::Outcome::Open ? noSave_.get() : nullptr;
    }
    // "返回实验" (only when not final).
    void clickReturn();

    // WM_USER+100 from the service thread.
    void onProgress(int done, int total);
    // The service thread could not finish the files: the reason is shown and the choices come
    // back, so the operator can try again or end without saving.
    void onSaveFailed(const std::string& reason);

  private:
    void stopWorkerUnlessEnded();
    void endWithoutSaving();

    CInfo& current_;
    CInfo& saved_;
    std::atomic<uint32_t>& state_;
    TestDialogHost& host_;
    MessageSink& sink_;
    bool final_;
    uintptr_t handle_;
    std::mutex& infoLock_;  // guards current_: held while the form changes it
    Phase phase_ = Phase::Choice;
    Result result_ = Result::None;
    bool saving_ = false;
    int progress_ = 0;
    std::string progressText_;
    std::unique_ptr<NoSaveForm> noSave_;
};

}  // namespace lx9
