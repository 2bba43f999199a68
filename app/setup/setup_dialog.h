// 设置 (`CDlg_Set`): the test setup, generated from SetupForm's field descriptions, with the
// channel-correspondence sketch, the quick-set line (shown on demand) and the buttons that open
// the calibration, instrument-parameter, colour, hotkey and data-folder dialogs. Pads open over
// the field that was tapped; a refusal puts the focus on its field without reopening the pad.
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "setup/quick_set.h"
#include "setup/setup_form.h"
#include "ui/message_sink.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace lx9 {

class InstrumentLink;
class PadField;
class SystemKeyboard;

// What the setup's side dialogs need from the program around them.
struct SetupDialogHooks {
    // The correction run's depth reports: a listener while it runs, an empty one after.
    std::function<void(std::function<void(uint16_t)>)> setDepthListener;
    // The hotkeys changed: the console refreshes its captions and keys.
    std::function<void()> hotkeysChanged;
    // Where "set.ini" and the data-folder note live (empty: the settings store's folder), and
    // what follows a new data folder (the console's file choosers).
    std::filesystem::path settingsDir;
    std::function<void(const std::filesystem::path&)> dataFolderChanged;
};

class CDlg_Set : public QDialog {
  public:
    CDlg_Set(SharedInfo current, CInfo& saved, SetupConsole& console, MessageSink& sink, InstrumentLink* link,
             SetupDialogHooks hooks = {}, QWidget* parent = nullptr);
    ~CDlg_Set() override;

    SetupForm& form() { return form_; }
    QuickSet& quickSet() { return *quickSet_; }
    // The widget of a field (a pad field, a typed field, a box or the first radio of a group).
    QWidget* widgetOf(FieldRef ref) const;
    QLineEdit* quickSetLine() const { return line_; }
    SystemKeyboard& keyboard() { return *keyboard_; }
    QLabel* quickSetStatus() const { return status_; }
    // Shows or hides the quick-set line with its hints and the hotkey button.
    void showQuickSet(bool shown);
    void refresh();

    void accept() override;
    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* buildJob();
    QWidget* buildModes();
    QWidget* buildChannels();
    QWidget* buildRows();
    QWidget* buildExtras();
    QWidget* buildQuickSet();
    QWidget* buildButtons();
    PadField* padField(FieldRef ref, QWidget* parent);
    void activate(FieldRef ref);
    void afterPickMethod();
    void focusField(const std::optional<FieldRef>& ref);
    void runQuickSet();
    void openHotkeys();

    SharedInfo current_;
    SetupConsole& console_;
    SetupForm form_;
    std::unique_ptr<QuickSet> quickSet_;
    std::unique_ptr<SystemKeyboard> keyboard_;
    MessageSink& sink_;
    SetupDialogHooks hooks_;
    bool refreshing_ = false;
    std::map<std::pair<int, int>, QWidget*> widgets_;  // (field, index) -> widget
    std::map<std::pair<int, int>, QLabel*> labels_;
    std::array<QRadioButton*, 3> testModes_{};
    QRadioButton* pairwise_ = nullptr;
    QRadioButton* oneToMany_ = nullptr;
    QRadioButton* realTime_ = nullptr;
    QRadioButton* buffered_ = nullptr;
    QCheckBox* digitalFilter_ = nullptr;
    std::array<QCheckBox*, kChannelCount> channelBoxes_{};
    std::array<QCheckBox*, kMaxSections> rowBoxes_{};
    QWidget* sketch_ = nullptr;
    QWidget* quickSetArea_ = nullptr;
    QLineEdit* line_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* hotkeyButton_ = nullptr;
    QPushButton* quickSetToggle_ = nullptr;
};

}  // namespace lx9
