// Names of the InnoDB page types MySQL and MariaDB write, so that a page
// that is not what was wanted is told apart from one of a kind not read.
#pragma once

#include <cstdint>
#include <string>

namespace vostrel {

// What a page of `type` is ("an undo log page"); empty for a type no server
// writes, and for the index page types.
std::string PageTypeName(uint16_t type);

// Why a page of `type` that is intact but not an index page stops a read:
// a kind this tool does not read is "not read: ...", another kind of page
// where an index page belongs is named as such.
std::string NotAnIndexPageText(uint16_t type, const std::string& page);

}  // namespace vostrel
