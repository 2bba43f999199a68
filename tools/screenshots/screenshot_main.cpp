// lx9-screenshots OUTDIR [NAME...]: draws every registered window and dialog into OUTDIR/*.png.
#include <cstdio>
#include <exception>
#include <map>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include "tools/screenshots/screenshot_registry.h"
#include "ui/gui_application.h"

namespace lx9::shots {
namespace {

std::map<std::string, ShotFunction>& registry() {
    static std::map<std::string, ShotFunction> shots;
    return shots;
}

}  // namespace

Registration::Registration(const char* name, ShotFunction function) {
    registry().emplace(name, std::move(function));
}

void Shot::settle(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    do {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    } while (clock.elapsed() < milliseconds);
}

void Shot::save(QWidget& widget, const std::string& name) {
    if (!widget.isVisible()) widget.show();
    settle(50);
    save(widget.grab().toImage(), name);
}

void Shot::save(const QImage& image, const std::string& name) {
    const auto file = dir_ / (name + ".png");
    if (image.isNull() || !image.save(QString::fromStdString(file.string()), "PNG")) {
        std::fprintf(stderr, "lx9-screenshots: could not write %s\n", file.c_str());
        return;
    }
    written_.push_back(file.string());
}

}  // namespace lx9::shots

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: lx9-screenshots OUTDIR [NAME...]\n");
        return 2;
    }
    lx9::ui::OffscreenWidgets gui;
    std::error_code ec;
    std::filesystem::create_directories(argv[1], ec);
    lx9::shots::Shot shot(argv[1]);
    int failures = 0;
    for (auto& [name, function] : lx9::shots::registry()) {
        bool wanted = argc == 2;
        for (int i = 2; i < argc; ++i)
            wanted = wanted || name == argv[i];
        if (!wanted) continue;
        try {
            function(shot);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "lx9-screenshots: %s failed: %s\n", name.c_str(), e.what());
            ++failures;
        }
    }
    for (const auto& file : shot.written())
        std::printf("%s\n", file.c_str());
    return failures == 0 ? 0 : 1;
}
