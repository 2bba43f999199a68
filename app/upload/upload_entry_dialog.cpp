// "上传" from the console: the upload dialog over the program's globals.
#include "acquisition/console_controller.h"
#include "acquisition/console_rules.h"
#include "acquisition/shared_flags.h"
#include "analysis/algorithm.h"
#include "ui/touch_keyboard_dialog.h"
#include "upload/upload_dialog.h"

namespace lx9 {

void openUploadDialog(ConsoleController& console, MessageSink& sink, QWidget* parent) {
    UploadDialogContext c;
    c.info = &currentInfo;
    c.infoLock = &currentInfoLock;
    c.lists = [] { return globalSectionLists(); };
    c.settings = &uploadSettings;
    c.sink = &sink;
    c.browse = [&console] { console.click(kBtnOpen); };
    c.opening = [&console] { return console.promptForm() != nullptr; };
    c.numberPad = analysis_ui::numberPad(sink);
    // "系统键盘": the desktop's on-screen keyboard, or the built-in one; closed with the dialog.
    SystemKeyboard keyboard(parent);
    c.systemKeyboard = [&keyboard] { keyboard.open(); };
    CDlgUpdataSet dialog(std::move(c), parent);
    dialog.exec();
}

}  // namespace lx9
