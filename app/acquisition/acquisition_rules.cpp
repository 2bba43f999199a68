#include "acquisition/acquisition_rules.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "instrument/parameter_records.h"

namespace lx9 {

std::array<int, kMaxSections> frameSlotOrder(const CInfo& info) {
    std::vector<int> enabled;
    for (int c = 0; c < kChannelCount; ++c)
        if (info.channels[c].enabled) enabled.push_back(c + 1);

    std::vector<int> used;
    if (info.pairwiseMode) {
        for (size_t i = 0; i < enabled.size(); ++i)
            for (size_t j = i + 1; j < enabled.size(); ++j)
                used.push_back(pairIndex(enabled[i], enabled[j]));
    } else {
        int transmitter = 0;
        for (int c : enabled)
            if (info.channels[c - 1].role == kRoleTransmitter) {
                transmitter = c;
                break;
            }
        if (transmitter != 0)
            for (int c : enabled)
                if (c != transmitter) used.push_back(pairIndex(c, transmitter));
    }

    std::array<int, kMaxSections> order{};
    std::array<bool, kMaxSections> taken{};
    int k = 0;
    for (int slot : used)
        if (slot >= 0 && !taken[slot] && k < kMaxSections) {
            order[k++] = slot;
            taken[slot] = true;
        }
    for (int slot = 0; slot < kMaxSections && k < kMaxSections; ++slot)
        if (!taken[slot]) order[k++] = slot;
    return order;
}

void arrangeFrame(const uint16_t* frame, uint16_t* out, int sampleLength,
                  const std::array<int, kMaxSections>& order) {
    const size_t n = static_cast<size_t>(sampleLength);
    for (int k = 0; k < kMaxSections; ++k)
        std::memcpy(out + k * n, frame + static_cast<size_t>(order[k]) * n, n * sizeof(uint16_t));
}

double startHeightCm(const CInfo& info) {
    auto sectionHeight = [&](int k) {
        const SectionPara& s = info.sections[k];
        return static_cast<double>(s.sectionStartDepth) * 100.0 - s.heightDiff / 10.0;
    };
    switch (info.testMode) {
        case kFan:
            return sectionHeight(0);
        case kInclined: {
            double h = 9999999.0;
            for (int k = 0; k < 3; ++k)
                if (info.sections[k].display) h = std::min(h, sectionHeight(k));
            return h;
        }
        default:
            return static_cast<double>(info.startDepth) * 100.0;
    }
}

int32_t halfStepToleranceCm(int32_t stepMm) {
    return static_cast<int32_t>(stepMm / 10.0 * 0.5);
}

int32_t levelCm(int32_t level, int32_t stepMm) {
    return static_cast<int32_t>(static_cast<int64_t>(level) * stepMm / 10);
}

int32_t lastLevelIndex(const CInfo& info) {
    if (info.stepMm <= 0) return -1;
    const double heightMm = startHeightCm(info) * 10.0;
    if (heightMm < 0.0) return 0;
    return static_cast<int32_t>(std::min((heightMm + 1.0) / info.stepMm, 65534.0));
}

float pointDepth(const CInfo& info, int section, double travelCm) {
    const double travel = travelCm / 100.0;
    if (info.testMode == kHorizontal) return static_cast<float>(info.startDepth - travel);
    const SectionPara& s = info.sections[std::clamp(section, 0, kMaxSections - 1)];
    return static_cast<float>(s.sectionStartDepth - s.heightDiff / 1000.0 - travel);
}

int32_t endStampOf(const std::tm& t) {
    return (t.tm_year + 1900) + (t.tm_mon + 1) + t.tm_wday + t.tm_mday + t.tm_hour + t.tm_min + t.tm_sec;
}

int32_t endStampNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return endStampOf(local);
}

}  // namespace lx9
