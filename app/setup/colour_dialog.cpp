#include "setup/colour_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "ui/num_input_dialog.h"

namespace lx9 {

using ui::qs;

namespace {

QString swatchStyle(int32_t colour) {
    return QStringLiteral("QPushButton { background: %1; border: 2px solid #505050; }")
        .arg(qColourOf(colour).name());
}

// A waveform and a strip of wave train in the chosen colours, as the views draw them.
class ColourPreview : public QWidget {
  public:
    explicit ColourPreview(const ColourForm& form, QWidget* parent) : QWidget(parent), form_(form) {
        setMinimumSize(300, 220);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        const auto& c = form_.colours();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRect wave(0, 0, width(), height() * 3 / 5);
        const QRect train(0, wave.bottom() + 1, width(), height() - wave.height());
        p.fillRect(wave, qColourOf(c[0]));
        p.fillRect(train, qColourOf(c[1]));
        p.setPen(QPen(qColourOf(c[3]), 1, Qt::DotLine));
        for (int i = 1; i < 6; ++i)
            p.drawLine(wave.width() * i / 6, wave.top(), wave.width() * i / 6, wave.bottom());
        for (int i = 1; i < 4; ++i)
            p.drawLine(0, wave.height() * i / 4, wave.width(), wave.height() * i / 4);
        QPolygonF trace;
        const double mid = wave.center().y();
        for (int x = 0; x < wave.width(); ++x) {
            const double t = x / 8.0;
            const double envelope = x < wave.width() / 5 ? 0.02 : std::exp(-(x - wave.width() / 5) / 120.0);
            trace << QPointF(x, mid - wave.height() * 0.4 * envelope * std::sin(t));
        }
        p.setPen(QPen(qColourOf(c[4]), 1.5));
        p.drawPolyline(trace);
        for (int row = 0; row < 6; ++row) {
            const int y = train.top() + 6 + row * (train.height() - 12) / 6;
            QPolygonF line;
            for (int x = 0; x < train.width(); x += 2)
                line << QPointF(x, y + 4 * std::sin(x / 6.0 + row) * (x > train.width() / 5 ? 1 : 0.1));
            p.drawPolyline(line);
        }
        p.setPen(qColourOf(c[2]));
        p.setFont(ui::touchFont(14));
        p.drawText(QRect(6, 4, 200, 22), Qt::AlignLeft | Qt::TextDontClip, QStringLiteral("1-2  12.50m"));
        p.drawLine(wave.width() / 5, wave.top() + 28, wave.width() / 5, wave.bottom() - 4);  // the pick mark
    }

  private:
    const ColourForm& form_;
};

}  // namespace

ColourChoiceDialog::ColourChoiceDialog(int32_t current, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), chosen_(current) {
    setObjectName(QStringLiteral("ColourChoice"));
    setWindowTitle(qs(std::string(kChooseColourTitle)));
    setStyleSheet(QStringLiteral("QDialog#ColourChoice { border: 2px solid #404040; background: #f0f0f0; }"));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(qs(std::string(kChooseColourTitle)), this);
    title->setFont(ui::touchFont(15, true));
    layout->addWidget(title);
    auto* grid = new QGridLayout;
    grid->setSpacing(4);
    layout->addLayout(grid);
    const auto palette = colourPalette();
    for (size_t i = 0; i < palette.size(); ++i) {
        auto* b = new QPushButton(this);
        b->setFixedSize(52, 46);
        b->setStyleSheet(swatchStyle(palette[i]));
        b->setToolTip(qColourOf(palette[i]).name());
        grid->addWidget(b, static_cast<int>(i / 8), static_cast<int>(i % 8));
        connect(b, &QPushButton::clicked, this, [this, colour = palette[i]] {
            chosen_ = colour;
            accept();
        });
    }
    auto* cancel = ui::touchButton(QStringLiteral("取消"), this);
    layout->addWidget(cancel);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    adjustSize();
}

CDlg_ColorAdjust::CDlg_ColorAdjust(SharedInfo current, QWidget* parent) : QDialog(parent), form_(current) {
    setWindowTitle(qs(std::string(kColourCaption)));
    setFont(ui::touchFont(16));
    auto* layout = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    layout->addLayout(body);
    auto* grid = new QGridLayout;
    body->addLayout(grid);
    const auto names = colourNames();
    for (int i = 0; i < kViewColours; ++i) {
        grid->addWidget(new QLabel(qs(std::string(names[static_cast<size_t>(i)])), this), i, 0);
        swatches_[i] = new QPushButton(this);
        swatches_[i]->setFixedSize(110, ui::kTouchHeight);
        grid->addWidget(swatches_[i], i, 1);
        connect(swatches_[i], &QPushButton::clicked, this, [this, i] {
            ColourChoiceDialog chooser(form_.colours()[static_cast<size_t>(i)], this);
            ui::placePadWidget(&chooser, swatches_[i], PadPlacement::Beside);
            if (chooser.exec() == QDialog::Accepted) form_.choose(i, chooser.chosen());
            refresh();
        });
    }
    preview_ = new ColourPreview(form_, this);
    body->addWidget(preview_, 1);
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    auto* defaults = ui::touchButton(QStringLiteral("恢复默认值"), this);
    auto* ok = ui::touchButton(QStringLiteral("确定"), this);
    auto* cancel = ui::touchButton(QStringLiteral("取消"), this);
    buttons->addWidget(defaults);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(defaults, &QPushButton::clicked, this, [this] {
        form_.restoreDefaults();
        refresh();
    });
    connect(ok, &QPushButton::clicked, this, &CDlg_ColorAdjust::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlg_ColorAdjust::reject);
    refresh();
}

void CDlg_ColorAdjust::refresh() {
    for (int i = 0; i < kViewColours; ++i)
        swatches_[i]->setStyleSheet(swatchStyle(form_.colours()[static_cast<size_t>(i)]));
    preview_->update();
}

void CDlg_ColorAdjust::accept() {
    form_.ok();
    QDialog::accept();
}

bool openColourDialog(SharedInfo current, QWidget* parent) {
    CDlg_ColorAdjust dialog(current, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace lx9
