// Plain shapes the view geometries are made of, so the painting is a thin walk over them and
// the tests can check every pixel position without a display. Colours are 0x00BBGGRR values,
// as the record stores them (view_colours.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lx9 {

// (left, top, right, bottom), right and bottom exclusive.
struct ViewRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const ViewRect&) const = default;
};

struct ViewPoint {
    int x = 0;
    int y = 0;
    bool operator==(const ViewPoint&) const = default;
};

struct ViewLine {
    ViewPoint from;
    ViewPoint to;
    uint32_t colour = 0;
    int width = 1;
    bool operator==(const ViewLine&) const = default;
};

struct ViewPolyline {
    std::vector<ViewPoint> points;
    uint32_t colour = 0;
    int width = 1;
};

// The fonts by the names the system asks for; the alias file maps them to installed fonts.
enum class ViewFont { Arial, Song, TimesNewRoman };

// Text in a box. Texts the views draw "without clipping" set noClip: they may run past the box.
struct ViewText {
    ViewRect box;
    std::string text;  // UTF-8, lines separated by '\n'
    uint32_t colour = 0;
    ViewFont font = ViewFont::Arial;
    int pixels = 12;
    enum Align { TopLeft, BottomLeft, Centre } align = TopLeft;
    bool noClip = true;
};

}  // namespace lx9
