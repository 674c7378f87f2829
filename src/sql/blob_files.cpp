#include "sql/blob_files.h"

#include <cstdio>

namespace vostrel {

std::filesystem::path BlobFiles::Write(TableReader& reader, const StoredField& field,
                                       std::string* problem) {
  const std::filesystem::path path = folder_ / std::to_string(static_cast<uint32_t>(counter_++));
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    if (problem) *problem = "cannot create " + path.string();
    return {};
  }
  const size_t local = reader.ExternalPrefix(field);
  bool ok = std::fwrite(field.data, 1, local, f) == local;
  reader.ReadExternal(
      field, [&](const uint8_t* p, size_t n) { ok = ok && std::fwrite(p, 1, n, f) == n; }, problem);
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    if (problem) *problem = "cannot write " + path.string();
    return {};
  }
  return path;
}

}  // namespace vostrel
