// The data folder: where the file choosers of "新存" and "打开" start ("Hard Disk" on the field
// computer). Default `~/LX9 data`; the operator's choice is kept in "datafolder.txt" (one UTF-8
// line) beside "set.ini", so the settings file keeps its layout. Qt-free; user-interface thread.
#pragma once

#include <filesystem>
#include <string>

namespace lx9 {

inline constexpr const char* kDataFolderFileName = "datafolder.txt";
inline constexpr const char* kDefaultDataFolderName = "LX9 data";

// `$HOME/LX9 data` (the working folder's "LX9 data" without a home).
std::filesystem::path defaultDataFolder();

// The configured folder from "datafolder.txt" in `settingsDir`; the default when the file is
// missing, empty or not an absolute path.
std::filesystem::path dataFolder(const std::filesystem::path& settingsDir);

// Keeps `folder` (absolute) as the data folder; replaces the file atomically. False with the
// reason in `error`.
bool setDataFolder(const std::filesystem::path& settingsDir, const std::filesystem::path& folder,
                   std::string* error = nullptr);

// The data folder, created (with its parents) when missing. False with the reason in `error`
// when it cannot be made or is not a folder.
bool ensureDataFolder(const std::filesystem::path& folder, std::string* error = nullptr);

}  // namespace lx9
