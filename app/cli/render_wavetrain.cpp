#include "cli/render_wavetrain.h"

#include <QImage>
#include <QSaveFile>
#include <QString>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "cli/test_file.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "data/settings_store.h"
#include "display/wave_train_geometry.h"
#include "display/wave_train_view.h"
#include "ui/gui_application.h"

namespace lx9::cli {
namespace {

// The display choices of the settings file, read without touching it (a damaged file stays as it
// is); the record's defaults when there is none.
void applyDisplaySettings(CInfo& info) {
    std::ifstream in(settingsPath(), std::ios::binary);
    if (!in) return;
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CInfo stored;
    UploadSettings upload;
    if (!decodeSettings(bytes, stored, upload)) return;
    info.waveTrainStyle = stored.waveTrainStyle;
    info.viewOption = stored.viewOption;
    info.zoomInterval = stored.zoomInterval;
    info.grayLevels = stored.grayLevels;
    info.grayColour = stored.grayColour;
    info.colours = stored.colours;
}

bool applyStyle(const std::string& style, CInfo& info) {
    if (style.empty()) return true;
    static const std::pair<const char*, std::pair<int, int>> styles[] = {
        {"dash", {0, 1}}, {"mini", {1, 0}}, {"grey", {2, 0}}, {"curves", {3, 0}}};
    for (const auto& [name, form] : styles) {
        if (style == name) {
            info.waveTrainStyle = form.first;
            info.viewOption = form.second;
            return true;
        }
    }
    return false;
}

bool parseSize(const std::string& text, int& w, int& h) {
    char x = 0;
    char rest = 0;
    return std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &rest) == 3 && (x == 'x' || x == 'X') &&
           w >= 16 && h >= 16 && w <= 8192 && h <= 8192;
}

}  // namespace

int renderWaveTrainFile(const std::string& file, const std::string& section,
                        const WaveTrainRenderOptions& options, const std::string& out) {
    int width = 0;
    int height = 0;
    if (!parseSize(options.size, width, height)) {
        std::fprintf(stderr, "lx9 render: --size must be WxH, 16 to 8192 pixels each (got %s)\n",
                     options.size.c_str());
        return 1;
    }
    ui::OffscreenGui gui;
    LoadedTest test;
    std::string error;
    if (!loadTestFile(file, test, error)) {
        std::fprintf(stderr, "lx9 render: %s\n", error.c_str());
        return 1;
    }
    CInfo& info = test.info;
    applyDisplaySettings(info);
    applyStyle(options.style, info);
    bool found = section.empty();
    for (SectionPara& s : info.sections) {
        // A file shows the sections it holds points for, or the one asked for.
        s.display = s.present && (section.empty() || s.name == section);
        found = found || s.display;
    }
    if (!found) {
        std::fprintf(stderr, "lx9 render: section %s is not in %s\n", section.c_str(), file.c_str());
        return 1;
    }
    TrainSource source;
    source.info = &info;
    source.lists = test.pointers();
    source.testState = makeState(kStateViewing);
    const TrainForm form = trainForm(info.waveTrainStyle, info.viewOption);
    const LevelRange levels = trainLevels(source);
    const int rows = trainRows(trainColumns(width, height, 1).plotHeight);
    TrainPager pager;
    followNewest(pager, levels, rows);
    for (int k = 0; k < options.page; ++k) {
        if (!pageTrain(pager, levels, rows, -1)) {
            std::fprintf(stderr, "lx9 render: page %d is beyond the oldest points (%d pages of %d rows)\n",
                         options.page, k + 1, rows);
            return 1;
        }
    }
    const WaveTrainSnapshot snapshot = snapshotWaveTrain(source, form, width, height, pager.first);
    const QImage image = renderWaveTrainImage(layoutWaveTrain(snapshot, form, width, height, pager.first));
    QSaveFile saved(QString::fromStdString(out));
    if (!saved.open(QIODevice::WriteOnly) || !image.save(&saved, "PNG") || !saved.commit()) {
        std::fprintf(stderr, "lx9 render: could not write %s\n", out.c_str());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

}  // namespace lx9::cli
