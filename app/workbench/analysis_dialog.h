// The analysis workbench's windows: `CDlg_Analysis` (full screen, eleven buttons along the
// bottom), the section chooser "剖面选择", the Guangdong interval view `CDlg_Analysis_K`, and the
// cut-height dialogs `CDlgKTop` / `CDlgKBottom`. Each shows its Qt-free form (workbench_form,
// interval_form, cut_height_form) and forwards what the operator does; hand picks are saved
// and restored through pick_audit.
//
// Threading: the user-interface thread only; the acquisition is idle or paused while the
// workbench is open, and every list is read and written under its lock.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "ui/touch_pads_dialog.h"
#include "workbench/cut_height_form.h"
#include "workbench/interval_form.h"
#include "workbench/pick_audit.h"
#include "workbench/workbench_form.h"

namespace lx9 {

class AnalysisWaveView;
class AnalysisTrainView;
class AnalysisCurvesView;
class AxisStripView;
class SectionMapView;
class ConsoleController;
class MessageSink;

struct AnalysisDialogOptions {
    MessageSink* sink = nullptr;
    touch_ui::NumberPad numberPad;
    // "生成报告": the report writer of the open test; the button is hidden while none is given.
    std::function<void(QWidget* parent, const CInfo& info, const SectionLists& lists)> generateReport;
    // The time written into audit lines (tests fix it); default: now.
    std::function<std::string()> auditTime;
    // Show full screen (the program) or at the screen's size as an ordinary window (tests, pictures).
    bool fullScreen = true;
};

// "剖面选择": one button per section that has a list, placed above the workbench's first button.
class SectionChooserDialog : public QDialog {
  public:
    SectionChooserDialog(const CInfo& info, const std::vector<int>& offered, int current, QRect above,
                         QWidget* parent = nullptr);
    std::optional<int> chosen() const { return chosen_; }
    QPushButton* button(int slot) const;

  private:
    std::vector<std::pair<int, QPushButton*>> buttons_;
    std::optional<int> chosen_;
};

// The cut-height dialogs.
class CutHeightDialog : public QDialog {
  public:
    CutHeightDialog(CutBound bound, const CInfo& info, const SectionLists& lists, int section,
                    int64_t heightMm, const AnalysisDialogOptions& options, QWidget* parent = nullptr);
    CutHeightForm& form() { return form_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* restoreButton() const { return restore_; }
    QLabel* heightField() const { return field_; }
    void typeHeight();  // the keypad over the field

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;  // a tap on the field: the keypad

  private:
    void refresh();
    CutHeightForm form_;
    const AnalysisDialogOptions& options_;
    QLabel* field_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* restore_ = nullptr;
};
class CDlgKTop : public CutHeightDialog {
  public:
    CDlgKTop(const CInfo& info, const SectionLists& lists, int section, int64_t heightMm,
             const AnalysisDialogOptions& options, QWidget* parent = nullptr)
        : CutHeightDialog(CutBound::Upper, info, lists, section, heightMm, options, parent) {}
};
class CDlgKBottom : public CutHeightDialog {
  public:
    CDlgKBottom(const CInfo& info, const SectionLists& lists, int section, int64_t heightMm,
                const AnalysisDialogOptions& options, QWidget* parent = nullptr)
        : CutHeightDialog(CutBound::Lower, info, lists, section, heightMm, options, parent) {}
};

// The eleven buttons of the workbench's row, by id.
using ButtonRow = std::array<QPushButton*, 11>;

class CDlg_Analysis_K : public QDialog {
  public:
    CDlg_Analysis_K(const CInfo& info, const SectionLists& lists, int section, int point,
                    const AnalysisDialogOptions& options, QWidget* parent = nullptr);
    ~CDlg_Analysis_K() override;

    IntervalForm& form() { return form_; }
    QPushButton* button(int id) const;
    AnalysisWaveView* wave(int panel) const { return waves_[static_cast<size_t>(panel)]; }
    AnalysisCurvesView* curves() const { return curves_; }
    // How it closed: back to the workbench ("H-Vp") or closing the workbench too ("退出").
    IntervalOpen closedWith() const { return closedWith_; }
    // The cut-height dialog for a bound, as a double click on the curves' handle column opens it.
    void openLimit(bool upper);

  protected:
    void resizeEvent(QResizeEvent*) override;

  private:
    void redraw(uint32_t parts);
    void clickButton(int id);

    const CInfo& info_;
    SectionLists lists_;
    const AnalysisDialogOptions& options_;
    IntervalForm form_;
    std::array<AnalysisWaveView*, kIntervalPanels> waves_{};
    std::array<SectionMapView*, kIntervalPanels> maps_{};
    AnalysisCurvesView* curves_ = nullptr;
    ButtonRow buttons_{};
    IntervalOpen closedWith_ = IntervalOpen::None;
};

class CDlg_Analysis : public QDialog {
  public:
    CDlg_Analysis(const CInfo& info, const SectionLists& lists, AnalysisDialogOptions options,
                  QWidget* parent = nullptr);
    ~CDlg_Analysis() override;

    WorkbenchForm& form() { return form_; }
    PickStore& picks() { return picks_; }
    QPushButton* button(int id) const;
    QPushButton* saveButton() const { return save_; }
    QPushButton* restoreButton() const { return restore_; }
    QPushButton* reportButton() const { return report_; }
    AnalysisWaveView* wave() const { return wave_; }
    AnalysisTrainView* train() const { return train_; }
    AnalysisCurvesView* curves() const { return curves_; }

    // Redraws what `parts` names (WorkbenchPart bits).
    void redraw(uint32_t parts);
    // The section chooser; a test may answer it itself.
    std::function<std::optional<int>()> chooseSection;
    // The interval view; a test may drive it itself.
    std::function<void(CDlg_Analysis_K&)> runInterval;

  protected:
    void resizeEvent(QResizeEvent*) override;
    void reject() override;  // "退出"

  private:
    void clickButton(int id);
    void savePicks();
    void restorePicks();
    std::string now() const;

    const CInfo& info_;
    SectionLists lists_;
    AnalysisDialogOptions options_;
    WorkbenchForm form_;
    PickStore picks_;
    AnalysisWaveView* wave_ = nullptr;
    AnalysisTrainView* train_ = nullptr;
    AnalysisCurvesView* curves_ = nullptr;
    AxisStripView* axis_ = nullptr;
    SectionMapView* map_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* restore_ = nullptr;
    QPushButton* report_ = nullptr;
    ButtonRow buttons_{};
};

}  // namespace lx9
