// 仪器参数 (`CDlg_ApparatusPara`) over InstrumentParamsForm: keypads and choosers over the fields.
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>

#include "setup/instrument_params_form.h"

namespace lx9 {

class PadField;

class CDlg_ApparatusPara : public QDialog {
  public:
    CDlg_ApparatusPara(SharedInfo current, CodeConfig& config, MessageSink& sink, bool buffered,
                       QWidget* parent = nullptr);
    InstrumentParamsForm& form() { return form_; }
    void accept() override;

  private:
    void refresh();

    InstrumentParamsForm form_;
    PadField* interval_;
    PadField* length_;
    PadField* width_;
    PadField* firing_;
    PadField* voltage_;
};

// Modal over `parent`; true after OK.
bool openInstrumentParamsDialog(SharedInfo current, CodeConfig& config, MessageSink& sink, bool buffered,
                                QWidget* parent);

}  // namespace lx9
