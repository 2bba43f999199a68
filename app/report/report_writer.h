// Writing a test report: PDF (A4 pages, page numbers, fonts embedded, the pictures as vectors)
// or a self-contained HTML page (pictures embedded as data: URIs). The command line's `lx9
// report` and the workbench's "生成报告" both call writeReport. Part of lx9gui; the header is
// Qt-free so callers need not be.
//
// Needs a QGuiApplication (fonts); runs on the thread that owns it. The file appears whole or not
// at all: it is written under a temporary name beside the target and renamed.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

enum class ReportKind { Pdf, Html };
// From the file name's extension: .pdf, .html or .htm in any case; nullopt for anything else.
std::optional<ReportKind> reportKindFor(const std::filesystem::path& out);

struct ReportRequest {
    // The test's .CHT (or base path): opened when `info` is null; always names the hand-pick trail
    // and the file shown in the header.
    std::string file;
    // A test already in memory (the workbench's, with its picks and Guangdong intervals as they
    // stand). Read under each list's lock; the caller keeps them alive during the call.
    const CInfo* info = nullptr;
    SectionLists lists{};
    std::string standard;               // empty: the record's
    std::vector<std::string> sections;  // names; empty: every present section
    std::filesystem::path out;          // .pdf or .html
};

// done of total, and what is being done ("剖面 1-2 波列图").
using ReportProgress = std::function<void(int done, int total, const std::string& what)>;

struct ReportOutcome {
    int exitCode = 0;   // 0 written; 2 bad input (nothing written); 1 the file could not be written
    std::string error;  // for the user
    int pages = 0;      // PDF pages
    int pictures = 0;   // pictures drawn
};

ReportOutcome writeReport(const ReportRequest& request, const ReportProgress& progress = {});

// Where the workbench puts a report: beside the pair, "NAME-报告.pdf".
std::filesystem::path defaultReportPath(const std::string& chtPath);

}  // namespace lx9
