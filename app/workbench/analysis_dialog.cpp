#include "workbench/analysis_dialog.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

#include "display/section_map_view.h"
#include "ui/message_sink.h"
#include "workbench/workbench_geometry.h"
#include "workbench/workbench_view.h"

namespace lx9 {
namespace {

// The section map of a test with one section highlighted (none for an empty name).
void showMap(SectionMapView* view, const CInfo& info, const std::string& section) {
    SectionMapModel model;
    model.setPipeCount(info.pipeCount);
    model.offsetAngle = info.offsetAngle;
    if (!section.empty()) model.highlightSection(section);
    view->setModel(model);
}

using touch_ui::dialogFont;
using touch_ui::kTouchHeight;
using touch_ui::qs;
using touch_ui::touchButton;

QRect screenRect(QWidget* w) {
    QScreen* s = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->geometry() : QRect(0, 0, 1024, 768);
}

void placeFullScreen(QDialog* d, bool fullScreen) {
    d->setGeometry(screenRect(d));
    if (fullScreen) d->setWindowState(Qt::WindowFullScreen);
}

template <class Caption, class Enabled>
void makeRow(QDialog* d, ButtonRow& row, Caption caption, Enabled enabled) {
    for (size_t i = 0; i < row.size(); ++i) {
        const int id = kWbButtonOrder[i];
        if (!row[i]) row[i] = touchButton(qs(caption(id)), d);
        row[i]->setText(qs(caption(id)));
        row[i]->setEnabled(enabled(id));
        row[i]->setAutoDefault(false);
    }
}

void placeRow(ButtonRow& row, int width, int height) {
    for (size_t i = 0; i < row.size(); ++i) {
        const ButtonRect r = workbenchButtonRect(static_cast<int>(i), width, height);
        row[i]->setGeometry(r.x, r.y, r.width, r.height);
    }
}

QPushButton* byId(const ButtonRow& row, int id) {
    for (size_t i = 0; i < row.size(); ++i) {
        if (kWbButtonOrder[i] == id) return row[i];
    }
    return nullptr;
}

int64_t boundHeightMm(const SectionLists& lists, int slot, bool upper) {
    if (slot < 0 || slot >= kMaxSections || !lists[slot]) return 0;
    auto guard = lists[slot]->lock();
    CSampleDataList& l = *lists[slot];
    const int index = upper ? std::min<int>(l.intervalLast, l.count - 1) : std::max(l.intervalFirst, 0);
    const SamplePoint* p = l.pointAt(index);
    return p ? depthMm(p->depth) : 0;
}

}  // namespace

// --- Section chooser.

SectionChooserDialog::SectionChooserDialog(const CInfo& info, const std::vector<int>& offered, int current,
                                           QRect above, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("剖面选择"));
    setFont(dialogFont(16));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    auto* title = new QLabel(QStringLiteral("剖面选择"), this);
    title->setFont(dialogFont(16, true));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    for (int slot : offered) {
        QPushButton* b = touchButton(qs(info.sections[slot].name), this);
        b->setCheckable(true);
        b->setChecked(slot == current);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, slot] {
            chosen_ = slot;
            accept();
        });
        layout->addWidget(b);
        buttons_.push_back({slot, b});
    }
    QPushButton* cancel = touchButton(QStringLiteral("取消"), this);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(cancel);
    // Two buttons wide, standing on the workbench's first button.
    const int width = 2 * above.width();
    const int height = 6 + 24 + static_cast<int>(offered.size() + 1) * (kTouchHeight + 4) + 6;
    setFixedSize(width, height);
    move(above.left(), std::max(0, above.top() - height));
}

QPushButton* SectionChooserDialog::button(int slot) const {
    for (const auto& [s, b] : buttons_) {
        if (s == slot) return b;
    }
    return nullptr;
}

// --- Cut heights.

CutHeightDialog::CutHeightDialog(CutBound bound, const CInfo& info, const SectionLists& lists, int section,
                                 int64_t heightMm, const AnalysisDialogOptions& options, QWidget* parent)
    : QDialog(parent), form_(bound, info, lists, section, heightMm), options_(options) {
    setWindowTitle(qs(std::string(form_.caption())));
    setFont(dialogFont(16));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(qs(std::string(form_.prompt())), this);
    prompt->setFont(dialogFont(16));
    layout->addWidget(prompt);
    field_ = new QLabel(this);
    field_->setFont(dialogFont(20));
    field_->setMinimumHeight(kTouchHeight);
    field_->setFrameShape(QFrame::Box);
    field_->setAlignment(Qt::AlignCenter);
    field_->installEventFilter(this);
    layout->addWidget(field_);
    auto* row = new QHBoxLayout;
    QPushButton* type = touchButton(QStringLiteral("输入"), this);
    restore_ = touchButton(QStringLiteral("还原"), this);
    ok_ = touchButton(QStringLiteral("确定"), this);
    QPushButton* cancel = touchButton(QStringLiteral("取消"), this);
    for (QPushButton* b : {type, restore_, ok_, cancel}) {
        b->setAutoDefault(false);
        row->addWidget(b);
    }
    layout->addLayout(row);
    connect(type, &QPushButton::clicked, this, [this] { typeHeight(); });
    connect(restore_, &QPushButton::clicked, this, [this] {
        form_.restore();
        refresh();
    });
    connect(ok_, &QPushButton::clicked, this, [this] {
        if (const auto message = form_.accept()) {
            if (options_.sink) options_.sink->showMessage(*message);
            return;
        }
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    refresh();
    setFixedWidth(420);
}

bool CutHeightDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && event->type() == QEvent::MouseButtonRelease) {
        typeHeight();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CutHeightDialog::refresh() {
    field_->setText(qs(form_.text()));
}

void CutHeightDialog::typeHeight() {
    if (!options_.numberPad) return;
    const auto v = options_.numberPad(field_, std::string(form_.padTitle()), form_.heightMm() / 1000.0);
    if (!v) return;
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", *v);
    form_.setText(text);
    refresh();
}

// --- Interval view.

CDlg_Analysis_K::CDlg_Analysis_K(const CInfo& info, const SectionLists& lists, int section, int point,
                                 const AnalysisDialogOptions& options, QWidget* parent)
    : QDialog(parent), info_(info), lists_(lists), options_(options), form_(info, lists, section, point) {
    setWindowTitle(QStringLiteral("区间分析"));
    setFont(dialogFont(16));
    for (int i = 0; i < kIntervalPanels; ++i) {
        maps_[static_cast<size_t>(i)] = new SectionMapView(this);
        auto* w = new AnalysisWaveView(this);
        waves_[static_cast<size_t>(i)] = w;
        w->hovered = [this, i](PickKind kind) { form_.selectPick(i, kind); };
        w->clicked = [this, i](int x, int y, int width, int height) {
            redraw(form_.clickWaveform(i, x, y, width, height));
        };
    }
    curves_ = new AnalysisCurvesView(this);
    curves_->setIntervalMode(true);
    curves_->picked = [this](int index) { redraw(form_.setLevel(index)); };
    curves_->limitAsked = [this](bool upper, QPoint) { openLimit(upper); };
    makeRow(
        this, buttons_, [this](int id) { return form_.caption(id); },
        [this](int id) { return form_.enabled(id); });
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const int id = kWbButtonOrder[i];
        connect(buttons_[i], &QPushButton::clicked, this, [this, id] { clickButton(id); });
    }
    placeFullScreen(this, options_.fullScreen);
    redraw(kIvAll);
}

CDlg_Analysis_K::~CDlg_Analysis_K() = default;

QPushButton* CDlg_Analysis_K::button(int id) const {
    return byId(buttons_, id);
}

void CDlg_Analysis_K::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    const ButtonRect r = workbenchButtonRect(0, w, h);
    const int content = r.y;
    const int left = w * 62 / 100;
    const int panel = content / kIntervalPanels;
    const int mapSize = std::min(panel, left / 4);
    for (int i = 0; i < kIntervalPanels; ++i) {
        maps_[static_cast<size_t>(i)]->setGeometry(0, i * panel, mapSize, panel);
        waves_[static_cast<size_t>(i)]->setGeometry(mapSize, i * panel, left - mapSize, panel);
    }
    curves_->setGeometry(left, 0, w - left, content);
    placeRow(buttons_, w, h);
    redraw(kIvAll);
}

void CDlg_Analysis_K::redraw(uint32_t parts) {
    const auto shown = form_.shownSections();
    if (parts & kIvWaves) {
        for (int i = 0; i < kIntervalPanels; ++i) {
            const int slot = shown[static_cast<size_t>(i)];
            const std::string name = slot >= 0 ? info_.sections[slot].name : std::string();
            showMap(maps_[static_cast<size_t>(i)], info_, name);
            PointTexts texts;
            if (slot >= 0) {
                texts.caption = "剖面" + name + (i == form_.activePanel() ? "  ◀" : "");
                auto guard = lists_[slot]->lock();
                if (const SamplePoint* p = lists_[slot]->pointAt(form_.level())) {
                    char depth[48];
                    std::snprintf(depth, sizeof depth, "深度(m):%.2f", static_cast<double>(p->depth));
                    texts.measures = depth;
                }
            }
            waves_[static_cast<size_t>(i)]->show(&info_, slot >= 0 ? lists_[slot] : nullptr, slot,
                                                 form_.level(), form_.zoom(), texts);
        }
    }
    if (parts & (kIvCurves | kIvWaves)) {
        curves_->show(&info_, lists_, form_.currentSection(), CurveMode::Velocity, form_.level());
    }
    if (parts & kIvButtons) {
        makeRow(
            this, buttons_, [this](int id) { return form_.caption(id); },
            [this](int id) { return form_.enabled(id); });
    }
}

void CDlg_Analysis_K::clickButton(int id) {
    const IntervalAction a = form_.click(id);
    redraw(a.redraw);
    if (a.open != IntervalOpen::None) {
        closedWith_ = a.open;
        accept();
    }
}

void CDlg_Analysis_K::openLimit(bool upper) {
    const int slot = form_.currentSection();
    if (slot < 0 || form_.level() < 0) return;
    const int64_t preset = boundHeightMm(lists_, slot, upper);
    std::unique_ptr<CutHeightDialog> dialog;
    if (upper) {
        dialog = std::make_unique<CDlgKTop>(info_, lists_, slot, preset, options_, this);
    } else {
        dialog = std::make_unique<CDlgKBottom>(info_, lists_, slot, preset, options_, this);
    }
    if (dialog->exec() != QDialog::Accepted) return;
    // The curves tell the interval view the upper bound's level.
    int upperIndex = -1;
    {
        auto guard = lists_[slot]->lock();
        upperIndex = std::min<int>(lists_[slot]->intervalLast, lists_[slot]->count - 1);
    }
    redraw(form_.setLevel(upperIndex) | kIvCurves);
}

// --- Workbench.

CDlg_Analysis::CDlg_Analysis(const CInfo& info, const SectionLists& lists, AnalysisDialogOptions options,
                             QWidget* parent)
    : QDialog(parent),
      info_(info),
      lists_(lists),
      options_(std::move(options)),
      form_(info, lists),
      picks_(info, lists) {
    setWindowTitle(QStringLiteral("分析"));
    setFont(dialogFont(16));
    form_.open();

    wave_ = new AnalysisWaveView(this);
    wave_->hovered = [this](PickKind kind) { form_.selectPick(kind); };
    wave_->clicked = [this](int x, int y, int w, int h) { redraw(form_.clickWaveform(x, y, w, h)); };
    train_ = new AnalysisTrainView(this);
    train_->clicked = [this](int y, int rowHeight) {
        redraw(form_.selectPoint(form_.pointAtRow(y, rowHeight)));
    };
    curves_ = new AnalysisCurvesView(this);
    curves_->picked = [this](int index) { redraw(form_.jumpToPoint(index)); };
    axis_ = new AxisStripView(this);
    axis_->tapped = [this] { redraw(form_.cycleCurveMode()); };
    map_ = new SectionMapView(this);
    save_ = touchButton(QStringLiteral("保存判读"), this);
    restore_ = touchButton(QStringLiteral("恢复原始判读"), this);
    report_ = touchButton(QStringLiteral("生成报告"), this);
    for (QPushButton* b : {save_, restore_, report_})
        b->setAutoDefault(false);
    connect(save_, &QPushButton::clicked, this, [this] { savePicks(); });
    connect(restore_, &QPushButton::clicked, this, [this] { restorePicks(); });
    connect(report_, &QPushButton::clicked, this, [this] {
        if (options_.generateReport) options_.generateReport(this, info_, lists_);
    });
    report_->setVisible(static_cast<bool>(options_.generateReport));

    makeRow(
        this, buttons_, [this](int id) { return form_.caption(id); },
        [this](int id) { return form_.enabled(id); });
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const int id = kWbButtonOrder[i];
        connect(buttons_[i], &QPushButton::clicked, this, [this, id] { clickButton(id); });
    }
    chooseSection = [this]() -> std::optional<int> {
        SectionChooserDialog chooser(info_, form_.sectionsOffered(), form_.section(),
                                     button(kWbSection)->geometry(), this);
        chooser.move(mapToGlobal(chooser.pos()));
        chooser.exec();
        return chooser.chosen();
    };
    runInterval = [](CDlg_Analysis_K& k) { k.exec(); };
    placeFullScreen(this, options_.fullScreen);
}

CDlg_Analysis::~CDlg_Analysis() = default;

QPushButton* CDlg_Analysis::button(int id) const {
    return byId(buttons_, id);
}

void CDlg_Analysis::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    const int content = workbenchButtonRect(0, w, h).y;
    const int left = w * 45 / 100, middle = w * 30 / 100;
    const int waveHeight = content * 60 / 100;
    wave_->setGeometry(0, 0, left, waveHeight);
    const int below = content - waveHeight;
    const int mapSize = std::min(below, left / 2);
    map_->setGeometry(0, waveHeight, mapSize, below);
    const int side = left - mapSize - 16;
    save_->setGeometry(mapSize + 8, waveHeight + 10, side, kTouchHeight);
    restore_->setGeometry(mapSize + 8, waveHeight + 20 + kTouchHeight, side, kTouchHeight);
    report_->setGeometry(mapSize + 8, waveHeight + 30 + 2 * kTouchHeight, side, kTouchHeight);
    train_->setGeometry(left, 0, middle, content);
    axis_->setGeometry(left + middle, 0, w - left - middle, 40);
    curves_->setGeometry(left + middle, 40, w - left - middle, content - 40);
    placeRow(buttons_, w, h);
    form_.setPageSize(train_->rows());
    redraw(kWbAll);
}

void CDlg_Analysis::redraw(uint32_t parts) {
    const int slot = form_.section();
    CSampleDataList* list = slot >= 0 ? lists_[slot] : nullptr;
    if (parts & kWbWaveform)
        wave_->show(&info_, list, slot, form_.currentPoint(), form_.zoom(), form_.pointTexts());
    if (parts & kWbWaveTrain) train_->show(list, form_.pageTop(), form_.pageSize(), form_.currentPoint());
    if (parts & kWbCurves) curves_->show(&info_, lists_, slot, form_.curveMode(), form_.currentPoint());
    if (parts & kWbAxis) axis_->show(form_.curveMode());
    if (parts & kWbButtons) {
        showMap(map_, info_, slot >= 0 ? info_.sections[slot].name : std::string());
        makeRow(
            this, buttons_, [this](int id) { return form_.caption(id); },
            [this](int id) { return form_.enabled(id); });
    }
}

void CDlg_Analysis::clickButton(int id) {
    const WorkbenchAction a = form_.click(id);
    redraw(a.redraw);
    switch (a.open) {
        case WorkbenchOpen::SectionChooser:
            if (const auto slot = chooseSection()) redraw(form_.showSection(*slot));
            break;
        case WorkbenchOpen::IntervalView: {
            CDlg_Analysis_K interval(info_, lists_, form_.section(), form_.currentPoint(), options_, this);
            runInterval(interval);
            if (interval.closedWith() == IntervalOpen::CloseAll) {
                reject();
                return;
            }
            // Back from "H-Vp" (or closed otherwise): its section and level, and new grades.
            redraw(form_.returnFromInterval(interval.form().currentSection(), interval.form().level()));
            break;
        }
        case WorkbenchOpen::Close:
            reject();
            break;
        case WorkbenchOpen::None:
            break;
    }
}

std::string CDlg_Analysis::now() const {
    return options_.auditTime ? options_.auditTime() : auditTimeNow();
}

void CDlg_Analysis::savePicks() {
    MessageSink* sink = options_.sink;
    if (picks_.pending().empty()) {
        if (sink) sink->showMessage(std::string(kSavePicksNone));
        return;
    }
    if (sink && !sink->askYesNo(std::string(kSavePicksQuestion))) return;
    const std::string message = picks_.save(now());
    if (sink) sink->showMessage(message);
}

void CDlg_Analysis::restorePicks() {
    MessageSink* sink = options_.sink;
    if (sink && !sink->askYesNo(std::string(kRestoreQuestion))) return;
    const std::string message = picks_.restore(now());
    if (picks_.lastOk() && form_.guangdong()) form_.reread();
    redraw(kWbAll);
    if (sink) sink->showMessage(message);
}

void CDlg_Analysis::reject() {
    // Picks changed by hand and not saved: offer to keep them in the file before leaving.
    if (picks_.hasFile() && !picks_.pending().empty() && options_.sink &&
        options_.sink->askYesNo("判读已修改，是否保存到数据文件？")) {
        const std::string message = picks_.save(now());
        if (!picks_.lastOk()) {
            options_.sink->showMessage(message);
            return;
        }
    }
    QDialog::reject();
}

}  // namespace lx9
