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
#include "instrument/kaxil_link.h"
#include "acquisition/link_form.h"
#include "acquisition/reset_form.h"
#include "data/run_state.h"
#include "data/globals.h"

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
                 console.missedPointNotices(), console.liftSpeed(), console.batteryLevelNow(), tty ? "   " : "\n");
    std::fflush(stderr);
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

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    AcquireSessionResult result;
    console.startUp();
    if (!console.connected()) {
        console.close();
        return result;
    }
    result.connected = true;
    const bool tty = ::isatty(STDERR_FILENO) != 0;
    bool recordingAsked = stateCode(console.state()) == kStateRecordStart;  // a recovered test
    if (!recordingAsked) console.click(kBtnSample);
    const auto samplingSince = Clock::now();
    bool endAsked = false;
    int saveAttempts = 0;
    auto lastLine = Clock::now() - 1s;
    int32_t savedShown = 0;
    Clock::time_point holdSince{};
    bool holding = false;

    while (!console.closed()) {
        console.dispatchMessages(20ms);
        view.runTimers(console);
        const uint32_t code = stateCode(console.state());

        if (!recordingAsked) {
            if (code == kStateFreeSampling && Clock::now() - samplingSince >= 300ms) {
                console.click(kBtnNewSave);
                recordingAsked = true;
            } else if (code == kStateIdle && Clock::now() - samplingSince >= 1s) {
                break;  // the reconnect failed; its message has been shown
            }
        }

        // Ctrl-C: end the test now and save what was measured.
        if (interrupts.load() > 0 && !endAsked) {
            endAsked = true;
            if (!console.saveForm() && !console.finishTest()) break;  // nothing recorded yet
        }
        // Without --until-end, a test that cannot go on by itself is ended and saved: nobody is
        // at the winch to lower the probes, and an instrument gone for half a minute is gone.
        if (!o.untilEnd && !endAsked && view.commSince && Clock::now() - *view.commSince > 30s) {
            std::fprintf(stderr, "\nno answer from the instrument: the test ends here\n");
            endAsked = true;
            console.finishTest();
        }
        if (LeakForm* leak = console.leakForm()) {
            if (!holding) holdSince = Clock::now();
            holding = true;
            if (!o.untilEnd && Clock::now() - holdSince > 2s) {
                // Resample from the probes' present height: the levels in between stay missed.
                console.click(kBtnNewSave);
                if (ResampleForm* r = console.resampleForm()) {
                    const int32_t stepCm = std::max(currentInfo.stepMm / 10, 1);
                    const int32_t h = r->currentHeightCm();
                    const int32_t up = ((std::max(h, 0) + stepCm - 1) / stepCm) * stepCm;
                    if (r->enterHeight(std::min(up, r->pileLengthCm())) != ResampleForm::Outcome::Accepted)
                        r->cancel();
                    console.dialogChanged();
                }
                holding = false;
            }
            (void)leak;
        } else {
            holding = false;
        }
        if (SaveForm* save = console.saveForm()) {
            if (save->buttonsVisible() && !save->saving()) {
                // A save that failed (its reason was shown) is tried once more, then given up.
                if (++saveAttempts > 2) break;
                save->clickSave();
                console.dialogChanged();
            }
        }
        if (console.lastSaveResult() == SaveForm::Result::Saved) break;

        // A terminal line is redrawn in place; a log gets a line every two seconds, and one for
        // every level saved in real time, so that it tells what is on disk.
        const int32_t saved = console.levelsSaved();
        if (Clock::now() - lastLine >= (tty ? 250ms : 2000ms) || (!tty && saved != savedShown)) {
            progressLine(console, tty);
            lastLine = Clock::now();
            savedShown = saved;
        }
    }
    result.saved = console.lastSaveResult() == SaveForm::Result::Saved;
    result.levels = console.lastTestLevels();
    result.fileErrors = console.fileErrors();
    console.close();
    if (tty) std::fputc('\n', stderr);
    return result;
}

}  // namespace lx9::cli
