// The acquisition console `CDlg_Main`, without its window: start-up (settings, service thread,
// worker, connection, firmware and battery, parameter push, recovery of a test the instrument
// still holds), every button and section control, every test-state transition the console makes,
// the handlers of the worker's and the service thread's messages, the indicators, and close. It
// draws nothing: it tells a ConsoleView what changed and which dialog to show, and asks questions
// through a MessageSink. It is also the console the setup forms talk to (SetupConsole).
//
// Threading contract:
// - Every public member is called on the user-interface thread, which also drains mailbox()
//   and hands each message to handleMessage() (dispatchMessages() does both).
// - The controller owns the background service thread and the acquisition worker; it is the only
//   one that starts or stops them. The worker and the service thread reach it only through the
//   mailbox.
// - The shared records are the program's globals (currentInfo, savedInfo, sectionLists,
//   maxPointCount, and the run state of data/run_state.h). The controller changes currentInfo
//   under its lock (SharedInfo) while a worker runs, and re-creates the point lists only while no
//   worker runs (it stops and restarts the worker around it).
// - The instrument is reached through an ExclusiveLink: the console's own calls are made with the
//   worker paused and the link held, so they never overlap an exchange of the worker.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "acquisition/acquisition_worker.h"
#include "acquisition/back_service_thread.h"
#include "acquisition/console_rules.h"
#include "acquisition/console_runtime.h"
#include "acquisition/console_sink.h"
#include "acquisition/console_view.h"
#include "acquisition/instance_lock.h"
#include "acquisition/leak_form.h"
#include "acquisition/mailbox.h"
#include "acquisition/modal_form.h"
#include "acquisition/plus_input_form.h"
#include "acquisition/prompt_form.h"
#include "acquisition/real_time_save_window.h"
#include "acquisition/resample_form.h"
#include "acquisition/save_form.h"
#include "acquisition/test_dialog_host.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "instrument/exclusive_link.h"
#include "setup/setup_console.h"
#include "ui/message_sink.h"

namespace lx9 {

// The console's waits and retries. The defaults are the production values.
struct ConsoleTiming {
    std::chrono::milliseconds timer0{500};           // battery bar and transient notice
    std::chrono::milliseconds reconnectDelay{3000};  // timer 100, after a pause
    int connectTries = 3;                            // handshake tries of the console's reconnect
    int firmwareTries = 3;
    int recoveryTries = 20;  // reads of each parameter record of a held test
    int transientTicks = 4;  // timer-0 ticks a transient notice stays
    WorkerTiming worker;
};

struct ConsoleOptions {
    // The settings file; empty: settingsPath().
    std::filesystem::path settingsFile;
    // Load the settings at start-up (tests may prepare currentInfo themselves).
    bool loadSettings = true;
    ConsoleTiming timing;
    // The worker's per-frame processing; empty: ProcessCurrentPoints.
    std::function<void(const CInfo&, OwnedSectionLists&)> processCurrentPoints;
    // The DATE line of new data files; empty: today.
    std::function<std::string()> date;
};

// Timer ids of the console.
inline constexpr int kTimerIndicators = 0;
inline constexpr int kTimerReconnect = 100;

class ConsoleController : public SetupConsole, private TestDialogHost {
  public:
    // Runs on `runtime`, which the program's main creates before the controller and ends after
    // it; the controller starts and stops workers on it and stops it all when the console closes.
    ConsoleController(InstrumentLink& link, ConsoleView& view, MessageSink& sink, ConsoleRuntime& runtime,
                      ConsoleOptions options = {});
    // Runs on a runtime of its own (tests and tools that need no other thread).
    ConsoleController(InstrumentLink& link, ConsoleView& view, MessageSink& sink,
                      ConsoleOptions options = {});
    // Stops the worker; a runtime of its own is stopped too (the program's is its main's to end).
    ~ConsoleController() override;
    ConsoleController(const ConsoleController&) = delete;
    ConsoleController& operator=(const ConsoleController&) = delete;

    // The dialog's initialisation: settings, timers, service thread, worker, the connection
    // dialog, firmware, battery, parameter push, LED, recovery of a held test.
    void startUp();

    // --- Messages (user-interface thread).
    Mailbox& mailbox() { return mailbox_; }
    // Handles one message of the worker, the service thread or a dialog; the result is a send's.
    intptr_t handleMessage(const Message& message);
    // Handles every message waiting now; with a timeout, waits that long for the first one.
    int dispatchMessages(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

    // --- Operator actions.
    // A console button (1002..1014) or a section control (1072..1123). A disabled button does
    // nothing.
    void click(int id);
    // A timer fired.
    void onTimer(int id);
    // "测试完成": the save dialog of the test being recorded, whatever the new-save button reads
    // (a tool ending a test early). False when no test is being recorded.
    bool finishTest();
    // The view handed an operator's action to an open dialog's form: the controller finishes
    // whatever dialog that closed.
    void dialogChanged();

    // "关闭": stores the settings, stops the worker and the service thread, closes the window.
    void close();
    // The window is closing (WM_CLOSE): stores the settings, noting whether the program hands
    // over to the external program, and returns what the window then starts.
    std::vector<LaunchCommand> windowClosing(const std::filesystem::path& executable);
    bool closed() const { return closed_; }

    // --- What the view shows.
    uint32_t state() const { return testState.load(); }
    bool connected() const { return connected_; }
    bool viewingFile() const { return viewingFile_; }
    const ButtonStates& buttons() const { return buttons_; }
    // The test state buttons() was computed for (the worker may have moved testState on since).
    uint32_t buttonsState() const { return appliedState_; }
    // The caption of a button in the present state (with its hotkey letter when shown).
    std::string caption(int button) const;
    BarIndicator battery() const { return battery_; }
    std::optional<BarIndicator> liftSpeedBar() const { return liftBar_; }
    int32_t liftSpeed() const { return liftSpeed_.value_or(0); }
    bool commNoticeShown() const { return commNotice.load() == 1; }
    // The operator closed the communication notice: the next failure shows it again.
    void commNoticeClosed();
    bool displayFixed() const { return displayFixed_; }
    DisplaySettings& display() { return display_; }
    bool viewByte() const { return viewByte_; }
    void setViewByte(bool on);

    // A dialog that shows the live depth (the calibration's correction run, state 0xF500)
    // receives each reading (cm) while it is registered; an empty function ends it.
    void setDepthListener(std::function<void(uint16_t depthCm)> listener) {
        depthListener_ = std::move(listener);
    }

    // The open dialogs' forms (none when closed).
    PlusInputForm* plusInputForm() { return isShown(ConsoleDialog::PlusInput) ? plusInput_.get() : nullptr; }
    ModalForm* modalForm() { return isShown(ConsoleDialog::Modal) ? modal_.get() : nullptr; }
    ResampleForm* resampleForm() { return isShown(ConsoleDialog::Resample) ? resample_.get() : nullptr; }
    LeakForm* leakForm() { return leak_ && leak_->isOpen() ? leak_.get() : nullptr; }
    SaveForm* saveForm() {
        return save_ && save_->phase() != SaveForm::Phase::Closed ? save_.get() : nullptr;
    }
    PromptForm* promptForm() {
        return prompt_ && prompt_->phase() != PromptForm::Phase::Closed ? prompt_.get() : nullptr;
    }
    // The result of the last save dialog (to tell what ended a test).
    SaveForm::Result lastSaveResult() const { return lastSaveResult_; }

    // --- Figures of the running test.
    int32_t levelsStored() const;
    // Levels of a real-time test on disk (each one synced before it counts); 0 for a test saved
    // at its end.
    int32_t levelsSaved() const;
    // The test being recorded is written level by level as it goes.
    bool savingInRealTime() const { return testWroteFiles_; }
    // File errors reported by the service thread since start-up.
    int fileErrors() const { return fileErrors_; }
    int missedPointNotices() const { return missedNotices_; }
    // Levels of the last test that ended (saved or not).
    int32_t lastTestLevels() const { return lastTestLevels_; }
    // Depth (m) of the newest point of the first section, if any.
    std::optional<float> newestDepth() const;
    int32_t batteryLevelNow() const { return batteryLevel.load(); }
    bool workerRunning() const {
        const AcquisitionWorker* worker = runtime_.worker();
        return worker && worker->running();
    }

    // --- SetupConsole.
    StoreResult storeSettings(const CInfo& info) override;
    void pushParameters() override;
    void stopWorker() override;
    void rebuildPointLists() override;
    void startWorker() override;
    void setListsReady(bool ready) override { listsReady = ready; }
    bool workerPaused() const override { return pauseWorker.load(); }
    void setWorkerPaused(bool paused) override { pauseWorker = paused; }
    void acquisitionModeChanged() override { modeChanged_ = true; }
    bool showTestTypeAtStart() const override { return showTestType_; }
    void setShowTestTypeAtStart(bool show) override { showTestType_ = show; }
    bool modeChangedFlag() const { return modeChanged_; }

  private:
    // TestDialogHost.
    void stopWorkerForEnd() override;
    bool postToService(Message message) override;
    void postToConsole(Message message) override;
    void resetAfterTest() override;
    void resetViews() override;
    void recreateForFile() override;
    int32_t levelsCollected() const override { return levelsStored(); }
    bool testWroteFiles() const override { return testWroteFiles_; }
    InstrumentLink& instrument() override { return link_; }

    // Start-up pieces.
    void connectAtStartUp();
    void recoverHeldTest();
    bool readHeldTest(CInfo& into);

    // Buttons.
    void sampleButton();
    void sampleFromIdle();
    void pauseOrResume();
    void newSave();
    void resampleButton();
    void openFile();
    void openSaveDialog(bool final);
    void adjustSection(const SectionControl& control);

    // Helpers.
    bool reconnect();
    void ensureWorker();
    void replaceLists();
    void startIdleWorker();
    void recreateLists(int32_t sampleLength);
    void setState(uint32_t state);
    void refreshButtons();
    void afterStateChange();
    void realTimeSaveStep();
    void stopThreads();
    void closeLeak();
    void settleDialogs();
    bool isShown(ConsoleDialog dialog) const { return shownDialogs_.contains(dialog); }
    void showDialog(ConsoleDialog dialog);
    // True once for a shown dialog whose form has `ended`: it is no longer shown.
    bool dialogEnded(ConsoleDialog dialog, bool ended);

    // Messages of the worker and the service thread.
    void dialogMessage(const Message& m);
    void selectPoint(int index);
    void testEnded(bool final);
    void pointsMissed(const Message& m);
    void fileOpened();
    void liftSpeedChanged(int32_t value);
    void abandonTest();
    void levelsChanged(bool frame);
    void commFailed();
    void commRestored();
    void fileError(const Message& m);
    void forwardDepth(const Message& m);
    template <class F>
    void editInfo(F&& change);
    uintptr_t nextHandle() { return ++handles_; }

    ExclusiveLink link_;
    ConsoleView& view_;
    MessageSink& sink_;
    ConsoleOptions options_;
    std::filesystem::path settingsFile_;

    // What the console runs on: the program's, or one of its own when none was given (tests).
    std::unique_ptr<ConsoleRuntime> ownRuntime_;
    ConsoleRuntime& runtime_;
    Mailbox& mailbox_;
    ConsoleSink& consoleSink_;
    CBackServiceThread* service_ = nullptr;  // the runtime's, from start-up on

    bool started_ = false;
    bool startUpDone_ = false;
    bool closed_ = false;
    bool connected_ = false;
    bool newSaveBlocked_ = false;  // 1006 stays off after start-up until the first sampling
    bool viewingFile_ = false;
    bool displayFixed_ = false;
    bool viewByte_ = false;
    bool modeChanged_ = false;
    bool showTestType_ = false;
    bool timer100Running_ = false;
    bool testWroteFiles_ = false;
    bool endOnInstrumentAfterSave_ = false;  // a buffered test's end: SetEnd(0) after the dialog
    int fileErrors_ = 0;
    uint32_t appliedState_ = 0;  // the state the buttons were last computed for
    ButtonStates buttons_{};
    DisplaySettings display_{};
    BarIndicator battery_{};
    std::optional<int32_t> liftSpeed_;
    std::optional<BarIndicator> liftBar_;
    int transientTicks_ = -1;  // ticks left of a transient notice; -1 none
    int missedNotices_ = 0;
    int32_t lastReadingCm_ = 0;  // the probes' last reading from a missed-point message
    int32_t lastLevels_ = 0;     // levels stored when the last worker stopped
    int32_t lastTestLevels_ = 0;
    std::array<int, kMaxSections> pausedCurrent_{};  // each list's current point at a pause
    std::optional<RealTimeSaveWindow> realTimeWindow_;
    uintptr_t handles_ = 0;
    std::string viewedBase_;  // the pair open for viewing, without its suffix
    std::function<void(uint16_t)> depthListener_;

    // currentInfo with its lock: what the forms, the worker and the service thread are handed.
    SharedInfo info_ = sharedCurrentInfo();
    std::unique_ptr<PlusInputForm> plusInput_;
    std::unique_ptr<ModalForm> modal_;
    std::unique_ptr<ResampleForm> resample_;
    std::unique_ptr<LeakForm> leak_;
    std::unique_ptr<SaveForm> save_;
    std::unique_ptr<PromptForm> prompt_;
    SaveForm::Result lastSaveResult_ = SaveForm::Result::None;
    // The dialogs the view was told opened and not yet told closed.
    std::set<ConsoleDialog> shownDialogs_;
    std::optional<int32_t> modalCacheMode_;  // acquisition mode when the mode dialog opened
};

}  // namespace lx9
