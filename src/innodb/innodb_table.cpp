#include "innodb/innodb_table.h"

#include <exception>
#include <map>
#include <memory>
#include <new>

#include "innodb/record.h"
#include "innodb/row_decoder.h"
#include "model/damage_log.h"
#include "sql/insert_builder.h"
#include "sql/row_batches.h"

namespace vostrel {

namespace {

constexpr int kMaxTreeHeight = 64;

bool IsLeftmostLeaf(const uint8_t* page, uint64_t index_id) {
  const FilHeader h = ReadFilHeader(page);
  return h.type == kPageTypeIndex && PageLevel(page) == 0 && h.prev == kFilNull &&
         PageIndexId(page) == index_id;
}

// When the tree above the leaves is damaged: the leftmost leaf of the index is
// the level-0 page of that index without a previous page.
uint32_t ScanForLeaf(Tablespace& space, uint64_t index_id, bool any_index) {
  PageBuffer page;
  std::map<uint64_t, uint32_t> first_leaf_by_index;
  for (uint64_t n = 0; n < space.page_count(); ++n) {
    if (!space.ReadPage(n, page)) break;
    const FilHeader h = ReadFilHeader(page.data());
    if (h.type != kPageTypeIndex || PageLevel(page.data()) != 0 || h.prev != kFilNull) continue;
    if (!any_index && IsLeftmostLeaf(page.data(), index_id)) return static_cast<uint32_t>(n);
    first_leaf_by_index.emplace(PageIndexId(page.data()), static_cast<uint32_t>(n));
  }
  // The clustered index is created first, so it has the smallest id.
  if (any_index && !first_leaf_by_index.empty()) return first_leaf_by_index.begin()->second;
  return 0;
}

}  // namespace

LeafSearch FindLeafPage(Tablespace& space, uint32_t root, const ClusteredIndex& index,
                        uint64_t known_index_id) {
  LeafSearch s;
  PageBuffer page;
  uint64_t index_id = known_index_id;
  bool have_id = known_index_id != 0;
  uint32_t p = root;
  for (int depth = 0; depth < kMaxTreeHeight; ++depth) {
    if (!space.ReadPage(p, page)) {
      s.problem = "page " + std::to_string(p) + " lies outside the file";
      break;
    }
    const FilHeader h = ReadFilHeader(page.data());
    if (h.type != kPageTypeIndex) {
      s.problem = "page " + std::to_string(p) + " is not an index page";
      break;
    }
    if (!PageIsCompact(page.data())) {
      s.redundant = true;
      return s;
    }
    if (!have_id) {
      index_id = PageIndexId(page.data());
      have_id = true;
    }
    if (PageLevel(page.data()) == 0) {
      s.leaf = p;
      return s;
    }
    const size_t r = FirstRecord(page.data());
    const size_t k = r == 0 ? 0 : NodePointerKeyLength(page.data(), r, index);
    if (r == 0 || k == 0) {
      s.problem = "node pointer on page " + std::to_string(p) + " cannot be read";
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
  s.leaf = ScanForLeaf(space, index_id, !have_id);
  s.from_scan = s.leaf != 0;
  return s;
}

uint64_t CountLeafPages(Tablespace& space, uint32_t first, const std::atomic<bool>* stop) {
  PageBuffer page;
  uint64_t count = 0;
  for (uint32_t p = first; p != kFilNull && count <= space.page_count(); ++count) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
    if (!space.ReadPage(p, page)) break;
    const uint32_t next = ReadFilHeader(page.data()).next;
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
  RowChunk rows;
  DamageLog damage;
  bool external = false;  // a value lies on other pages: the calling thread redoes the batch

  void Clear() {
    numbers.clear();
    rows.Clear();
    damage = DamageLog{};
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
// record is decoded whole, its large values written to files.
void FormatLeafBatch(LeafBatch& batch, InnoRowDecoder& decoder, const TableDef& table,
                     const std::string& head, bool script_form, InnoDecodeContext* full, Row* row) {
  TextBuffer& text = batch.rows.text;
  // Room for the statements up front, rather than growing step by step.
  text.Reserve(4 * kPageSize * batch.numbers.size());
  const std::string_view row_end = InsertRowEnd(script_form);
  std::string statement;
  for (size_t k = 0; k < batch.numbers.size(); ++k) {
    // The walk hands over only leaves of the index (ForeignLeafProblem).
    const uint8_t* page = batch.pages[k].data();
    const uint32_t p = batch.numbers[k];
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
    if (w.damaged) batch.damage.Note("record chain of page " + std::to_string(p) + " is broken");
  }
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
    auto format_here = [&](LeafBatch& batch) {
      batch.rows.Clear();
      batch.damage = DamageLog{};
      batch.external = false;
      InnoDecodeContext dctx{space, blobs, DecodeOptions{true}, batch.damage};
      FormatLeafBatch(batch, main_decoder, table, head, script_form, &dctx, &row);
    };
    uint64_t consumed = 0;
    OrderedBatches<LeafBatch> batches(
        workers,
        [&](LeafBatch& batch, unsigned worker) {
          if (decoders.empty()) {
            format_here(batch);
          } else {
            FormatLeafBatch(batch, *decoders[worker], table, head, script_form, nullptr, nullptr);
          }
        },
        [&](LeafBatch& batch) {
          if (batch.external) format_here(batch);
          MergeDamage(batch.damage, damage);
          SendRows(sink, batch.rows, result.rows, result.rejected, result.first_rejection, ctx.out);
          consumed += batch.numbers.size();
          ctx.out.SetProgress(consumed, total);
        });
    const size_t batch_pages = std::max<size_t>(1, GetExportTuning().batch_bytes / kPageSize);
    LeafBatch* batch = nullptr;
    std::string walk_damage;  // what ended the walk, noted after the pages before it
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
      if (!space.ReadPage(p, batch->pages[k])) {
        walk_damage = "leaf chain leaves the file at page " + std::to_string(p);
        break;
      }
      const uint8_t* page = batch->pages[k].data();
      if (p == leaf) {
        index_id = PageIndexId(page);
      } else {
        walk_damage = ForeignLeafProblem(page, p, index_id);
        if (!walk_damage.empty()) break;
        if (std::string broken = BackLinkProblem(page, p, from); !broken.empty()) {
          damage.Note(broken);
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
    if (!walk_damage.empty()) damage.Note(walk_damage);
    ctx.out.SetProgress(total, total);
    if (damage.any()) {
      result.damaged = true;
      result.damage = "tablespace " + space.path().string() + ": " + damage.Summary();
      ctx.out.ReportProblem("Tablespace " + space.path().string() + " is damaged: " +
                            damage.Summary());
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
