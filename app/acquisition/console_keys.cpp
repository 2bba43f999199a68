#include "acquisition/console_keys.h"

#include "acquisition/console_rules.h"

namespace lx9 {

int consoleButtonForKey(const std::array<Hotkey, kHotkeyCount>& hotkeys, uint16_t key, uint16_t modifiers) {
    if (key >= 'a' && key <= 'z') key = static_cast<uint16_t>(key - 'a' + 'A');
    if (key == 0) return 0;
    const uint16_t mods = modifiers & (kHotkeyShift | kHotkeyCtrl | kHotkeyAlt);
    for (int button = kFirstButton; button <= kBtnMovePoint; ++button) {
        const int pair = hotkeyPairOf(button);
        if (pair < 0) continue;
        const Hotkey& h = hotkeys[static_cast<size_t>(pair)];
        if (h.key == key && (h.modifier & 0xFF) == mods) return button;
    }
    return 0;
}

}  // namespace lx9
