// `CDlg_ParaInput`: the parameters of the amplitude or variance pick, opened beside the chooser
// field that picked the method (flipped when it would leave the screen).
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>

#include "setup/para_input_form.h"

class QRadioButton;

namespace lx9 {

class PadField;

class CDlg_ParaInput : public QDialog {
  public:
    CDlg_ParaInput(SharedInfo current, int mode, MessageSink& sink, QWidget* parent = nullptr);
    ParaInputForm& form() { return form_; }
    void accept() override;

  private:
    void refresh();

    ParaInputForm form_;
    PadField* amplitude_ = nullptr;
    PadField* variance_ = nullptr;
    PadField* frequency_ = nullptr;
    PadField* start_ = nullptr;
    QRadioButton* positive_ = nullptr;
    QRadioButton* negative_ = nullptr;
};

// Modal, beside `opener`; true after OK.
bool openParaInputDialog(SharedInfo current, int mode, MessageSink& sink, QWidget* opener);

}  // namespace lx9
