#include "ui/file_chooser_dialog.h"

#include <algorithm>
#include <vector>

#include <QApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/message_box_sink.h"

namespace lx9::ui {
namespace {

namespace fs = std::filesystem;

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

QFont touchFont(int pixels = kTouchFontPixels) {
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(pixels);
    return f;
}

fs::path nearestExisting(fs::path p) {
    std::error_code ec;
    if (p.empty()) p = fs::current_path(ec);
    p = p.lexically_normal();
    while (!p.empty() && !fs::is_directory(p, ec)) {
        if (p == p.parent_path()) break;
        p = p.parent_path();
    }
    return p.empty() ? fs::path("/") : p;
}

}  // namespace

FileChooserDialog::FileChooserDialog(Mode mode, const QString& title, const fs::path& folder,
                                     const QString& suffix, const QString& filterText, QWidget* parent)
    : QDialog(parent), mode_(mode), suffix_(suffix) {
    setWindowTitle(title);
    setFont(touchFont());
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* up = new QPushButton(QStringLiteral("上一级"), this);
    makeTouchButton(up);
    connect(up, &QPushButton::clicked, this, [this] { goUp(); });
    path_ = new QLabel(this);
    path_->setWordWrap(true);
    top->addWidget(up);
    top->addWidget(path_, 1);
    layout->addLayout(top);

    list_ = new QListWidget(this);
    list_->setFont(touchFont(18));
    list_->setStyleSheet(QStringLiteral("QListWidget::item { min-height: 44px; }"));
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(list_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { activate(item->text()); });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (!item->text().endsWith('/') && mode_ == Mode::OpenFile) tryAccept();
    });
    layout->addWidget(list_, 1);

    auto* bottom = new QHBoxLayout;
    if (mode_ == Mode::Folder) {
        bottom->addWidget(new QLabel(QStringLiteral("选择当前文件夹"), this), 1);
    } else {
        bottom->addWidget(new QLabel(QStringLiteral("文件名:"), this));
        name_ = new QLineEdit(this);
        name_->setMinimumHeight(kTouchButtonHeight);
        name_->setReadOnly(mode_ == Mode::OpenFile);
        bottom->addWidget(name_, 1);
        bottom->addWidget(new QLabel(filterText, this));
    }
    ok_ = new QPushButton(QStringLiteral("确定"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    makeTouchButton(ok_);
    makeTouchButton(cancel);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, [this] { tryAccept(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    bottom->addWidget(ok_);
    bottom->addWidget(cancel);
    layout->addLayout(bottom);

    // Most of the screen: long folder names and many files stay readable.
    const QRect screen = QApplication::primaryScreen() ? QApplication::primaryScreen()->availableGeometry()
                                                       : QRect(0, 0, 1024, 768);
    resize(screen.width() * 3 / 4, screen.height() * 3 / 4);
    setFolder(folder);
}

void FileChooserDialog::setFolder(const fs::path& folder) {
    folder_ = nearestExisting(folder);
    refresh();
}

void FileChooserDialog::setName(const QString& name) {
    if (name_) name_->setText(name);
}

QStringList FileChooserDialog::entries() const {
    QStringList out;
    for (int i = 0; i < list_->count(); ++i)
        out << list_->item(i)->text();
    return out;
}

void FileChooserDialog::refresh() {
    path_->setText(q(folder_));
    std::vector<QString> folders, files;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        const QString name = QString::fromStdString(it->path().filename().string());
        if (name.startsWith('.')) continue;
        std::error_code e2;
        if (it->is_directory(e2)) {
            folders.push_back(name + '/');
        } else if (mode_ != Mode::Folder && name.endsWith('.' + suffix_, Qt::CaseInsensitive)) {
            files.push_back(name);
        }
    }
    auto byName = [](const QString& a, const QString& b) { return a.localeAwareCompare(b) < 0; };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    list_->clear();
    for (const auto& f : folders)
        list_->addItem(f);
    for (const auto& f : files)
        list_->addItem(f);
}

void FileChooserDialog::activate(const QString& entry) {
    if (entry.endsWith('/')) {
        setFolder(folder_ / entry.chopped(1).toStdString());
        return;
    }
    if (name_) name_->setText(entry);
}

void FileChooserDialog::goUp() {
    if (folder_.has_parent_path() && folder_ != folder_.parent_path()) setFolder(folder_.parent_path());
}

bool FileChooserDialog::tryAccept() {
    if (mode_ == Mode::Folder) {
        chosen_ = folder_;
        accept();
        return true;
    }
    QString name = name_->text().trimmed();
    if (name.isEmpty() || name.contains('/') || name == "." || name == "..") return false;
    if (mode_ == Mode::SaveFile && !name.endsWith('.' + suffix_, Qt::CaseInsensitive)) name += '.' + suffix_;
    const fs::path path = folder_ / name.toStdString();
    std::error_code ec;
    if (mode_ == Mode::OpenFile && !fs::is_regular_file(path, ec)) return false;
    if (mode_ == Mode::SaveFile && fs::exists(path, ec)) {
        MessageBoxSink box(this);
        if (!box.askYesNoTitled(name.toStdString() + " 已存在。\n要替换它吗？", windowTitle().toStdString()))
            return false;
    }
    chosen_ = path;
    accept();
    return true;
}

std::optional<std::string> FileChooserDialog::saveFile(QWidget* parent, const QString& title,
                                                       const fs::path& folder, const QString& name) {
    FileChooserDialog d(Mode::SaveFile, title, folder, QStringLiteral("CHT"), QStringLiteral("CHT(*.CHT)"),
                        parent);
    d.setName(name);
    if (d.exec() != QDialog::Accepted || !d.chosen()) return std::nullopt;
    return d.chosen()->string();
}

std::optional<std::string> FileChooserDialog::openFile(QWidget* parent, const QString& title,
                                                       const fs::path& folder) {
    FileChooserDialog d(Mode::OpenFile, title, folder, QStringLiteral("CHT"), QStringLiteral("CHT(*.CHT)"),
                        parent);
    if (d.exec() != QDialog::Accepted || !d.chosen()) return std::nullopt;
    return d.chosen()->string();
}

std::optional<std::string> FileChooserDialog::chooseFolder(QWidget* parent, const QString& title,
                                                           const fs::path& folder) {
    FileChooserDialog d(Mode::Folder, title, folder, {}, {}, parent);
    if (d.exec() != QDialog::Accepted || !d.chosen()) return std::nullopt;
    return d.chosen()->string();
}

}  // namespace lx9::ui
