// Numbered files under <save folder>/blobdata/ for the large values of a
// script save, loaded back with LOAD_FILE().
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "model/stored_field.h"
#include "model/table_reader.h"

namespace vostrel {

class BlobFiles {
 public:
  BlobFiles(std::filesystem::path folder, uint64_t& counter)
      : folder_(std::move(folder)), counter_(counter) {}
  // Writes the value of `field` (its local prefix, then the pages `reader`
  // streams) into the next file; returns its path, or an empty path when the
  // file could not be created or written (`problem` names it). A value whose
  // pages end early is still written, with the problem said.
  std::filesystem::path Write(TableReader& reader, const StoredField& field, std::string* problem);

 private:
  std::filesystem::path folder_;
  uint64_t& counter_;
};

}  // namespace vostrel
