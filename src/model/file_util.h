// Read-only file access: source files are never opened for writing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vostrel {

// Reads a whole file opened read-only. Fails when it cannot be opened or is
// larger than max_bytes.
bool ReadWholeFile(const std::filesystem::path& path, std::string& out, uint64_t max_bytes);

// Reads up to `count` bytes from the start of a file; returns the bytes read
// (empty when the file cannot be opened).
std::string ReadFilePrefix(const std::filesystem::path& path, size_t count);

// Finds `name` in `folder` ignoring ASCII case (data copied from case-insensitive
// systems may carry .MYD or .IBD in other cases). Empty path when missing.
std::filesystem::path FindFileIgnoringCase(const std::filesystem::path& folder,
                                           const std::string& name);

}  // namespace vostrel
