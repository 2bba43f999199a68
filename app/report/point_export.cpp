#include "report/point_export.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "data/sample_data_list.h"

namespace lx9 {
namespace {

// Fixed decimals as `lx9 analyse --format csv` prints the same quantities.
std::string fixed(double v, int decimals) {
    if (!std::isfinite(v)) return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    return buffer;
}

// The shortest text that reads back as the same float, as the analysis' JSON writes numbers.
std::string shortest(float v) {
    if (!std::isfinite(v)) return "null";
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string csvText(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::vector<ExportPoint> exportPoints(const CInfo& info, const SectionLists& lists, const PileAnalysis& pile,
                                      const PickTrail& trail) {
    std::vector<ExportPoint> out;
    for (const SectionAnalysis& s : pile.sections) {
        if (!lists[s.slot]) continue;
        const std::vector<PointValues> values = sectionPointValues(info, *lists[s.slot], s.slot, pile.graded);
        for (size_t i = 0; i < values.size(); ++i) {
            ExportPoint p;
            p.section = s.name;
            p.level = static_cast<int>(i);
            p.values = values[i];
            if (i < s.psd.size()) p.psd = s.psd[i].value;
            p.handPicked = trail.handPicked(s.name, p.level);
            out.push_back(std::move(p));
        }
    }
    return out;
}

std::string exportCsv(const std::vector<ExportPoint>& points) {
    std::string out =
        "section,level,depth_m,time_us,velocity_kms,amplitude_db,psd_us2_per_m,grade,tIndex,ampIndex,"
        "hand_picked\r\n";
    for (const ExportPoint& p : points) {
        const PointValues& v = p.values;
        out += csvText(p.section) + "," + std::to_string(p.level) + "," + fixed(v.depth, 3) + ",";
        if (v.hasWave) {
            out += fixed(v.timeUs, 2) + "," + fixed(v.velocity, 4) + "," + fixed(v.amplitudeDb, 2) + ",";
        } else {
            out += ",,,";
        }
        out += (p.psd ? fixed(*p.psd, 1) : std::string()) + ",";
        out += (v.grade ? std::to_string(v.grade) : std::string()) + ",";
        out += std::to_string(v.tIndex) + "," + std::to_string(v.ampIndex) + "," + (p.handPicked ? "1" : "0");
        out += "\r\n";
    }
    return out;
}

std::string exportJson(const ExportHeader& header, const std::vector<ExportPoint>& points) {
    std::string out = "{\n  \"file\": " + jsonText(header.file) +
                      ",\n  \"pile\": " + jsonText(header.pileId) +
                      ",\n  \"standard\": " + jsonText(header.standard) +
                      ",\n  \"rules\": " + jsonText(header.rules) + ",\n  \"points\": [";
    for (size_t i = 0; i < points.size(); ++i) {
        const ExportPoint& p = points[i];
        const PointValues& v = p.values;
        out += i ? ",\n    {" : "\n    {";
        out += "\"section\": " + jsonText(p.section) + ", \"level\": " + std::to_string(p.level) +
               ", \"depth\": " + shortest(v.depth);
        out += ", \"time\": " + (v.hasWave ? shortest(v.timeUs) : "null");
        out += ", \"velocity\": " + (v.hasWave ? shortest(v.velocity) : "null");
        out += ", \"amplitude\": " + (v.hasWave ? shortest(v.amplitudeDb) : "null");
        out += ", \"psd\": " + (p.psd ? shortest(*p.psd) : "null");
        out += ", \"grade\": " + (v.grade ? std::to_string(v.grade) : "null");
        out += ", \"tIndex\": " + std::to_string(v.tIndex) + ", \"ampIndex\": " + std::to_string(v.ampIndex);
        out += std::string(", \"handPicked\": ") + (p.handPicked ? "true" : "false") + "}";
    }
    out += points.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

}  // namespace lx9
