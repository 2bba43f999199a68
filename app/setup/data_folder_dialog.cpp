#include "setup/data_folder_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/data_folder.h"
#include "ui/file_chooser_dialog.h"
#include "ui/num_input_dialog.h"

namespace lx9 {

DataFolderDialog::DataFolderDialog(std::filesystem::path settingsDir, MessageSink& sink, QWidget* parent)
    : QDialog(parent), settingsDir_(std::move(settingsDir)), sink_(sink) {
    setWindowTitle(QString::fromUtf8(kDataFolderCaption));
    setFont(ui::touchFont(16));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("新存和打开的文件从这里开始："), this));
    path_ = new QLabel(this);
    path_->setMinimumSize(460, ui::kTouchHeight);
    path_->setWordWrap(true);
    path_->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(path_);
    auto* tools = new QHBoxLayout;
    layout->addLayout(tools);
    auto* browse = ui::touchButton(QStringLiteral("浏览…"), this);
    auto* defaults = ui::touchButton(QStringLiteral("恢复默认值"), this);
    tools->addWidget(browse);
    tools->addWidget(defaults);
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    auto* ok = ui::touchButton(QStringLiteral("确定"), this);
    auto* cancel = ui::touchButton(QStringLiteral("取消"), this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(browse, &QPushButton::clicked, this, [this] {
        if (const auto chosen =
                ui::FileChooserDialog::chooseFolder(this, QString::fromUtf8(kDataFolderCaption), folder_))
            setFolder(*chosen);
    });
    connect(defaults, &QPushButton::clicked, this, [this] { setFolder(defaultDataFolder()); });
    connect(ok, &QPushButton::clicked, this, &DataFolderDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &DataFolderDialog::reject);
    setFolder(dataFolder(settingsDir_));
}

void DataFolderDialog::setFolder(std::filesystem::path folder) {
    folder_ = std::move(folder);
    path_->setText(QString::fromStdString(folder_.string()));
}

void DataFolderDialog::accept() {
    std::string error;
    if (!ensureDataFolder(folder_, &error) || !setDataFolder(settingsDir_, folder_, &error)) {
        sink_.showMessage(error);
        return;
    }
    QDialog::accept();
}

std::optional<std::filesystem::path> openDataFolderDialog(const std::filesystem::path& settingsDir,
                                                          MessageSink& sink, QWidget* parent) {
    DataFolderDialog dialog(settingsDir, sink, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.folder();
}

}  // namespace lx9
