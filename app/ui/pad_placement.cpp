#include "ui/pad_placement.h"

#include <algorithm>

namespace lx9 {

namespace {

int clampInto(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

}  // namespace

Rect placePad(const Rect& field, int width, int height, const Rect& screen, PadPlacement how) {
    Rect r = how == PadPlacement::Beside ? placeBeside(field, width, height, screen)
                                         : Rect{field.x, field.y, width, height};
    // A pad wider or taller than the screen keeps its top-left corner on it.
    r.x = clampInto(r.x, screen.x, std::max(screen.x, screen.right() - width));
    r.y = clampInto(r.y, screen.y, std::max(screen.y, screen.bottom() - height));
    return r;
}

}  // namespace lx9
