// The settings file "set.ini": a flat little-endian binary record of the test record followed by
// the four upload settings. Loading never trusts a length from the file; storing replaces the
// file atomically, so a crash leaves either the old or the new file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "data/globals.h"

namespace lx9 {

inline constexpr const char* kSettingsFileName = "set.ini";

// Where "set.ini" lives: $LX9_CONFIG_DIR when set; else the executable's folder when writable;
// else $XDG_CONFIG_HOME/LX9 (or ~/.config/LX9).
std::filesystem::path settingsDirectory();
std::filesystem::path settingsPath();

// The file's bytes for a record and the upload settings.
std::vector<uint8_t> encodeSettings(const CInfo& info, const UploadSettings& upload);

// Reads every item in order into info and upload. False when the bytes end early or hold a value
// later work cannot use; info and upload are then partly filled and must be discarded.
bool decodeSettings(std::span<const uint8_t> bytes, CInfo& info, UploadSettings& upload,
                    std::string* why = nullptr);

enum class LoadResult {
    Loaded,   // the file was read
    NoFile,   // no file (or unreadable): defaults
    Damaged,  // short or malformed: defaults; the file was kept as "set.ini.bad"
};

// Fills info (and upload on success) from the file. A damaged file is renamed to "set.ini.bad"
// beside it and reported on standard error; info gets the defaults, upload stays as it was.
LoadResult loadSettings(CInfo& info, UploadSettings& upload, const std::filesystem::path& file);
LoadResult loadSettings(CInfo& info = currentInfo);

struct StoreResult {
    bool ok = true;
    std::string message;  // the file error, for the user, when !ok
};

// Writes a temporary file beside the target, syncs it, renames it over the target and syncs the
// folder. The folder is created when missing.
StoreResult storeSettings(const CInfo& info, const UploadSettings& upload, const std::filesystem::path& file);
StoreResult storeSettings(const CInfo& info = currentInfo);

}  // namespace lx9
