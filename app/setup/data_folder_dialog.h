// 数据目录: the data folder the file choosers of "新存" and "打开" start in. Shows the folder in
// force, lets the operator pick another with the touch folder chooser or go back to the default,
// and on OK creates it when missing and keeps it beside "set.ini" (whose layout stays as it is).
//
// Threading: the user-interface thread only.
#pragma once

#include <QDialog>
#include <filesystem>
#include <optional>

#include "ui/message_sink.h"

class QLabel;

namespace lx9 {

inline constexpr const char* kDataFolderCaption = "数据目录";

class DataFolderDialog : public QDialog {
  public:
    DataFolderDialog(std::filesystem::path settingsDir, MessageSink& sink, QWidget* parent = nullptr);
    const std::filesystem::path& folder() const { return folder_; }
    void setFolder(std::filesystem::path folder);
    // OK: a folder that cannot be made or kept is refused with the reason; the dialog stays.
    void accept() override;

  private:
    std::filesystem::path settingsDir_;
    MessageSink& sink_;
    std::filesystem::path folder_;
    QLabel* path_;
};

// Modal over `parent`; the folder kept after OK.
std::optional<std::filesystem::path> openDataFolderDialog(const std::filesystem::path& settingsDir,
                                                          MessageSink& sink, QWidget* parent);

}  // namespace lx9
