// The views' pictures for `lx9 render`: the same geometry and painting as the console's views.
#include "cli/render_views.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <cstdio>

#include "display/curves_view.h"
#include "display/section_map_view.h"
#include "display/waveform_view.h"

namespace lx9::cli {
namespace {

int finish(const QImage& image, const RenderRequest& r) {
    if (!savePicture(image, r.out)) {
        std::fprintf(
            stderr,
            "lx9 render: could not write %s (the name must end in .png and the folder must be writable)\n",
            r.out.c_str());
        return 1;
    }
    std::printf("%s\n", r.out.c_str());
    return 0;
}

int drawWaveform(const RenderRequest& r, LoadedTest& test, int, int width, int height) {
    const int level = r.level.value_or(0);
    // Every displayed section, upper panel, one row as with the wave train shown.
    const WaveformSnapshot snap = takeWaveformSnapshot(test.info, test.pointers(), WaveSource{level, false});
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    paintWaveform(p, waveformGeometry(snap, WavePanel::Upper, true, width, height));
    p.end();
    return finish(image, r);
}

int drawCurves(const RenderRequest& r, LoadedTest& test, int slot, int width, int height) {
    const CurvesSnapshot snap = takeCurvesSnapshot(test.info, test.pointers(), slot, r.level);
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    paintCurves(p, curvesGeometry(snap, width, height));
    p.end();
    return finish(image, r);
}

int drawMap(const RenderRequest& r, LoadedTest& test, int slot, int width, int height) {
    SectionMapModel model;
    model.setPipeCount(test.info.pipeCount);
    model.offsetAngle = test.info.offsetAngle;
    model.highlightSection(test.info.sections[static_cast<size_t>(slot)].name);
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    paintSectionMap(p, sectionMapGeometry(model, width, height));
    p.end();
    return finish(image, r);
}

}  // namespace

const std::vector<RenderView>& renderViews() {
    static const std::vector<RenderView> views = {
        {"waveform", 1000, 300, drawWaveform},
        {"curves", 300, 700, drawCurves},
        {"map", 200, 200, drawMap},
    };
    return views;
}

bool savePicture(const QImage& image, const std::string& out) {
    const QString file = QString::fromStdString(out);
    if (!file.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) return false;
    QSaveFile save(file);
    if (!save.open(QIODevice::WriteOnly)) return false;
    if (!image.save(&save, "png")) {
        save.cancelWriting();
        return false;
    }
    return save.commit();
}

}  // namespace lx9::cli
