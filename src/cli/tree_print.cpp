#include "cli/tree_print.h"

namespace vostrel {

void PrintTree(const TreeNode& node, std::ostream& os, int depth) {
  os << std::string(static_cast<size_t>(depth) * 2, ' ') << node.text << "  [" << node.item_data
     << "]\n";
  for (const TreeNode& c : node.children) PrintTree(c, os, depth + 1);
}

}  // namespace vostrel
