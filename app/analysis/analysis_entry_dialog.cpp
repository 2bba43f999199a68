// "分析" from the console: the workbench over the program's test record and point lists.
#include "acquisition/console_controller.h"
#include "analysis/algorithm.h"
#include "analysis/analysis_dialog.h"

namespace lx9 {

void openAnalysisDialog(ConsoleController& console, MessageSink& sink, QWidget* parent) {
    (void)console;  // the console is modal-blocked while the workbench runs: nothing to pause
    AnalysisDialogOptions options;
    options.sink = &sink;
    options.numberPad = analysis_ui::numberPad(sink);
    // The report writer's place: set options.generateReport once the report module is linked.
    CDlg_Analysis dialog(currentInfo, globalSectionLists(), std::move(options), parent);
    dialog.exec();
}

}  // namespace lx9
