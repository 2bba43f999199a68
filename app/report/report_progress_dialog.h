// The workbench's "生成报告": writeReport with a modal progress window over the workbench; the
// bar follows the report's stages (reading, analysis, each picture, writing).
//
// Threading contract: the user-interface thread; the report is written on it, the window kept
// alive by processing events at each step.
#pragma once

#include "report/report_writer.h"

class QWidget;

namespace lx9 {

ReportOutcome writeReportWithProgress(QWidget* parent, const ReportRequest& request);

}  // namespace lx9
