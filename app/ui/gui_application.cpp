#include "ui/gui_application.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdlib>
#include <filesystem>

namespace lx9::ui {
namespace {

bool isFile(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

std::string fontAliasFile() {
    if (const char* env = std::getenv("LX9_FONTS_CONF"); env && *env && isFile(env)) return env;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && isFile(exe.parent_path() / kFontsConfName))
        return (exe.parent_path() / kFontsConfName).string();
#ifdef LX9_FONTS_CONF_BUILD_PATH
    if (isFile(LX9_FONTS_CONF_BUILD_PATH)) return LX9_FONTS_CONF_BUILD_PATH;
#endif
    return {};
}

std::string installFontAliases() {
    if (const char* set = std::getenv("FONTCONFIG_FILE"); set && *set) return set;
    std::string file = fontAliasFile();
    if (!file.empty()) ::setenv("FONTCONFIG_FILE", file.c_str(), 1);
    return file;
}

OffscreenGui::OffscreenGui() {
    if (QCoreApplication::instance()) return;
    installFontAliases();
    if (const char* platform = std::getenv("QT_QPA_PLATFORM"); !platform || !*platform)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt keeps references to argc and argv for the application's lifetime.
    static int argc = 1;
    static char name[] = "lx9";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QGuiApplication>(argc, argv);
}

OffscreenGui::~OffscreenGui() = default;

}  // namespace lx9::ui
