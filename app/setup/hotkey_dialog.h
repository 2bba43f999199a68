// 快捷键设置 (`CQuickyKey`) over HotkeyForm: the twelve console pairs and the five setup pairs,
// each with a modifier (chosen from the list) and a letter (a touch grid, or the key pressed on
// a keyboard while the field has the focus). OK refuses two equal keys on one screen.
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>
#include <array>

#include "setup/hotkey_form.h"

namespace lx9 {

class PadField;

// "Ctrl+S", "S", or empty for no key.
std::string hotkeyText(const Hotkey& key);

class CQuickyKey : public QDialog {
  public:
    CQuickyKey(SharedInfo current, MessageSink& sink, QWidget* parent = nullptr);
    HotkeyForm& form() { return form_; }
    PadField* keyField(int pair) const { return keys_[static_cast<size_t>(pair)]; }
    PadField* modifierField(int pair) const { return modifiers_[static_cast<size_t>(pair)]; }
    void accept() override;
    void refresh();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void chooseLetter(int pair);
    void chooseModifier(int pair);

    HotkeyForm form_;
    std::array<PadField*, kHotkeyCount> keys_{};
    std::array<PadField*, kHotkeyCount> modifiers_{};
};

// Modal over `parent`; true after OK.
bool openHotkeyDialog(SharedInfo current, MessageSink& sink, QWidget* parent);

}  // namespace lx9
