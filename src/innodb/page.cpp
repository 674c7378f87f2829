#include "innodb/page.h"

namespace vostrel {

bool Tablespace::Open(const std::filesystem::path& path, std::string* error) {
  return file_.Open(path, error);
}

bool Tablespace::ReadPage(uint64_t n, PageBuffer& out) {
  if (n >= page_count()) return false;
  return file_.Read(n * kPageSize, kPageSize, out.data()) == kPageSize;
}

}  // namespace vostrel
