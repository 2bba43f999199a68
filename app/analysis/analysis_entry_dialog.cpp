// "分析" from the console: the workbench over the program's test record and point lists.
#include "acquisition/console_controller.h"
#include "analysis/algorithm.h"
#include "analysis/analysis_dialog.h"
#include "report/report_progress_dialog.h"
#include "report/report_writer.h"

namespace lx9 {

void openAnalysisDialog(ConsoleController& console, MessageSink& sink, QWidget* parent) {
    (void)console;  // the console is modal-blocked while the workbench runs: nothing to pause
    AnalysisDialogOptions options;
    options.sink = &sink;
    options.numberPad = analysis_ui::numberPad(sink);
    // "生成报告": the report of the test as the workbench holds it (its picks and intervals),
    // beside the pair, and the operator is told where it went.
    options.generateReport = [&sink](QWidget* owner, const CInfo& info, const SectionLists& lists) {
        if (info.chtPath.empty()) {
            sink.showMessageTitled("请先保存实验，再生成报告！", "提示");
            return;
        }
        ReportRequest request;
        request.file = info.chtPath;
        request.info = &info;
        request.lists = lists;
        request.out = defaultReportPath(info.chtPath);
        const ReportOutcome outcome = writeReportWithProgress(owner, request);
        if (outcome.exitCode == 0)
            sink.showMessageTitled("报告已写入：" + request.out.string(), "提示");
        else
            sink.showMessageTitled("报告未能写入：" + outcome.error, "警告");
    };
    CDlg_Analysis dialog(currentInfo, globalSectionLists(), std::move(options), parent);
    dialog.exec();
}

}  // namespace lx9
