#pragma once

#include <ostream>

#include "scan/scan.h"

namespace vostrel {

// One line per node, indented by depth, with the item data in brackets.
void PrintTree(const TreeNode& node, std::ostream& os, int depth = 0);

}  // namespace vostrel
