// The program's own file and folder chooser, sized for a finger: large rows, an "上一级" button,
// the folder shown in full, a name field for a new file. It replaces the desktop's native dialog
// (too small for the touch screen, and it differs from desktop to desktop). Three modes: a new
// data file ("新存"), an existing data file ("打开"), a folder (the data-folder setting). Files
// are filtered by suffix, in any case ("CHT(*.CHT)" shows a.CHT and b.cht). Qt; user-interface
// thread only.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace lx9::ui {

class FileChooserDialog : public QDialog {
  public:
    enum class Mode { SaveFile, OpenFile, Folder };

    // `suffix` without the dot ("CHT"); `filterText` as shown ("CHT(*.CHT)"). A missing `folder`
    // starts in the nearest existing parent.
    FileChooserDialog(Mode mode, const QString& title, const std::filesystem::path& folder,
                      const QString& suffix = QStringLiteral("CHT"),
                      const QString& filterText = QStringLiteral("CHT(*.CHT)"), QWidget* parent = nullptr);

    // The chosen path (SaveFile: the folder and the typed name, with the suffix added when it was
    // left out); none before OK.
    std::optional<std::filesystem::path> chosen() const { return chosen_; }

    const std::filesystem::path& folder() const { return folder_; }
    void setFolder(const std::filesystem::path& folder);
    void setName(const QString& name);
    // The rows shown: folders first (ending in "/"), then the matching files, each sorted.
    QStringList entries() const;
    // Tapping a row: a folder opens, a file is chosen (OpenFile) or named (SaveFile).
    void activate(const QString& entry);
    void goUp();
    // OK: false (the dialog stays open) when nothing usable is chosen.
    bool tryAccept();

    static std::optional<std::string> saveFile(QWidget* parent, const QString& title,
                                               const std::filesystem::path& folder, const QString& name = {});
    static std::optional<std::string> openFile(QWidget* parent, const QString& title,
                                               const std::filesystem::path& folder);
    static std::optional<std::string> chooseFolder(QWidget* parent, const QString& title,
                                                   const std::filesystem::path& folder);

  private:
    void refresh();

    Mode mode_;
    QString suffix_;
    std::filesystem::path folder_;
    std::optional<std::filesystem::path> chosen_;
    QLabel* path_ = nullptr;
    QListWidget* list_ = nullptr;
    QLineEdit* name_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace lx9::ui
