#include "scan/table_preview.h"

#include "model/file_util.h"
#include "model/frm_reader.h"
#include "model/type_text.h"
#include "myisam/myd_reader.h"
#include "myisam/record_decoder.h"

namespace vostrel {

namespace fs = std::filesystem;

bool TablePreview::Open(const ScanResult& scan, size_t index, std::string* error) {
  data_.Close();
  damage_.clear();
  if (index >= scan.m_tableEntries.size()) {
    if (error) *error = "no such table";
    return false;
  }
  const TableEntry& e = scan.m_tableEntries[index];
  if (e.databaseIndex < 0 || static_cast<size_t>(e.databaseIndex) >= scan.m_databaseFolders.size()) {
    if (error) *error = "no such database";
    return false;
  }
  const fs::path folder = scan.m_databaseFolders[static_cast<size_t>(e.databaseIndex)];
  fs::path frm = FindFileIgnoringCase(folder, e.tableName + ".frm");
  if (frm.empty()) frm = folder / (e.tableName + ".frm");
  const FrmReadResult r = ReadTableDefinition(frm, ctx_.collations, ctx_.code_page, table_);
  if (!r.ok) {
    if (error) *error = r.error;
    return false;
  }
  if (table_.engine_type == kEngineMyIsam) {
    const fs::path myi = FindFileIgnoringCase(folder, e.tableName + ".MYI");
    const MyiReadResult mr = ReadMyiHeader(myi.empty() ? folder / (e.tableName + ".MYI") : myi, myi_);
    if (!mr.ok || !mr.has_columns) {
      if (error) *error = "index file cannot be read: " + mr.error;
      return true;  // the definition is still shown
    }
    const fs::path myd = FindFileIgnoringCase(folder, e.tableName + ".MYD");
    if (!data_.Open(myd.empty() ? folder / (e.tableName + ".MYD") : myd, error)) return true;
  }
  return true;
}

PreviewScreen TablePreview::ReadScreen(PagePosition start) {
  PreviewScreen screen;
  if (start.is_end() || !data_.is_open() || table_.engine_type != kEngineMyIsam) return screen;
  DamageLog damage;
  MydWalker walker(table_, myi_, data_, damage);
  const MyisamRecordDecoder decoder(table_, ctx_.collations, ctx_.code_page);
  const DecodeOptions opts{false};
  const uint64_t next = walker.Walk(
      start.offset,
      [&](const MyisamRecord& rec, uint64_t) {
        screen.rows.emplace_back();
        decoder.Decode(rec, opts, screen.rows.back());
        return screen.rows.size() < kScreenRows;
      },
      nullptr);
  screen.screen_full = screen.rows.size() >= kScreenRows;
  if (screen.screen_full && next != kEndOfTable) screen.next = PagePosition{0, next};
  if (damage.any()) damage_ = damage.Summary();
  return screen;
}

void PreviewPager::Read() {
  screen_ = preview_.ReadScreen(starts_[shown_]);
  if (shown_ + 1 == starts_.size()) {
    starts_.push_back(screen_.screen_full ? screen_.next : PagePosition{kEndMarkerPage, 0});
  }
}

const PreviewScreen& PreviewPager::First() {
  starts_.assign(1, PagePosition{});
  shown_ = 0;
  Read();
  return screen_;
}

const PreviewScreen* PreviewPager::Next() {
  if (shown_ + 1 >= starts_.size() || starts_[shown_ + 1].is_end()) return nullptr;
  ++shown_;
  Read();
  if (screen_.rows.empty()) {  // a full screen exactly at the end of the table
    --shown_;
    starts_.resize(shown_ + 1);
    starts_.push_back(PagePosition{kEndMarkerPage, 0});
    Read();
    return nullptr;
  }
  return &screen_;
}

const PreviewScreen* PreviewPager::Previous() {
  if (shown_ == 0) return nullptr;
  --shown_;
  Read();
  return &screen_;
}

std::vector<std::array<std::string, 5>> KeyGridRows(const TableDef& table,
                                                    const CollationTable& collations) {
  std::vector<std::array<std::string, 5>> rows;
  for (const ColumnDef& c : table.columns) {
    rows.push_back({c.name, ColumnTypeText(table, c, collations), std::to_string(c.length),
                    c.nullable ? "True" : "False",
                    c.in_primary_key ? "Primary Key" : c.in_unique_key ? "Unique Key" : ""});
  }
  return rows;
}

}  // namespace vostrel
