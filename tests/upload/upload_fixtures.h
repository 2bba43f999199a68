// A small test built by hand: three pipes, sections 1-2 and 1-3 present, four levels from 20 m.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "data/sample_data_list.h"
#include "upload/upload_packets.h"

namespace lx9::testing {

inline CInfo smallTest() {
    CInfo info;
    info.resetToDefaults();
    info.pipeCount = 3;
    info.sectionCount = 3;
    info.rebuildSectionNames();
    info.pileId = "P-7#";
    info.testDate = "2024-3-5";
    info.testMode = kHorizontal;
    info.standard = std::string(kStandardRailway);
    info.uploadFile = "/data/jobs/P7.CHT";
    info.pileDiameter = 1200;
    info.pileLength = 20.5f;
    info.startDepth = 20.0f;
    info.stepMm = 50;
    info.sampleInterval = 0.5f;
    info.sampleLength = 512;
    info.pipeVelocity = 5.12f;
    info.pipeOuterDiameter = 50;
    info.pipeInnerDiameter = 45;
    info.probeDiameter = 30;
    info.offsetAngle = -15;
    info.pulleyDiameter = 63.0f;
    info.cableDiameter = 10.0f;
    for (int k = 0; k < kMaxSections; ++k)
        info.sections[k].present = k < 2;
    info.sections[0].spacing = 400;
    info.sections[1].spacing = 560;
    info.sections[1].gain = 60;
    info.sections[1].delay = 20.0f;
    info.zeroReadings[1] = 1.5f;
    return info;
}

// Level i of slot k: tIndex 99 + i, ampIndex 150 with the code 3048 - 100·k, gain 80, delay 20;
// level 2 of slot 1 keeps the section's delay (-1).
// Owns six lists and hands them out as the pointer array the upload takes.
struct OwnedLists {
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> owned;
    std::unique_ptr<CSampleDataList>& operator[](int k) { return owned[k]; }
    operator SectionLists() const {
        SectionLists p{};
        for (int k = 0; k < kMaxSections; ++k)
            p[k] = owned[k].get();
        return p;
    }
};

inline void fillSmallTest(const CInfo& info, OwnedLists& lists, int levels = 4) {
    for (int k = 0; k < kMaxSections; ++k) {
        lists[k] = std::make_unique<CSampleDataList>(info.sampleLength, k);
        if (!info.sections[k].present) continue;
        for (int i = 0; i < levels; ++i) {
            std::vector<uint16_t> wave(info.sampleLength);
            for (int j = 0; j < info.sampleLength; ++j)
                wave[j] = static_cast<uint16_t>(2048 + ((j / 8) % 2 ? 600 : -600));
            wave[150] = static_cast<uint16_t>(3048 - 100 * k);
            lists[k]->append(wave.data(), info.startDepth - 0.05f * i);
            auto guard = lists[k]->lock();
            SamplePoint* p = lists[k]->tail;
            p->tIndex = 99 + i;
            p->ampIndex = 150;
            p->gain = 80.0f;
            p->delay = (k == 1 && i == 2) ? -1.0f : 20.0f;
        }
    }
}

// Writers at absolute offsets, for expected packets laid out from the field tables.
inline void put8(std::vector<uint8_t>& b, std::size_t at, uint8_t v) {
    b.at(at) = v;
}
inline void put32(std::vector<uint8_t>& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}
inline void putI32(std::vector<uint8_t>& b, std::size_t at, int32_t v) {
    put32(b, at, static_cast<uint32_t>(v));
}
inline void putF32(std::vector<uint8_t>& b, std::size_t at, float v) {
    put32(b, at, std::bit_cast<uint32_t>(v));
}
inline void putF64(std::vector<uint8_t>& b, std::size_t at, double v) {
    uint64_t u = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i)
        b.at(at + i) = static_cast<uint8_t>(u >> (8 * i));
}
// Raw bytes of an already-encoded text (ASCII or GBK given as bytes) and the fill of its field.
inline void putField(std::vector<uint8_t>& b, std::size_t at, const std::string& bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        uint8_t v = i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : (i == bytes.size() ? 0 : ' ');
        b.at(at + i) = v;
    }
}
inline void seal(std::vector<uint8_t>& b) {
    b.at(b.size() - 2) = 'F';
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < b.size(); ++i)
        sum += b[i];
    b.back() = static_cast<uint8_t>(sum);
}

// The common header of the small test: ids "LX9-0001", "S2024-01", pile "P-7#".
inline std::vector<uint8_t> expectedHeader(std::size_t size, uint8_t type, bool withList,
                                           int32_t second = -1) {
    std::vector<uint8_t> b(size, 0);
    putField(b, 0, "KPX", 3);
    putI32(b, 3, static_cast<int32_t>(size));
    putI32(b, 7, second < 0 ? static_cast<int32_t>(size) : second);
    putField(b, 11, "002", 3);
    put8(b, 14, type);
    putField(b, 15, "LX9-0001", 24);
    putField(b, 39, "S2024-01", 24);
    putField(b, 63, "P-7#", 16);
    if (withList) putField(b, 79, "1-2,1-3,2*3,1*4,2*4,3*4,", 40);
    return b;
}

inline PacketIdentity smallIdentity() {
    return {"LX9-0001", "S2024-01", "P-7#"};
}

}  // namespace lx9::testing
