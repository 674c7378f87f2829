#include "scan/table_preview.h"

#include "innodb/innodb_table.h"
#include "innodb/page_check.h"
#include "innodb/record.h"
#include "innodb/row_decoder.h"
#include "model/damage_log.h"
#include "model/file_util.h"
#include "model/frm_reader.h"
#include "model/type_text.h"
#include "myisam/myd_reader.h"
#include "myisam/record_decoder.h"

namespace vostrel {

namespace fs = std::filesystem;

bool TablePreview::Open(const ScanResult& scan, size_t index, std::string* error) {
  data_.Close();
  inno_ = InnoSource{};
  leaf_place_.clear();
  leaf_index_id_ = 0;
  damage_.clear();
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
    const MyiReadResult mr =
        ReadMyiHeader(myi.empty() ? folder / (e.tableName + ".MYI") : myi, myi_);
    if (!mr.ok || !mr.has_columns) {
      if (error) *error = "index file cannot be read: " + mr.error;
      return true;  // the definition is still shown
    }
    const fs::path myd = FindFileIgnoringCase(folder, e.tableName + ".MYD");
    if (!data_.Open(myd.empty() ? folder / (e.tableName + ".MYD") : myd, error)) return true;
  } else if (table_.engine_type == kEngineInnoDb) {
    NullOutput quiet;
    inno_ = LocateTableLeaf(folder.string(), e.tableName, table_, scan.dictionary.get(),
                            ctx_.collations, quiet);
    if (!inno_.failure.empty() && error) *error = inno_.failure;
    if (!inno_.detail.empty()) damage_ = inno_.detail;
    PageBuffer first;
    if (inno_.leaf != 0 && inno_.space != nullptr &&
        inno_.space->ReadIdentifiedPage(inno_.leaf, first).ok()) {
      leaf_index_id_ = PageIndexId(first.data());
    }
  }
  return true;
}

PreviewScreen TablePreview::ReadInnoScreen(PagePosition start) {
  PreviewScreen screen;
  if (inno_.leaf == 0 || inno_.space == nullptr) return screen;
  Tablespace& space = *inno_.space;
  DamageLog damage;
  InnoRowDecoder decoder(table_, inno_.index, ctx_.collations, ctx_.code_page);
  InnoDecodeContext dctx{space, nullptr, DecodeOptions{false}, damage};
  PageBuffer page;
  // The first screen starts at the first leaf; page 0 is never a leaf.
  uint64_t p = start.page == 0 ? inno_.leaf : start.page;
  if (start.page == 0) leaf_place_.emplace(p, 0);
  // Follows the link from `from` to `to`, unless it leads back.
  auto link = [&](uint64_t from, uint64_t to) {
    const uint64_t place = leaf_place_[from] + 1;
    const auto [it, first] = leaf_place_.emplace(to, place);
    if (first || it->second == place) return true;
    damage.Note("leaf chain loops back to page " + std::to_string(to));
    return false;
  };
  size_t origin = static_cast<size_t>(start.offset);
  for (uint64_t visits = 0; p != kFilNull && visits <= space.page_count(); ++visits) {
    // The page must be the one the link names before its own links are
    // followed; a page whose checksum fails shows no rows, but the chain goes
    // on through it to a page that proves itself.
    const PageCheck c = space.ReadCheckedPage(p, page);
    if (!c.ok() && c.fault != PageFault::kChecksum) {
      damage.Note(c.fault == PageFault::kOutside
                      ? "leaf chain leaves the file at page " + std::to_string(p)
                      : space.FaultText(p, c));
      break;
    }
    if (p != inno_.leaf) {
      if (const std::string why = ForeignLeafProblem(page.data(), p, leaf_index_id_);
          !why.empty()) {
        damage.Note(c.ok() ? why : space.FaultText(p, c));
        break;
      }
    }
    const FilHeader h = ReadFilHeader(page.data());
    PageWalk w;
    if (c.ok()) {
      // The first leaf is one by how it was found; later pages were checked above.
      w = WalkPageRecords(page.data(), origin, [&](size_t r) {
        screen.rows.emplace_back();
        if (!decoder.Decode(page.data(), r, dctx, screen.rows.back())) screen.rows.pop_back();
        return screen.rows.size() < kScreenRows;
      });
    } else {
      damage.Note(space.FaultText(p, c) + ": its records are not shown");
    }
    if (w.damaged) damage.Note("record chain of page " + std::to_string(p) + " is broken");
    if (screen.rows.size() >= kScreenRows) {
      screen.screen_full = true;
      if (w.stopped_at != 0) {
        screen.next = PagePosition{p, w.stopped_at};
      } else if (h.next != kFilNull && link(p, h.next)) {
        screen.next = PagePosition{h.next, 0};
      }
      break;
    }
    origin = 0;
    if (h.next == kFilNull || !link(p, h.next)) break;
    p = h.next;
  }
  if (damage.any()) damage_ = damage.Summary();
  return screen;
}

PreviewScreen TablePreview::ReadScreen(PagePosition start) {
  if (table_.engine_type == kEngineInnoDb) return ReadInnoScreen(start);
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
                    c.in_primary_key  ? "Primary Key"
                    : c.in_unique_key ? "Unique Key"
                                      : ""});
  }
  return rows;
}

}  // namespace vostrel
