// The one conversion from the views' 0x00BBGGRR colours to Qt's.
#pragma once

#include <QColor>

#include "display/view_colours.h"

namespace lx9 {

inline QColor viewQColor(uint32_t bgr) {
    return QColor(viewRed(bgr), viewGreen(bgr), viewBlue(bgr));
}

}  // namespace lx9
