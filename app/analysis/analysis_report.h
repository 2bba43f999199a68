// Text forms of pile analyses: a table for people, CSV and JSON for scripts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/pile_analysis.h"

namespace lx9 {

enum class ReportFormat { Table, Csv, Json };
std::optional<ReportFormat> reportFormatFromText(std::string_view text);

// What the report says about the test as a whole.
struct ReportHeader {
    std::string file;
    std::string pileId;
    std::string siteName;
    std::string testDate;
    int32_t stepMm = 0;
    bool repicked = false;
};

// A critical value in words: the number with its unit, or the meaning of −998 / −999.
std::string describeCritical(float value, std::string_view unit, int decimals);

std::string formatReport(const ReportHeader& header, const std::vector<PileAnalysis>& analyses,
                         ReportFormat format);

}  // namespace lx9
