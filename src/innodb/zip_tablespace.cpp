#include "innodb/zip_tablespace.h"

#include <algorithm>
#include <cstring>

namespace vostrel {

bool ZipTablespace::Open(const std::filesystem::path& path, std::string* error) {
  if (!file_.Open(path, error)) return false;
  std::vector<uint8_t> page0(kPageSize);
  const size_t got = file_.Read(0, page0.size(), page0.data());
  geometry_ = ReadTablespaceGeometry(page0.data(), got);
  if (got < geometry_.physical_page_size) {
    if (error) *error = path.string() + " is shorter than one page";
    file_.Close();
    return false;
  }
  return true;
}

bool ZipTablespace::ReadRawPage(uint64_t n, std::vector<uint8_t>& out) {
  const size_t size = page_size();
  if (n >= page_count()) return false;
  out.resize(size);
  return file_.Read(n * size, size, out.data()) == size;
}

bool ZipTablespace::ReadIndexPage(uint64_t n, PageBuffer& out, std::string* problem,
                                  ZipPageLayout* layout) {
  auto fail = [&](const std::string& why) {
    if (problem) *problem = "page " + std::to_string(n) + ": " + why;
    return false;
  };
  if (!geometry_.readable()) {
    return fail(!geometry_.problem.empty() ? geometry_.problem : geometry_.not_read.front());
  }
  if (!ReadRawPage(n, raw_)) return fail("lies outside the file");
  const uint32_t stored = PageU32(raw_.data(), 4);
  if (stored != n) return fail("holds page " + std::to_string(stored));
  if (!geometry_.compressed()) {
    std::memcpy(out.data(), raw_.data(), kPageSize);
    return true;
  }
  std::string why;
  if (!decompressor_.Decompress(raw_.data(), raw_.size(), out.data(), &why, layout)) {
    return fail(why);
  }
  return true;
}

}  // namespace vostrel
