#include "cli/tree_print.h"

namespace vostrel {

namespace {

std::string TableLine(const TableAccount& t) {
  std::string s = t.engine.empty() ? std::string() : t.engine;
  if (!t.row_format.empty()) s += " " + t.row_format;
  if (t.expected_known) s += (s.empty() ? "" : ", ") + std::to_string(t.expected) + " rows";
  if (!s.empty()) s += ": ";
  if (t.complete()) return s + "can be read" + (t.reason.empty() ? "" : " (" + t.reason + ")");
  return s + t.StatusText();
}

void Print(const TreeNode& node, int64_t group, const ScanResult& scan,
           const std::vector<TableAccount>& tables, std::ostream& os, int depth) {
  os << std::string(static_cast<size_t>(depth) * 2, ' ') << node.text;
  if (node.item_data > 0) {
    const size_t i = static_cast<size_t>(node.item_data - 1);
    if (group == ITEMDATA_VIEWS) {
      os << "  (view)";
    } else if (group == ITEMDATA_TRIGGERS) {
      os << "  (triggers)";
    } else if (i < tables.size()) {
      os << "  " << TableLine(tables[i]);
    }
  }
  os << "\n";
  for (const TreeNode& c : node.children) Print(c, node.item_data, scan, tables, os, depth + 1);
}

}  // namespace

void PrintScanTree(const ScanResult& scan, const std::vector<TableAccount>& tables,
                   std::ostream& os) {
  Print(scan.root, ITEMDATA_NODE, scan, tables, os, 0);
}

}  // namespace vostrel
