// Durable file replacement: write a temporary file in the target's folder, fsync it, rename it
// over the target and fsync the folder. After a crash at any moment the target is either the
// old file or the new one, never a mix.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace lx9 {

// A unique temporary name in the folder of `target` (same file system, so rename is atomic).
std::filesystem::path temporarySibling(const std::filesystem::path& target);

// fsync of a folder, so that a rename inside it survives a power cut. False on error.
bool syncDirectory(const std::filesystem::path& dir);

// Replaces `target` with `bytes`. On failure returns false with the reason in `error`
// (strerror text with the path) and leaves `target` untouched.
bool writeFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         std::string* error = nullptr);

// "path: reason" from errno, the form every file error of the program is reported in.
std::string fileErrorText(const std::filesystem::path& path, int err);

// Writes all of `bytes` at the descriptor's position, resuming after short writes and EINTR.
// False with errno set on error.
bool writeAll(int fd, std::span<const uint8_t> bytes);

// The same at an absolute offset (the descriptor's position is not used or moved).
bool writeAllAt(int fd, std::span<const uint8_t> bytes, uint64_t offset);

// Reads exactly bytes.size() bytes from `offset`. False on error (errno set) or when the file
// ends first (errno 0).
bool readAllAt(int fd, std::span<uint8_t> bytes, uint64_t offset);

// Renames a finished temporary file over `target` and syncs the folder. On failure returns
// false with the reason in `error`; the temporary file is left for the caller to remove.
bool commitTemporary(const std::filesystem::path& temporary, const std::filesystem::path& target,
                     std::string* error = nullptr);

}  // namespace lx9
