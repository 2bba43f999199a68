#include "workbench/workbench_form.h"

#include <algorithm>
#include <cstdio>

#include "analysis/pile_analysis.h"
#include "data/point_metrics.h"

namespace lx9 {

ButtonRect workbenchButtonRect(int position, int screenWidth, int screenHeight) {
    const int width = screenWidth / 11;
    const int height = 3 * (screenHeight / 50);
    return {position * width, screenHeight - height, width, height};
}

AxisStrip axisStrip(CurveMode mode) {
    switch (mode) {
        case CurveMode::Amplitude:
            return {"(dB)", {150, 100, 50, 0}, 150, 0};
        case CurveMode::Psd:
            return {"(us2/m)", {0, 5000, 10000, 15000, 20000}, 0, 20000};
        case CurveMode::Velocity:
            break;
    }
    // The velocity axis of the depth curves runs 0 … 6 km/s; a label every km/s.
    return {"(km/s)", {0, 1, 2, 3, 4, 5, 6}, 0, 6};
}

WorkbenchForm::WorkbenchForm(const CInfo& info, const SectionLists& lists) : info_(info), lists_(lists) {}

int WorkbenchForm::pointCount() const {
    if (section_ < 0 || !lists_[section_]) return 0;
    auto guard = lists_[section_]->lock();
    return lists_[section_]->count;
}

std::vector<int> WorkbenchForm::sectionsOffered() const {
    std::vector<int> slots;
    for (int k = 0; k < kMaxSections; ++k) {
        if (info_.sections[k].present && lists_[k]) slots.push_back(k);
    }
    return slots;
}

void WorkbenchForm::open() {
    setWholeIntervals(info_, lists_);
    if (guangdong()) EvaluatePileDbj(info_, lists_);
    section_ = -1;
    for (int k : sectionsOffered()) {
        auto guard = lists_[k]->lock();
        if (lists_[k]->count > 0) {
            section_ = k;
            break;
        }
    }
    if (section_ < 0 && !sectionsOffered().empty()) section_ = sectionsOffered().front();
    current_ = top_ = lastPoint();
}

uint32_t WorkbenchForm::setPageSize(int rows) {
    pageSize_ = std::max(rows, 1);
    return kWbWaveTrain;
}

std::string workbenchCommonCaption(int id, int zoom) {
    switch (id) {
        case kWbZoom:
            return "放大" + std::to_string(zoom);
        case kWbPageForward:
            return "前翻";
        case kWbPageBack:
            return "后翻";
        case kWbNextWave:
            return "前波";
        case kWbPrevWave:
            return "后波";
        case kWbLeft:
            return "左移";
        case kWbRight:
            return "右移";
        case kWbReread:
            return "重读";
        case kWbExit:
            return "退出";
        default:
            return {};
    }
}

std::string WorkbenchForm::caption(int id) const {
    switch (id) {
        case kWbSection:
            return "剖面选择";
        case kWbInterval:
            return guangdong() ? "K" : "H-Vp";
        default:
            return workbenchCommonCaption(id, zoom_);
    }
}

bool WorkbenchForm::enabled(int id) const {
    if (id == kWbInterval) return guangdong();
    return true;
}

WorkbenchAction WorkbenchForm::click(int id) {
    if (!enabled(id)) return {};
    const int last = lastPoint();
    switch (id) {
        case kWbSection:
            return {0, sectionsOffered().empty() ? WorkbenchOpen::None : WorkbenchOpen::SectionChooser};
        case kWbInterval:
            return {0, WorkbenchOpen::IntervalView};
        case kWbExit:
            return {0, WorkbenchOpen::Close};
        case kWbZoom:
            zoom_ = zoom_ == 4 ? 1 : zoom_ * 2;
            return {kWbWaveform | kWbButtons};
        case kWbReread:
            return {reread()};
        default:
            break;
    }
    if (!hasPoint()) return {};
    switch (id) {
        case kWbPageForward:
            if (top_ >= last) return {};
            top_ = std::min(top_ + pageSize_, last);
            return {kWbWaveTrain};
        case kWbPageBack:
            if (top_ - pageSize_ < 0) return {};
            top_ -= pageSize_;
            return {kWbWaveTrain};
        case kWbNextWave:
            if (current_ >= last) return {};
            ++current_;
            if (current_ == top_ + 1) {
                top_ = std::min(top_ + pageSize_, last);
            } else {
                bringOnPage(current_);
            }
            return {kWbAll & ~kWbButtons};
        case kWbPrevWave:
            if (current_ <= 0) return {};
            --current_;
            // A point that has just left the page at its foot (exactly one page below the top
            // included) brings the previous page.
            if (current_ == top_ - pageSize_) {
                top_ -= pageSize_;
            } else {
                bringOnPage(current_);
            }
            return {kWbAll & ~kWbButtons};
        case kWbLeft:
            return {shiftPick(-1)};
        case kWbRight:
            return {shiftPick(+1)};
        default:
            return {};
    }
}

uint32_t WorkbenchForm::shiftPick(int delta) {
    const PointPicks p = picksOf(*lists_[section_], current_);
    const int from = selector_ == PickKind::Arrival ? p.tIndex : p.ampIndex;
    int samples = 0;
    {
        auto guard = lists_[section_]->lock();
        const SamplePoint* point = lists_[section_]->pointAt(current_);
        samples = point ? static_cast<int>(point->samples.size()) : 0;
    }
    const int to = from + delta;
    if (to < 0 || to > samples - 1) return 0;
    return pickAt(selector_, to);
}

uint32_t WorkbenchForm::selectPick(PickKind kind) {
    selector_ = kind;
    return 0;
}

uint32_t WorkbenchForm::pickAt(PickKind kind, int sample) {
    if (!hasPoint() || sample < 0) return 0;
    if (!writeHandPick(info_, *lists_[section_], section_, current_, kind, sample)) return 0;
    return kWbWaveform | kWbAxis | kWbCurves;
}

uint32_t WorkbenchForm::clickWaveform(int x, int y, int width, int height) {
    if (!hasPoint()) return 0;
    int samples = 0;
    {
        auto guard = lists_[section_]->lock();
        const SamplePoint* point = lists_[section_]->pointAt(current_);
        samples = point ? static_cast<int>(point->samples.size()) : 0;
    }
    const PickKind kind = pickHalfAt(y, height);
    selector_ = kind;
    return pickAt(kind, pickSampleAt(x, width, samples));
}

int WorkbenchForm::pointAtRow(int y, int rowHeight) const {
    if (!hasPoint() || rowHeight <= 0 || y < 0) return -1;
    const int point = top_ - y / rowHeight;
    return point >= 0 && point <= lastPoint() ? point : -1;
}

uint32_t WorkbenchForm::selectPoint(int point) {
    if (!hasPoint() || point < 0 || point > lastPoint()) return 0;
    current_ = point;
    return kWbAll & ~kWbButtons;
}

uint32_t WorkbenchForm::jumpToPoint(int point) {
    if (!hasPoint() || point < 0 || point > lastPoint()) return 0;
    current_ = point;
    bringOnPage(point);
    return kWbAll & ~kWbButtons;
}

void WorkbenchForm::bringOnPage(int point) {
    // Up to five rows of context above the point, but never so many that it leaves the page.
    if (!onPage(point)) top_ = std::min(point + std::min(5, pageSize_ - 1), lastPoint());
}

uint32_t WorkbenchForm::showSection(int slot) {
    const std::vector<int> offered = sectionsOffered();
    if (std::find(offered.begin(), offered.end(), slot) == offered.end()) return 0;
    section_ = slot;
    current_ = top_ = lastPoint();
    return kWbAll;
}

uint32_t WorkbenchForm::returnFromInterval(int slot, int level) {
    uint32_t parts = showSection(slot);
    if (parts == 0) return 0;
    if (level >= 0 && level <= lastPoint()) {
        current_ = level;
        bringOnPage(level);
    }
    return kWbAll;
}

uint32_t WorkbenchForm::cycleCurveMode() {
    curveMode_ = curveMode_ == CurveMode::Psd ? CurveMode::Velocity
                                              : static_cast<CurveMode>(static_cast<int>(curveMode_) + 1);
    return kWbCurves | kWbAxis;
}

uint32_t WorkbenchForm::reread() {
    if (sectionsOffered().empty()) return 0;
    EvaluatePileDbj(info_, lists_);
    return kWbAll;
}

PointTexts WorkbenchForm::pointTexts() const {
    PointTexts t;
    if (section_ < 0) return t;
    t.caption = "当前剖面号：" + info_.sections[section_].name;
    if (!hasPoint()) return t;
    float depth = 0.0f, gain = 0.0f;
    PointMetrics m;
    {
        auto guard = lists_[section_]->lock();
        const SamplePoint* p = lists_[section_]->pointAt(current_);
        if (!p) return t;
        const bool inRange = p->ampIndex >= 0 && static_cast<size_t>(p->ampIndex) < p->samples.size();
        const int32_t code = inRange ? p->samples[static_cast<size_t>(p->ampIndex)] : 2048;
        m = pointMetrics(info_, section_ + 1, p->tIndex, p->depth, p->gain, code, p->delay);
        depth = p->depth;
        gain = p->gain;
    }
    char text[256];
    std::snprintf(text, sizeof text, "深度(m):%.2f\n声时(us):%.1f\n波幅(mv):%.2f\n波幅(dB):%.1f", depth,
                  static_cast<double>(m.time), static_cast<double>(m.amplitude),
                  static_cast<double>(finiteAmplitudeDb(m.amplitude)));
    t.measures = text;
    // The path printed is the one the velocity was computed with, so path / time is the velocity.
    const double path = static_cast<double>(m.velocity) * m.time / 1000000.0;
    std::snprintf(text, sizeof text, "跨距(mm):%.0f\n声速(km/s):%.3f\n增益:%.0f", path,
                  static_cast<double>(m.velocity) / 1000000.0, static_cast<double>(gain));
    t.geometry = text;
    return t;
}

}  // namespace lx9
