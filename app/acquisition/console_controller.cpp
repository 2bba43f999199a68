#include "acquisition/console_controller.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "acquisition/acquisition_rules.h"
#include "acquisition/link_form.h"
#include "acquisition/messages.h"
#include "acquisition/reset_form.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "data/settings_store.h"
#include "instrument/parameter_records.h"
#include "setup/setup_form.h"

namespace lx9 {

namespace {

// The pair's base path: the chosen name without a ".CHT" suffix (any case).
std::string basePathOf(std::string path) {
    if (path.size() >= 4) {
        std::string tail = path.substr(path.size() - 4);
        std::transform(tail.begin(), tail.end(), tail.begin(),
                       [](unsigned char c) { return std::toupper(c); });
        if (tail == ".CHT" || tail == ".CHD") path.resize(path.size() - 4);
    }
    return path;
}

// A record decoded from the instrument that a test can be taken up with.
bool usableHeldTest(const CInfo& info) {
    return (info.sampleLength == 512 || info.sampleLength == 1024) && isStepChoice(info.stepMm) &&
           info.sampleInterval > 0 && info.sectionCount >= 1 && info.sectionCount <= kMaxSections &&
           info.pipeCount >= 2 && info.pipeCount <= 5 && expectedLevelCount(info) > 0;
}

}  // namespace

namespace {

ServiceOptions serviceOptions(const ConsoleOptions& options) {
    ServiceOptions service;
    service.date = options.date;
    return service;
}

}  // namespace

ConsoleController::ConsoleController(InstrumentLink& link, ConsoleView& view, MessageSink& sink,
                                     ConsoleRuntime& runtime, ConsoleOptions options)
    : link_(link),
      view_(view),
      sink_(sink),
      options_(std::move(options)),
      settingsFile_(options_.settingsFile.empty() ? settingsPath() : options_.settingsFile),
      runtime_(runtime),
      mailbox_(runtime.mailbox()),
      consoleSink_(runtime.consoleSink()) {}

ConsoleController::ConsoleController(InstrumentLink& link, ConsoleView& view, MessageSink& sink,
                                     ConsoleOptions options)
    : link_(link),
      view_(view),
      sink_(sink),
      options_(std::move(options)),
      settingsFile_(options_.settingsFile.empty() ? settingsPath() : options_.settingsFile),
      ownRuntime_(std::make_unique<ConsoleRuntime>(serviceOptions(options_))),
      runtime_(*ownRuntime_),
      mailbox_(runtime_.mailbox()),
      consoleSink_(runtime_.consoleSink()) {}

ConsoleController::~ConsoleController() {
    stopWorker();
    service_ = nullptr;
    ownRuntime_.reset();
}

// At close the console stops everything it runs on: the worker within its bounded stop, then
// the mailbox (releasing a service thread waiting on a send to this console, so it finishes the
// work in hand and sees its quit), then the service thread.
void ConsoleController::stopThreads() {
    stopWorker();
    runtime_.stop();
    service_ = nullptr;
}

template <class F>
void ConsoleController::editInfo(F&& change) {
    info_.change(std::forward<F>(change));
}

// ---------------------------------------------------------------- start-up

void ConsoleController::startUp() {
    if (started_) return;
    started_ = true;

    // Settings (defaults without a file) and the saved copy.
    if (options_.loadSettings) {
        CInfo loaded;
        loadSettings(loaded, uploadSettings, settingsFile_);
        editInfo([&](CInfo& info) { info = loaded; });
    }
    savedInfo = currentInfo;
    maxPointCount = expectedLevelCount(currentInfo);
    recreateLists(currentInfo.sampleLength);

    // 1. Bars and the indicator timer.
    view_.setTimer(kTimerIndicators, options_.timing.timer0, true);

    // 2. The service thread, then the worker, which idles: paused, and in acquisition mode two
    //    holding its parameter sends until the console has the instrument's answers.
    service_ = runtime_.service();
    pauseWorker = true;
    holdForParameters = true;
    ensureWorker();

    // 3.-5. Connection, firmware, battery, push, LED; recovery.
    connectAtStartUp();

    // 6.
    newSaveBlocked_ = true;
    if (currentInfo.cacheMode == 1) {
        pendingSet1 = true;
        pendingSet2 = true;
        pendingSet3 = true;
        pendingHeight = true;
        holdForParameters = false;
    }
    startUpDone_ = true;
    refreshButtons();
    view_.redraw(kViewAll);
}

void ConsoleController::connectAtStartUp() {
    bool heldTest = false;
    {
        auto hold = link_.hold();
        LinkForm form(link_);
        view_.runConnectionDialog(form);
        connected_ = form.connected();
        heldTest = connected_ && form.holdsUnsavedTest();
        if (!connected_) return;

        // Firmware: up to three reads, stopping at a version of 2 or more.
        uint8_t version = 0;
        for (int i = 0; i < options_.timing.firmwareTries; ++i) {
            version = link_.GetFirmwareVersion();
            if (version >= 2) break;
        }
        editInfo([&](CInfo& info) {
            info.firmwareVersion = version;
            // An instrument without a cache: real-time acquisition, nothing to recover.
            if (version >= 1 && version <= 4) info.cacheMode = 0;
        });
        if (version >= 1 && version <= 4) heldTest = false;

        const uint8_t battery = link_.GetBatteryQuantity();
        if (battery >= 1) batteryLevel = battery;
        battery_ = batteryIndicator(batteryLevel.load());
        pushParameters();
        link_.SetLEDStatus(0);
        // The worker started before the link was open, so its depth counter did not start: in
        // real-time acquisition it starts at the worker's first measuring cycle.
        if (currentInfo.cacheMode == 0) pendingRecordHeight = true;
    }
    if (heldTest) recoverHeldTest();
}

// Each parameter record is read until it comes whole, but no more than recoveryTries times: an
// instrument that keeps answering short records must not hold the console at start-up forever.
bool ConsoleController::readHeldTest(CInfo& into) {
    auto hold = link_.hold();
    const int tries = std::max(options_.timing.recoveryTries, 1);
    std::array<uint8_t, kJobTextBlockSize> block{};
    bool ok = false;
    for (int i = 0; i < tries && !ok; ++i)
        ok = link_.GetPara3(block.data(), static_cast<int32_t>(block.size())) == 1;
    if (!ok) return false;
    _Ctrl_SET1_INFO_DLL set1{};
    ok = false;
    for (int i = 0; i < tries && !ok; ++i)
        ok = link_.GetPara1(&set1) == 1;
    if (!ok) return false;
    _Ctrl_SET2_INFO_DLL set2{};
    ok = false;
    for (int i = 0; i < tries && !ok; ++i)
        ok = link_.GetPara2(&set2) == 1;
    if (!ok) return false;
    decodeJobText(block.data(), block.size(), into);
    decodeSet1(set1, into);
    decodeSet2(set2, into);
    return true;
}

void ConsoleController::recoverHeldTest() {
    if (!sink_.askYesNoTitled(std::string(kTextRecoverQuestion), std::string(kCaptionHint))) {
        auto hold = link_.hold();
        link_.SetEnd(0);
        return;
    }
    CInfo held = currentInfo;
    if (!readHeldTest(held)) {
        // The held test stays in the instrument; the console goes on without it.
        sink_.showMessageTitled(std::string(kTextRecoveryUnreadable), std::string(kCaptionHint));
        return;
    }
    held.rebuildSectionNames();
    held.cacheMode = 1;  // a test held in the instrument's cache is a buffered test
    if (!usableHeldTest(held)) {
        if (sink_.askYesNoTitled(std::string(kTextQuitRecovery), std::string(kCaptionHint))) {
            auto hold = link_.hold();
            link_.SetEnd(0);
        }
        return;
    }
    // The recovered test is saved like any other: it needs its data files' name.
    const std::optional<std::string> name = view_.askDataFileName();
    if (!name) return;
    const std::string base = basePathOf(*name);
    held.chtPath = base + ".CHT";
    held.chdPath = base + ".CHD";
    held.saveMode = std::string(kSaveAtEnd);

    stopWorker();
    editInfo([&](CInfo& info) { info = held; });
    maxPointCount = expectedLevelCount(currentInfo);
    recreateLists(currentInfo.sampleLength);
    pushParameters();
    realTimeWindow_.reset();
    testWroteFiles_ = false;
    newSaveBlocked_ = false;
    setState(makeState(kStateRecordStart));
    pauseWorker = true;
    ensureWorker();
    // The held test's records are read back: the worker may send again. The hold must be gone
    // before SetSample(1) is asked for, or a cycle under the hold would clear the request.
    pendingSet1 = true;
    pendingSet2 = true;
    pendingSet3 = true;
    pendingHeight = true;
    holdForParameters = false;
    pendingSampleOn = true;
    pauseWorker = false;
    view_.redraw(kViewAll | kViewReset);
}

// ---------------------------------------------------------------- messages

int ConsoleController::dispatchMessages(std::chrono::milliseconds wait) {
    auto handler = [this](const Message& m) { return handleMessage(m); };
    int n = 0;
    if (wait.count() > 0 && mailbox_.dispatchOne(handler, wait)) ++n;
    return n + mailbox_.drain(handler);
}

void ConsoleController::forwardDepth(const Message& m) {
    const uint32_t s = testState.load();
    const uint32_t code = stateCode(s);
    if (code == kStateLiveDepth) {
        if (depthListener_) depthListener_(static_cast<uint16_t>(m.lParam));
        return;
    }
    const bool hold = (code == kStateRecordContinuous || code == kStateRecordFixed) &&
                      (subState(s) & kSubStateMissedHold) != 0;
    if (hold) {
        lastReadingCm_ = static_cast<int32_t>(m.wParam);
        if (leak_ && leak_->isOpen()) {
            leak_->refresh(static_cast<int32_t>(m.wParam), static_cast<int32_t>(m.lParam));
            view_.redraw(kViewDialogs);
        }
    }
}

intptr_t ConsoleController::handleMessage(const Message& m) {
    if (closed_) return 0;
    if (m.target != 0) {
        dialogMessage(m);
        return 0;
    }
    switch (m.id) {
        case kMsgDepthReading:
            forwardDepth(m);
            break;
        case kMsgSelectPoint:
            selectPoint(static_cast<int>(m.wParam));
            break;
        case kMsgRefreshWave:
            view_.redraw(kViewWaveform | kViewPointInfo);
            break;
        case kMsgTestEnd:
            testEnded(m.wParam == 1);
            break;
        case kMsgMissedPoints:
            pointsMissed(m);
            break;
        case kMsgFileOpened:
            fileOpened();
            break;
        case kMsgDisplaySettingsChanged:
            view_.redraw(kViewWaveform | kViewWaveTrain | kViewCurves | kViewSectionMap | kViewButtons);
            break;
        case kMsgRefreshPick:
            view_.redraw(kViewWaveform | kViewPointInfo | kViewCurves);
            realTimeSaveStep();
            break;
        case kMsgLiftSpeed:
            liftSpeedChanged(static_cast<int32_t>(m.wParam));
            break;
        case kMsgProbesBack:
            closeLeak();
            afterStateChange();
            break;
        case kMsgAbandonTest:
            abandonTest();
            break;
        case kMsgLastLevelStored:
        case kMsgPointsRemoved:
            levelsChanged(false);
            break;
        case kMsgFrameReady:
            levelsChanged(true);
            break;
        case kMsgCommFailure:
            commFailed();
            break;
        case kMsgCommRestored:
            commRestored();
            break;
        case kMsgFileError:
            fileError(m);
            break;
        default:
            break;
    }
    settleDialogs();
    return 0;
}

// Answers addressed to one of the console's dialogs.
void ConsoleController::dialogMessage(const Message& m) {
    if (save_ && m.target == save_->handle()) {
        if (m.id == kMsgSaveProgress)
            save_->onProgress(static_cast<int>(m.wParam), static_cast<int>(m.lParam));
    } else if (prompt_ && m.target == prompt_->handle()) {
        if (m.id == kMsgHeaderRead) prompt_->onHeaderRead();
        if (m.id == kMsgFileOpened) prompt_->onOpened();
        if (m.id == kMsgOpenFailed) prompt_->onFailed(m.text);
    }
    view_.redraw(kViewDialogs);
    settleDialogs();
}

void ConsoleController::selectPoint(int index) {
    for (int k = 0; k < kMaxSections; ++k) {
        CSampleDataList* list = sectionLists[static_cast<size_t>(k)].get();
        if (!list || !currentInfo.sections[static_cast<size_t>(k)].display) continue;
        auto g = list->lock();
        if (SamplePoint* p = list->point(index)) list->current = p;
    }
    view_.redraw(kViewWaveform | kViewWaveTrain | kViewPointInfo | kViewSectionMap);
}

void ConsoleController::testEnded(bool final) {
    if (currentInfo.cacheMode == 0) {
        auto hold = link_.hold();
        link_.SetLEDStatus(0);
    }
    afterStateChange();
    openSaveDialog(final);
    if (saveForm()) endOnInstrumentAfterSave_ = currentInfo.cacheMode == 1;
}

void ConsoleController::pointsMissed(const Message& m) {
    ++missedNotices_;
    lastReadingCm_ = static_cast<int32_t>(m.wParam);
    leak_ = std::make_unique<LeakForm>(currentInfo, static_cast<int32_t>(m.wParam),
                                       static_cast<int32_t>(m.lParam));
    shownDialogs_.insert(ConsoleDialog::Leak);
    afterStateChange();
    view_.dialogOpened(ConsoleDialog::Leak);
}

void ConsoleController::fileOpened() {
    viewingFile_ = true;
    // The viewed pair's names, for the analysis and the upload that may follow.
    editInfo([&](CInfo& info) {
        info.chtPath = viewedBase_ + ".CHT";
        info.chdPath = viewedBase_ + ".CHD";
    });
    refreshButtons();
    view_.redraw(kViewAll);
}

void ConsoleController::liftSpeedChanged(int32_t value) {
    if (liftSpeed_ && *liftSpeed_ == value) return;
    liftSpeed_ = value;
    liftBar_ = liftSpeedIndicator(value);
    view_.redraw(kViewLiftSpeed);
}

void ConsoleController::abandonTest() {
    // The instrument's record belongs to the test's mode, whatever the settings say.
    const bool buffered = currentInfo.cacheMode == 1;
    editInfo([](CInfo& info) { info = savedInfo; });
    stopWorker();
    lastTestLevels_ = lastLevels_;
    // The writer is closed, so that no later test writes into this pair; a level the
    // service thread is still writing reads the lists: let it finish before they are
    // replaced (the thread answers an empty message once it gets to it).
    postToService(Message{kMsgCloseFiles, 0, 0, 0, {}});
    if (service_) service_->mailbox().send(Message{});
    maxPointCount = expectedLevelCount(currentInfo);
    recreateLists(currentInfo.sampleLength);
    realTimeWindow_.reset();
    missedNotices_ = 0;
    setState(makeState(kStateIdle));
    if (buffered) {
        auto hold = link_.hold();
        link_.SetEnd(0);
    }
    startIdleWorker();
    view_.redraw(kViewAll | kViewReset);
}

// A level stored or removed, or a new frame.
void ConsoleController::levelsChanged(bool frame) {
    afterStateChange();
    view_.redraw(kViewWaveform | kViewWaveTrain | kViewCurves | kViewPointInfo);
    // No sender of WM_USER+120 exists: a new level is the moment a half window may be due.
    if (frame && !isRecordingCode(stateCode(testState.load())) && !isEndCode(stateCode(testState.load())))
        return;
    realTimeSaveStep();
}

void ConsoleController::commFailed() {
    if (commNotice.load() != 0) return;
    commNotice = 1;
    view_.showCommNotice(std::string(kTextCommNotice));
}

void ConsoleController::commRestored() {
    if (commNotice.load() != 1) return;
    view_.closeCommNotice();
    commNotice = 0;
}

void ConsoleController::fileError(const Message& m) {
    ++fileErrors_;
    if (save_ && save_->phase() != SaveForm::Phase::Closed && m.wParam == kMsgFinishFiles)
        save_->onSaveFailed(m.text);
    else
        sink_.showMessage("数据文件写入失败：" + m.text);
}

void ConsoleController::realTimeSaveStep() {
    if (!realTimeWindow_ || currentInfo.saveMode != kSaveRealTime) return;
    for (Message& request : realTimeWindow_->onLevelsChanged(levelsStored()))
        postToService(std::move(request));
}

int32_t ConsoleController::levelsSaved() const {
    return service_ && testWroteFiles_ ? service_->levelsWritten() : 0;
}

void ConsoleController::commNoticeClosed() {
    commNotice = 0;
}

// ---------------------------------------------------------------- buttons

void ConsoleController::click(int id) {
    if (closed_ || !started_) return;
    if (auto control = sectionControl(id)) {
        adjustSection(*control);
        return;
    }
    // The worker changes the state between its messages: enabling follows the state as it is now.
    afterStateChange();
    if (id < kFirstButton || id > kBtnUpload || !buttons_.at(id)) return;
    switch (id) {
        case kBtnSetup:
            view_.openSetup();
            break;
        case kBtnSample:
            sampleButton();
            break;
        case kBtnAdjust:
            plusInput_ = std::make_unique<PlusInputForm>(info_, savedInfo, *this, sink_);
            showDialog(ConsoleDialog::PlusInput);
            break;
        case kBtnMode:
            modalCacheMode_ = currentInfo.cacheMode;
            modal_ = std::make_unique<ModalForm>(
                info_, display_, testState.load(), viewingFile_, *this, sink_, [this] {
                    postToConsole(Message{kMsgDisplaySettingsChanged, 0, 0, 0, {}});
                });
            showDialog(ConsoleDialog::Modal);
            break;
        case kBtnNewSave: {
            const uint32_t s = testState.load();
            const uint32_t code = stateCode(s);
            if (code == kStateIdle || code == kStateFreeSampling)
                newSave();
            else if ((code == kStateRecordContinuous || code == kStateRecordFixed) &&
                     (subState(s) & kSubStateMissedHold))
                resampleButton();
            else if (isRecordingCode(code) || isEndCode(code))
                openSaveDialog(!workerRunning());
            break;
        }
        case kBtnFix:
            displayFixed_ = !displayFixed_;
            view_.setDisplayFixed(displayFixed_);
            view_.redraw(kViewButtons);
            break;
        case kBtnPageBack:
            view_.pageWaveTrain(-1);
            break;
        case kBtnPageForward:
            view_.pageWaveTrain(+1);
            break;
        case kBtnOpen:
            openFile();
            break;
        case kBtnAnalyse:
            view_.openAnalysis();
            break;
        case kBtnClose:
            close();
            break;
        case kBtnUpload:
            view_.openUpload();
            break;
        default:
            break;
    }
}

std::string ConsoleController::caption(int button) const {
    CaptionInputs in;
    {
        // The service thread may be filling the record from a file being opened.
        std::lock_guard<std::mutex> g(info_.lock());
        const int pair = hotkeyPairOf(button);
        if (pair >= 0) in.key = currentInfo.hotkeys[static_cast<size_t>(pair)];
        in.showLetters = currentInfo.showHotkeyLetters != 0;
    }
    in.state = testState.load();
    in.viewingFile = viewingFile_;
    in.displayFixed = displayFixed_;
    return buttonCaption(button, in);
}

void ConsoleController::sampleButton() {
    // Timer 100 follows the caption the click was made on.
    const std::string before = caption(kBtnSample);
    const std::string_view plain = std::string_view(before).substr(0, before.find('('));
    if (plain == kCapPause) {
        view_.setTimer(kTimerReconnect, options_.timing.reconnectDelay, false);
        timer100Running_ = true;
    } else if (plain == kCapSample || plain == kCapTestDone) {
        view_.killTimer(kTimerReconnect);
        timer100Running_ = false;
    }

    const uint32_t code = stateCode(testState.load());
    switch (code) {
        case kStateIdle:
            sampleFromIdle();
            break;
        case kStateViewing: {
            ResetForm form;
            if (!view_.confirm(form)) return;
            setState(makeState(kStateIdle));
            editInfo([](CInfo& info) { info = savedInfo; });
            viewingFile_ = false;
            maxPointCount = expectedLevelCount(currentInfo);
            replaceLists();
            startIdleWorker();
            refreshButtons();
            view_.redraw(kViewAll | kViewReset);
            break;
        }
        case kStateFreeSampling:
        case kStateRecordStart:
        case kStateRecordContinuous:
        case kStateRecordFixed:
            pauseOrResume();
            break;
        default:
            if (isEndCode(code)) openSaveDialog(!workerRunning());
            break;
    }
}

bool ConsoleController::reconnect() {
    auto hold = link_.hold();
    for (int i = 0; i < options_.timing.connectTries; ++i)
        if (link_.GetCommunicateStatus() != 0) return true;
    return false;
}

// Free sampling from idle: a fresh worker (its start zeroes the instrument's depth counter, with
// the probes at the start level) over new point lists.
void ConsoleController::sampleFromIdle() {
    pauseWorker = true;
    if (!reconnect()) {
        sink_.showMessage(std::string(kTextCommandFailed));
        return;
    }
    if (!connected_) {
        // The start-up connection failed and this is its retry.
        connected_ = true;
        auto hold = link_.hold();
        link_.SetLEDStatus(0);
    }
    pushParameters();
    newSaveBlocked_ = false;
    maxPointCount = expectedLevelCount(currentInfo);
    stopWorker();
    recreateLists(currentInfo.sampleLength);
    setState(makeState(kStateFreeSampling));
    ensureWorker();
    pauseWorker = false;
    view_.redraw(kViewAll | kViewReset);
}

void ConsoleController::pauseOrResume() {
    const uint32_t s = testState.load();
    const uint32_t code = stateCode(s);
    if ((subState(s) & kSubStatePaused) == 0) {
        if (code == kStateRecordContinuous || code == kStateRecordFixed) {
            for (int k = 0; k < kMaxSections; ++k) {
                pausedCurrent_[static_cast<size_t>(k)] = -1;
                CSampleDataList* list = sectionLists[static_cast<size_t>(k)].get();
                if (!list) continue;
                auto g = list->lock();
                for (int i = 0; i < list->count; ++i)
                    if (list->pointAt(i) == list->current) pausedCurrent_[static_cast<size_t>(k)] = i;
            }
        }
        pauseWorker = true;
        testState.fetch_or(kSubStatePaused);
    } else {
        if (!reconnect()) {
            sink_.showMessage(std::string(kTextCommandFailed));
            return;
        }
        if (code == kStateRecordContinuous || code == kStateRecordFixed) {
            for (int k = 0; k < kMaxSections; ++k) {
                CSampleDataList* list = sectionLists[static_cast<size_t>(k)].get();
                if (list && pausedCurrent_[static_cast<size_t>(k)] >= 0)
                    list->setCurrentAt(pausedCurrent_[static_cast<size_t>(k)]);
            }
        }
        testState.fetch_and(~kSubStatePaused);
        pauseWorker = false;
    }
    if (code != kStateFreeSampling && currentInfo.cacheMode == 0) {
        auto hold = link_.hold();
        link_.SetLEDStatus(0);
    }
    afterStateChange();
    view_.redraw(kViewWaveform | kViewWaveTrain | kViewPointInfo);
}

void ConsoleController::newSave() {
    const bool fromIdle = stateCode(testState.load()) == kStateIdle;
    pushParameters();
    const std::optional<std::string> name = view_.askDataFileName();
    if (!name) return;
    if (fromIdle) {
        sampleFromIdle();
        if (stateCode(testState.load()) != kStateFreeSampling) return;  // the reconnect failed
    }
    const std::string base = basePathOf(*name);
    editInfo([&](CInfo& info) {
        info.chtPath = base + ".CHT";
        info.chdPath = base + ".CHD";
    });
    maxPointCount = expectedLevelCount(currentInfo);
    missedNotices_ = 0;
    testWroteFiles_ = false;
    realTimeWindow_.reset();
    // Real-time saving needs its files from the start; a test that fits in memory is saved at
    // its end like any other, and nothing is written before.
    if (currentInfo.saveMode == kSaveRealTime && wholeTestLevelCount(currentInfo) > maxPointCount.load()) {
        postToService(Message{kMsgStartRealTimeSave, 0, 0, 0, {}});
        testWroteFiles_ = true;
        realTimeWindow_.emplace(maxPointCount.load());
    }
    if (currentInfo.cacheMode == 1) {
        // The instrument gets this test's parameters and starts a new record of its own.
        pendingSet1 = true;
        pendingSet2 = true;
        pendingSet3 = true;
        pendingHeight = true;
        pendingBeginOn = true;
    }
    const uint32_t keep = subState(testState.load()) & kSubStatePaused;
    setState(makeState(kStateRecordStart, keep));
    view_.redraw(kViewAll);
}

void ConsoleController::resampleButton() {
    // The probes' height above the toe (cm) from their last reading.
    const int32_t pileCm = static_cast<int32_t>(currentInfo.pileLength) * 100;
    const double depthCm = startHeightCm(currentInfo) - lastReadingCm_;
    const int32_t heightCm = pileCm - static_cast<int32_t>(std::lround(depthCm));
    resample_ = std::make_unique<ResampleForm>(currentInfo, heightCm, sink_);
    showDialog(ConsoleDialog::Resample);
}

void ConsoleController::openFile() {
    const std::optional<std::string> name = view_.askOpenFileName();
    if (!name) return;
    // The lists are refilled from the file: no worker may touch them meanwhile.
    stopWorker();
    setState(makeState(kStateViewing));
    refreshButtons();
    viewedBase_ = basePathOf(*name);
    prompt_ = std::make_unique<PromptForm>(testState, static_cast<TestDialogHost&>(*this), viewedBase_, 0,
                                           nextHandle());
    showDialog(ConsoleDialog::Prompt);
    prompt_->open();
    settleDialogs();
}

bool ConsoleController::finishTest() {
    if (closed_) return false;
    const uint32_t code = stateCode(testState.load());
    if (!isRecordingCode(code) && !isEndCode(code)) return false;
    openSaveDialog(!workerRunning());
    return saveForm() != nullptr;
}

void ConsoleController::openSaveDialog(bool final) {
    if (SaveForm* open = saveForm()) {
        // One at a time; a worker that has stopped meanwhile leaves no test to return to.
        if (final) open->markFinal();
        return;
    }
    save_ = std::make_unique<SaveForm>(info_, savedInfo, testState, static_cast<TestDialogHost&>(*this),
                                       sink_, final, nextHandle());
    showDialog(ConsoleDialog::Save);
}

void ConsoleController::adjustSection(const SectionControl& c) {
    const size_t k = static_cast<size_t>(c.section);
    editInfo([&](CInfo& info) {
        SectionPara& s = info.sections[k];
        switch (c.adjust) {
            case SectionAdjust::GainUp:
                s.gain = gainUp(s.gain);
                break;
            case SectionAdjust::GainDown:
                s.gain = gainDown(s.gain);
                break;
            case SectionAdjust::DelayLeft:
                s.delay = delayLeft(s.delay);
                break;
            case SectionAdjust::DelayRight:
                s.delay = delayRight(s.delay);
                break;
        }
        info.appliedSections[k].gain = s.gain;
        info.appliedSections[k].delay = s.delay;
    });
    pushParameters();
    view_.redraw(kViewWaveform | kViewWaveTrain | kViewPointInfo);
}

void ConsoleController::setViewByte(bool on) {
    viewByte_ = on;
    refreshButtons();
    view_.redraw(kViewButtons);
}

// ---------------------------------------------------------------- dialogs

void ConsoleController::closeLeak() {
    if (leak_) leak_->close();
}

void ConsoleController::showDialog(ConsoleDialog dialog) {
    shownDialogs_.insert(dialog);
    view_.dialogOpened(dialog);
}

bool ConsoleController::dialogEnded(ConsoleDialog dialog, bool ended) {
    return ended && shownDialogs_.erase(dialog) > 0;
}

void ConsoleController::settleDialogs() {
    if (dialogEnded(ConsoleDialog::PlusInput,
                    plusInput_ && plusInput_->outcome() != PlusInputForm::Outcome::Open)) {
        view_.redraw(kViewWaveform | kViewWaveTrain | kViewPointInfo);
        view_.dialogClosed(ConsoleDialog::PlusInput);
    }
    if (dialogEnded(ConsoleDialog::Modal, modal_ && modal_->outcome() != ModalForm::Outcome::Open)) {
        if (modal_->outcome() == ModalForm::Outcome::Accepted && modalCacheMode_ &&
            *modalCacheMode_ != currentInfo.cacheMode)
            pushParameters();  // the other acquisition mode's sends
        refreshButtons();
        view_.dialogClosed(ConsoleDialog::Modal);
    }
    if (dialogEnded(ConsoleDialog::Resample,
                    resample_ && resample_->outcome() != ResampleForm::Outcome::Open)) {
        if (resample_->outcome() == ResampleForm::Outcome::Accepted) {
            // The depth counter becomes L − H: recording goes on from the level at height H; the
            // levels between the missed one and H stay missed.
            const int32_t pileCm = resample_->pileLengthCm();
            const double travelCm = startHeightCm(currentInfo) - (pileCm - resample_->heightCm());
            const int32_t stepCm = std::max(currentInfo.stepMm / 10, 1);
            int32_t level = static_cast<int32_t>(std::lround(travelCm / stepCm));
            level = std::clamp(level, 0, std::max(lastLevelIndex(currentInfo), 0));
            if (AcquisitionWorker* worker = runtime_.worker()) worker->requestLevel(level);
            testState.fetch_and(~kSubStateMissedHold);
            closeLeak();
            view_.showTransientNotice(resample_->caption());
            transientTicks_ = options_.timing.transientTicks;
            afterStateChange();
        }
        view_.dialogClosed(ConsoleDialog::Resample);
    }
    if (dialogEnded(ConsoleDialog::Leak, leak_ && !leak_->isOpen())) {
        view_.dialogClosed(ConsoleDialog::Leak);
    }
    if (dialogEnded(ConsoleDialog::Save, save_ && save_->phase() == SaveForm::Phase::Closed)) {
        lastSaveResult_ = save_->result();
        // After the end of a buffered test the instrument's record is ended whatever the
        // operator chose (saving and abandoning send it themselves).
        if (endOnInstrumentAfterSave_ && lastSaveResult_ == SaveForm::Result::ReturnedToTest) {
            auto hold = link_.hold();
            link_.SetEnd(0);
        }
        endOnInstrumentAfterSave_ = false;
        afterStateChange();
        view_.dialogClosed(ConsoleDialog::Save);
    }
    if (dialogEnded(ConsoleDialog::Prompt, prompt_ && prompt_->phase() == PromptForm::Phase::Closed)) {
        if (!prompt_->opened()) startIdleWorker();  // a failed open leaves the console idle
        refreshButtons();
        view_.dialogClosed(ConsoleDialog::Prompt);
    }
}

void ConsoleController::dialogChanged() {
    settleDialogs();
}

// ---------------------------------------------------------------- timers and close

void ConsoleController::onTimer(int id) {
    if (closed_) return;
    if (id == kTimerIndicators) {
        const BarIndicator b = batteryIndicator(batteryLevel.load());
        if (!(b == battery_)) {
            battery_ = b;
            view_.redraw(kViewBattery);
        }
        if (transientTicks_ > 0 && --transientTicks_ == 0) {
            transientTicks_ = -1;
            view_.closeTransientNotice();
        }
    } else if (id == kTimerReconnect) {
        view_.killTimer(kTimerReconnect);
        timer100Running_ = false;
        auto hold = link_.hold();
        link_.GetCommunicateStatus();
    }
}

void ConsoleController::close() {
    if (closed_) return;
    editInfo([&](CInfo& info) {
        if (viewingFile_) info = savedInfo;
        info.consoleState = kProgramVariant;
        info.consoleFlagA = false;  // a plain close; the window's relaunch sets it
        info.consoleFlagB = true;
    });
    const StoreResult stored = storeSettings(currentInfo);
    if (!stored.ok) sink_.showMessage(stored.message);
    stopThreads();
    view_.killTimer(kTimerIndicators);
    view_.killTimer(kTimerReconnect);
    closed_ = true;
    view_.closeWindow();
}

std::vector<LaunchCommand> ConsoleController::windowClosing(const std::filesystem::path& executable) {
    std::vector<LaunchCommand> commands = relaunchCommands(executable);
    const bool handOver = commands.size() > 1;
    editInfo([&](CInfo& info) {
        info.consoleState = kProgramVariant;
        info.consoleFlagA = handOver;
        info.consoleFlagB = true;
    });
    const StoreResult stored = storeSettings(currentInfo);
    if (!stored.ok) sink_.showMessage(stored.message);
    return commands;
}

// ---------------------------------------------------------------- state and views

void ConsoleController::setState(uint32_t state) {
    testState = state;
    afterStateChange();
}

void ConsoleController::afterStateChange() {
    const uint32_t s = testState.load();
    if (s == appliedState_) return;
    appliedState_ = s;
    refreshButtons();
    view_.redraw(kViewButtons);
}

void ConsoleController::refreshButtons() {
    EnablingInputs in;
    in.state = testState.load();
    in.connected = connected_;
    {
        std::lock_guard<std::mutex> g(info_.lock());
        in.waveTrainStyle = currentInfo.waveTrainStyle;
        in.realTimeSave = currentInfo.saveMode == kSaveRealTime;
    }
    in.viewByte = viewByte_;
    in.fileOpen = viewingFile_;
    buttons_ = buttonEnabling(in, buttons_);
    if (newSaveBlocked_ && stateCode(in.state) == kStateIdle) buttons_.set(kBtnNewSave, false);
    // "采样" from idle is also the retry of a failed connection: never disabled there.
    if (stateCode(in.state) == kStateIdle && !viewingFile_) buttons_.set(kBtnSample, true);
    appliedState_ = in.state;
}

int32_t ConsoleController::levelsStored() const {
    const AcquisitionWorker* worker = runtime_.worker();
    return worker ? worker->levelsStored() : lastLevels_;
}

std::optional<float> ConsoleController::newestDepth() const {
    CSampleDataList* list = sectionLists[0].get();
    if (!list) return std::nullopt;
    auto g = list->lock();
    if (!list->current) return std::nullopt;
    return list->current->depth;
}

// ---------------------------------------------------------------- workers and lists

void ConsoleController::ensureWorker() {
    if (workerRunning()) return;
    if (runtime_.worker()) lastLevels_ = runtime_.stopWorker();
    WorkerOptions o;
    o.info = info_;
    o.lists = &sectionLists;
    o.state = &testState;
    o.levelCount = &maxPointCount;
    if (service_) {
        o.levelsOnDisk = &service_->levelsWrittenCounter();
        o.ringLock = &service_->ringLock();
    }
    o.processCurrentPoints = options_.processCurrentPoints;
    o.timing = options_.timing.worker;
    runtime_.startWorker(link_, o);
}

// The console between tests, as at start-up: a paused worker that idles (it polls the battery,
// and a calibration dialog can have it report the live depth).
void ConsoleController::startIdleWorker() {
    if (workerRunning()) return;
    pauseWorker = true;
    ensureWorker();
}

void ConsoleController::recreateLists(int32_t sampleLength) {
    for (int k = 0; k < kMaxSections; ++k)
        sectionLists[static_cast<size_t>(k)] = std::make_unique<CSampleDataList>(sampleLength, k);
}

// New lists while the worker runs: it is stopped around the change and started again as it was.
void ConsoleController::replaceLists() {
    const bool wasRunning = workerRunning();
    stopWorker();
    recreateLists(currentInfo.sampleLength);
    if (wasRunning) ensureWorker();
}

// ---------------------------------------------------------------- SetupConsole

StoreResult ConsoleController::storeSettings(const CInfo& info) {
    return lx9::storeSettings(info, uploadSettings, settingsFile_);
}

void ConsoleController::pushParameters() {
    codeConfig.set(fillCodeConfig(currentInfo));
    // The new configuration goes to the instrument in either acquisition mode: in real-time mode
    // too the points carry the new gain, and the waveforms must have been taken with it.
    pendingCode = true;
    if (startUpDone_ && currentInfo.cacheMode == 1 && holdForParameters.load()) {
        // Buffered acquisition chosen after a real-time start: the worker must send every
        // parameter record before it measures. (At start-up the hold lasts until the held test's
        // records have been read back: sent earlier, they would overwrite them.)
        pendingSet1 = true;
        pendingSet2 = true;
        pendingSet3 = true;
        pendingHeight = true;
        holdForParameters = false;
    }
}

void ConsoleController::stopWorker() {
    if (!runtime_.worker()) return;
    lastLevels_ = runtime_.stopWorker();
}

void ConsoleController::rebuildPointLists() {
    maxPointCount = expectedLevelCount(currentInfo);
    recreateLists(currentInfo.sampleLength);
    for (auto& list : sectionLists)
        for (int i = 0; i < maxPointCount.load(); ++i)
            if (!list->appendPlaceholder()) break;
    view_.redraw(kViewAll | kViewReset);
}

void ConsoleController::startWorker() {
    pauseWorker = true;
    ensureWorker();
}

// ---------------------------------------------------------------- TestDialogHost

void ConsoleController::stopWorkerForEnd() {
    if (subState(testState.load()) & kSubStatePaused) pauseWorker = false;
    stopWorker();
}

bool ConsoleController::postToService(Message message) {
    return service_ && service_->post(std::move(message));
}

void ConsoleController::postToConsole(Message message) {
    mailbox_.post(std::move(message));
}

void ConsoleController::resetAfterTest() {
    stopWorker();
    lastTestLevels_ = lastLevels_;
    maxPointCount = expectedLevelCount(currentInfo);
    recreateLists(currentInfo.sampleLength);
    realTimeWindow_.reset();
    testWroteFiles_ = false;
    missedNotices_ = 0;
    closeLeak();
    setState(makeState(kStateIdle));
    startIdleWorker();
    view_.redraw(kViewAll | kViewReset);
}

void ConsoleController::resetViews() {
    maxPointCount = expectedLevelCount(currentInfo);
    recreateLists(currentInfo.sampleLength);
    viewingFile_ = false;
    view_.redraw(kViewAll | kViewReset);
}

void ConsoleController::recreateForFile() {
    int32_t length;
    {
        std::lock_guard<std::mutex> g(info_.lock());
        length = currentInfo.sampleLength;
    }
    recreateLists(length > 0 ? length : 512);
    view_.redraw(kViewAll | kViewReset);
}

}  // namespace lx9
