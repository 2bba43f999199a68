// The input pads' Qt side: `CDlg_NumInput`, the borderless numeric keypad, and `PadField`, the
// read-only field that opens a pad. A pad opens when its field is tapped, clicked, or has the
// focus and gets Enter or Space — never merely on receiving the focus, so a refusal that hands
// the focus back to a field, or Tab through a dialog, never pops a pad up again.
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <optional>
#include <string>

#include "ui/message_sink.h"
#include "ui/num_input_form.h"
#include "ui/pad_placement.h"

class QLabel;
class QGridLayout;

namespace lx9 {

namespace ui {

// Touch sizes at 1024×768: no control lower than this.
inline constexpr int kTouchHeight = 44;

// The dialogs' font: "宋体" (a CJK font through the alias file) at `pixels`.
QFont touchFont(int pixels = 16, bool bold = false);
// A push button of touch height in the dialogs' font.
QPushButton* touchButton(const QString& caption, QWidget* parent, int pixels = 16);
// The screen rectangle of a widget and of the screen it is on.
Rect screenRectOf(const QWidget* widget);
Rect screenOf(const QWidget* widget);
// Moves a top-level pad over or beside `field`, kept on the screen.
void placePadWidget(QWidget* pad, const QWidget* field, PadPlacement how);

inline QString qs(const std::string& text) {
    return QString::fromStdString(text);
}
inline std::string ss(const QString& text) {
    return text.toStdString();
}

}  // namespace ui

// A field whose value comes from a pad: shows its text, never takes typed input, and reports a
// tap, a click, or Enter/Space while focused as activated().
class PadField : public QLineEdit {
  public:
    explicit PadField(QWidget* parent = nullptr);
    void setValueText(const std::string& text);
    void onActivated(std::function<void()> handler) { activated_ = std::move(handler); }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void activate();

    bool pressed_ = false;
    std::function<void()> activated_;
};

class CDlg_NumInput : public QDialog {
  public:
    // Sized to 30 % of the screen's width and 30 % of its height plus 75 px.
    CDlg_NumInput(const std::string& title, double initial, bool allowNegative, MessageSink& sink,
                  QWidget* parent = nullptr);

    const NumInputForm& form() const { return form_; }
    // The shown text (the form's).
    QString text() const;

    // Opens a pad for `field`, placed as `how` says; the value after OK, nothing after Cancel.
    static std::optional<double> ask(QWidget* field, const std::string& title, double initial,
                                     bool allowNegative, MessageSink& sink, PadPlacement how);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void press(const std::function<void()>& key);
    void tryAccept();

    NumInputForm form_;
    QLineEdit* display_ = nullptr;
};

}  // namespace lx9
