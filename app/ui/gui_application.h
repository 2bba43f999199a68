// Starting Qt for the program's drawing: the font aliases and, for the command-line tool and the
// tests, an application on the offscreen platform (no display needed).
#pragma once

#include <memory>
#include <string>

class QApplication;
class QGuiApplication;

namespace lx9::ui {

inline constexpr const char* kFontsConfName = "lx9-fonts.conf";

// Where the font alias file is: $LX9_FONTS_CONF, else "lx9-fonts.conf" beside the executable,
// else the build tree's copy; empty when none exists.
std::string fontAliasFile();

// Points fontconfig at the alias file (FONTCONFIG_FILE) unless the environment already names a
// configuration. Call before the first QGuiApplication. Returns the file in force, or empty.
std::string installFontAliases();

// A QGuiApplication on the offscreen platform (unless QT_QPA_PLATFORM names another), created
// when none exists and destroyed with this object. Construct it on the main thread.
class OffscreenGui {
  public:
    OffscreenGui();
    ~OffscreenGui();
    OffscreenGui(const OffscreenGui&) = delete;
    OffscreenGui& operator=(const OffscreenGui&) = delete;

  private:
    std::unique_ptr<QGuiApplication> app_;
};

// A QApplication (widgets) for the window tests and the screenshot tool: the offscreen platform
// with one fixed 1024×768 screen, the field computer's, unless QT_QPA_PLATFORM names another
// platform. Created when no application exists and destroyed with this object; main thread only.
class OffscreenWidgets {
  public:
    OffscreenWidgets();
    ~OffscreenWidgets();
    OffscreenWidgets(const OffscreenWidgets&) = delete;
    OffscreenWidgets& operator=(const OffscreenWidgets&) = delete;

  private:
    std::unique_ptr<QApplication> app_;
};

// The offscreen screen description (1024×768 at 96 dpi) the widget application uses; empty when
// the file cannot be found.
std::string offscreenScreenFile();

}  // namespace lx9::ui
