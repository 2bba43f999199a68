// Where an input pad goes on the screen. The setup dialogs put a pad over the field that opened
// it, the test-time dialogs beside it; either way the whole pad stays on the screen, so a field
// at an edge never leaves its keys out of reach. Qt-free.
#pragma once

#include "ui/num_input_form.h"

namespace lx9 {

enum class PadPlacement { Over, Beside };

// The pad's rectangle (`width` × `height`) for the field's screen rectangle.
Rect placePad(const Rect& field, int width, int height, const Rect& screen, PadPlacement how);

}  // namespace lx9
