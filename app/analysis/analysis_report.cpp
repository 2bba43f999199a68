#include "analysis/analysis_report.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace lx9 {
namespace {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), pattern, again);
        out.resize(static_cast<size_t>(n));
    }
    va_end(again);
    return out;
}

const char* statusWord(float critical) {
    switch (criticalStatus(critical)) {
        case CriticalStatus::TooFewValues:
            return "too_few_values";
        case CriticalStatus::NoValueLeft:
            return "no_value_left";
        case CriticalStatus::Value:
            break;
    }
    return "value";
}

std::string describeDbjStatus(const DbjSectionResult& r) {
    if (r.status == -998) return "-998 (too few usable values)";
    if (r.status == -999) return "-999 (no value left after exclusion)";
    return format("%.3f km/s", r.criticalVelocity);
}

std::string belowWords(const PointFinding& f) {
    if (f.belowVelocity && f.belowAmplitude) return "velocity, amplitude";
    if (f.belowVelocity) return "velocity";
    if (f.belowAmplitude) return "amplitude";
    return "-";
}

// ---- table ----

void tableSection(std::string& out, const PileAnalysis& pile, const SectionAnalysis& s) {
    out += format("Section %s: %d points, %d used\n", s.name.c_str(), s.pointCount, s.velocity.count);
    out += format("  velocity   mean %.3f km/s, deviation %.3f km/s, critical %s", s.velocity.mean,
                  s.velocity.deviation, describeCritical(s.criticalVelocity, "km/s", 3).c_str());
    if (pile.graded) {
        out += format(" (pile); this section's own %s", describeDbjStatus(s.dbjSection).c_str());
    }
    out += "\n";
    out += format("  amplitude  mean %.2f dB, deviation %.2f dB, critical %s\n", s.amplitude.mean,
                  s.amplitude.deviation, describeCritical(s.criticalAmplitudeDb, "dB", 2).c_str());
    if (s.psd.empty()) {
        out += "  PSD        no pair of points\n";
    } else {
        out += format("  PSD        max %.1f us2/m at %.2f m\n", s.psdMax, s.psdMaxDepth);
    }
    if (pile.graded) {
        out += format("  grades     1: %d  2: %d  3: %d  4: %d\n", s.gradeCounts[0], s.gradeCounts[1],
                      s.gradeCounts[2], s.gradeCounts[3]);
    }
    if (s.findings.empty()) {
        out += "  no point below the critical values\n";
        return;
    }
    out += format("  %zu point%s below the critical values%s:\n", s.findings.size(),
                  s.findings.size() == 1 ? "" : "s", pile.graded ? " or graded 2 to 4" : "");
    out += "     index  depth(m)  velocity(km/s)  amplitude(dB)  grade  below\n";
    for (const PointFinding& f : s.findings) {
        const std::string grade = f.grade ? format("%d", f.grade) : "-";
        out += format("    %6d  %8.2f  %14.3f  %13.2f  %5s  %s\n", f.index, f.depth, f.velocity,
                      f.amplitudeDb, grade.c_str(), belowWords(f).c_str());
    }
}

std::string table(const ReportHeader& h, const std::vector<PileAnalysis>& analyses) {
    std::string out = format("File: %s\n", h.file.c_str());
    out += format("Pile %s, site %s, tested %s, step %d mm%s\n", h.pileId.c_str(), h.siteName.c_str(),
                  h.testDate.c_str(), h.stepMm, h.repicked ? ", every point re-picked" : "");
    for (const PileAnalysis& pile : analyses) {
        out += format("\nStandard %s (%.*s)\n", pile.standard.c_str(), static_cast<int>(pile.rules.size()),
                      pile.rules.data());
        if (pile.graded) {
            out += pile.pileCriticalVelocity > 0.0f
                       ? format("Pile critical velocity %.3f km/s (mean of the sections')\n",
                                pile.pileCriticalVelocity)
                       : std::string("Pile critical velocity 0 (a section has no critical velocity)\n");
        }
        if (pile.sections.empty()) out += "No section takes part in the test.\n";
        for (const SectionAnalysis& s : pile.sections)
            tableSection(out, pile, s);
    }
    return out;
}

// ---- CSV ----

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string number(double v, const char* pattern) {
    return std::isfinite(v) ? format(pattern, v) : std::string();
}

std::string csv(const std::vector<PileAnalysis>& analyses) {
    std::string out =
        "record,standard,rules,section,points,used,velocity_mean_kms,velocity_deviation_kms,"
        "critical_velocity_kms,critical_velocity_status,amplitude_mean_db,amplitude_deviation_db,"
        "critical_amplitude_db,critical_amplitude_status,psd_max,psd_max_depth_m,pile_critical_velocity_kms,"
        "point_index,depth_m,velocity_kms,amplitude_db,grade,below_velocity,below_amplitude\r\n";
    for (const PileAnalysis& pile : analyses) {
        const std::string lead = csvField(pile.standard) + "," + csvField(pile.rules);
        const std::string pileVc = pile.graded ? number(pile.pileCriticalVelocity, "%.4f") : std::string();
        for (const SectionAnalysis& s : pile.sections) {
            out += "section," + lead + "," + csvField(s.name) +
                   format(",%d,%d,", s.pointCount, s.velocity.count);
            out += number(s.velocity.mean, "%.4f") + "," + number(s.velocity.deviation, "%.4f") + ",";
            out += number(s.criticalVelocity, "%.4f") + "," + statusWord(s.criticalVelocity) + ",";
            out += number(s.amplitude.mean, "%.2f") + "," + number(s.amplitude.deviation, "%.2f") + ",";
            out += number(s.criticalAmplitudeDb, "%.2f") + "," + statusWord(s.criticalAmplitudeDb) + ",";
            out += (s.psd.empty() ? std::string(",")
                                  : number(s.psdMax, "%.1f") + "," + number(s.psdMaxDepth, "%.3f"));
            out += "," + pileVc + ",,,,,,,\r\n";
            for (const PointFinding& f : s.findings) {
                out += "point," + lead + "," + csvField(s.name) + ",,,,,,,,,,,,,,";
                out += format("%d,", f.index) + number(f.depth, "%.3f") + "," + number(f.velocity, "%.4f") +
                       "," + number(f.amplitudeDb, "%.2f") + ",";
                out += (f.grade ? format("%d", f.grade) : std::string()) + ",";
                out +=
                    std::string(f.belowVelocity ? "1" : "0") + "," + (f.belowAmplitude ? "1" : "0") + "\r\n";
            }
        }
    }
    return out;
}

// ---- JSON ----

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += format("\\u%04x", c);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

// The shortest text that reads back as the same float; null for what JSON cannot carry.
std::string jsonNumber(float v) {
    if (!std::isfinite(v)) return "null";
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

// Means and deviations are doubles; ten digits say more than the measurements do.
std::string jsonNumber(double v) {
    return std::isfinite(v) ? format("%.10g", v) : std::string("null");
}

std::string jsonCritical(float critical, const ValueStatistics& stats) {
    return format("{\"count\": %d, \"mean\": %s, \"deviation\": %s, \"critical\": %s, \"status\": \"%s\"}",
                  stats.count, jsonNumber(stats.mean).c_str(), jsonNumber(stats.deviation).c_str(),
                  jsonNumber(critical).c_str(), statusWord(critical));
}

std::string json(const ReportHeader& h, const std::vector<PileAnalysis>& analyses) {
    std::string out = "{\n";
    out += "  \"file\": " + jsonString(h.file) + ",\n";
    out += "  \"pile\": " + jsonString(h.pileId) + ",\n";
    out += "  \"site\": " + jsonString(h.siteName) + ",\n";
    out += "  \"date\": " + jsonString(h.testDate) + ",\n";
    out += format("  \"stepMm\": %d,\n  \"repicked\": %s,\n", h.stepMm, h.repicked ? "true" : "false");
    out += "  \"analyses\": [";
    for (size_t a = 0; a < analyses.size(); ++a) {
        const PileAnalysis& pile = analyses[a];
        out += a ? ",\n    {" : "\n    {";
        out += "\"standard\": " + jsonString(pile.standard) + ", \"rules\": " + jsonString(pile.rules);
        out += format(", \"graded\": %s", pile.graded ? "true" : "false");
        out +=
            ", \"pileCriticalVelocity\": " + (pile.graded ? jsonNumber(pile.pileCriticalVelocity) : "null");
        out += ", \"sections\": [";
        for (size_t k = 0; k < pile.sections.size(); ++k) {
            const SectionAnalysis& s = pile.sections[k];
            out += k ? ",\n      {" : "\n      {";
            out += format("\"slot\": %d, \"name\": ", s.slot) + jsonString(s.name);
            out += format(", \"points\": %d", s.pointCount);
            out += ",\n       \"velocity\": " + jsonCritical(s.criticalVelocity, s.velocity);
            out += ", \"criticalVelocityMmS\": " + jsonNumber(s.criticalVelocityMmS);
            out += ",\n       \"amplitude\": " + jsonCritical(s.criticalAmplitudeDb, s.amplitude);
            out += ",\n       \"psd\": {\"max\": " + (s.psd.empty() ? "null" : jsonNumber(s.psdMax)) +
                   ", \"depth\": " + (s.psd.empty() ? "null" : jsonNumber(s.psdMaxDepth)) + "}";
            if (pile.graded) {
                out += format(",\n       \"sectionStatus\": %d, \"sectionCriticalVelocity\": ",
                              s.dbjSection.status) +
                       jsonNumber(s.dbjSection.criticalVelocity);
                out += format(", \"gradeCounts\": [%d, %d, %d, %d]", s.gradeCounts[0], s.gradeCounts[1],
                              s.gradeCounts[2], s.gradeCounts[3]);
            }
            out += ",\n       \"findings\": [";
            for (size_t i = 0; i < s.findings.size(); ++i) {
                const PointFinding& f = s.findings[i];
                out += i ? ",\n         " : "\n         ";
                out += format("{\"index\": %d, \"depth\": ", f.index) + jsonNumber(f.depth) +
                       ", \"velocity\": " + jsonNumber(f.velocity) +
                       ", \"amplitude\": " + jsonNumber(f.amplitudeDb);
                out += ", \"grade\": " + (f.grade ? format("%d", f.grade) : std::string("null"));
                out += format(", \"belowVelocity\": %s, \"belowAmplitude\": %s}",
                              f.belowVelocity ? "true" : "false", f.belowAmplitude ? "true" : "false");
            }
            out += "]}";
        }
        out += "]}";
    }
    out += "\n  ]\n}\n";
    return out;
}

}  // namespace

std::optional<ReportFormat> reportFormatFromText(std::string_view text) {
    if (text == "table") return ReportFormat::Table;
    if (text == "csv") return ReportFormat::Csv;
    if (text == "json") return ReportFormat::Json;
    return std::nullopt;
}

std::string describeCritical(float value, std::string_view unit, int decimals) {
    switch (criticalStatus(value)) {
        case CriticalStatus::TooFewValues:
            return "-998 (too few usable values)";
        case CriticalStatus::NoValueLeft:
            return "-999 (no value left after exclusion)";
        case CriticalStatus::Value:
            break;
    }
    return format("%.*f %.*s", decimals, value, static_cast<int>(unit.size()), unit.data());
}

std::string formatReport(const ReportHeader& header, const std::vector<PileAnalysis>& analyses,
                         ReportFormat format) {
    switch (format) {
        case ReportFormat::Csv:
            return csv(analyses);
        case ReportFormat::Json:
            return json(header, analyses);
        case ReportFormat::Table:
            break;
    }
    return table(header, analyses);
}

}  // namespace lx9
