// The screenshot tool draws every window and dialog of LX9 into PNG files, headless, so people
// can look at them before a change lands. Each area adds a file of its own with one or more
//
//     LX9_SCREENSHOT(console) { auto w = ...; shot.save(*w, "console"); }
//
// blocks; the tool runs them all (or those named on its command line) on the offscreen
// platform's 1024×768 screen and writes NAME.png into the output folder.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QImage;
class QWidget;

namespace lx9::shots {

class Shot {
  public:
    explicit Shot(std::filesystem::path dir) : dir_(std::move(dir)) {}

    // Shows the widget (when hidden), lets Qt lay it out and paint, and grabs it into NAME.png.
    void save(QWidget& widget, const std::string& name);
    // Saves an image drawn some other way (a view's picture, a report page).
    void save(const QImage& image, const std::string& name);
    // Runs the event loop for a while (timers, queued messages, a simulator's frames).
    void settle(int milliseconds);

    const std::filesystem::path& dir() const { return dir_; }
    const std::vector<std::string>& written() const { return written_; }

  private:
    std::filesystem::path dir_;
    std::vector<std::string> written_;
};

using ShotFunction = std::function<void(Shot&)>;

struct Registration {
    Registration(const char* name, ShotFunction function);
};

}  // namespace lx9::shots

#define LX9_SCREENSHOT(name)                                                           \
    static void lx9_shot_##name(lx9::shots::Shot& shot);                               \
    static const lx9::shots::Registration lx9_shot_reg_##name(#name, lx9_shot_##name); \
    static void lx9_shot_##name([[maybe_unused]] lx9::shots::Shot& shot)
