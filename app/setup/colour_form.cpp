#include "setup/colour_form.h"

namespace lx9 {

std::array<std::string_view, kViewColours> colourNames() {
    return {"背景颜色", "波列背景颜色", "文字与标记颜色", "网格颜色", "波形颜色"};
}

std::vector<int32_t> colourPalette() {
    return {
        colourRef(255, 255, 255), colourRef(224, 224, 224), colourRef(192, 192, 192),
        colourRef(128, 128, 128), colourRef(64, 64, 64),    colourRef(0, 0, 0),
        colourRef(255, 255, 224), colourRef(224, 240, 255), colourRef(255, 0, 0),
        colourRef(192, 0, 0),     colourRef(255, 128, 0),   colourRef(255, 255, 0),
        colourRef(128, 128, 0),   colourRef(0, 255, 0),     colourRef(0, 160, 0),
        colourRef(0, 96, 0),      colourRef(0, 255, 255),   colourRef(0, 128, 128),
        colourRef(0, 0, 255),     colourRef(0, 0, 160),     colourRef(0, 0, 96),
        colourRef(128, 0, 255),   colourRef(255, 0, 255),   colourRef(128, 0, 128),
        colourRef(255, 192, 203), colourRef(160, 82, 45),   colourRef(210, 180, 140),
        colourRef(255, 215, 0),   colourRef(70, 130, 180),  colourRef(46, 139, 87),
        colourRef(47, 79, 79),    colourRef(25, 25, 112),
    };
}

ColourForm::ColourForm(SharedInfo current)
    : current_(current.record()), infoLock_(current.lock()), colours_(current_.colours) {}

void ColourForm::choose(int which, int32_t colour) {
    if (which < 0 || which >= kViewColours) return;
    colours_[static_cast<size_t>(which)] = colour & 0xFFFFFF;
}

void ColourForm::restoreDefaults() {
    CInfo factory;
    factory.resetToDefaults();
    colours_ = factory.colours;
}

FormOutcome ColourForm::ok() {
    std::lock_guard<std::mutex> g(infoLock_);  // the worker copies the record every cycle
    current_.colours = colours_;
    return FormOutcome::Accepted;
}

}  // namespace lx9
