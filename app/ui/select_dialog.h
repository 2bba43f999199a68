// `CDlg_Select`, the list picker every choice field opens: up to 16 buttons with the caller's
// captions under a title, and 取消. A tap on a caption returns it.
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "ui/pad_placement.h"
#include "ui/select_form.h"

namespace lx9 {

class CDlg_Select : public QDialog {
  public:
    CDlg_Select(const std::string& title, const std::vector<std::string>& choices, QWidget* parent = nullptr);

    const SelectForm& form() const { return form_; }

    // Opens a picker for `field`, placed as `how` says; the chosen caption, nothing after 取消.
    static std::optional<std::string> ask(QWidget* field, const std::string& title,
                                          const std::vector<std::string>& choices, PadPlacement how);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    SelectForm form_;
};

}  // namespace lx9
