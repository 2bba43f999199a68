// The hotkey dialog `CQuickyKey` (快捷键设置), opened from the setup: edits the 17 hotkey pairs
// (twelve console buttons, five setup buttons) and refuses two equal hotkeys on one screen.
// Qt-free; user-interface thread only.
#pragma once

#include <array>
#include <string_view>

#include "data/cinfo.h"
#include "setup/setup_form.h"
#include "ui/message_sink.h"

namespace lx9 {

inline constexpr int kConsoleHotkeys = 12;  // pairs 0..11 belong to the console, 12..16 to the setup

class HotkeyForm {
  public:
    HotkeyForm(SharedInfo current, MessageSink& sink);

    const std::array<Hotkey, kHotkeyCount>& hotkeys() const { return keys_; }
    // The command a pair belongs to: "设置" … "移测点" on the console, then the setup's buttons
    // "快速设置", "仪器参数", "滑轮参数", "系统校零与修正", "快捷键设置".
    static std::string_view commandName(int pair);

    void setHotkey(int pair, Hotkey key);
    void restoreDefaults();  // the factory table

    // OK: the first two equal hotkeys of one screen (a pair without a key is never equal) are
    // refused with their commands' names; otherwise the pairs go into currentInfo.
    FormOutcome ok();
    FormOutcome cancel() { return FormOutcome::Cancelled; }

  private:
    CInfo& current_;
    std::mutex& infoLock_;  // guards current_: held while OK changes it
    MessageSink& sink_;
    std::array<Hotkey, kHotkeyCount> keys_;
};

}  // namespace lx9
