#include "scan/table_preview.h"

#include "model/damage_log.h"
#include "model/file_util.h"
#include "model/frm_reader.h"
#include "model/type_text.h"
#include "scan/row_text_writer.h"
#include "scan/table_definitions.h"
#include "scan/table_readers.h"

namespace vostrel {

namespace fs = std::filesystem;

TablePreview::TablePreview(EngineContext& ctx) : ctx_(ctx) {}
TablePreview::~TablePreview() = default;

bool TablePreview::Open(const ScanResult& scan, size_t index, std::string* error) {
  opened_ = OpenedReader{};
  decoder_.reset();
  fields_.reset();
  damage_.clear();
  opened_damage_.clear();
  if (index >= scan.m_tableEntries.size()) {
    if (error) *error = "no such table";
    return false;
  }
  const TableEntry& e = scan.m_tableEntries[index];
  if (e.databaseIndex < 0 ||
      static_cast<size_t>(e.databaseIndex) >= scan.m_databaseFolders.size()) {
    if (error) *error = "no such database";
    return false;
  }
  const ResolvedDefinition r =
      ResolveTableDefinition(scan, e, ctx_.collations, ctx_.code_page, table_);
  if (!r.ok) {
    if (error) *error = r.error;
    return false;
  }
  NullOutput quiet;
  opened_ = OpenTableReader(scan, e, table_, ctx_, quiet);
  if (opened_.reader == nullptr) {
    // The definition is still shown.
    if (error) *error = opened_.not_read.empty() ? opened_.note : opened_.not_read;
    return true;
  }
  opened_.reader->ForPreview();
  decoder_ = opened_.reader->NewDecoder();
  fields_ = std::make_unique<FieldDecoder>(table_, opened_.reader->storage(), ctx_.collations,
                                           ctx_.code_page);
  opened_damage_ = !opened_.damage.empty() ? opened_.damage : opened_.detail;
  damage_ = opened_damage_;
  return true;
}

void TablePreview::External(size_t i, const StoredField& field, Row& row) {
  const ColumnDef& c = table_.columns[i];
  FieldValue& v = row[i];
  v.Reset();
  if ((c.type >= kTypeTinyBlob && c.type <= kTypeBlob) || c.type == kTypeGeometry) {
    v.text = kLargeExternPlaceholder;
    return;
  }
  TableReader& reader = *opened_.reader;
  std::string value(reinterpret_cast<const char*>(field.data), reader.ExternalPrefix(field));
  std::string problem;
  reader.ReadExternal(
      field, [&](const uint8_t* p, size_t n) { value.append(reinterpret_cast<const char*>(p), n); },
      &problem);
  if (!problem.empty()) reader.damage().Note("column " + c.name + ": " + problem);
  fields_->AppendValueText(i, value, false, v.text);
}

PreviewScreen TablePreview::ReadScreen(PagePosition start) {
  PreviewScreen screen;
  if (start.is_end() || opened_.reader == nullptr) return screen;
  TableReader& reader = *opened_.reader;
  reader.damage() = DamageLog{};
  DamageLog damage;
  reader.Seek(RecordPosition{start.page, start.offset});
  RowTextWriter writer;
  RecordBlock block;
  bool full = false;
  while (!full) {
    block.Clear();
    if (!reader.NextBlock(block, 64 << 10)) break;
    decoder_->Decode(
        block,
        [&](const RecordFields& r) {
          if (screen.rows.size() >= kScreenRows) {
            // The first record of the next screen.
            full = true;
            screen.next = PagePosition{r.position.page, r.position.offset};
            return false;
          }
          screen.rows.emplace_back();
          Row& row = screen.rows.back();
          writer.Into(row, table_.columns.size());
          for (size_t i = 0; i < r.count && i < table_.columns.size(); ++i) {
            if (r.fields[i].state == FieldState::kExternal) {
              External(i, r.fields[i], row);
            } else {
              fields_->Write(i, r.fields[i], writer);
            }
          }
          return true;
        },
        damage);
  }
  screen.screen_full = screen.rows.size() >= kScreenRows;
  damage.Merge(reader.damage());
  damage_ = damage.any() ? damage.Summary() : opened_damage_;
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
                    c.in_primary_key  ? "Primary Key"
                    : c.in_unique_key ? "Unique Key"
                                      : ""});
  }
  return rows;
}

}  // namespace vostrel
