// 颜色设置 (`CDlg_ColorAdjust`) and its colour chooser "请选择颜色": five colour rows, a live preview
// drawn with the chosen colours, 恢复默认值; OK writes the record's colours.
//
// Threading: the user-interface thread only.
#pragma once

#include <QColor>
#include <QDialog>
#include <array>
#include <optional>

#include "display/view_colours_view.h"
#include "setup/colour_form.h"

class QPushButton;

namespace lx9 {

// The record's 0x00BBGGRR as a QColor.
inline QColor qColourOf(int32_t colour) {
    return QColor(redOf(colour), greenOf(colour), blueOf(colour));
}

// "请选择颜色": a touch grid of swatches; the chosen colour, nothing after 取消.
class ColourChoiceDialog : public QDialog {
  public:
    explicit ColourChoiceDialog(int32_t current, QWidget* parent = nullptr);
    int32_t chosen() const { return chosen_; }

  private:
    int32_t chosen_;
};

class CDlg_ColorAdjust : public QDialog {
  public:
    explicit CDlg_ColorAdjust(SharedInfo current, QWidget* parent = nullptr);
    ColourForm& form() { return form_; }
    QPushButton* swatch(int which) const { return swatches_[static_cast<size_t>(which)]; }
    QWidget* preview() const { return preview_; }
    void accept() override;
    void refresh();

  private:
    ColourForm form_;
    std::array<QPushButton*, kViewColours> swatches_{};
    QWidget* preview_;
};

bool openColourDialog(SharedInfo current, QWidget* parent);

}  // namespace lx9
