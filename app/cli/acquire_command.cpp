// `lx9 acquire --out DIR/NAME`: a whole test without a screen, through the same console controller
// the touch-screen program uses. It connects, pushes the parameters, samples, starts recording
// into DIR/NAME.CHT and DIR/NAME.CHD, shows a progress line (depth, levels stored, missed points,
// lift speed, battery) and answers the end-of-test save. Ctrl-C ends the test and saves what was
// measured; a second Ctrl-C leaves at once.
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
#include "acquisition/kaxil_link.h"
#include "acquisition/link_form.h"
#include "acquisition/reset_form.h"
#include "acquisition/shared_flags.h"
#include "cli/commands.h"
#include "data/globals.h"
#include "data/settings_store.h"

namespace lx9::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::atomic<int> interrupts{0};

extern "C" void onInterrupt(int) {
    if (interrupts.fetch_add(1) >= 1) _exit(130);  // the second Ctrl-C leaves at once
}

struct AcquireOptions {
    std::string out;
    std::string instrument;
    std::string settings;
    std::string save;
    std::string recover = "no";
    bool untilEnd = false;
};

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

void progressLine(ConsoleController& console, bool tty) {
    const std::optional<float> depth = console.newestDepth();
    const int32_t expected = maxPointCount.load();
    const int32_t levels = console.levelsStored();
    char bar[21];
    const int filled = expected > 0 ? std::clamp(levels * 20 / expected, 0, 20) : 0;
    for (int i = 0; i < 20; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[20] = 0;
    std::fprintf(stderr, "%s[%s] depth %6.2f m  levels %d/%d  missed %d  lift %3d  battery %d%s",
                 tty ? "\r" : "", bar, depth ? *depth : 0.0, levels, expected, console.missedPointNotices(),
                 console.liftSpeed(), console.batteryLevelNow(), tty ? "   " : "\n");
    std::fflush(stderr);
}

int runAcquire(const AcquireOptions& o) {
    if (!o.instrument.empty()) ::setenv("KAXIL_INSTRUMENT", o.instrument.c_str(), 1);
    const std::filesystem::path settingsFile =
        o.settings.empty() ? settingsPath() : std::filesystem::path(o.settings) / kSettingsFileName;
    if (loadSettings(currentInfo, uploadSettings, settingsFile) == LoadResult::Damaged)
        std::fprintf(stderr, "settings damaged, defaults used: %s\n", settingsFile.c_str());
    if (o.save == "realtime") currentInfo.saveMode = std::string(kSaveRealTime);
    if (o.save == "end") currentInfo.saveMode = std::string(kSaveAtEnd);
    std::filesystem::path out(o.out);
    if (out.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(out.parent_path(), ec);
    }

    KaxilLink link;
    TerminalView view(o.out);
    TerminalSink sink(o.recover == "yes");
    ConsoleOptions options;
    options.settingsFile = settingsFile;
    options.loadSettings = false;
    ConsoleController console(link, view, sink, options);

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    console.startUp();
    if (!console.connected()) {
        console.close();
        return 1;
    }
    const bool tty = ::isatty(STDERR_FILENO) != 0;
    bool recordingAsked = stateCode(console.state()) == kStateRecordStart;  // a recovered test
    if (!recordingAsked) console.click(kBtnSample);
    const auto samplingSince = Clock::now();
    bool endAsked = false;
    int saveAttempts = 0;
    auto lastLine = Clock::now() - 1s;
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

        if (Clock::now() - lastLine >= 250ms) {
            progressLine(console, tty);
            lastLine = Clock::now();
        }
    }
    const bool saved = console.lastSaveResult() == SaveForm::Result::Saved;
    const int32_t levels = console.lastTestLevels();
    console.close();
    if (tty) std::fputc('\n', stderr);
    if (!saved) {
        std::fprintf(stderr, "no data file was written\n");
        return 1;
    }
    std::printf("%s.CHT\n%s.CHD\n%d levels\n", o.out.c_str(), o.out.c_str(), levels);
    return 0;
}

}  // namespace

void addAcquireCommand(CLI::App& app, Action& action) {
    auto options = std::make_shared<AcquireOptions>();
    CLI::App* cmd =
        app.add_subcommand("acquire", "Run a whole test on the instrument and save its data files");
    cmd->add_option("--out", options->out, "DIR/NAME of the data files (NAME.CHT and NAME.CHD)")->required();
    cmd->add_option("--instrument", options->instrument,
                    "host:port of the instrument (else KAXIL_INSTRUMENT)");
    cmd->add_option("--settings", options->settings, "folder of the set.ini to use");
    cmd->add_option("--save", options->save, "realtime or end: the save mode of this test")
        ->check(CLI::IsMember({"realtime", "end"}));
    cmd->add_option("--recover", options->recover, "yes or no: take up a test the instrument still holds")
        ->check(CLI::IsMember({"yes", "no"}));
    cmd->add_flag("--until-end", options->untilEnd,
                  "never end the test before the top by itself (missed points wait for the probes, a "
                  "lost instrument is waited for); only Ctrl-C ends it early");
    cmd->callback([options, &action] { action = [options] { return runAcquire(*options); }; });
}

}  // namespace lx9::cli
