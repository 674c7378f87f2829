// A tablespace file read page by page in its own page size: index pages of
// ROW_FORMAT=COMPRESSED tablespaces come out decompressed as 16 KiB images.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "innodb/page.h"
#include "innodb/tablespace_geometry.h"
#include "innodb/zip_blob.h"
#include "innodb/zip_page.h"
#include "model/data_file.h"

namespace vostrel {

class ZipTablespace {
 public:
  // Opens the file read-only and reads the geometry from page 0. False only
  // when the file cannot be opened or has no page 0; check geometry().readable().
  bool Open(const std::filesystem::path& path, std::string* error);
  const TablespaceGeometry& geometry() const { return geometry_; }
  size_t page_size() const { return geometry_.physical_page_size; }
  uint64_t page_count() const { return file_.size() / page_size(); }

  // The stored bytes of page n (page_size() of them); false outside the file.
  bool ReadRawPage(uint64_t n, std::vector<uint8_t>& out);

  // Page n as a 16 KiB index page: copied when the tablespace is not
  // compressed, decompressed when it is. False with `problem` when the page
  // lies outside the file, holds another page number, or does not decompress.
  bool ReadIndexPage(uint64_t n, PageBuffer& out, std::string* problem,
                     ZipPageLayout* layout = nullptr);

  // Page reader for ReadZipBlob over this file.
  ZipPageReader PageReader() {
    return [this](uint32_t n, std::vector<uint8_t>& out) { return ReadRawPage(n, out); };
  }

  const std::filesystem::path& path() const { return file_.path(); }

 private:
  DataFile file_;
  TablespaceGeometry geometry_;
  ZipPageDecompressor decompressor_;
  std::vector<uint8_t> raw_;
};

}  // namespace vostrel
