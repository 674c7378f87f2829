#include "innodb/page_types.h"

namespace vostrel {

std::string PageTypeName(uint16_t type) {
  switch (type) {
    case 0:
      return "a freshly allocated page";
    case 2:
      return "an undo log page";
    case 3:
      return "a file segment inode page";
    case 4:
      return "an insert buffer free list page";
    case 5:
      return "an insert buffer bitmap page";
    case 6:
      return "a system page";
    case 7:
      return "a transaction system page";
    case 8:
      return "a tablespace header page";
    case 9:
      return "an extent descriptor page";
    case 10:
      return "a value (BLOB) page";
    case 11:
    case 12:
      return "a compressed value page";
    case 13:
      return "a page of unknown use (MySQL type 13)";
    case 14:
      return "a MySQL 5.7 transparently compressed page";
    case 15:
    case 16:
    case 17:
      return "a MySQL encrypted page";
    case 19:
      return "a MySQL 8.0 serialized dictionary value page";
    case 20:
      return "a MySQL 8.0 doublewrite page";
    case 21:
      return "a MySQL 8.0 rollback segment array page";
    case 22:
    case 23:
    case 24:
    case 25:
    case 26:
    case 27:
    case 28:
    case 29:
      return "a MySQL 8.0 large object page";
    case 17853:
      return "a MySQL 8.0 serialized dictionary page";
    case 17854:
      return "a spatial (R-tree) index page";
    case 34354:
      return "a MariaDB page_compressed page";
    case 37401:
      return "a MariaDB page_compressed and encrypted page";
    default:
      return {};
  }
}

std::string NotAnIndexPageText(uint16_t type, const std::string& page) {
  const std::string name = PageTypeName(type);
  if (name.empty()) {
    return "not read: " + page + " has page type " + std::to_string(type) +
           ", which this tool does not know";
  }
  switch (type) {
    case 14:
    case 15:
    case 16:
    case 17:
    case 17853:
    case 17854:
    case 34354:
    case 37401:
      return "not read: " + page + " is " + name;
    default:
      return page + " is " + name + ", not an index page";
  }
}

}  // namespace vostrel
