// The engine side of the table preview: screens of 1000 rows, each starting
// at a remembered position, and the key grid of a table.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/engine_context.h"
#include "model/field_decoder.h"
#include "model/row.h"
#include "model/table_def.h"
#include "model/table_reader.h"
#include "scan/scan.h"

namespace vostrel {

inline constexpr size_t kScreenRows = 1000;
inline constexpr uint64_t kEndMarkerPage = 0xFFFFFFFF;

// For MyISAM the page is 0 and the offset a byte offset in the data file; for
// InnoDB a page number and a record offset in it.
struct PagePosition {
  uint64_t page = 0;
  uint64_t offset = 0;
  bool is_end() const { return page == kEndMarkerPage; }
  bool operator==(const PagePosition&) const = default;
};

struct PreviewScreen {
  std::vector<Row> rows;
  bool screen_full = false;
  PagePosition next{kEndMarkerPage, 0};
};

class TablePreview {
 public:
  explicit TablePreview(EngineContext& ctx);
  ~TablePreview();
  // Reads the definition and opens the reader of table entry `index`.
  bool Open(const ScanResult& scan, size_t index, std::string* error);
  // The records from `start` on, a screenful: the same walk a save makes,
  // stopped after kScreenRows records.
  PreviewScreen ReadScreen(PagePosition start);

  const TableDef& table() const { return table_; }
  const std::string& damage() const { return damage_; }

 private:
  // A value kept on other pages: read whole, or a placeholder for BLOBs.
  void External(size_t column, const StoredField& field, Row& row);

  EngineContext& ctx_;
  TableDef table_;
  OpenedReader opened_;
  std::unique_ptr<BlockDecoder> decoder_;
  std::unique_ptr<FieldDecoder> fields_;
  std::string opened_damage_;
  std::string damage_;
};

// Screen bookkeeping: the start of every screen seen so far, so that paging
// back and forth reads the same rows again.
class PreviewPager {
 public:
  explicit PreviewPager(TablePreview& preview) : preview_(preview) {}
  const PreviewScreen& First();
  // nullopt when there is no further screen ("No more records in table").
  const PreviewScreen* Next();
  const PreviewScreen* Previous();
  uint64_t first_row() const { return shown_ * kScreenRows; }
  uint64_t last_row() const { return first_row() + screen_.rows.size(); }
  bool has_previous() const { return shown_ > 0; }

 private:
  void Read();

  TablePreview& preview_;
  std::vector<PagePosition> starts_;
  size_t shown_ = 0;
  PreviewScreen screen_;
};

// Rows of the key grid: column name, type, size, "True"/"False", key name.
std::vector<std::array<std::string, 5>> KeyGridRows(const TableDef& table,
                                                    const CollationTable& collations);
inline constexpr std::array<const char*, 5> kKeyGridTitles = {"Column Name", "Data Type", "size",
                                                              "Allow Nulls", "Key Name"};

}  // namespace vostrel
