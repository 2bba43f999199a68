// 参数调整 (`CDlg_PlusInput`) and 模式 (`CDlg_Modal`), the console's live adjustment dialogs:
// thin windows over PlusInputForm and ModalForm.
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "acquisition/modal_form.h"
#include "acquisition/plus_input_form.h"
#include "acquisition/test_time_dialog.h"

class QCheckBox;
class QRadioButton;
class QLabel;
class QPushButton;

namespace lx9 {

class PadField;

class CDlg_PlusInput : public TestTimeDialog {
  public:
    CDlg_PlusInput(PlusInputForm& form, MessageSink& sink, std::function<void()> changed,
                   QWidget* parent = nullptr);
    void refresh() override;
    void reject() override;

    // The control at a focus position of the form (gains 0..5, delays 6..11, OK 12).
    QWidget* control(int position) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void openGain(int slot);
    void openDelay(int slot);

    PlusInputForm& form_;
    MessageSink& sink_;
    std::array<QLabel*, kMaxSections> labels_{};
    std::array<PadField*, kMaxSections> gains_{};
    std::array<PadField*, kMaxSections> delays_{};
    QPushButton* ok_ = nullptr;
};

class CDlg_Modal : public TestTimeDialog {
  public:
    CDlg_Modal(ModalForm& form, std::function<void()> changed, QWidget* parent = nullptr);
    void refresh() override;
    void reject() override;

  private:
    void pick(PadField* field, std::string_view title, const std::vector<std::string>& choices,
              bool (ModalForm::*choose)(const std::string&));

    ModalForm& form_;
    QCheckBox* waveform_;
    QCheckBox* waveTrain_;
    std::array<QRadioButton*, 4> styles_{};
    std::array<QCheckBox*, kMaxSections> sections_{};
    PadField* zoom_;
    PadField* levels_;
    PadField* colour_;
    std::array<QRadioButton*, 2> modes_{};
    QLabel* hint_;
    QPushButton* ok_;
};

}  // namespace lx9
