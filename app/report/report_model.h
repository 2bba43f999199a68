// What a test report says, as texts and tables, apart from how a page or a browser shows it:
// the job and pile, the settings of each section, the standard with its rules, per section the
// statistics and the points below the critical values, the Guangdong grades and pile class, and
// the trail of hand picks. The PDF and HTML writers lay this out; the pictures are painted from
// the record and lists beside it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/pile_analysis.h"
#include "report/pick_trail.h"

namespace lx9 {

struct ReportField {
    std::string label;
    std::string value;
};

struct ReportTable {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

struct ReportSection {
    int slot = 0;
    std::string name;
    SectionAnalysis analysis;
    std::vector<ReportField> statistics;
    ReportTable findings;  // no rows: the section has no point below the critical values
};

struct ReportModel {
    std::string title;
    std::vector<ReportField> header;
    ReportTable settings;  // one row per reported section
    ReportTable summary;   // one row per reported section: critical values, PSD maximum, findings
    std::string standard;  // the text that chose the rules
    std::string rules;     // e.g. "JGJ 106-2003"
    bool graded = false;   // Guangdong: grades and pile class
    float pileCriticalVelocity = 0.0f;
    int pileClass = 0;  // 1..4 under the Guangdong rules (worst point grade of the pile), else 0
    std::vector<ReportSection> sections;
    ReportTable trail;  // hand picks of the reported sections, file order
    int trailSkipped = 0;
};

struct ReportOptions {
    std::string sourceFile;             // the .CHT as named by the user (header)
    std::string standard;               // the rules to apply; empty: info.standard
    std::vector<std::string> sections;  // names to report; empty: every present section
    std::string generated;              // when the report was made, shown in the header
};

// "1-2,1-3" into names; blanks around names are dropped, empty names are refused (nullopt).
std::optional<std::vector<std::string>> parseSectionList(std::string_view text);

// The standard texts a report accepts.
bool isKnownStandard(std::string_view standard);

// "Ⅰ类桩" .. "Ⅳ类桩"; empty for 0.
std::string pileClassText(int pileClass);

// The pile's class under the Guangdong grades: the worst grade of any point of any present
// section; 0 when no point is graded.
int pileClassOf(const PileAnalysis& pile);

// Analyses the pile under the options' standard (the Guangdong intervals as they stand) and
// builds the model for the chosen sections. nullopt with `error` set when a chosen section is
// not in the test.
std::optional<ReportModel> buildReportModel(const CInfo& info, const SectionLists& lists,
                                            const ReportOptions& options, const PickTrail& trail,
                                            std::string& error);

// As above from an analysis already made (the export and the report share one).
std::optional<ReportModel> buildReportModel(const CInfo& info, const PileAnalysis& pile,
                                            const ReportOptions& options, const PickTrail& trail,
                                            std::string& error);

}  // namespace lx9
