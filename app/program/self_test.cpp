#include "program/self_test.h"

#include <cstdio>

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "acquisition/console_controller.h"
#include "acquisition/console_window.h"
#include "data/run_state.h"

namespace lx9::program {
namespace {

// Clicks the first button captioned `caption` on the modal dialog in front, if any.
bool clickOnModal(const QString& caption) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return false;
    for (QPushButton* b : modal->findChildren<QPushButton*>()) {
        if (b->isVisible() && b->isEnabled() && b->text() == caption) {
            b->click();
            return true;
        }
    }
    return false;
}

bool grabScreen(const std::filesystem::path& file) {
    QScreen* screen = QApplication::primaryScreen();
    if (!screen) return false;
    const QPixmap shot = screen->grabWindow(0);
    const bool ok = !shot.isNull() && shot.save(QString::fromStdString(file.string()), "PNG");
    std::fprintf(stderr, "LX9 self-test: %s %s\n", ok ? "wrote" : "could not write", file.c_str());
    return ok;
}

}  // namespace

void prepareSelfTest() {
    // The connection dialog and the recovery question wait for a person: answer them.
    auto* answers = new QTimer(qApp);
    QObject::connect(answers, &QTimer::timeout, [] {
        if (clickOnModal(QStringLiteral("确定"))) return;
        if (clickOnModal(QStringLiteral("放弃"))) return;
        clickOnModal(QStringLiteral("否"));
    });
    answers->start(100);
}

void runSelfTest(ConsoleWindow& window, ConsoleController& controller, const std::filesystem::path& dir,
                 int& exitCode) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!controller.connected()) {
        std::fprintf(stderr, "LX9 self-test: the instrument did not answer\n");
        exitCode = 2;
        controller.close();
        return;
    }
    QTimer::singleShot(1000, &window, [&window, &controller, dir, &exitCode] {
        bool ok = grabScreen(dir / "console.png");
        window.button(kBtnSample)->click();
        QTimer::singleShot(3000, &window, [&window, &controller, dir, &exitCode, ok]() mutable {
            const bool sampling = stateCode(controller.state()) == kStateFreeSampling;
            ok = grabScreen(dir / "console-sampling.png") && ok;
            if (!sampling) std::fprintf(stderr, "LX9 self-test: free sampling did not start\n");
            exitCode = ok && sampling ? 0 : 3;
            window.button(kBtnSample)->click();  // 暂停: "关闭" is enabled while paused
            QTimer::singleShot(300, &window, [&window, &controller] {
                window.button(kBtnClose)->click();
                if (!controller.closed()) controller.close();
            });
        });
    });
}

}  // namespace lx9::program
