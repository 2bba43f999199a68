// The console's 设置, 分析 and 上传 screens, opened modally over the console window. Qt;
// user-interface thread.
#pragma once

class QWidget;

namespace lx9 {
class ConsoleController;
class MessageSink;
class UploadJob;
}  // namespace lx9

namespace lx9::program {

void openSetupDialog(ConsoleController& controller, MessageSink& sink, QWidget* parent);
void openAnalysisDialog(ConsoleController& console, MessageSink& sink, QWidget* parent);
// The upload runs on `upload`, the program's upload thread.
void openUploadDialog(ConsoleController& console, MessageSink& sink, UploadJob& upload, QWidget* parent);

}  // namespace lx9::program
