// The headless test run shared by `lx9 acquire` and `lx9 demo`: the console controller with a
// terminal for a screen and scripted answers for the operator.
#include "cli/acquire_session.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "acquisition/console_controller.h"
#include "acquisition/console_runtime.h"
#include "acquisition/link_form.h"
#include "acquisition/reset_form.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "instrument/kaxil_link.h"

namespace lx9::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::atomic<int> interrupts{0};

extern "C" void onInterrupt(int) {
    if (interrupts.fetch_add(1) >= 1) _exit(130);  // the second Ctrl-C leaves at once
}

// The operator's answers: the recovery question from --recover, every other question "no"
// except leaving a recovery that cannot be taken up.
class TerminalSink : public MessageSink {
  public:
    explicit TerminalSink(bool recover) : recover_(recover) {}
    void showMessage(const std::string& text) override { std::fprintf(stderr, "\n%s\n", text.c_str()); }
    bool askYesNo(const std::string& text) override {
        bool answer = false;
        if (text == kTextRecoverQuestion) answer = recover_;
        if (text == kTextQuitRecovery) answer = true;
        std::fprintf(stderr, "\n%s %s\n", text.c_str(), answer ? "是" : "否");
        return answer;
    }

  private:
    bool recover_;
};

class TerminalView : public ConsoleView {
  public:
    explicit TerminalView(std::string out) : out_(std::move(out)) {}

    void redraw(uint32_t) override {}
    void dialogOpened(ConsoleDialog d) override { opened[d] = Clock::now(); }
    void dialogClosed(ConsoleDialog d) override { opened.erase(d); }
    void runConnectionDialog(LinkForm& form) override {
        std::fprintf(stderr, "%s\n", std::string(kLinkConnecting).c_str());
        form.connect();
        std::fprintf(stderr, "%s\n", form.text().c_str());
        if (form.phase() == LinkForm::Phase::Connected)
            form.accept();
        else
            form.abandon();
    }
    bool confirm(ResetForm&) override { return true; }
    std::optional<std::string> askDataFileName() override { return out_; }
    std::optional<std::string> askOpenFileName() override { return std::nullopt; }
    void setTimer(int id, std::chrono::milliseconds period, bool repeat) override {
        timers[id] = Timer{Clock::now() + period, period, repeat};
    }
    void killTimer(int id) override { timers.erase(id); }
    void showCommNotice(const std::string& text) override {
        commSince = Clock::now();
        std::fprintf(stderr, "\n%s\n", text.c_str());
    }
    void closeCommNotice() override { commSince.reset(); }
    void showTransientNotice(const std::string& text) override {
        std::fprintf(stderr, "\n%s\n", text.c_str());
    }

    // Fires the timers that are due.
    void runTimers(ConsoleController& console) {
        const auto now = Clock::now();
        std::vector<int> due;
        for (auto& [id, t] : timers)
            if (t.next <= now) due.push_back(id);
        for (int id : due) {
            auto it = timers.find(id);
            if (it == timers.end()) continue;
            if (it->second.repeat)
                it->second.next = now + it->second.period;
            else
                timers.erase(it);
            console.onTimer(id);
        }
    }

    struct Timer {
        Clock::time_point next;
        std::chrono::milliseconds period;
        bool repeat;
    };
    std::map<int, Timer> timers;
    std::map<ConsoleDialog, Clock::time_point> opened;
    std::optional<Clock::time_point> commSince;

  private:
    std::string out_;
};

// "levels" counts the levels measured; "saved", in a test saved in real time, the levels already
// on disk (each synced before it is counted), which a crash or a power cut cannot take back.
void progressLine(ConsoleController& console, bool tty) {
    const std::optional<float> depth = console.newestDepth();
    const int32_t expected = wholeTestLevelCount(currentInfo);
    const int32_t levels = console.levelsStored();
    char saved[32] = "";
    if (console.savingInRealTime()) std::snprintf(saved, sizeof saved, "  saved %d", console.levelsSaved());
    char bar[21];
    const int filled = expected > 0 ? std::clamp(levels * 20 / expected, 0, 20) : 0;
    for (int i = 0; i < 20; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[20] = 0;
    std::fprintf(stderr, "%s[%s] depth %6.2f m  levels %d/%d%s  missed %d  lift %3d  battery %d%s",
                 tty ? "\r" : "", bar, depth ? *depth : 0.0, levels, expected, saved,
                 console.missedPointNotices(), console.liftSpeed(), console.batteryLevelNow(),
                 tty ? "   " : "\n");
    std::fflush(stderr);
}

// The operator the session stands in for, one decision per method, taken at each turn of the loop.
class SessionOperator {
  public:
    SessionOperator(ConsoleController& console, TerminalView& view, const AcquireSessionOptions& o)
        : console_(console), view_(view), o_(o), tty_(::isatty(STDERR_FILENO) != 0) {}

    bool tty() const { return tty_; }

    // Free sampling first, unless a recovered test is already recording.
    void begin() {
        recordingAsked_ = stateCode(console_.state()) == kStateRecordStart;
        if (!recordingAsked_) console_.click(kBtnSample);
        samplingSince_ = Clock::now();
    }

    // One turn: false when the session is over.
    bool turn() {
        if (!startRecording()) return false;
        if (!endOnInterrupt()) return false;
        endWhenInstrumentGone();
        resampleAfterHold();
        if (!saveWhenAsked()) return false;
        if (console_.lastSaveResult() == SaveForm::Result::Saved) return false;
        showProgress();
        return true;
    }

  private:
    // "新存" once sampling has run 300 ms; false when the reconnect failed (its message was shown).
    bool startRecording() {
        if (recordingAsked_) return true;
        const uint32_t code = stateCode(console_.state());
        if (code == kStateFreeSampling && Clock::now() - samplingSince_ >= 300ms) {
            console_.click(kBtnNewSave);
            recordingAsked_ = true;
        } else if (code == kStateIdle && Clock::now() - samplingSince_ >= 1s) {
            return false;
        }
        return true;
    }

    // Ctrl-C: end the test now and save what was measured; false when nothing was recorded yet.
    bool endOnInterrupt() {
        if (interrupts.load() == 0 || endAsked_) return true;
        endAsked_ = true;
        return console_.saveForm() || console_.finishTest();
    }

    // Without --until-end, a test that cannot go on by itself is ended and saved: nobody is at the
    // winch to lower the probes, and an instrument gone for half a minute is gone.
    void endWhenInstrumentGone() {
        if (o_.untilEnd || endAsked_ || !view_.commSince || Clock::now() - *view_.commSince <= 30s) return;
        std::fprintf(stderr, "\nno answer from the instrument: the test ends here\n");
        endAsked_ = true;
        console_.finishTest();
    }

    // A missed-point hold of more than 2 s is resampled from the probes' present height: the
    // levels in between stay missed.
    void resampleAfterHold() {
        if (!console_.leakForm()) {
            holding_ = false;
            return;
        }
        if (!holding_) holdSince_ = Clock::now();
        holding_ = true;
        if (o_.untilEnd || Clock::now() - holdSince_ <= 2s) return;
        console_.click(kBtnNewSave);
        if (ResampleForm* r = console_.resampleForm()) {
            const int32_t stepCm = std::max(currentInfo.stepMm / 10, 1);
            const int32_t h = r->currentHeightCm();
            const int32_t up = ((std::max(h, 0) + stepCm - 1) / stepCm) * stepCm;
            if (r->enterHeight(std::min(up, r->pileLengthCm())) != ResampleForm::Outcome::Accepted)
                r->cancel();
            console_.dialogChanged();
        }
        holding_ = false;
    }

    // A save that failed (its reason was shown) is tried once more, then given up (false).
    bool saveWhenAsked() {
        SaveForm* save = console_.saveForm();
        if (!save || !save->buttonsVisible() || save->saving()) return true;
        if (++saveAttempts_ > 2) return false;
        save->clickSave();
        console_.dialogChanged();
        return true;
    }

    // A terminal line is redrawn in place; a log gets a line every two seconds, and one for every
    // level saved in real time, so that it tells what is on disk.
    void showProgress() {
        const int32_t saved = console_.levelsSaved();
        if (Clock::now() - lastLine_ < (tty_ ? 250ms : 2000ms) && (tty_ || saved == savedShown_)) return;
        progressLine(console_, tty_);
        lastLine_ = Clock::now();
        savedShown_ = saved;
    }

    ConsoleController& console_;
    TerminalView& view_;
    const AcquireSessionOptions& o_;
    const bool tty_;
    bool recordingAsked_ = false;
    bool endAsked_ = false;
    bool holding_ = false;
    int saveAttempts_ = 0;
    int32_t savedShown_ = 0;
    Clock::time_point samplingSince_{};
    Clock::time_point holdSince_{};
    Clock::time_point lastLine_ = Clock::now() - 1s;
};

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

AcquireSessionResult runAcquireSession(const AcquireSessionOptions& o) {
    KaxilLink link;
    TerminalView view(o.out);
    TerminalSink sink(o.recover);
    ConsoleOptions options;
    options.settingsFile = o.settingsFile;
    options.loadSettings = false;
    // The session's threads: the console's mailbox and service thread first, ended last.
    ConsoleRuntime runtime;
    ConsoleController console(link, view, sink, runtime, options);
    catchInterrupts();

    AcquireSessionResult result;
    console.startUp();
    if (!console.connected()) {
        console.close();
        return result;
    }
    result.connected = true;
    SessionOperator tester(console, view, o);
    tester.begin();
    while (!console.closed()) {
        console.dispatchMessages(20ms);
        view.runTimers(console);
        if (!tester.turn()) break;
    }
    result.saved = console.lastSaveResult() == SaveForm::Result::Saved;
    result.levels = console.lastTestLevels();
    result.fileErrors = console.fileErrors();
    console.close();
    if (tester.tty()) std::fputc('\n', stderr);
    return result;
}

}  // namespace lx9::cli
