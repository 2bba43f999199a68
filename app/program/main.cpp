// `LX9`: the touch-screen program. Composition root: the single-instance rule, Qt with the
// font aliases, the instrument link, the console window with its message boxes, what the console
// runs on (its mailbox and the service thread, then the workers it starts), the upload's thread,
// the console controller (which loads the settings), the screens the console opens, then the
// event loop. Everything is stopped in reverse order with bounded waits: the controller (its
// worker), the upload, the runtime (mailbox, then the service thread), then the window.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QProcess>
#include <QTimer>

#include "acquisition/console_controller.h"
#include "acquisition/console_runtime.h"
#include "acquisition/console_screens.h"
#include "acquisition/console_window.h"
#include "acquisition/instance_lock.h"
#include "data/data_folder.h"
#include "data/settings_store.h"
#include "instrument/kaxil_link.h"
#include "program/program_options.h"
#include "program/program_screens.h"
#include "program/self_test.h"
#include "ui/gui_application.h"
#include "ui/message_box_sink.h"
#include "upload/upload_job.h"

namespace {

std::filesystem::path ownExecutable(const char* argv0) {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::absolute(argv0) : exe;
}

bool launchDetached(const lx9::LaunchCommand& c) {
    QStringList args;
    for (const auto& a : c.arguments)
        args << QString::fromStdString(a);
    const bool ok = QProcess::startDetached(QString::fromStdString(c.program.string()), args,
                                            QString::fromStdString(c.program.parent_path().string()));
    if (!ok) std::fprintf(stderr, "LX9: could not start %s\n", c.program.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const lx9::program::ProgramOptions options = lx9::program::parseProgramArguments(args);
    if (options.help || !options.error.empty()) {
        if (!options.error.empty()) std::fprintf(stderr, "LX9: %s\n", options.error.c_str());
        std::fputs(lx9::program::kProgramUsage, options.help ? stdout : stderr);
        return options.help ? 0 : 2;
    }

    // One console per machine, unless an argument says this is a relaunch or a tool run.
    std::unique_ptr<lx9::InstanceLock> instance;
    if (!lx9::takeSingleInstance(argc, instance)) {
        std::fprintf(stderr, "LX9 is already running\n");
        return 1;
    }

    lx9::ui::installFontAliases();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("LX9"));

    const std::filesystem::path executable = ownExecutable(argv[0]);
    lx9::KaxilLink link;
    lx9::ConsoleWindow window;
    lx9::ui::MessageBoxSink boxes(&window);
    window.setMessageBoxes(&boxes);
    window.setDataFolder(lx9::dataFolder(lx9::settingsDirectory()));
    window.setOfficeWindow(options.window);
    if (!options.window) window.setRelaunch(executable, launchDetached);

    int exitCode = 0;
    {
        lx9::ConsoleRuntime runtime;
        lx9::UploadJob upload;
        lx9::ConsoleController controller(link, window, boxes, runtime);
        window.attach(controller);
        lx9::program::ConsoleParts parts;
        parts.upload = &upload;
        lx9::program::installConsoleParts(window, controller, boxes, parts);
        window.showConsole(!options.window);
        if (!options.selfTestDir.empty()) lx9::program::prepareSelfTest();
        QTimer::singleShot(0, &window, [&] {
            window.start();
            if (!options.selfTestDir.empty())
                lx9::program::runSelfTest(window, controller, options.selfTestDir, exitCode);
        });
        const int rc = app.exec();
        if (exitCode == 0) exitCode = rc;
        // Ends in reverse: the controller's worker, an upload still running, then the mailbox and
        // the service thread, all before the window.
    }
    return exitCode;
}
