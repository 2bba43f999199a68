#include "ui/gui_application.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdlib>
#include <filesystem>

namespace lx9::ui {
namespace {

constexpr const char* kOffscreenScreenName = "offscreen-1024x768.json";

bool isFile(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

// Qt wants a private runtime folder and warns on every start without one (a plain ssh session, a
// CI runner). Make the one it would fall back to, owner-only, and say so in the environment.
void ensureRuntimeDir() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) return;
    const std::string dir = "/tmp/runtime-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return;
    if ((st.st_mode & 0777) != 0700 && ::chmod(dir.c_str(), 0700) != 0) return;
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
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
    ensureRuntimeDir();
    if (const char* platform = std::getenv("QT_QPA_PLATFORM"); !platform || !*platform)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt keeps references to argc and argv for the application's lifetime.
    static int argc = 1;
    static char name[] = "lx9";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QGuiApplication>(argc, argv);
}

OffscreenGui::~OffscreenGui() = default;

std::string offscreenScreenFile() {
    if (const char* env = std::getenv("LX9_OFFSCREEN_SCREEN"); env && *env && isFile(env)) return env;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && isFile(exe.parent_path() / kOffscreenScreenName))
        return (exe.parent_path() / kOffscreenScreenName).string();
#ifdef LX9_OFFSCREEN_SCREEN_BUILD_PATH
    if (isFile(LX9_OFFSCREEN_SCREEN_BUILD_PATH)) return LX9_OFFSCREEN_SCREEN_BUILD_PATH;
#endif
    return {};
}

OffscreenWidgets::OffscreenWidgets() {
    if (QCoreApplication::instance()) return;
    installFontAliases();
    ensureRuntimeDir();
    if (const char* platform = std::getenv("QT_QPA_PLATFORM"); !platform || !*platform) {
        // Without the screen file the offscreen screen is 800×600 and every layout is judged
        // on the wrong size, so the file is required rather than quietly left out.
        const std::string screen = offscreenScreenFile();
        const std::string value = screen.empty() ? "offscreen" : "offscreen:configfile=" + screen;
        ::setenv("QT_QPA_PLATFORM", value.c_str(), 1);
    }
    static int argc = 1;
    static char name[] = "LX9";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
}

OffscreenWidgets::~OffscreenWidgets() = default;

}  // namespace lx9::ui
