#include "innodb/innodb_table.h"

#include <exception>
#include <map>

#include "innodb/record.h"
#include "innodb/row_decoder.h"
#include "model/damage_log.h"
#include "sql/insert_builder.h"

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

TableExportResult ExportInnoRows(Tablespace& space, uint32_t leaf, const std::string& table_name,
                                 const TableDef& table, const ClusteredIndex& index, RowSink& sink,
                                 EngineContext& ctx, BlobFileWriter* blobs,
                                 const char* function_name) {
  TableExportResult result;
  try {
    const std::string head = InsertHeader(table_name, table);
    InnoRowDecoder decoder(table, index, ctx.collations, ctx.code_page);
    DamageLog damage;
    InnoDecodeContext dctx{space, blobs, DecodeOptions{true}, damage};
    const uint64_t total = CountLeafPages(space, leaf, ctx.stop);
    PageBuffer page;
    Row row;
    std::string statement;
    uint64_t done = 0;
    for (uint32_t p = leaf; p != kFilNull;) {
      ctx.out.SetProgress(done, total);
      if (ctx.stopped()) break;
      if (++done > space.page_count()) {
        damage.Note("leaf chain loops");
        break;
      }
      if (!space.ReadPage(p, page)) {
        damage.Note("leaf chain leaves the file at page " + std::to_string(p));
        break;
      }
      const FilHeader h = ReadFilHeader(page.data());
      if (h.type != kPageTypeIndex || PageLevel(page.data()) != 0) {
        damage.Note("page " + std::to_string(p) + " on the leaf chain is not a leaf page");
      } else {
        const PageWalk w = WalkPageRecords(page.data(), 0, [&](size_t origin) {
          if (!decoder.Decode(page.data(), origin, dctx, row)) {
            damage.Note("record at page " + std::to_string(p) + " offset " + std::to_string(origin) +
                        " does not fit its page");
            return true;
          }
          BuildInsertRow(head, table, row, sink.script_form(), statement);
          if (sink.ExecuteRow(statement)) {
            ++result.rows;
          } else if (!sink.script_form()) {
            ++result.rejected;
            ctx.out.WriteLogText("row not inserted after " +
                                 std::to_string(static_cast<uint32_t>(result.rows)) +
                                 "  row no.\r\n");
          }
          return true;
        });
        if (w.damaged) damage.Note("record chain of page " + std::to_string(p) + " is broken");
      }
      if (h.next == p) break;
      p = h.next;
    }
    ctx.out.SetProgress(total, total);
    if (damage.any()) {
      result.damaged = true;
      const std::string line = "Tablespace " + space.path().string() + " is damaged: " + damage.Summary();
      ctx.out.AddOutputLine(line);
      ctx.out.WriteLogText(line + "\r\n");
    }
    const std::string line = TotalLine(result.rows);
    ctx.out.AddOutputLine(line);
    ctx.out.WriteLogText(line + "\r\n\r\n");
    result.completed = true;
  } catch (const std::exception&) {
    ctx.out.WriteLogText(std::string("Error in processing function ") + function_name + "\r\n");
  }
  return result;
}

}  // namespace vostrel
