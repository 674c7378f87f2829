// Ordered lists of checked tree items, as the save runs consume them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scan/scan.h"

namespace vostrel {

struct SelectedItem {
  int64_t item_data = ITEMDATA_NODE;
  int64_t parent_data =
      ITEMDATA_NODE;  // ITEMDATA_VIEWS / ITEMDATA_TRIGGERS mark views and triggers
};

enum class ItemKind { kNone, kTable, kView, kTrigger };

ItemKind KindOf(const SelectedItem& item);
// 0-based index into the matching scan list, or -1 when the item names none.
int64_t ListIndexOf(const SelectedItem& item, const ScanResult& scan);

// Items named as "DB" (all its tables, views and triggers) or "DB.NAME", in tree
// order; no names selects everything. Names may be given decoded or as on disk.
std::vector<SelectedItem> SelectItems(const ScanResult& scan, const std::vector<std::string>& names,
                                      std::vector<std::string>* unmatched);

}  // namespace vostrel
