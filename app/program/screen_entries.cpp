// The screens behind the console's 设置, 分析 and 上传 buttons, each a modal dialog over the
// program's globals: only the program joins the console to the dialogs of the other folders.
#include "program/screen_entries.h"

#include "acquisition/console_controller.h"
#include "acquisition/console_rules.h"
#include "acquisition/console_window.h"
#include "analysis/algorithm.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "report/report_progress_dialog.h"
#include "report/report_writer.h"
#include "setup/setup_dialog.h"
#include "ui/touch_keyboard_dialog.h"
#include "upload/upload_dialog.h"
#include "workbench/analysis_dialog.h"

namespace lx9::program {

void openSetupDialog(ConsoleController& controller, MessageSink& sink, QWidget* parent) {
    SetupDialogHooks hooks;
    hooks.setDepthListener = [&controller](std::function<void(uint16_t)> listener) {
        controller.setDepthListener(std::move(listener));
    };
    if (auto* console = dynamic_cast<ConsoleWindow*>(parent)) {
        hooks.dataFolderChanged = [console](const std::filesystem::path& folder) {
            console->setDataFolder(folder);
        };
        // The console reads the keys from the record; its captions show them after a redraw.
        hooks.hotkeysChanged = [console] { console->redraw(kViewButtons); };
    }
    CDlg_Set dialog(sharedCurrentInfo(), savedInfo, controller, sink, nullptr, std::move(hooks), parent);
    dialog.exec();
}

void openAnalysisDialog(ConsoleController& console, MessageSink& sink, QWidget* parent) {
    (void)console;  // the console is modal-blocked while the workbench runs: nothing to pause
    AnalysisDialogOptions options;
    options.sink = &sink;
    options.numberPad = touch_ui::numberPad(sink);
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

void openUploadDialog(ConsoleController& console, MessageSink& sink, UploadJob& upload, QWidget* parent) {
    UploadDialogContext c;
    c.info = sharedCurrentInfo();
    c.lists = [] { return globalSectionLists(); };
    c.settings = &uploadSettings;
    c.sink = &sink;
    c.browse = [&console] { console.click(kBtnOpen); };
    c.opening = [&console] { return console.promptForm() != nullptr; };
    c.numberPad = touch_ui::numberPad(sink);
    c.job = &upload;
    // "系统键盘": the desktop's on-screen keyboard, or the built-in one; closed with the dialog.
    SystemKeyboard keyboard(parent);
    c.systemKeyboard = [&keyboard] { keyboard.open(); };
    CDlgUpdataSet dialog(std::move(c), parent);
    dialog.exec();
}

}  // namespace lx9::program
