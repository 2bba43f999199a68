// The console `CDlg_Main` as a window: a thin Qt layer over ConsoleController. It shows the
// controller's buttons (captions, enabling, the upload button only when idle), the 24 section
// controls, the lift-speed and battery bars, the point information, and five framed panels that
// host the views; it runs the connection dialog, the file choosers, the close-file confirmation,
// the notices and the timers the controller asks for, presses buttons on their hotkeys, and
// opens the other screens through ConsoleScreens hooks.
//
// Threading contract: user-interface thread only. The worker and the service thread post to
// the controller's mailbox; its wake-up queues a drain on this thread (queued invocation). A
// handler that opens a modal box runs a nested event loop: drains and timers that come due
// meanwhile are deferred until the handler returns, so the controller is never re-entered.
#pragma once

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include <QWidget>

#include "acquisition/console_screens.h"
#include "acquisition/console_view.h"
#include "acquisition/instance_lock.h"
#include "display/console_layout.h"
#include "display/panel_view.h"

class QDialog;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace lx9 {

class ConsoleController;
class MessageSink;

namespace ui {
class MessageBoxSink;
}

class ConsoleWindow : public QWidget, public ConsoleView {
  public:
    enum class FileRequest { NewData, OpenData };
    using FileNameProvider = std::function<std::optional<std::string>(FileRequest)>;
    // Starts a program; true when it started.
    using Launcher = std::function<bool(const LaunchCommand&)>;

    explicit ConsoleWindow(QWidget* parent = nullptr);
    ~ConsoleWindow() override;

    // The controller this window shows (created with this window as its view). Before start().
    // The controller must be destroyed before the window: its threads wake this window up.
    void attach(ConsoleController& controller);
    // The box that asks the recovery questions and the close-file confirmation.
    void setMessageBoxes(ui::MessageBoxSink* boxes) { boxes_ = boxes; }
    void setScreens(ConsoleScreens screens) { screens_ = std::move(screens); }
    // Places a view in its panel (the widget is reparented into the panel's frame) and forwards
    // redraw requests to it. A null view empties the panel.
    void setPanelView(ConsolePanel panel, QWidget* widget, PanelView* view);
    QFrame* panelFrame(ConsolePanel panel) const;

    // Where the file choosers start; created when missing.
    void setDataFolder(std::filesystem::path folder) { dataFolder_ = std::move(folder); }
    // "前翻" / "后翻": the wave-train view's paging (−1 back, +1 forward).
    void setWaveTrainPager(std::function<void(int direction)> pager) { pager_ = std::move(pager); }
    // Replaces the file choosers (tests, automation).
    void setFileNameProvider(FileNameProvider provider) { fileNames_ = std::move(provider); }
    // Office use (--window): closing the window closes the console without relaunching.
    void setOfficeWindow(bool office) { office_ = office; }
    // What the window-manager close starts (full screen): the program itself and "tools/Msg".
    // Without a launcher nothing is started.
    void setRelaunch(std::filesystem::path executable, Launcher launcher) {
        executable_ = std::move(executable);
        launcher_ = std::move(launcher);
    }

    // Shows the console: full screen (the geometry set to the screen first, since a bare X server
    // has no window manager to do it) or as an ordinary window.
    void showConsole(bool fullScreen);
    // The controller's start-up (connection dialog, recovery). Returns when it is done.
    void start();

    // --- What is shown (for the tests and the screenshots).
    QPushButton* button(int id) const;
    QPushButton* sectionButton(int id) const;
    QProgressBar* liftSpeedBar() const { return liftBar_; }
    QProgressBar* batteryBar() const { return batteryBar_; }
    QLabel* pointInfo() const { return info_; }
    QDialog* commNotice() const { return commNotice_; }
    QWidget* transientNotice() const { return transient_; }
    const ConsoleLayout& currentLayout() const { return layout_; }
    bool timerActive(int id) const;
    // Programs started by the window-manager close.
    const std::vector<LaunchCommand>& launched() const { return launched_; }
    // How many times a handler was asked to run while another was running (and deferred).
    int deferredEntries() const { return deferred_; }
    // Handles the mailbox now (also what the queued wake-up runs).
    void drainMailbox();

    // --- ConsoleView.
    void redraw(uint32_t parts) override;
    void dialogOpened(ConsoleDialog dialog) override;
    void dialogClosed(ConsoleDialog dialog) override;
    void runConnectionDialog(LinkForm& form) override;
    bool confirm(ResetForm& form) override;
    std::optional<std::string> askDataFileName() override;
    std::optional<std::string> askOpenFileName() override;
    void setTimer(int id, std::chrono::milliseconds period, bool repeat) override;
    void killTimer(int id) override;
    void showCommNotice(const std::string& text) override;
    void closeCommNotice() override;
    void showTransientNotice(const std::string& text) override;
    void closeTransientNotice() override;
    void openSetup() override;
    void openAnalysis() override;
    void openUpload() override;
    void setDisplayFixed(bool fixed) override;
    void pageWaveTrain(int direction) override;
    void closeWindow() override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Runs `work` unless a handler is running; then it runs once that handler has returned.
    void guarded(const std::function<void()>& work);
    void runDeferred();
    void clickButton(int id);
    void refreshButtons();
    void refreshBars();
    void refreshPointInfo();
    void relayout();
    std::optional<std::string> askFile(FileRequest request);

    ConsoleController* controller_ = nullptr;
    ui::MessageBoxSink* boxes_ = nullptr;
    ConsoleScreens screens_;
    FileNameProvider fileNames_;
    std::filesystem::path dataFolder_;
    std::filesystem::path executable_;
    Launcher launcher_;
    bool office_ = false;
    std::function<void(int)> pager_;

    std::map<int, QPushButton*> buttons_;
    std::map<int, QPushButton*> sectionButtons_;
    QProgressBar* liftBar_ = nullptr;
    QProgressBar* batteryBar_ = nullptr;
    QLabel* liftLabel_ = nullptr;
    QLabel* batteryLabel_ = nullptr;
    QLabel* info_ = nullptr;
    std::array<QFrame*, 5> frames_{};
    std::array<QWidget*, 5> panelWidgets_{};
    std::array<PanelView*, 5> views_{};
    QDialog* commNotice_ = nullptr;
    QWidget* transient_ = nullptr;
    std::map<int, QTimer*> timers_;
    ConsoleLayout layout_;
    bool displayFixed_ = false;

    int depth_ = 0;  // handlers running (nested through a modal box's event loop)
    bool drainPending_ = false;
    std::set<int> timersPending_;
    int deferred_ = 0;
    std::atomic<bool> drainQueued_{false};  // a drain is queued (set on the posting threads)
    bool closing_ = false;
    bool inCloseEvent_ = false;
    std::vector<LaunchCommand> launched_;
};

}  // namespace lx9
