#include "ui/num_input_dialog.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/number_text.h"

namespace lx9 {

namespace ui {

QFont touchFont(int pixels, bool bold) {
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QPushButton* touchButton(const QString& caption, QWidget* parent, int pixels) {
    auto* b = new QPushButton(caption, parent);
    b->setFont(touchFont(pixels));
    b->setMinimumHeight(kTouchHeight);
    b->setAutoDefault(false);
    return b;
}

Rect screenRectOf(const QWidget* widget) {
    const QPoint topLeft = widget->mapToGlobal(QPoint(0, 0));
    return Rect{topLeft.x(), topLeft.y(), widget->width(), widget->height()};
}

Rect screenOf(const QWidget* widget) {
    QScreen* screen = widget && widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    const QRect g = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    return Rect{g.x(), g.y(), g.width(), g.height()};
}

void placePadWidget(QWidget* pad, const QWidget* field, PadPlacement how) {
    const Rect screen = screenOf(field);
    const Rect anchor = field ? screenRectOf(field) : Rect{screen.x, screen.y, 0, 0};
    const Rect r = placePad(anchor, pad->width(), pad->height(), screen, how);
    pad->move(r.x, r.y);
}

}  // namespace ui

using ui::qs;

PadField::PadField(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    setFont(ui::touchFont(16));
    setMinimumHeight(ui::kTouchHeight);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void PadField::setValueText(const std::string& text) {
    setText(qs(text));
}

void PadField::activate() {
    if (isEnabled() && activated_) activated_();
}

void PadField::mousePressEvent(QMouseEvent* event) {
    pressed_ = isEnabled();
    QLineEdit::mousePressEvent(event);
}

void PadField::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    const bool wasPressed = pressed_;
    pressed_ = false;
    if (wasPressed && rect().contains(event->position().toPoint())) activate();
}

void PadField::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            activate();
            return;
        default:
            QLineEdit::keyPressEvent(event);
    }
}

CDlg_NumInput::CDlg_NumInput(const std::string& title, double initial, bool allowNegative, MessageSink& sink,
                             QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), form_(title, initial, allowNegative, sink) {
    setWindowTitle(qs(title));
    setObjectName(QStringLiteral("CDlg_NumInput"));
    const Rect screen = ui::screenOf(parent);
    const Rect size = numPadSize(screen.width, screen.height);
    setFixedSize(size.width, size.height);
    setStyleSheet(
        QStringLiteral("QDialog#CDlg_NumInput { border: 2px solid #404040; background: #f0f0f0; }"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(4);
    auto* titleLabel = new QLabel(qs(title), this);
    titleLabel->setFont(ui::touchFont(15, true));
    layout->addWidget(titleLabel);

    display_ = new QLineEdit(this);
    display_->setReadOnly(true);
    display_->setFocusPolicy(Qt::NoFocus);
    display_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    display_->setFont(ui::touchFont(18));
    display_->setPlaceholderText(qs(formatFixed(initial, 2)));
    layout->addWidget(display_);

    auto* grid = new QGridLayout;
    grid->setSpacing(3);
    layout->addLayout(grid, 1);
    auto add = [&](const QString& caption, int row, int col) {
        auto* b = new QPushButton(caption, this);
        b->setFont(ui::touchFont(caption.size() > 2 ? 13 : 17));
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoDefault(false);
        b->setMinimumHeight(40);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setObjectName(caption);
        grid->addWidget(b, row, col);
        return b;
    };
    auto key = [&](const QString& caption, int row, int col, std::function<void()> stroke) {
        connect(add(caption, row, col), &QPushButton::clicked, this, [this, stroke] { press(stroke); });
    };
    const char* digits = "789456123";
    for (int i = 0; i < 9; ++i) {
        const char d = digits[i];
        key(QString(QChar(d)), i / 3, i % 3, [this, d] { form_.pressDigit(d); });
    }
    key(QStringLiteral("0"), 3, 0, [this] { form_.pressDigit('0'); });
    key(qs(std::string(kKeyDecimalPoint)), 3, 1, [this] { form_.pressDecimalPoint(); });
    key(qs(std::string(kKeyMinus)), 3, 2, [this] { form_.pressMinus(); });
    key(qs(std::string(kKeyBackspace)), 0, 3, [this] { form_.pressBackspace(); });
    key(qs(std::string(kKeyClear)), 1, 3, [this] { form_.pressClear(); });
    connect(add(QStringLiteral("确定"), 2, 3), &QPushButton::clicked, this, &CDlg_NumInput::tryAccept);
    connect(add(QStringLiteral("取消"), 3, 3), &QPushButton::clicked, this, [this] {
        form_.cancel();
        reject();
    });
}

QString CDlg_NumInput::text() const {
    return qs(form_.text());
}

void CDlg_NumInput::press(const std::function<void()>& key) {
    if (key) key();
    display_->setText(qs(form_.text()));
}

void CDlg_NumInput::tryAccept() {
    if (form_.ok() == NumInputForm::Outcome::Accepted) accept();
}

void CDlg_NumInput::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        press([this, key] { form_.pressDigit(static_cast<char>('0' + (key - Qt::Key_0))); });
    } else if (key == Qt::Key_Period || key == Qt::Key_Comma) {
        press([this] { form_.pressDecimalPoint(); });
    } else if (key == Qt::Key_Minus) {
        press([this] { form_.pressMinus(); });
    } else if (key == Qt::Key_Backspace) {
        press([this] { form_.pressBackspace(); });
    } else if (key == Qt::Key_Delete) {
        press([this] { form_.pressClear(); });
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        tryAccept();
    } else if (key == Qt::Key_Escape) {
        form_.cancel();
        reject();
    }
    // Everything else is not a key of the pad.
}

std::optional<double> CDlg_NumInput::ask(QWidget* field, const std::string& title, double initial,
                                         bool allowNegative, MessageSink& sink, PadPlacement how) {
    CDlg_NumInput pad(title, initial, allowNegative, sink, field ? field->window() : nullptr);
    ui::placePadWidget(&pad, field, how);
    if (pad.exec() != QDialog::Accepted) return std::nullopt;
    return pad.form().result();
}

}  // namespace lx9
