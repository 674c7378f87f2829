#include "scan/selection.h"

#include <set>

namespace vostrel {

ItemKind KindOf(const SelectedItem& item) {
  if (item.item_data <= 0) return ItemKind::kNone;
  if (item.parent_data == ITEMDATA_VIEWS) return ItemKind::kView;
  if (item.parent_data == ITEMDATA_TRIGGERS) return ItemKind::kTrigger;
  return ItemKind::kTable;
}

int64_t ListIndexOf(const SelectedItem& item, const ScanResult& scan) {
  const int64_t i = item.item_data - 1;
  size_t size = 0;
  switch (KindOf(item)) {
    case ItemKind::kTable:
      size = scan.m_tableEntries.size();
      break;
    case ItemKind::kView:
      size = scan.m_viewFiles.size();
      break;
    case ItemKind::kTrigger:
      size = scan.m_triggerEntries.size();
      break;
    case ItemKind::kNone:
      return -1;
  }
  return i >= 0 && static_cast<size_t>(i) < size ? i : -1;
}

namespace {

struct Wanted {
  std::string db;
  std::string item;  // empty: the whole database
};

bool Matches(const std::string& want, const std::string& display, const std::string& raw) {
  return want == display || want == raw;
}

}  // namespace

std::vector<SelectedItem> SelectItems(const ScanResult& scan, const std::vector<std::string>& names,
                                      std::vector<std::string>* unmatched) {
  std::vector<SelectedItem> out;
  std::set<size_t> used;
  if (scan.root.children.empty()) {
    if (unmatched) *unmatched = names;
    return out;
  }
  const TreeNode& path_node = scan.root.children.front();
  for (size_t d = 0; d < path_node.children.size() && d < scan.m_databaseFolders.size(); ++d) {
    const TreeNode& db = path_node.children[d];
    const std::string raw_db = DatabaseFolderName(scan.m_databaseFolders[d]);
    // Which names ask for this database, and for which of its items.
    bool whole = names.empty();
    std::vector<std::pair<size_t, std::string>> items;
    for (size_t n = 0; n < names.size(); ++n) {
      const std::string& name = names[n];
      if (Matches(name, db.text, raw_db)) {
        whole = true;
        used.insert(n);
        continue;
      }
      for (size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', dot + 1)) {
        if (Matches(name.substr(0, dot), db.text, raw_db))
          items.emplace_back(n, name.substr(dot + 1));
      }
    }
    if (!whole && items.empty()) continue;
    for (const TreeNode& group : db.children) {
      for (const TreeNode& leaf : group.children) {
        SelectedItem item{leaf.item_data, group.item_data};
        if (KindOf(item) == ItemKind::kNone) continue;
        bool take = whole;
        std::string raw_leaf;
        if (KindOf(item) == ItemKind::kTable && ListIndexOf(item, scan) >= 0) {
          raw_leaf = scan.m_tableEntries[static_cast<size_t>(item.item_data - 1)].tableName;
        }
        for (const auto& [n, want] : items) {
          if (Matches(want, leaf.text, raw_leaf)) {
            take = true;
            used.insert(n);
          }
        }
        if (take) out.push_back(item);
      }
    }
  }
  if (unmatched) {
    unmatched->clear();
    for (size_t n = 0; n < names.size(); ++n) {
      if (!used.count(n)) unmatched->push_back(names[n]);
    }
  }
  return out;
}

}  // namespace vostrel
