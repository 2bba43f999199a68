// The connection dialog `CDlgLink` (仪器连接状态) over its form: the handshake runs one try at a
// time from the event loop, so the bar moves after each failed try and the dialog repaints
// between tries. Success shows "确定" / "取消", failure "重试" / "放弃". Closing the window
// while it connects does nothing; afterwards it is the second button. Qt; user-interface thread.
#pragma once

#include <QDialog>

#include "acquisition/link_form.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace lx9 {

class LinkDialog : public QDialog {
  public:
    explicit LinkDialog(LinkForm& form, QWidget* parent = nullptr);

    QPushButton* firstButton() const { return first_; }
    QPushButton* secondButton() const { return second_; }
    QProgressBar* bar() const { return bar_; }
    QLabel* textLabel() const { return text_; }

    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void scheduleTry();
    void step();
    void showPhase();

    LinkForm& form_;
    QLabel* text_;
    QProgressBar* bar_;
    QPushButton* first_;
    QPushButton* second_;
    bool started_ = false;
};

}  // namespace lx9
