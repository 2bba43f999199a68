// The test-time dialogs the console opens over itself: thin windows over the controller's forms.
// Each shows its form's texts, hands what the operator does to the form and then calls `changed`
// (the controller's dialogChanged), which closes the dialogs whose forms have ended. Pads open
// beside the field that opened them. The console keeps running under them: they are shown
// application-modal without a nested event loop, so the console's messages keep arriving.
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "acquisition/leak_form.h"
#include "acquisition/prompt_form.h"
#include "acquisition/resample_form.h"
#include "acquisition/save_form.h"
#include "ui/message_sink.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace lx9 {

class PadField;

class TestTimeDialog : public QDialog {
  public:
    TestTimeDialog(const std::string& caption, std::function<void()> changed, QWidget* parent);
    // The form's texts changed (kViewDialogs).
    virtual void refresh() {}

  protected:
    void changed() {
        if (changed_) changed_();
    }

  private:
    std::function<void()> changed_;
};

// 重采: the height to sample again from, typed on the keypad.
class DlgRe : public TestTimeDialog {
  public:
    DlgRe(ResampleForm& form, MessageSink& sink, std::function<void()> changed, QWidget* parent = nullptr);
    PadField* heightField() const { return height_; }
    void reject() override;

  private:
    ResampleForm& form_;
    MessageSink& sink_;
    PadField* height_;
};

// 出现漏点: the two heights, refreshed by the console; only the console closes it.
class CDlg_leak : public TestTimeDialog {
  public:
    CDlg_leak(LeakForm& form, std::function<void()> changed, QWidget* parent = nullptr);
    void refresh() override;
    void reject() override {}

  private:
    LeakForm& form_;
    QLabel* missed_;
    QLabel* current_;
};

// 保存: 保存 / 不保存 / 返回实验, then the progress of the service thread's save.
class CDlg_Save : public TestTimeDialog {
  public:
    CDlg_Save(SaveForm& form, MessageSink& sink, std::function<void()> changed, QWidget* parent = nullptr);
    void refresh() override;
    void reject() override {}

  private:
    SaveForm& form_;
    MessageSink& sink_;
    QPushButton* save_;
    QPushButton* noSave_;
    QPushButton* return_;
    QProgressBar* bar_;
    QLabel* progressText_;
};

// 打开文件: waits for the service thread; after a failure its OK closes it.
class CDlg_Prompt : public TestTimeDialog {
  public:
    CDlg_Prompt(PromptForm& form, std::function<void()> changed, QWidget* parent = nullptr);
    void refresh() override;
    void reject() override;

  private:
    PromptForm& form_;
    QLabel* text_;
    QPushButton* ok_;
};

}  // namespace lx9
