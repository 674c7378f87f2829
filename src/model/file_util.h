// Read-only file access: source files are never opened for writing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vostrel {

// Opens a source file read-only. Anything but a regular file is refused
// before a byte is read: a FIFO would block the run, a directory or device
// is not data. Returns the descriptor, or -1 with the reason in `error`.
int OpenSourceFile(const std::filesystem::path& path, std::string* error);

// Why `path` cannot be read as a file ("is a directory", "is a FIFO", "is a
// dangling symlink", "does not exist", ...); empty for a regular file.
std::string FileProblem(const std::filesystem::path& path);

// Reads a whole file opened read-only. Fails when it cannot be opened or is
// larger than max_bytes (`error`, when given, says why).
bool ReadWholeFile(const std::filesystem::path& path, std::string& out, uint64_t max_bytes,
                   std::string* error = nullptr);

// Reads up to `count` bytes from the start of a file; returns the bytes read
// (empty when the file cannot be opened; `error`, when given, says why).
std::string ReadFilePrefix(const std::filesystem::path& path, size_t count,
                           std::string* error = nullptr);

// Writes `text` to an output file (created or truncated): false, with the
// reason, when the file cannot be created or any write or the close fails.
bool WriteOutputFile(const std::filesystem::path& path, std::string_view text, std::string* error);

// Finds `name` in `folder` ignoring ASCII case (data copied from case-insensitive
// systems may carry .MYD or .IBD in other cases). Empty path when missing.
std::filesystem::path FindFileIgnoringCase(const std::filesystem::path& folder,
                                           const std::string& name);

}  // namespace vostrel
