// The trail of hand picks a test carries: NAME.picks.json beside the pair, one JSON object per
// line, appended by the workbench whenever a tester moves (or restores) a pick.
//
// The report lists the trail; the export marks the points whose latest line is a hand pick.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lx9 {

struct PickTrailEntry {
    std::string time;  // as written, e.g. "2026-12-07T20:15:03"
    std::string tester;
    std::string section;  // "1-2"
    int level = 0;        // 0-based point index in the section list
    double depth = 0.0;   // m, as stored
    int oldTIndex = -1;
    int newTIndex = -1;
    int oldAmpIndex = -1;
    int newAmpIndex = -1;
    bool restore = false;  // the pick went back to the one before the hand picks
};

struct PickTrail {
    std::vector<PickTrailEntry> entries;  // file order
    int skippedLines = 0;                 // lines that were not a usable entry
    // Whether the point's latest entry is a hand pick (not a restore).
    bool handPicked(std::string_view section, int level) const;
};

// NAME.picks.json for a pair named by its .CHT file or its base path.
std::filesystem::path pickTrailPath(const std::string& chtOrBase);

// Parses the trail's text. Blank lines are ignored; a line that is not an object with at least
// section and level is counted in skippedLines and left out, so a torn last line (a crash while
// the workbench appended) costs that line only.
PickTrail parsePickTrail(std::string_view text);

// Reads the trail of the pair; an absent file is an empty trail.
PickTrail readPickTrail(const std::string& chtOrBase);

}  // namespace lx9
