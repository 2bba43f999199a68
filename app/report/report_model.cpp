#include "report/report_model.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "analysis/analysis_report.h"
#include "analysis/section_statistics.h"

namespace lx9 {
namespace {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char buffer[512];
    va_list args;
    va_start(args, pattern);
    const int n = std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return n > 0 ? std::string(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1))
                 : std::string();
}

std::string trim(std::string_view text) {
    const size_t a = text.find_first_not_of(" \t");
    if (a == std::string_view::npos) return {};
    const size_t b = text.find_last_not_of(" \t");
    return std::string(text.substr(a, b - a + 1));
}

const char* testModeText(int32_t mode) {
    switch (mode) {
        case kInclined:
            return "斜测";
        case kFan:
            return "扇形测";
        default:
            return "平测";
    }
}

std::string belowText(const PointFinding& f) {
    if (f.belowVelocity && f.belowAmplitude) return "声速、波幅";
    if (f.belowVelocity) return "声速";
    if (f.belowAmplitude) return "波幅";
    return "-";
}

std::string gradeText(int grade) {
    static const char* const names[] = {"-", "Ⅰ", "Ⅱ", "Ⅲ", "Ⅳ"};
    return grade >= 1 && grade <= 4 ? names[grade] : names[0];
}

std::vector<ReportField> statistics(const PileAnalysis& pile, const SectionAnalysis& s) {
    std::vector<ReportField> f;
    f.push_back({"测点数", format("%d（参与统计 %d）", s.pointCount, s.velocity.count)});
    f.push_back({"声速平均值", format("%.3f km/s", s.velocity.mean)});
    f.push_back({"声速标准差", format("%.3f km/s", s.velocity.deviation)});
    f.push_back(
        {pile.graded ? "声速临界值（全桩）" : "声速临界值", describeCritical(s.criticalVelocity, "km/s", 3)});
    if (pile.graded) {
        const DbjSectionResult& r = s.dbjSection;
        f.push_back({"本剖面声速临界值", r.status == -998   ? describeCritical(kTooFewValues, "", 0)
                                         : r.status == -999 ? describeCritical(kNoValueLeft, "", 0)
                                                            : format("%.3f km/s", r.criticalVelocity)});
    }
    f.push_back({"波幅平均值", format("%.2f dB", s.amplitude.mean)});
    f.push_back({"波幅标准差", format("%.2f dB", s.amplitude.deviation)});
    f.push_back({"波幅临界值", describeCritical(s.criticalAmplitudeDb, "dB", 2)});
    f.push_back({"PSD 最大值", s.psd.empty() ? std::string("无（测点不足两个）")
                                             : format("%.1f µs²/m（深度 %.2f m）", s.psdMax, s.psdMaxDepth)});
    if (pile.graded) {
        f.push_back({"各类测点数", format("Ⅰ: %d  Ⅱ: %d  Ⅲ: %d  Ⅳ: %d", s.gradeCounts[0], s.gradeCounts[1],
                                          s.gradeCounts[2], s.gradeCounts[3])});
    }
    return f;
}

ReportTable findings(const SectionAnalysis& s) {
    ReportTable t;
    t.columns = {"测点", "深度 (m)", "声速 (km/s)", "波幅 (dB)", "PSD (µs²/m)", "类别", "低于临界值"};
    for (const PointFinding& f : s.findings) {
        const bool hasPsd = f.index >= 0 && f.index < static_cast<int>(s.psd.size());
        t.rows.push_back({format("%d", f.index), format("%.2f", f.depth), format("%.3f", f.velocity),
                          format("%.2f", f.amplitudeDb), hasPsd ? format("%.1f", s.psd[f.index].value) : "-",
                          gradeText(f.grade), belowText(f)});
    }
    return t;
}

std::string pickText(int from, int to) {
    return format("%d → %d", from, to);
}

}  // namespace

std::optional<std::vector<std::string>> parseSectionList(std::string_view text) {
    std::vector<std::string> names;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        std::string name =
            trim(text.substr(start, comma == std::string_view::npos ? text.size() - start : comma - start));
        if (name.empty()) return std::nullopt;
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return names;
}

bool isKnownStandard(std::string_view standard) {
    return standard == kStandardBuilding || standard == kStandardGuangdong || standard == kStandardHighway ||
           standard == kStandardRailway;
}

std::string pileClassText(int pileClass) {
    return pileClass >= 1 && pileClass <= 4 ? gradeText(pileClass) + "类桩" : std::string();
}

int pileClassOf(const PileAnalysis& pile) {
    int worst = 0;
    for (const SectionAnalysis& s : pile.sections) {
        for (int g = 4; g > worst; --g) {
            if (s.gradeCounts[g - 1] > 0) {
                worst = g;
                break;
            }
        }
    }
    return pile.graded ? worst : 0;
}

std::optional<ReportModel> buildReportModel(const CInfo& info, const SectionLists& lists,
                                            const ReportOptions& options, const PickTrail& trail,
                                            std::string& error) {
    const std::string standard = options.standard.empty() ? info.standard : options.standard;
    // The statistics interval of the Guangdong rules is the caller's (the workbench may have moved it).
    return buildReportModel(info, analysePile(info, lists, standard), options, trail, error);
}

std::optional<ReportModel> buildReportModel(const CInfo& info, const PileAnalysis& pile,
                                            const ReportOptions& options, const PickTrail& trail,
                                            std::string& error) {
    std::vector<const SectionAnalysis*> chosen;
    for (const std::string& name : options.sections) {
        const auto it = std::find_if(pile.sections.begin(), pile.sections.end(),
                                     [&](const SectionAnalysis& s) { return s.name == name; });
        if (it == pile.sections.end()) {
            error = "section " + name + " is not in the test (present:";
            for (const SectionAnalysis& s : pile.sections)
                error += " " + s.name;
            error += ")";
            return std::nullopt;
        }
        chosen.push_back(&*it);
    }
    if (options.sections.empty()) {
        for (const SectionAnalysis& s : pile.sections)
            chosen.push_back(&s);
    }
    // Slot order whatever order the names came in: the report reads like the test.
    std::sort(chosen.begin(), chosen.end(), [](auto* a, auto* b) { return a->slot < b->slot; });

    ReportModel m;
    m.title = "基桩声波透射法检测报告";
    m.standard = pile.standard;
    m.rules = std::string(pile.rules);
    m.graded = pile.graded;
    m.pileCriticalVelocity = pile.pileCriticalVelocity;
    m.pileClass = pileClassOf(pile);

    m.header = {
        {"工程名称", info.siteName},
        {"检测单位", info.unitName},
        {"检测人员", info.personName},
        {"桩号", info.pileId},
        {"检测日期", info.testDate},
        {"桩长", format("%.2f m", info.pileLength)},
        {"管数", format("%d", info.pipeCount)},
        {"移距", format("%d mm", info.stepMm)},
        {"测试方式", testModeText(info.testMode)},
        {"规范", m.rules.empty() ? m.standard : m.standard + "（" + m.rules + "）"},
        {"数据文件", options.sourceFile},
        {"报告时间", options.generated},
    };
    if (m.graded) {
        m.header.push_back({"全桩声速临界值", m.pileCriticalVelocity > 0.0f
                                                  ? format("%.3f km/s", m.pileCriticalVelocity)
                                                  : std::string("0（有剖面无临界值）")});
        m.header.push_back(
            {"桩身完整性", m.pileClass ? pileClassText(m.pileClass) : std::string("无分类测点")});
    }

    m.summary.columns = {"剖面", "声速临界值", "波幅临界值", "PSD 最大值 (µs²/m)", "低于临界值测点"};
    m.settings.columns = {"剖面", "跨距 (mm)", "增益", "延时 (µs)", "零声时 (µs)", "测点数"};
    std::vector<std::string> names;
    for (const SectionAnalysis* s : chosen) {
        const SectionPara& p = info.sections[s->slot];
        m.settings.rows.push_back({s->name, format("%d", p.spacing), format("%d", p.gain),
                                   format("%.1f", p.delay), format("%.2f", p.zeroTime),
                                   format("%d", s->pointCount)});
        names.push_back(s->name);
        m.summary.rows.push_back({s->name, describeCritical(s->criticalVelocity, "km/s", 3),
                                  describeCritical(s->criticalAmplitudeDb, "dB", 2),
                                  s->psd.empty() ? "-" : format("%.1f", s->psdMax),
                                  format("%zu", s->findings.size())});
        ReportSection r;
        r.slot = s->slot;
        r.name = s->name;
        r.analysis = *s;
        r.statistics = statistics(pile, *s);
        r.findings = findings(*s);
        m.sections.push_back(std::move(r));
    }

    m.trail.columns = {"时间", "检测人员", "剖面", "测点", "深度 (m)", "声时点", "波幅点", "操作"};
    m.trailSkipped = trail.skippedLines;
    for (const PickTrailEntry& e : trail.entries) {
        if (std::find(names.begin(), names.end(), e.section) == names.end()) continue;
        m.trail.rows.push_back({e.time, e.tester, e.section, format("%d", e.level), format("%.2f", e.depth),
                                pickText(e.oldTIndex, e.newTIndex), pickText(e.oldAmpIndex, e.newAmpIndex),
                                e.restore ? "恢复" : "手动判读"});
    }
    return m;
}

}  // namespace lx9
