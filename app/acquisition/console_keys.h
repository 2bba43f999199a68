// The console's hotkeys: the first twelve pairs of the settings' hotkey table (factory S, C, X,
// M, T, G, Q, H, D, F, B, Y) press the console's buttons. Qt-free; any thread.
#pragma once

#include <array>
#include <cstdint>

#include "data/cinfo.h"

namespace lx9 {

// Modifier bits of a hotkey pair.
inline constexpr uint16_t kHotkeyShift = 1;
inline constexpr uint16_t kHotkeyCtrl = 2;
inline constexpr uint16_t kHotkeyAlt = 4;

// The console button whose pair is this key (an upper-case letter or digit code) with exactly
// these modifiers; 0 when none. When two pairs hold the same key, the lower pair wins.
int consoleButtonForKey(const std::array<Hotkey, kHotkeyCount>& hotkeys, uint16_t key, uint16_t modifiers);

}  // namespace lx9
