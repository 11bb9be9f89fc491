// Small file helpers shared by the platform services.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvad {

/// Whole file, or nothing when it cannot be read. Refuses files over `maxBytes`.
std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes = 16u << 20);

/// A read that says why it failed: `error` is the errno of the failing call (ENOENT for
/// a missing file, ENOTDIR when a folder on the path is not one, EISDIR, EACCES, ...),
/// or EFBIG for a file over `maxBytes`; 0 with `content` set on success.
struct FileRead {
  std::optional<std::string> content;
  int error = 0;
};
FileRead readFileReporting(const std::string& path, std::size_t maxBytes = 16u << 20);
/// readFileReporting for a path a stranger may have planted: a symbolic link in the last
/// component is refused (ELOOP) rather than followed, and anything but a regular file
/// (a FIFO that would block the read, a device) is refused (EINVAL). The check is made
/// on the opened descriptor, so a file swapped between a check and the read cannot slip by.
FileRead readRegularFileNoFollow(const std::string& path, std::size_t maxBytes = 16u << 20);
/// Writes through a temporary file in the same directory and renames it into place,
/// so readers see the old or the new content, never a torn one. Creates parent
/// directories. Returns false on any failure (the old file is then untouched).
/// `mode` is the new file's permission bits (owner-only by default).
bool writeFileAtomically(const std::string& path, std::string_view content, unsigned mode = 0600);
/// mkdir -p; true when the directory exists afterwards.
bool makeDirectories(const std::string& path);

}  // namespace qvad
