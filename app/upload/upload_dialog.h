// `CDlgUpdataSet`, the upload dialog ("上传"): the chosen data file and its pile number, the
// result server's IPv4 address (four fields, each with the keypad) and port, the instrument and
// serial numbers, "浏览", "开始上传", "系统键盘" and "退出", a status line and a progress bar fed
// by the upload thread.
//
// Threading: the user-interface thread. The upload runs on its own thread (UploadJob); its
// progress is carried over to this thread as queued calls, and the dialog cancels and waits for
// a running upload before it goes away.
#pragma once

#include <QDialog>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "data/cinfo.h"
#include "data/globals.h"
#include "ui/touch_pads_dialog.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace lx9 {

class ConsoleController;
class MessageSink;
class UploadJob;
struct UploadProgress;
struct TransportOptions;

// What the dialog works on; the program passes its globals and the console.
struct UploadDialogContext {
    std::optional<SharedInfo> info;       // currentInfo with its lock: the test sent, uploadFile
    std::function<SectionLists()> lists;  // the lists as they stand (an open re-creates them)
    UploadSettings* settings = nullptr;   // uploadSettings
    MessageSink* sink = nullptr;
    // "浏览": the console's file-opening prompt, which reads the chosen pair into *info and the
    // lists; `opening` says whether it is still at work.
    std::function<void()> browse;
    std::function<bool()> opening;
    touch_ui::NumberPad numberPad;
    std::function<void()> systemKeyboard;  // "系统键盘"
    // Draws a section's wave-train PNG; default renderSectionImage.
    std::function<bool(const CInfo&, const SectionLists&, int, const std::filesystem::path&)> renderImage;
    std::function<void(TransportOptions&)> tuneTransport;  // attempts and waits (tests shorten them)
    // The upload's thread, the program's; none: the dialog keeps one of its own.
    UploadJob* job = nullptr;
};

class CDlgUpdataSet : public QDialog {
  public:
    CDlgUpdataSet(UploadDialogContext context, QWidget* parent = nullptr);
    ~CDlgUpdataSet() override;

    // The controls, for the window tests and the screenshots.
    QLabel* fileLabel() const { return file_; }
    QLabel* pileLabel() const { return pile_; }
    QLabel* statusLabel() const { return status_; }
    QProgressBar* progressBar() const { return progress_; }
    QLineEdit* octet(int i) const { return octets_[i]; }
    QLineEdit* portField() const { return port_; }
    QLineEdit* instrumentField() const { return instrument_; }
    QLineEdit* serialField() const { return serial_; }
    QPushButton* browseButton() const { return browse_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* exitButton() const { return exit_; }
    QPushButton* keyboardButton() const { return keyboard_; }
    bool uploading() const;
    // The last upload's end: whether it succeeded and its closing text.
    bool lastOk() const { return lastOk_; }
    const std::string& lastMessage() const { return lastMessage_; }

    // "开始上传": the checks in order, then the upload thread. False when a check refused.
    bool startUpload();

  protected:
    void reject() override;  // "退出", Esc and the close box: a running upload is cancelled first

  private:
    void browse();
    void afterBrowse();
    void showProgress(const UploadProgress& p);
    void uploadEnded();
    void askOctet(int i);
    void askPort();
    void showFile();

    UploadDialogContext context_;
    QLabel* file_ = nullptr;
    QLabel* pile_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLineEdit* octets_[4] = {};
    QLineEdit* port_ = nullptr;
    QLineEdit* instrument_ = nullptr;
    QLineEdit* serial_ = nullptr;
    QPushButton* browse_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* exit_ = nullptr;
    QPushButton* keyboard_ = nullptr;
    QTimer watch_;  // an open through the console, or the upload, ending
    bool waitingOpen_ = false;
    bool waitingUpload_ = false;
    int openGrace_ = 0;  // ticks left for the opened file's name to arrive
    std::string browsedFrom_;
    std::unique_ptr<UploadJob> ownJob_;
    UploadJob* job_ = nullptr;
    bool lastOk_ = false;
    std::string lastMessage_;
};

}  // namespace lx9
