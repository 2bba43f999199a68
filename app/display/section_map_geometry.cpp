#include "display/section_map_geometry.h"

#include <algorithm>
#include <cmath>

#include "display/view_colours.h"

namespace lx9 {

void SectionMapModel::setPipeCount(int n) {
    pipeCount_ = std::clamp(n, 0, 26);  // a damaged record must not make a huge table; labels run to Z
    pairs_.assign(static_cast<size_t>(pipeCount_) * static_cast<size_t>(std::max(pipeCount_ - 1, 0)) / 2, 0);
}

void SectionMapModel::clear() {
    std::fill(pairs_.begin(), pairs_.end(), uint8_t{0});
}

void SectionMapModel::addPair(int j, int i) {
    // Only i < j < N has an entry; anything else would land on another pair's flag or outside.
    if (i < 0 || i >= j || j >= pipeCount_) return;
    pairs_[static_cast<size_t>(j) * static_cast<size_t>(j - 1) / 2 + static_cast<size_t>(i)] = 1;
}

void SectionMapModel::highlightPair(int j, int i) {
    clear();
    addPair(j, i);
}

bool SectionMapModel::highlightSection(const std::string& name) {
    clear();
    if (name.size() != 3 || name[1] != '-' || name[0] < '1' || name[0] > '9' || name[2] < '1' ||
        name[2] > '9')
        return false;
    const int p = name[0] - '0';
    const int q = name[2] - '0';
    if (!(1 <= p && p < q && q <= pipeCount_)) return false;
    addPair(q - 1, p - 1);
    return true;
}

bool SectionMapModel::highlighted(int i, int j) const {
    if (i < 0 || i >= j || j >= pipeCount_) return false;
    return pairs_[static_cast<size_t>(j) * static_cast<size_t>(j - 1) / 2 + static_cast<size_t>(i)] != 0;
}

SectionMapModel sectionMapFromRecord(SharedInfo info) {
    std::lock_guard<std::mutex> g(info.lock());
    return sectionMapFromRecord(info.record());
}

SectionMapModel sectionMapFromRecord(const CInfo& info) {
    SectionMapModel m;
    m.setPipeCount(info.pipeCount);
    m.offsetAngle = info.offsetAngle;
    for (const SectionPara& s : info.sections) {
        if (!s.present || !s.display || s.name.size() != 3 || s.name[1] != '-') continue;
        const int p = s.name[0] - '0';
        const int q = s.name[2] - '0';
        if (1 <= p && p < q && q <= m.pipeCount()) m.addPair(q - 1, p - 1);
    }
    return m;
}

uint32_t sectionMapLineColour(int state) {
    switch (state) {
        case 2:
            return kViewYellow;
        case 3:
            return kViewBrown;
        case 4:
            return kViewRed;
        default:
            return kViewDarkGreen;
    }
}

SectionMapGeometry sectionMapGeometry(const SectionMapModel& m, int width, int height) {
    SectionMapGeometry g;
    g.client = {0, 0, std::max(width, 0), std::max(height, 0)};
    const int L = 0, T = 0, R = width, B = height;
    const int c = std::min(T + B, L + R) / 2;
    const int r = static_cast<int>(std::trunc(0.98 * (std::min(c - L, c - T) - 18)));
    g.centre = c;
    g.radius = r;
    if (r <= 0) return g;  // too small for even the outline
    g.outline =
        SectionMapGeometry::Ellipse{{c - r, c - r - 10, c + r, c + r + 10}, kViewBlack, kViewPileGrey};

    const int n = m.pipeCount();
    const int rho = static_cast<int>(0.87 * r - 25);
    g.ring = rho;
    if (n < 2 || rho <= 0) return g;
    const int step = 360 / n;
    const int p = static_cast<int>(std::trunc(0.15 * r));
    for (int k = 0; k < n; ++k) {
        const int a = k * step + m.offsetAngle;
        const int x = c + static_cast<int>(std::trunc(std::sin(a * 3.14 / 180) * rho));
        const int y = c + static_cast<int>(std::trunc(std::cos((a - 180) * 3.14 / 180) * rho));
        g.pipeCentres.push_back({x, y});
        g.pipes.push_back({{x - p, y - p - 3, x + p, y + p + 3}, kViewBlack, kViewWhite});
        std::string label;
        switch (m.labels) {
            case PipeLabels::Capitals:
                label = std::string(1, static_cast<char>('A' + k));
                break;
            case PipeLabels::Small:
                label = std::string(1, static_cast<char>('a' + k));
                break;
            default:
                label = std::to_string(k + 1);
        }
        g.labels.push_back(
            {{x - 3, y - 7, x + 3, y + 7}, label, kViewBlack, ViewFont::TimesNewRoman, 12, ViewText::Centre});
    }
    const uint32_t colour = sectionMapLineColour(m.colourState);
    for (int j = 1; j < n; ++j) {
        for (int i = 0; i < j; ++i) {
            if (m.highlighted(i, j))
                g.sections.push_back({g.pipeCentres[static_cast<size_t>(i)],
                                      g.pipeCentres[static_cast<size_t>(j)], colour, 2});
        }
    }
    return g;
}

}  // namespace lx9
