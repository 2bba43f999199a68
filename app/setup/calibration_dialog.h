// The calibration dialogs opened from the setup: 系统校零与修正 (`CDlg_SysAdjust`), 滑轮参数
// (`CDlg_Wheelpara`) and its 误差修正 run (`CDlg_InaccuracyAmend`), over the forms of
// sys_adjust_form. Keypads open over the field; those of 系统校零与修正 let a minus through, so
// that the dialog's own checks ("…小于0，请重新设置！") are the ones that answer.
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <map>

#include "setup/sys_adjust_form.h"
#include "ui/message_sink.h"

class QLabel;

namespace lx9 {

class PadField;

using DepthListenerHook = std::function<void(std::function<void(uint16_t)>)>;

class CDlg_SysAdjust : public QDialog {
  public:
    CDlg_SysAdjust(SharedInfo current, MessageSink& sink, QWidget* parent = nullptr);
    SysAdjustForm& form() { return form_; }
    PadField* fieldOf(CalibrationField field) const { return fields_.at(field); }
    PadField* zeroField(int section) const { return zero_[static_cast<size_t>(section)]; }
    void accept() override;

  private:
    void refresh();

    SysAdjustForm form_;
    MessageSink& sink_;
    std::array<PadField*, kMaxSections> zero_{};
    std::map<CalibrationField, PadField*> fields_;
    QLabel* correction_ = nullptr;
};

class CDlg_InaccuracyAmend : public QDialog {
  public:
    CDlg_InaccuracyAmend(const CInfo& current, SetupConsole& console, MessageSink& sink,
                         DepthListenerHook listen, QWidget* parent = nullptr);
    ~CDlg_InaccuracyAmend() override;
    InaccuracyAmendForm& form() { return form_; }
    std::optional<double> ratio() const { return ratio_; }
    void reject() override;
    void refresh();

  private:
    InaccuracyAmendForm form_;
    MessageSink& sink_;
    DepthListenerHook listen_;
    PadField* encoder_;
    PadField* cable_;
    std::optional<double> ratio_;
};

class CDlg_Wheelpara : public QDialog {
  public:
    CDlg_Wheelpara(SharedInfo current, SetupConsole& console, MessageSink& sink, DepthListenerHook listen,
                   QWidget* parent = nullptr);
    WheelParaForm& form() { return form_; }
    void accept() override;

  private:
    void refresh();

    SharedInfo current_;
    SetupConsole& console_;
    WheelParaForm form_;
    MessageSink& sink_;
    DepthListenerHook listen_;
    PadField* pulley_;
    PadField* cable_;
};

// Modal over `parent`; true after OK.
bool openSysAdjustDialog(SharedInfo current, MessageSink& sink, QWidget* parent);
bool openWheelDialog(SharedInfo current, SetupConsole& console, MessageSink& sink, DepthListenerHook listen,
                     QWidget* parent);

}  // namespace lx9
