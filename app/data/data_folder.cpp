#include "data/data_folder.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "data/atomic_file.h"

namespace lx9 {

std::filesystem::path defaultDataFolder() {
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / kDefaultDataFolderName;
}

std::filesystem::path dataFolder(const std::filesystem::path& settingsDir) {
    std::ifstream in(settingsDir / kDataFolderFileName, std::ios::binary);
    std::string line;
    if (in && std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
            line.pop_back();
        const std::filesystem::path folder(line);
        if (!line.empty() && folder.is_absolute()) return folder;
    }
    return defaultDataFolder();
}

bool setDataFolder(const std::filesystem::path& settingsDir, const std::filesystem::path& folder,
                   std::string* error) {
    const std::string text = folder.string();
    if (!folder.is_absolute() || text.find('\n') != std::string::npos) {
        if (error) *error = text + ": not an absolute folder path";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(settingsDir, ec);
    const std::string line = text + "\n";
    const std::vector<uint8_t> bytes(line.begin(), line.end());
    return writeFileAtomically(settingsDir / kDataFolderFileName, bytes, error);
}

bool ensureDataFolder(const std::filesystem::path& folder, std::string* error) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return true;
    if (std::filesystem::exists(folder, ec)) {
        if (error) *error = fileErrorText(folder, ENOTDIR);
        return false;
    }
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        if (error) *error = fileErrorText(folder, ec ? ec.value() : ENOTDIR);
        return false;
    }
    return true;
}

}  // namespace lx9
