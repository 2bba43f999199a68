// The screens the console window opens over itself, as hooks the program's composition root
// fills: the test-time dialogs (their forms are the controller's), the setup, the analysis
// workbench and the upload dialog. The console window calls them from ConsoleView's
// dialogOpened/dialogClosed/redraw(kViewDialogs)/openSetup/openAnalysis/openUpload; a hook left
// empty means that screen is not part of this program (a test that does not need it).
//
// Threading: the user-interface thread only.
#pragma once

#include <functional>

#include "acquisition/console_view.h"

class QWidget;

namespace lx9 {

struct ConsoleScreens {
    // A test-time dialog the controller opened or closed; refresh after kViewDialogs.
    std::function<void(ConsoleDialog dialog, QWidget* console)> openTestDialog;
    std::function<void(ConsoleDialog dialog)> closeTestDialog;
    std::function<void()> refreshTestDialogs;
    // "设置", "分析" and "上传": modal over the console.
    std::function<void(QWidget* console)> openSetup;
    std::function<void(QWidget* console)> openAnalysis;
    std::function<void(QWidget* console)> openUpload;
};

}  // namespace lx9
