#include "setup/hotkey_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/num_input_dialog.h"
#include "ui/select_dialog.h"

namespace lx9 {

using ui::qs;

namespace {

constexpr std::array<std::pair<uint16_t, const char*>, 4> kModifiers{
    {{0, "无"}, {1, "Shift"}, {2, "Ctrl"}, {4, "Alt"}}};

const char* modifierName(uint16_t modifier) {
    for (const auto& [bits, name] : kModifiers)
        if (bits == (modifier & 0xFF)) return name;
    return "无";
}

// The letters A–Z and 无 as a touch grid (more than the list picker's sixteen).
std::optional<uint16_t> askLetter(QWidget* field, const std::string& title) {
    QDialog grid(field ? field->window() : nullptr, Qt::Dialog | Qt::FramelessWindowHint);
    grid.setObjectName(QStringLiteral("LetterChoice"));
    grid.setStyleSheet(
        QStringLiteral("QDialog#LetterChoice { border: 2px solid #404040; background: #f0f0f0; }"));
    auto* layout = new QVBoxLayout(&grid);
    auto* label = new QLabel(qs(title), &grid);
    label->setFont(ui::touchFont(15, true));
    layout->addWidget(label);
    auto* keys = new QGridLayout;
    layout->addLayout(keys);
    std::optional<uint16_t> chosen;
    for (int i = 0; i <= 26; ++i) {
        const uint16_t code = i < 26 ? static_cast<uint16_t>('A' + i) : 0;
        auto* b = ui::touchButton(i < 26 ? QString(QChar('A' + i)) : QStringLiteral("无"), &grid, 17);
        b->setFixedSize(i < 26 ? 48 : 100, 46);
        keys->addWidget(b, i / 7, i % 7, 1, i < 26 ? 1 : 2);
        QObject::connect(b, &QPushButton::clicked, &grid, [&grid, &chosen, code] {
            chosen = code;
            grid.accept();
        });
    }
    auto* cancel = ui::touchButton(QStringLiteral("取消"), &grid);
    layout->addWidget(cancel);
    QObject::connect(cancel, &QPushButton::clicked, &grid, &QDialog::reject);
    grid.adjustSize();
    ui::placePadWidget(&grid, field, PadPlacement::Beside);
    if (grid.exec() != QDialog::Accepted) return std::nullopt;
    return chosen;
}

}  // namespace

std::string hotkeyText(const Hotkey& key) {
    if (key.key == 0) return {};
    std::string text;
    if (key.modifier & 2) text += "Ctrl+";
    if (key.modifier & 4) text += "Alt+";
    if (key.modifier & 1) text += "Shift+";
    return text + static_cast<char>(key.key);
}

CQuickyKey::CQuickyKey(SharedInfo current, MessageSink& sink, QWidget* parent)
    : QDialog(parent), form_(current, sink) {
    setWindowTitle(QStringLiteral("快捷键设置"));
    setFont(ui::touchFont(15));
    auto* layout = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    layout->addLayout(columns);
    auto* console = new QGroupBox(QStringLiteral("主界面"), this);
    auto* setup = new QGroupBox(QStringLiteral("设置界面"), this);
    auto* consoleGrid = new QGridLayout(console);
    auto* setupGrid = new QGridLayout(setup);
    for (QGridLayout* g : {consoleGrid, setupGrid}) {
        g->setVerticalSpacing(2);
        g->addWidget(new QLabel(QStringLiteral("修饰键"), g->parentWidget()), 0, 1, Qt::AlignCenter);
        g->addWidget(new QLabel(QStringLiteral("按键"), g->parentWidget()), 0, 2, Qt::AlignCenter);
    }
    for (int pair = 0; pair < kHotkeyCount; ++pair) {
        const bool onConsole = pair < kConsoleHotkeys;
        QGridLayout* grid = onConsole ? consoleGrid : setupGrid;
        QWidget* box = onConsole ? console : setup;
        const int row = (onConsole ? pair : pair - kConsoleHotkeys) + 1;
        grid->addWidget(new QLabel(qs(std::string(HotkeyForm::commandName(pair))), box), row, 0);
        modifiers_[pair] = new PadField(box);
        keys_[pair] = new PadField(box);
        modifiers_[pair]->setFixedWidth(90);
        keys_[pair]->setFixedWidth(70);
        modifiers_[pair]->setMinimumHeight(40);
        keys_[pair]->setMinimumHeight(40);
        keys_[pair]->setAlignment(Qt::AlignCenter);
        keys_[pair]->installEventFilter(this);
        grid->addWidget(modifiers_[pair], row, 1);
        grid->addWidget(keys_[pair], row, 2);
        modifiers_[pair]->onActivated([this, pair] { chooseModifier(pair); });
        keys_[pair]->onActivated([this, pair] { chooseLetter(pair); });
    }
    setupGrid->setRowStretch(kHotkeyCount - kConsoleHotkeys + 1, 1);
    columns->addWidget(console);
    columns->addWidget(setup, 1);
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
    connect(ok, &QPushButton::clicked, this, &CQuickyKey::accept);
    connect(cancel, &QPushButton::clicked, this, &CQuickyKey::reject);
    refresh();
}

void CQuickyKey::refresh() {
    for (int pair = 0; pair < kHotkeyCount; ++pair) {
        const Hotkey& k = form_.hotkeys()[static_cast<size_t>(pair)];
        keys_[pair]->setValueText(k.key ? std::string(1, static_cast<char>(k.key)) : std::string());
        modifiers_[pair]->setValueText(modifierName(k.modifier));
    }
}

void CQuickyKey::chooseLetter(int pair) {
    const std::string title = std::string(HotkeyForm::commandName(pair)) + "的快捷键";
    if (const auto code = askLetter(keys_[pair], title)) {
        Hotkey k = form_.hotkeys()[static_cast<size_t>(pair)];
        k.key = *code;
        form_.setHotkey(pair, k);
    }
    refresh();
}

void CQuickyKey::chooseModifier(int pair) {
    std::vector<std::string> names;
    for (const auto& [bits, name] : kModifiers)
        names.emplace_back(name);
    const std::string title = std::string(HotkeyForm::commandName(pair)) + "的修饰键";
    if (const auto choice = CDlg_Select::ask(modifiers_[pair], title, names, PadPlacement::Beside)) {
        Hotkey k = form_.hotkeys()[static_cast<size_t>(pair)];
        for (const auto& [bits, name] : kModifiers)
            if (*choice == name) k.modifier = bits;
        form_.setHotkey(pair, k);
    }
    refresh();
}

// A letter pressed on a keyboard while a key field has the focus becomes its key.
bool CQuickyKey::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key < Qt::Key_A || key > Qt::Key_Z) return false;
    for (int pair = 0; pair < kHotkeyCount; ++pair) {
        if (keys_[pair] != watched) continue;
        Hotkey k = form_.hotkeys()[static_cast<size_t>(pair)];
        k.key = static_cast<uint16_t>('A' + (key - Qt::Key_A));
        form_.setHotkey(pair, k);
        refresh();
        return true;
    }
    return false;
}

void CQuickyKey::accept() {
    if (form_.ok() == FormOutcome::Accepted) QDialog::accept();
}

bool openHotkeyDialog(SharedInfo current, MessageSink& sink, QWidget* parent) {
    CQuickyKey dialog(current, sink, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace lx9
