#include "innodb/innodb_reader.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "innodb/compact_fields.h"
#include "innodb/deleted_records.h"
#include "innodb/extern_value.h"
#include "innodb/leaf_chain.h"
#include "innodb/leaf_scan.h"
#include "innodb/page_check.h"
#include "innodb/record.h"
#include "innodb/record_fit.h"
#include "innodb/redundant_fields.h"
#include "innodb/space_map.h"
#include "innodb/zip_blob.h"

namespace vostrel {

namespace {

// A block is leaf pages back to back; each mark is the page's number, and
// (in its low 16 bits) the record the walk resumes at on it, 0 for its first.
uint64_t Mark(uint32_t page, uint32_t origin) {
  return (uint64_t{page} << 16) | origin;
}
uint32_t MarkPage(uint64_t mark) {
  return static_cast<uint32_t>(mark >> 16);
}
uint32_t MarkOrigin(uint64_t mark) {
  return static_cast<uint32_t>(mark & 0xFFFF);
}

// InnoDB's row format, from the table's dictionary flags where the dictionary
// knows it, else from the tablespace flags and the leaf page's own format bit.
std::string RowFormatName(const InnoSource& src, const SystemDictionary* dict,
                          const std::string& name) {
  if (src.space == nullptr) return {};  // nothing to tell it by
  PageBuffer page;
  bool compact = true;
  if (src.space != nullptr && src.leaf != 0 && src.space->ReadPage(src.leaf, page)) {
    compact = PageIsCompact(page.data());
  }
  uint32_t flags = 0;  // table flags: bit 0 compact, bits 1-4 compressed page size, bit 5 dynamic
  if (dict != nullptr) {
    if (const SysTablesRow* row = dict->FindTable(name)) {
      flags = row->type;
      if (!row->compact()) return "Redundant";
    }
  }
  if (flags == 0 && !src.in_system && src.ibd != nullptr && src.ibd->ReadPage(0, page)) {
    flags = PageU32(page.data(), kPageHeader + 16);  // FSP_SPACE_FLAGS
  }
  if (!compact) return "Redundant";
  if ((flags >> 1) & 0xF) return "Compressed";
  if (flags & 0x20) return "Dynamic";
  return "Compact";
}

}  // namespace

class InnodbBlockDecoder : public BlockDecoder {
 public:
  explicit InnodbBlockDecoder(const InnodbReader& reader)
      : reader_(reader),
        compact_(reader.table_, reader.src_.index),
        redundant_(reader.table_, reader.src_.index) {}

  void Decode(RecordBlock& block, const FieldsVisitor& visit, DamageLog& damage) override {
    if (reader_.ctx_.deleted_pass) {
      if (reader_.src_.index.redundant) {
        DecodeDeleted(block, visit, damage, redundant_, [](const uint8_t* page, auto&& v) {
          return WalkDeletedRedundantRecordsWith(page, v);
        });
      } else {
        DecodeDeleted(block, visit, damage, compact_, [](const uint8_t* page, auto&& v) {
          return WalkDeletedRecordsWith(page, v);
        });
      }
      return;
    }
    const bool instant = reader_.src_.index.instant();
    if (reader_.src_.index.redundant) {
      DecodeWith(block, visit, damage, redundant_,
                 [instant](const uint8_t* page, size_t start, auto&& v) {
                   return WalkRedundantRecordsWith(page, start, v, instant);
                 });
    } else {
      DecodeWith(block, visit, damage, compact_,
                 [instant](const uint8_t* page, size_t start, auto&& v) {
                   return WalkPageRecordsWith(page, start, v, instant);
                 });
    }
  }

 private:
  // The info bits sit 5 bytes below a compact record's origin, 6 below a redundant one's.
  template <class Splitter, class Walk>
  void DecodeWith(RecordBlock& block, const FieldsVisitor& visit, DamageLog& damage,
                  Splitter& split, Walk&& walk) {
    constexpr uint8_t kInfoUnknownBits = 0xC0;
    const size_t info_byte = reader_.src_.index.redundant ? 6 : 5;
    const Tablespace& space = reader_.space();
    block.unit_ok.assign(block.units, 0);
    for (size_t k = 0; k < block.units; ++k) {
      const uint8_t* page = reinterpret_cast<const uint8_t*>(block.bytes.data()) + k * kPageSize;
      const uint32_t p = MarkPage(block.marks[k]);
      const uint32_t origin = MarkOrigin(block.marks[k]);
      // The walk handed over only leaves of the index; a page whose checksum
      // fails gives no rows, and its header's count is what it lost.
      if (!space.ChecksumValid(page)) {
        const uint64_t lost = ClaimedLiveRecords(page);
        block.claimed += lost;
        damage.Name(space.FaultText(p, {PageFault::kChecksum, 0}) + ": its " +
                    std::to_string(lost) + " records are " +
                    (reader_.preview_ ? "not shown" : "not saved"));
        continue;
      }
      // A definition not from the table's .frm may be of another version
      // of the table: records it does not fit are named, never decoded.
      if (reader_.table_.layout_unverified) {
        if (const std::string clash = RecordsOverrunEachOther(page, split, info_byte, walk, spans_);
            !clash.empty()) {
          const uint64_t lost = ClaimedLiveRecords(page);
          block.claimed += lost;
          damage.Name("the records of page " + std::to_string(p) + " of " + space.file_name() +
                      " do not fit the table definition (" + clash +
                      "): it is of another version of the table; its " + std::to_string(lost) +
                      " records are " + (reader_.preview_ ? "not shown" : "not saved"));
          continue;
        }
      }
      block.unit_ok[k] = 1;
      bool stopped = false;
      size_t unknown = 0;
      const PageWalk w = walk(page, origin, [&](size_t r) {
        // Info bits no server of the formats read here sets: MySQL 8.0
        // marks its instant ALTER TABLE records so, laid out otherwise.
        if (page[r - info_byte] & kInfoUnknownBits) {
          ++unknown;
          return true;
        }
        int32_t short_reference = -1;
        const std::vector<StoredField>* fields = split.Split(page, r, &short_reference);
        if (fields == nullptr) {
          damage.Note("record at page " + std::to_string(p) + " offset " + std::to_string(r) +
                      " does not fit its page");
          return true;
        }
        if (short_reference >= 0) {
          damage.Note("column " +
                      reader_.table_.columns[static_cast<size_t>(short_reference)].name +
                      " has a short reference to its value pages");
        }
        if (!visit(RecordFields{fields->data(), fields->size(), RecordPosition{p, r}})) {
          stopped = true;
          return false;
        }
        return true;
      });
      if (stopped) return;
      if (unknown != 0) {
        damage.Name("not read: " + std::to_string(unknown) + " records of page " +
                    std::to_string(p) + " of " + space.file_name() +
                    " carry info bits this tool does not know (as MySQL 8.0 writes for instant "
                    "ALTER TABLE)");
      }
      if (w.damaged) damage.Note("record chain of page " + std::to_string(p) + " is broken");
      if (origin != 0) continue;  // a page entered half way: its counts say nothing
      const uint64_t counted = PageRecordCount(page);
      block.claimed += counted - std::min<uint64_t>(counted, w.deleted + w.hidden);
      if (w.records + w.deleted + w.hidden != counted) {
        damage.Name("page " + std::to_string(p) + " of " + space.file_name() +
                    ": its header counts " + std::to_string(counted) +
                    " records, its record list holds " +
                    std::to_string(w.records + w.deleted + w.hidden));
      }
    }
  }

  // Purge in MariaDB clears the data of the records it frees: zeros decode
  // as values of many types, so such a record is no row.
  static bool Wiped(const uint8_t* page, size_t origin, const std::vector<StoredField>& fields) {
    size_t end = origin;
    for (const StoredField& f : fields) {
      if (f.state != FieldState::kInline || f.length == 0) continue;
      const size_t at = static_cast<size_t>(f.data - page);
      if (at >= origin && at + f.length <= kPageSize) end = std::max(end, at + f.length);
    }
    for (size_t k = origin; k < end; ++k) {
      if (page[k] != 0) return false;
    }
    return true;
  }

  // Records that are no longer rows; the live pass has already counted
  // the page and named what is wrong with it.
  template <class Splitter, class Walk>
  void DecodeDeleted(RecordBlock& block, const FieldsVisitor& visit, DamageLog& damage,
                     Splitter& split, Walk&& walk) {
    const Tablespace& space = reader_.space();
    block.unit_ok.assign(block.units, 0);
    for (size_t k = 0; k < block.units; ++k) {
      const uint8_t* page = reinterpret_cast<const uint8_t*>(block.bytes.data()) + k * kPageSize;
      const uint32_t p = MarkPage(block.marks[k]);
      if (MarkOrigin(block.marks[k]) != 0) continue;
      if (!space.ChecksumValid(page)) {
        damage.Name(space.FaultText(p, {PageFault::kChecksum, 0}) +
                    ": its deleted records are not read");
        continue;
      }
      block.unit_ok[k] = 1;
      bool stopped = false;
      size_t unfit = 0;
      const DeletedWalk w = walk(page, [&](size_t r, bool) {
        if (stopped) return;
        int32_t short_reference = -1;
        const std::vector<StoredField>* fields = split.Split(page, r, &short_reference);
        if (fields == nullptr || short_reference >= 0 || Wiped(page, r, *fields)) {
          ++unfit;
          return;
        }
        if (!visit(RecordFields{fields->data(), fields->size(), RecordPosition{p, r}})) {
          stopped = true;
        }
      });
      if (stopped) return;
      block.claimed += unfit;  // counted as left out by the caller
      if (w.damaged) {
        damage.Note("deleted-record chain or free list of page " + std::to_string(p) +
                    " is broken");
      }
    }
  }

  const InnodbReader& reader_;
  std::vector<std::pair<size_t, size_t>> spans_;
  CompactFieldSplitter compact_;
  RedundantFieldSplitter redundant_;
};

OpenedReader InnodbReader::Open(const std::string& folder, const std::string& raw_table,
                                const std::string& dictionary_name, const TableDef& table,
                                SystemDictionary* dictionary, const EngineContext& ctx,
                                RecoveryOutput& log) {
  OpenedReader o;
  std::unique_ptr<InnodbReader> r(new InnodbReader(table, ctx));
  r->src_ = LocateTableLeaf(folder, raw_table, table, dictionary, ctx.collations, log);
  o.row_format = RowFormatName(r->src_, dictionary, dictionary_name);
  o.last_auto_increment = r->src_.root_auto_increment;
  o.source = r->src_.in_system ? OpenedReader::Source::kSystemTablespace
                               : OpenedReader::Source::kTablespaceFile;
  if (!r->src_.failure.empty()) {
    o.not_read = r->src_.failure;
    return o;
  }
  if (ctx.deleted_pass && (r->space().compressed() || r->src_.index.instant())) {
    o.not_read = "not read: deleted rows of tables in the " + o.row_format +
                 " row format or changed by instant ALTER TABLE";
    return o;
  }
  if (r->src_.damaged_tree) {
    o.damage = r->src_.detail;
  } else {
    o.detail = r->src_.detail;
  }
  PageBuffer first;
  if (r->space().ReadIdentifiedPage(r->src_.leaf, first).ok()) {
    r->index_id_ = PageIndexId(first.data());
  }
  r->walked_pages_.assign(r->space().page_count(), false);
  r->Seek(RecordPosition{});
  o.reader = std::move(r);
  return o;
}

std::vector<ColumnStorage> InnodbReader::storage() const {
  return InnodbColumnStorage(table_, src_.index);
}

void InnodbReader::ForPreview() {
  preview_ = true;
}

uint64_t InnodbReader::LeafPages() const {
  if (leaf_pages_ == UINT64_MAX) leaf_pages_ = CountLeafPages(space(), src_.leaf, ctx_.stop);
  return leaf_pages_;
}

void InnodbReader::Seek(const RecordPosition& from) {
  chain_done_ = false;
  walked_ = 0;
  std::fill(walked_pages_.begin(), walked_pages_.end(), false);
  walk_damage_.clear();
  walk_end_ = kFilNull;
  // The first record is on the first leaf; page 0 is never a leaf.
  if (from.page == 0) {
    next_ = src_.leaf;
    start_origin_ = 0;
    from_ = kFilNull;
    if (preview_) place_[src_.leaf] = 0;
  } else {
    next_ = static_cast<uint32_t>(from.page);
    start_origin_ = static_cast<uint32_t>(from.offset);
    from_ = kFilNull;
  }
}

void InnodbReader::EndChain(std::string why, uint32_t at) {
  chain_done_ = true;
  if (at != kFilNull) walk_end_ = at;
  if (why.empty()) return;
  // A save names it once every page before it is counted; a preview at once.
  if (preview_) damage_.Name(why);
  walk_damage_ = std::move(why);
}

bool InnodbReader::WalkOne(RecordBlock& block) {
  const uint32_t p = next_;
  if (p == kFilNull) {
    chain_done_ = true;
    return false;
  }
  if (++walked_ > space().page_count()) {
    EndChain("leaf chain loops", kFilNull);
    return false;
  }
  if (p < walked_pages_.size()) {
    if (walked_pages_[p]) {
      EndChain("leaf chain loops back to page " + std::to_string(p), kFilNull);
      return false;
    }
    walked_pages_[p] = true;
  }
  const size_t k = block.units;
  char* slot = block.bytes.Reserve(kPageSize);
  PageBuffer& buf = *reinterpret_cast<PageBuffer*>(slot);
  // Whether this is the page the link names is decided here, before its
  // links are followed; its checksum is left to the decoders.
  const PageCheck c = space().ReadIdentifiedPage(p, buf);
  const uint8_t* page = buf.data();
  if (!c.ok()) {
    std::string why = c.fault == PageFault::kOutside
                          ? "leaf chain leaves the file at page " + std::to_string(p)
                          : FailedPageText(space(), p, c, page);
    if (from_ != kFilNull && c.fault != PageFault::kOutside) {
      why += ": leaf page " + std::to_string(from_) + " links to it, the rows it held are lost";
    }
    EndChain(std::move(why), p);
    return false;
  }
  if (p == src_.leaf && from_ == kFilNull) {
    // Only the leftmost leaf has no previous page: rows before it are
    // missing when a scan had to find where to start.
    broken_links_ = ReadFilHeader(page).prev != kFilNull;
  } else if (from_ != kFilNull || p != src_.leaf) {
    if (std::string why = ForeignLeafProblem(page, p, index_id_, !src_.index.redundant);
        !why.empty()) {
      EndChain(NameProblem(space(), p, page, why), p);
      return false;
    }
    if (from_ != kFilNull) {
      if (std::string broken = BackLinkProblem(page, p, from_); !broken.empty()) {
        damage_.Name(std::move(broken));
        broken_links_ = true;
      }
    }
  }
  if (preview_ && from_ != kFilNull) {
    // Reached from `from_`: its place follows that one's, unless the chain loops.
    const uint64_t place = place_[from_] + 1;
    const auto [it, first] = place_.emplace(p, place);
    if (!first && it->second != place) {
      EndChain("leaf chain loops back to page " + std::to_string(p), kFilNull);
      return false;
    }
  }
  block.bytes.Commit(slot + kPageSize);
  block.marks.push_back(Mark(p, from_ == kFilNull ? start_origin_ : 0));
  block.units = k + 1;
  const uint32_t next = ReadFilHeader(page).next;
  if (next == p) {
    EndChain("leaf chain loops back to page " + std::to_string(p), kFilNull);
    return true;
  }
  from_ = p;
  next_ = next;
  return true;
}

bool InnodbReader::NextBlock(RecordBlock& block, size_t bytes) {
  const size_t pages = std::max<size_t>(1, bytes / kPageSize);
  const uint64_t before = block.units;
  if (extra_chain_ < extra_.size()) {
    // Leaves a scan found: read as they are; the decoders check them.
    while (block.units - before < pages && extra_chain_ < extra_.size()) {
      const std::vector<uint32_t>& chain = extra_[extra_chain_];
      if (extra_at_ >= chain.size()) {
        ++extra_chain_;
        extra_at_ = 0;
        continue;
      }
      const uint32_t p = chain[extra_at_++];
      char* slot = block.bytes.Reserve(kPageSize);
      if (!space().ReadPage(p, *reinterpret_cast<PageBuffer*>(slot))) continue;
      block.bytes.Commit(slot + kPageSize);
      block.marks.push_back(Mark(p, 0));
      ++block.units;
    }
  } else {
    while (!chain_done_ && block.units - before < pages) {
      if (!WalkOne(block)) break;
    }
  }
  handed_ += block.units - before;
  block.progress = handed_;
  return block.units > before;
}

std::unique_ptr<BlockDecoder> InnodbReader::NewDecoder() const {
  return std::make_unique<InnodbBlockDecoder>(*this);
}

size_t InnodbReader::ExternalPrefix(const StoredField& field) const {
  return field.length >= 20 ? field.length - 20 : 0;
}

bool InnodbReader::ReadExternal(const StoredField& field,
                                const std::function<void(const uint8_t*, size_t)>& sink,
                                std::string* problem) {
  if (field.length < 20) {
    if (problem) *problem = "a short reference to its value pages";
    return false;
  }
  const ExternRef ref = ParseExternRef(field.data + field.length - 20);
  if (space().compressed()) {
    // A compressed table's values are zlib streams over pages of their own.
    const ZipBlobResult r = ReadZipBlob(
        [this](uint32_t n, std::vector<uint8_t>& out) { return space().ReadStoredPage(n, out); },
        space().physical_page_size(), ref, space().page_count(), sink);
    value_pages_ += r.pages;
    if (!r.complete() && problem) *problem = r.problem;
    return r.complete();
  }
  uint64_t pages = 0;
  const bool ok = ReadExternValue(space(), ref, sink, problem, &pages);
  value_pages_ += pages;
  return ok;
}

void InnodbReader::Consumed(const RecordBlock& block) {
  claimed_ += block.claimed;
  for (size_t k = 0; k < block.units; ++k) {
    const FilHeader h =
        ReadFilHeader(reinterpret_cast<const uint8_t*>(block.bytes.data()) + k * kPageSize);
    const bool intact = k < block.unit_ok.size() && block.unit_ok[k] != 0;
    seen_.push_back({MarkPage(block.marks[k]), h.prev, h.next, intact});
    lost_pages_ = lost_pages_ || !intact;
  }
}

bool InnodbReader::Finish(uint64_t) {
  // Deleted rows have no count to meet; the live pass looked for lost leaves.
  if (ctx_.deleted_pass) {
    if (!walk_damage_.empty()) damage_.Name(walk_damage_);
    return false;
  }
  if (scanned_) {
    for (const std::vector<uint32_t>& chain : extra_) {
      damage_.Name("leaf " + PageListText(chain, space().file_name()) +
                   " not reached by the leaf chain: rows read from a scan of the file");
    }
    extra_.clear();
    CountWhatTheLeavesHold();
    return false;
  }
  scanned_ = true;
  if (!walk_damage_.empty()) damage_.Name(walk_damage_);
  // Leaves the chain did not reach. Looked for only when something is
  // already wrong, or when the leaf segment holds more pages than the walk
  // and the values account for: reading every page costs a pass over the file.
  bool look = !walk_damage_.empty() || broken_links_ || lost_pages_;
  if (!look && src_.index.root != src_.leaf) {
    const std::optional<uint64_t> segment = LeafSegmentPages(space(), src_.index.root, index_id_);
    look = segment && *segment != seen_.size() + value_pages_.load();
  }
  if (look) {
    const LeafScan scan = ScanIndexLeaves(space(), index_id_, &walked_pages_, ctx_.stop);
    for (const LeafScan::Damaged& d : scan.damaged) {
      claimed_ += d.records;
      counted_elsewhere_.push_back(d.page);
      damage_.Name(d.problem + ": its " + std::to_string(d.records) + " records are not saved");
    }
    if (!scan.undecided.empty()) {
      damage_.Name("leaf " + PageListText(scan.undecided, space().file_name()) +
                   " not reached by the leaf chain are not read: " + scan.undecided_why);
    }
    extra_ = ChainScannedLeaves(scan.intact);
    extra_chain_ = 0;
    extra_at_ = 0;
  }
  if (!extra_.empty()) return true;
  CountWhatTheLeavesHold();
  return false;
}

// What the leaves count is whole when no link leads to a page that could
// not be counted; each such page is named once.
void InnodbReader::CountWhatTheLeavesHold() {
  std::unordered_set<uint32_t> counted(counted_elsewhere_.begin(), counted_elsewhere_.end());
  std::unordered_set<uint32_t> has_next, has_prev;
  for (const LeafSeen& s : seen_) {
    counted.insert(s.page);
    if (!s.intact) continue;
    if (s.prev != kFilNull) has_next.insert(s.prev);
    if (s.next != kFilNull) has_prev.insert(s.next);
  }
  // Links of intact leaves to pages neither counted nor proven wrong by an
  // intact leaf that links back in their place: whatever they held is unknown.
  std::vector<std::pair<uint32_t, uint32_t>> dangling;  // page, the leaf linking to it
  for (const LeafSeen& s : seen_) {
    if (!s.intact) continue;
    if (s.prev != kFilNull && !counted.count(s.prev) && !has_prev.count(s.page)) {
      dangling.emplace_back(s.prev, s.page);
    }
    if (s.next != kFilNull && !counted.count(s.next) && !has_next.count(s.page)) {
      dangling.emplace_back(s.next, s.page);
    }
  }
  std::unordered_set<uint32_t> named;
  if (walk_end_ != kFilNull) named.insert(walk_end_);  // named with the walk's end
  PageBuffer probe;
  for (const auto& [page, from] : dangling) {
    if (ctx_.stopped() || named.size() > DamageLog::kMaxLines) break;
    if (!named.insert(page).second) continue;
    const PageCheck c = space().ReadCheckedPage(page, probe);
    damage_.Name((c.ok() ? "page " + std::to_string(page) + " of " + space().file_name() +
                               " is not a leaf of the index"
                         : space().FaultText(page, c)) +
                 ": leaf page " + std::to_string(from) + " links to it, the rows it held are lost");
  }
  counted_ = RowCount{dangling.empty() && !ctx_.stopped(), claimed_};
}

}  // namespace vostrel
