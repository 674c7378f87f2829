#include "innodb/innodb_table.h"

#include <exception>
#include <memory>
#include <new>
#include <unordered_set>

#include "innodb/leaf_scan.h"
#include "innodb/page_check.h"
#include "innodb/record.h"
#include "innodb/row_decoder.h"
#include "innodb/space_map.h"
#include "model/damage_log.h"
#include "sql/insert_builder.h"
#include "sql/row_batches.h"

namespace vostrel {

namespace {

constexpr int kMaxTreeHeight = 64;
// Named pages beyond these are only counted in the damage line.
constexpr size_t kNamedLines = 100;

// A page that failed, with what its header claims where the header is its own.
std::string FailedPageText(const Tablespace& space, uint64_t n, const PageCheck& c,
                           const uint8_t* page) {
  std::string s = space.FaultText(n, c);
  if (c.header_is_its_own() && ReadFilHeader(page).type == kPageTypeIndex) {
    s += "; its header counts " + std::to_string(PageRecordCount(page)) + " records";
  }
  return s;
}

// A page that reads as itself but not as the index page wanted: when its
// checksum fails too, that is the better name for it.
std::string NameProblem(const Tablespace& space, uint64_t n, const uint8_t* page,
                        std::string problem) {
  if (!space.ChecksumValid(page)) return space.FaultText(n, {PageFault::kChecksum, 0});
  return problem;
}

}  // namespace

LeafSearch FindLeafPage(Tablespace& space, uint32_t root, const ClusteredIndex& index,
                        uint64_t known_index_id) {
  LeafSearch s;
  PageBuffer page;
  uint64_t index_id = known_index_id;
  bool have_id = known_index_id != 0;
  uint32_t p = root;
  int level = -1;  // the level the next page must be on; -1 at the root
  const std::string of = " of " + space.file_name();
  for (int depth = 0; depth < kMaxTreeHeight; ++depth) {
    const PageCheck c = space.ReadCheckedPage(p, page);
    // A leaf that is itself but fails its checksum still starts the walk,
    // which names it and goes on through it; a node page that fails cannot
    // be trusted with the way down.
    const bool failed_leaf = c.fault == PageFault::kChecksum && level <= 0 &&
                             ReadFilHeader(page.data()).type == kPageTypeIndex &&
                             PageLevel(page.data()) == 0 && PageIsCompact(page.data()) &&
                             (!have_id || PageIndexId(page.data()) == index_id) &&
                             IndexPageFramed(page.data());
    if (failed_leaf) {
      s.leaf = p;
      return s;
    }
    if (!c.ok()) {
      s.problem = FailedPageText(space, p, c, page.data());
      break;
    }
    const FilHeader h = ReadFilHeader(page.data());
    if (h.type != kPageTypeIndex) {
      s.problem = "page " + std::to_string(p) + of + " is not an index page";
      break;
    }
    if (!PageIsCompact(page.data())) {
      s.redundant = true;
      return s;
    }
    if (!IndexPageFramed(page.data())) {
      s.problem = "page " + std::to_string(p) + of +
                  " has no infimum and supremum where an index page keeps them";
      break;
    }
    if (have_id && PageIndexId(page.data()) != index_id) {
      s.problem = "page " + std::to_string(p) + of + " belongs to another index";
      break;
    }
    if (!have_id) {
      index_id = PageIndexId(page.data());
      have_id = true;
    }
    if (level >= 0 && PageLevel(page.data()) != level) {
      s.problem = "page " + std::to_string(p) + of + " is on level " +
                  std::to_string(PageLevel(page.data())) + ", not " + std::to_string(level);
      break;
    }
    if (PageLevel(page.data()) == 0) {
      s.leaf = p;
      return s;
    }
    level = PageLevel(page.data()) - 1;
    const size_t r = FirstRecord(page.data());
    const size_t k = r == 0 ? 0 : NodePointerKeyLength(page.data(), r, index);
    if (r == 0 || k == 0 || r + k + 4 > kPageSize) {
      s.problem = "node pointer on page " + std::to_string(p) + of + " cannot be read";
      break;
    }
    const uint32_t child = PageU32(page.data(), r + k);
    if (child >= space.page_count() || child == p) {
      s.problem = "child page " + std::to_string(child) + " lies outside the file";
      break;
    }
    p = child;
  }
  if (s.problem.empty()) s.problem = "the tree is deeper than any real one";
  // The leftmost leaf has no previous page; when that one is lost too, a leaf
  // whose previous page is not an intact leaf starts what can be had.
  const LeafScan scan = ScanIndexLeaves(space, have_id ? index_id : 0, nullptr, nullptr);
  for (const ScannedLeaf& l : scan.intact) {
    if (l.prev == kFilNull) {
      s.leaf = l.page;
      break;
    }
  }
  if (s.leaf == 0) {
    const auto chains = ChainScannedLeaves(scan.intact);
    if (!chains.empty() && !chains.front().empty()) s.leaf = chains.front().front();
  }
  s.from_scan = s.leaf != 0;
  return s;
}

uint64_t CountLeafPages(Tablespace& space, uint32_t first, const std::atomic<bool>* stop) {
  uint64_t count = 0;
  for (uint32_t p = first; p != kFilNull && count <= space.page_count(); ++count) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
    const uint8_t* page = space.ViewPage(p);
    if (page == nullptr || !space.Identify(p, page).ok()) break;
    const uint32_t next = ReadFilHeader(page).next;
    if (next == p) {
      ++count;
      break;
    }
    p = next;
  }
  return count;
}

std::string ForeignLeafProblem(const uint8_t* page, uint32_t p, uint64_t index_id) {
  const FilHeader h = ReadFilHeader(page);
  if (h.type != kPageTypeIndex || PageLevel(page) != 0) {
    return "page " + std::to_string(p) + " on the leaf chain is not a leaf page";
  }
  if (PageIndexId(page) != index_id) {
    return "page " + std::to_string(p) + " on the leaf chain belongs to another index";
  }
  if (!PageIsCompact(page) || !IndexPageFramed(page)) {
    return "page " + std::to_string(p) +
           " on the leaf chain has no infimum and supremum where a leaf keeps them";
  }
  return {};
}

std::string BackLinkProblem(const uint8_t* page, uint32_t p, uint32_t from) {
  const uint32_t prev = ReadFilHeader(page).prev;
  if (prev == from) return {};
  return "leaf chain is broken: page " + std::to_string(p) + " links back to page " +
         (prev == kFilNull ? std::string("none") : std::to_string(prev)) + ", not to page " +
         std::to_string(from);
}

namespace {

// Leaf pages of one stretch of the chain, copied, and the statements of
// their rows.
struct LeafBatch {
  std::vector<PageBuffer> pages;
  std::vector<uint32_t> numbers;
  std::vector<uint8_t> intact;  // per page: its checksum holds and its records were read
  RowChunk rows;
  DamageLog damage;
  std::vector<std::string> named;  // the pages that failed, a log line each
  uint64_t expected = 0;           // live records the pages' headers count
  bool external = false;  // a value lies on other pages: the calling thread redoes the batch

  void Clear() {
    numbers.clear();
    ClearResults();
  }
  void ClearResults() {
    intact.clear();
    rows.Clear();
    damage = DamageLog{};
    named.clear();
    expected = 0;
    external = false;
  }
};

void MergeDamage(const DamageLog& from, DamageLog& into) {
  if (from.count == 0) return;
  if (into.count == 0) into.first = from.first;
  into.count += from.count;
}

// The statements of every live record of the batch's pages. Without `full`
// (a helper thread) a value on other pages stops the batch; with it, such a
// record is decoded whole, its large values written to files. A page whose
// checksum fails gives no rows; its header's count is kept as what it lost.
void FormatLeafBatch(LeafBatch& batch, const Tablespace& space, InnoRowDecoder& decoder,
                     const TableDef& table, const std::string& head, bool script_form,
                     InnoDecodeContext* full, Row* row) {
  TextBuffer& text = batch.rows.text;
  // Room for the statements up front, rather than growing step by step.
  text.Reserve(4 * kPageSize * batch.numbers.size());
  const std::string_view row_end = InsertRowEnd(script_form);
  std::string statement;
  batch.intact.assign(batch.numbers.size(), 0);
  for (size_t k = 0; k < batch.numbers.size(); ++k) {
    // The walk hands over only leaves of the index (ForeignLeafProblem).
    const uint8_t* page = batch.pages[k].data();
    const uint32_t p = batch.numbers[k];
    if (!space.ChecksumValid(page)) {
      const uint64_t lost = ClaimedLiveRecords(page);
      batch.expected += lost;
      std::string line = space.FaultText(p, {PageFault::kChecksum, 0}) + ": its " +
                         std::to_string(lost) + " records are not saved";
      batch.damage.Note(line);
      batch.named.push_back(std::move(line));
      continue;
    }
    batch.intact[k] = 1;
    const PageWalk w = WalkPageRecords(page, 0, [&](size_t origin) {
      const size_t mark = text.size();
      text.Append(head);
      InnoRowDecoder::Direct d = decoder.direct() ? decoder.AppendLiterals(page, origin, text)
                                                  : InnoRowDecoder::Direct::kExternal;
      if (d == InnoRowDecoder::Direct::kExternal) {
        if (full == nullptr) {
          batch.external = true;
          return false;
        }
        text.Truncate(mark);
        if (decoder.Decode(page, origin, *full, *row)) {
          BuildInsertRow(head, table, *row, script_form, statement);
          text.Append(statement);
          batch.rows.EndRow();
          return true;
        }
        d = InnoRowDecoder::Direct::kMisfit;
      }
      if (d == InnoRowDecoder::Direct::kMisfit) {
        text.Truncate(mark);
        batch.damage.Note("record at page " + std::to_string(p) + " offset " +
                          std::to_string(origin) + " does not fit its page");
        return true;
      }
      text.Append(row_end);
      batch.rows.EndRow();
      return true;
    });
    if (batch.external) return;
    const uint64_t counted = PageRecordCount(page);
    batch.expected += counted - std::min<uint64_t>(counted, w.deleted);
    if (w.damaged) batch.damage.Note("record chain of page " + std::to_string(p) + " is broken");
    if (w.records + w.deleted != counted) {
      std::string line = "page " + std::to_string(p) + " of " + space.file_name() +
                         ": its header counts " + std::to_string(counted) +
                         " records, its record list holds " + std::to_string(w.records + w.deleted);
      batch.damage.Note(line);
      batch.named.push_back(std::move(line));
    }
  }
}

// A leaf as the walk met it, for the count of what the leaf level holds.
struct LeafSeen {
  uint32_t page = 0;
  uint32_t prev = kFilNull;
  uint32_t next = kFilNull;
  bool intact = false;
};

struct DanglingLink {
  uint32_t page = 0;  // not counted
  uint32_t from = 0;  // the intact leaf that links to it
};

// Links of intact leaves to pages that are neither counted (walked, or found
// damaged by a scan) nor proven wrong by an intact leaf that links back in
// their place. Whatever such a page held is unknown. A failed page's own
// links prove nothing.
std::vector<DanglingLink> DanglingLinks(const std::vector<LeafSeen>& seen,
                                        const std::vector<uint32_t>& also_counted) {
  std::unordered_set<uint32_t> counted(also_counted.begin(), also_counted.end());
  std::unordered_set<uint32_t> has_next, has_prev;
  for (const LeafSeen& s : seen) {
    counted.insert(s.page);
    if (!s.intact) continue;
    if (s.prev != kFilNull) has_next.insert(s.prev);
    if (s.next != kFilNull) has_prev.insert(s.next);
  }
  std::vector<DanglingLink> out;
  for (const LeafSeen& s : seen) {
    if (!s.intact) continue;
    if (s.prev != kFilNull && !counted.count(s.prev) && !has_prev.count(s.page)) {
      out.push_back({s.prev, s.page});
    }
    if (s.next != kFilNull && !counted.count(s.next) && !has_next.count(s.page)) {
      out.push_back({s.next, s.page});
    }
  }
  return out;
}

}  // namespace

TableExportResult ExportInnoRows(Tablespace& space, uint32_t leaf, const std::string& table_name,
                                 const TableDef& table, const ClusteredIndex& index, RowSink& sink,
                                 EngineContext& ctx, BlobFileWriter* blobs,
                                 const char* function_name) {
  TableExportResult result;
  try {
    const std::string head = InsertHeader(table_name, table);
    const bool script_form = sink.script_form();
    DamageLog damage;
    std::vector<std::string> named;
    auto name = [&](std::string line) {
      damage.Note(line);
      named.push_back(std::move(line));
    };
    const uint64_t total = CountLeafPages(space, leaf, ctx.stop);
    // The calling thread's decoder handles values on other pages; helper
    // threads each get their own.
    InnoRowDecoder main_decoder(table, index, ctx.collations, ctx.code_page);
    Row row;
    const unsigned workers = main_decoder.direct() ? ExportWorkerCount(total * kPageSize) : 0;
    std::vector<std::unique_ptr<InnoRowDecoder>> decoders;
    for (unsigned i = 0; i < workers; ++i) {
      decoders.push_back(
          std::make_unique<InnoRowDecoder>(table, index, ctx.collations, ctx.code_page));
    }
    uint64_t value_pages = 0;
    auto format_here = [&](LeafBatch& batch) {
      batch.ClearResults();
      InnoDecodeContext dctx{space, blobs, DecodeOptions{true}, batch.damage};
      FormatLeafBatch(batch, space, main_decoder, table, head, script_form, &dctx, &row);
      value_pages += dctx.value_pages;
    };
    uint64_t consumed = 0;
    std::vector<LeafSeen> seen;
    bool lost_pages = false;  // a page failed: the chain may go on elsewhere
    auto take = [&](LeafBatch& batch) {
      MergeDamage(batch.damage, damage);
      for (std::string& line : batch.named) named.push_back(std::move(line));
      result.expected_rows += batch.expected;
      for (size_t k = 0; k < batch.numbers.size(); ++k) {
        const FilHeader h = ReadFilHeader(batch.pages[k].data());
        seen.push_back({batch.numbers[k], h.prev, h.next, batch.intact[k] != 0});
        lost_pages = lost_pages || !batch.intact[k];
      }
      SendRows(sink, batch.rows, result.rows, result.rejected, result.first_rejection, ctx.out);
    };
    OrderedBatches<LeafBatch> batches(
        workers,
        [&](LeafBatch& batch, unsigned worker) {
          if (decoders.empty()) {
            format_here(batch);
          } else {
            batch.ClearResults();
            FormatLeafBatch(batch, space, *decoders[worker], table, head, script_form, nullptr,
                            nullptr);
          }
        },
        [&](LeafBatch& batch) {
          if (batch.external) format_here(batch);
          take(batch);
          consumed += batch.numbers.size();
          ctx.out.SetProgress(consumed, total);
        });
    const size_t batch_pages = std::max<size_t>(1, GetExportTuning().batch_bytes / kPageSize);
    LeafBatch* batch = nullptr;
    std::string walk_damage;       // what ended the walk, noted after the pages before it
    uint32_t walk_end = kFilNull;  // the page that ended it, when one did
    bool broken_links = false;
    uint64_t walked = 0;
    // A leaf met again means the chain loops; going on would repeat its rows.
    std::vector<bool> walked_pages(space.page_count());
    uint64_t index_id = 0;  // the first leaf's; every later leaf must share it
    uint32_t from = kFilNull;
    ctx.out.SetProgress(0, total);
    for (uint32_t p = leaf; p != kFilNull;) {
      if (ctx.stopped()) break;
      if (++walked > space.page_count()) {
        walk_damage = "leaf chain loops";
        break;
      }
      if (p < walked_pages.size()) {
        if (walked_pages[p]) {
          walk_damage = "leaf chain loops back to page " + std::to_string(p);
          break;
        }
        walked_pages[p] = true;
      }
      if (batch == nullptr) {
        batch = &batches.Next();
        batch->Clear();
      }
      const size_t k = batch->numbers.size();
      if (batch->pages.size() <= k) batch->pages.resize(k + 1);
      // Whether this is the page the link names is decided here, before its
      // links are followed; its checksum is left to the formatting threads.
      const PageCheck c = space.ReadIdentifiedPage(p, batch->pages[k]);
      const uint8_t* page = batch->pages[k].data();
      if (!c.ok()) {
        walk_end = p;
        walk_damage = c.fault == PageFault::kOutside
                          ? "leaf chain leaves the file at page " + std::to_string(p)
                          : FailedPageText(space, p, c, page);
        if (from != kFilNull && c.fault != PageFault::kOutside) {
          walk_damage +=
              ": leaf page " + std::to_string(from) + " links to it, the rows it held are lost";
        }
        break;
      }
      if (p == leaf) {
        index_id = PageIndexId(page);
        // Only the leftmost leaf has no previous page: rows before it are
        // missing when a scan had to find where to start.
        broken_links = ReadFilHeader(page).prev != kFilNull;
      } else {
        walk_damage = ForeignLeafProblem(page, p, index_id);
        if (!walk_damage.empty()) {
          walk_end = p;
          walk_damage = NameProblem(space, p, page, walk_damage);
          break;
        }
        if (std::string broken = BackLinkProblem(page, p, from); !broken.empty()) {
          name(std::move(broken));
          broken_links = true;
        }
      }
      batch->numbers.push_back(p);
      const uint32_t next = ReadFilHeader(page).next;
      if (batch->numbers.size() >= batch_pages) {
        batches.Submit();
        batch = nullptr;
      }
      if (next == p) {
        walk_damage = "leaf chain loops back to page " + std::to_string(p);
        break;
      }
      from = p;
      p = next;
    }
    if (batch != nullptr && !batch->numbers.empty()) batches.Submit();
    batches.Finish();
    if (!walk_damage.empty()) name(walk_damage);

    // Leaves the chain did not reach. Looked for only when something is
    // already wrong, or when the leaf segment holds more pages than the walk
    // and the values account for: reading every page costs a pass over the file.
    std::vector<uint32_t> counted_elsewhere;  // damaged leaves the scan found
    if (!ctx.stopped()) {
      bool look = !walk_damage.empty() || broken_links || lost_pages;
      if (!look && index.root != leaf) {
        const std::optional<uint64_t> segment = LeafSegmentPages(space, index.root, index_id);
        look = segment && *segment != seen.size() + value_pages;
      }
      if (look) {
        const LeafScan scan = ScanIndexLeaves(space, index_id, &walked_pages, ctx.stop);
        for (const LeafScan::Damaged& d : scan.damaged) {
          result.expected_rows += d.records;
          counted_elsewhere.push_back(d.page);
          name(d.problem + ": its " + std::to_string(d.records) + " records are not saved");
        }
        if (!scan.undecided.empty()) {
          name("leaf " + PageListText(scan.undecided, space.file_name()) +
               " not reached by the leaf chain are not read: " + scan.undecided_why);
        }
        LeafBatch extra;
        for (const std::vector<uint32_t>& chain : ChainScannedLeaves(scan.intact)) {
          const uint64_t rows_before = result.rows;
          for (size_t at = 0; at < chain.size(); at += batch_pages) {
            extra.Clear();
            for (size_t i = at; i < chain.size() && i < at + batch_pages; ++i) {
              if (extra.pages.size() <= extra.numbers.size()) extra.pages.emplace_back();
              space.ReadPage(chain[i], extra.pages[extra.numbers.size()]);
              extra.numbers.push_back(chain[i]);
            }
            format_here(extra);
            take(extra);
          }
          name("leaf " + PageListText(chain, space.file_name()) +
               " not reached by the leaf chain: " + std::to_string(result.rows - rows_before) +
               " rows saved from a scan of the file");
        }
      }
    }
    // What the leaves count is whole when no link leads to a page that could
    // not be counted; each such page is named once.
    std::unordered_set<uint32_t> named_pages;
    if (walk_end != kFilNull) named_pages.insert(walk_end);  // named with the walk's end
    const std::vector<DanglingLink> dangling = DanglingLinks(seen, counted_elsewhere);
    PageBuffer probe;
    for (const DanglingLink& d : dangling) {
      if (ctx.stopped() || named_pages.size() > kNamedLines) break;
      if (!named_pages.insert(d.page).second) continue;
      const PageCheck c = space.ReadCheckedPage(d.page, probe);
      name((c.ok() ? "page " + std::to_string(d.page) + " of " + space.file_name() +
                         " is not a leaf of the index"
                   : space.FaultText(d.page, c)) +
           ": leaf page " + std::to_string(d.from) + " links to it, the rows it held are lost");
    }
    result.expected_known = dangling.empty() && !ctx.stopped();

    ctx.out.SetProgress(total, total);
    if (damage.any()) {
      result.damaged = true;
      result.damage = "tablespace " + space.path().string() + ": " + damage.Summary();
      ctx.out.ReportProblem("Tablespace " + space.path().string() + " is damaged: " +
                            damage.Summary());
      for (size_t i = 0; i < named.size() && i < kNamedLines; ++i) {
        ctx.out.WriteLogText("  " + named[i] + "\r\n");
      }
    }
    const std::string line = TotalLine(result.rows);
    ctx.out.AddOutputLine(line);
    ctx.out.WriteLogText(line + "\r\n\r\n");
    result.completed = true;
  } catch (const std::bad_alloc&) {
    result.error = "out of memory while reading the rows";
    ctx.out.WriteLogText(std::string("Error in processing function ") + function_name + "\r\n");
  } catch (const std::exception& e) {
    result.error = std::string("reading the rows failed: ") + e.what();
    ctx.out.WriteLogText(std::string("Error in processing function ") + function_name + "\r\n");
  }
  return result;
}

}  // namespace vostrel
