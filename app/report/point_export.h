// Every point of every present section for a spreadsheet (`lx9 export`): depth, travel time,
// velocity, amplitude, PSD and grade as the analysis judges them under one standard, the picks,
// and whether the pick was made by hand. Velocities, amplitudes and grades are those the
// analysis' findings carry, so the export and `lx9 analyse` agree point for point.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/pile_analysis.h"
#include "report/pick_trail.h"

namespace lx9 {

struct ExportPoint {
    std::string section;
    int level = 0;  // 0-based point index in the section list
    PointValues values;
    std::optional<float> psd;  // µs²/m between this point and the next; none for the last
    bool handPicked = false;
};

// `pile` is analysePile's result under the standard wanted, computed on the same lists just before.
std::vector<ExportPoint> exportPoints(const CInfo& info, const SectionLists& lists, const PileAnalysis& pile,
                                      const PickTrail& trail);

// UTF-8 CSV with a header row, CRLF line ends (as `lx9 analyse --format csv`); a point without a
// waveform has empty value fields.
std::string exportCsv(const std::vector<ExportPoint>& points);

struct ExportHeader {
    std::string file;
    std::string pileId;
    std::string standard;
    std::string rules;
};
std::string exportJson(const ExportHeader& header, const std::vector<ExportPoint>& points);

}  // namespace lx9
