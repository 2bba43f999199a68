// Geometry of the section map (CSectionMap): the pile's outline, the access pipes around it at
// equal angles turned by the offset angle, their labels, and a line for every highlighted pipe
// pair.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "data/globals.h"
#include "display/view_shapes.h"

namespace lx9 {

enum class PipeLabels { Digits = 1, Capitals = 2, Small = 3 };

// The map's state: pipe count, offset angle, label style, line colour state (1 green, 2 yellow,
// 3 brown, 4 red) and the highlight table of every pipe pair i < j (0-based).
class SectionMapModel {
  public:
    // A fresh table of N·(N−1)/2 clear flags; a count below 0 is taken as 0.
    void setPipeCount(int n);
    int pipeCount() const { return pipeCount_; }
    // Clears every flag, then sets the flag of pair (i, j); pairs outside the table set nothing.
    void highlightPair(int j, int i);
    // Sets the flag of one more pair (the console shows every displayed section at once).
    void addPair(int j, int i);
    // Highlights section "p-q" (1-based pipes) alone when 1 ≤ p < q ≤ N; otherwise clears the
    // table and returns false.
    bool highlightSection(const std::string& name);
    bool highlighted(int i, int j) const;
    void clear();

    int offsetAngle = 0;
    PipeLabels labels = PipeLabels::Digits;
    int colourState = 1;

  private:
    int pipeCount_ = 5;
    std::vector<uint8_t> pairs_ = std::vector<uint8_t>(10, 0);  // entry j·(j−1)/2 + i
};

// Pipe count, offset angle and the displayed sections highlighted, from a record only this thread
// sees, or from one other threads change (read under its lock).
SectionMapModel sectionMapFromRecord(const CInfo& info);
SectionMapModel sectionMapFromRecord(SharedInfo info);

struct SectionMapGeometry {
    ViewRect client;
    struct Ellipse {
        ViewRect box;
        uint32_t outline = 0;
        uint32_t fill = 0;
    };
    std::optional<Ellipse> outline;  // the pile
    std::vector<ViewPoint> pipeCentres;
    std::vector<Ellipse> pipes;
    std::vector<ViewText> labels;
    std::vector<ViewLine> sections;  // drawn before the pipes and labels, which go over them
    int centre = 0;
    int radius = 0;
    int ring = 0;
};

SectionMapGeometry sectionMapGeometry(const SectionMapModel& model, int width, int height);

// The line colour of a colour state (anything outside 2..4 draws green).
uint32_t sectionMapLineColour(int colourState);

}  // namespace lx9
