// What each harness does with one input; the regression tests replay
// committed inputs through the same functions.
#include "fuzz_targets.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "innodb/clustered_fields.h"
#include "innodb/innodb_table.h"
#include "innodb/record.h"
#include "innodb/redundant_record.h"
#include "innodb/row_decoder.h"
#include "innodb/system_dictionary.h"
#include "model/data_file.h"
#include "model/frm_reader.h"
#include "model/text_buffer.h"
#include "myisam/myd_reader.h"
#include "myisam/myi_header.h"
#include "myisam/record_decoder.h"
#include "scan/recovery_output.h"
#include "sql/create_statements.h"
#include "sql/row_sink.h"
#include "sql/views_triggers.h"

namespace vostrel::fuzz {

namespace {
// Bounds that keep one execution short; real damage is met well within them.
constexpr size_t kMyisamMaxRecords = 2000;
constexpr size_t kMyisamScreen = 50;
constexpr size_t kInnodbMaxRecords = 4000;

// Takes the export's statements; one row's statement cannot outgrow the input
// by more than quoting and hex can explain.
struct CheckingSink : RowSink {
  size_t limit;
  explicit CheckingSink(size_t input_size) : limit(16 * input_size + 65536) {}
  bool script_form() const override { return true; }
  bool ExecuteRow(std::string_view statement) override {
    if (statement.size() > limit) Fail("INSERT statement", statement.size());
    return true;
  }
  void WriteText(std::string_view) override {}
};
}  // namespace

// .frm bytes into a table definition, the InnoDB field list and the CREATE
// TABLE statement derived from it.
int RunFrm(const uint8_t* data, size_t size) {
  TableDef table;
  const FrmReadResult r = ParseFrm(ByteView(data, size), Collations(), Cp(), table);
  for (const ColumnDef& c : table.columns) {
    if (ValueTooLarge(c.name, size)) Fail("column name", c.name.size());
    if (ValueTooLarge(c.enum_values, size)) Fail("member list", c.enum_values.size());
  }
  if (r.ok) {
    const ClusteredIndex index = BuildClusteredIndexFromTableDef(table, Collations());
    (void)index;
    // What the ddl command makes of it; growth far past the input means a
    // damaged count is being trusted.
    const std::string create = CreateTableStatement("t", table, Collations());
    if (create.size() > 64 * size + (1 << 20)) Fail("CREATE TABLE statement", create.size());
  }
  return 0;
}

// A MyISAM table from one input: [u16 len][.frm][u16 len][.MYI][.MYD ...].
// The walk stops and resumes the way the preview pages through a table.
int RunMyisam(const uint8_t* data, size_t size) {
  Parts parts(data, size);
  const auto [frm, frm_len] = parts.Next();
  const auto [myi, myi_len] = parts.Next();
  const auto [myd, myd_len] = parts.Rest();

  TableDef table;
  ParseFrm(ByteView(frm, frm_len), Collations(), Cp(), table);
  MyiHeader header;
  const MyiReadResult mr = ParseMyiHeader(ByteView(myi, myi_len), header);
  if (!mr.ok || !mr.has_columns) return 0;

  // Kept between inputs: a fresh 1 MiB read window per input would dominate the time.
  static DataFile file;
  if (!file.Open(WriteScratch("t.MYD", myd, myd_len), nullptr)) return 0;
  DamageLog damage;
  MydWalker walker(table, header, file, damage);
  const MyisamRecordDecoder decoder(table, Collations(), Cp());
  Row row;
  size_t seen = 0;
  uint64_t pos = 0;
  while (pos != kEndOfTable && seen < kMyisamMaxRecords) {
    size_t screen = 0;
    const uint64_t next = walker.Walk(
        pos,
        [&](const MyisamRecord& rec, uint64_t) {
          // A row image is at most 64 KiB (plus the flag bytes' slack the reader allows).
          if (rec.image_length > 65536 + 4096) Fail("record image", rec.image_length);
          decoder.Decode(rec, DecodeOptions{(seen & 1) == 0}, row);
          for (const FieldValue& v : row) {
            if (ValueTooLarge(v.text, size)) Fail("decoded value", v.text.size());
          }
          ++seen;
          return ++screen < kMyisamScreen && seen < kMyisamMaxRecords;
        },
        nullptr);
    if (next != kEndOfTable && next <= pos) Fail("walk went backwards", next);
    pos = next;
  }
  if (seen >= kMyisamMaxRecords) return 0;
  // The export's form: records handed over as stored and rebuilt elsewhere
  // must give the same rows as the walk that rebuilds them itself.
  DamageLog stored_damage;
  MydWalker stored_walker(table, header, file, stored_damage);
  RecordUnpacker unpacker(table, header);
  TextBuffer text;
  size_t rebuilt = 0;
  stored_walker.WalkStored(
      0,
      [&](const StoredRecord& stored, uint64_t) {
        MyisamRecord rec;
        if (!unpacker.Unpack(stored, rec)) return true;
        text.Clear();
        decoder.AppendLiterals(rec, text);
        if (text.size() > 4 * (size + 65536 + 4096)) Fail("literals", text.size());
        return ++rebuilt <= kMyisamMaxRecords;
      },
      nullptr);
  if (rebuilt != seen) Fail("rows rebuilt elsewhere", rebuilt);
  return 0;
}

// An InnoDB table from one input: [u16 len][.frm][tablespace of 16 KiB pages].
// Finds the first leaf, walks the leaf chain and decodes every record with
// its off-page values, stopping and resuming inside pages like the preview.
int RunInnodb(const uint8_t* data, size_t size) {
  Parts parts(data, size);
  const auto [frm, frm_len] = parts.Next();
  const auto [ibd, ibd_len] = parts.Rest();

  TableDef table;
  if (!ParseFrm(ByteView(frm, frm_len), Collations(), Cp(), table).ok) return 0;
  if (table.columns.empty()) return 0;
  const ClusteredIndex index = BuildClusteredIndexFromTableDef(table, Collations());

  static Tablespace space;  // kept for its read window, as above
  if (!space.Open(WriteScratch("t.ibd", ibd, ibd_len), nullptr)) return 0;
  const LeafSearch leaf = FindLeafPage(space, kClusteredRootIbd, index);
  if (leaf.leaf == 0) return 0;
  const uint64_t leaves = CountLeafPages(space, leaf.leaf, nullptr);
  if (leaves > space.page_count() + 1) Fail("leaf count", leaves);

  DamageLog damage;
  InnoRowDecoder decoder(table, index, Collations(), Cp());
  InnoDecodeContext ctx{space, nullptr, DecodeOptions{true}, damage};
  PageBuffer page;
  Row row;
  size_t seen = 0;
  uint64_t visits = 0;
  for (uint32_t p = leaf.leaf; p != kFilNull && seen < kInnodbMaxRecords; ++visits) {
    if (visits > space.page_count() || !space.ReadPage(p, page)) break;
    size_t start = 0;
    // Every few records the walk stops and goes on from where it said it stopped.
    for (int rounds = 0; rounds < 1000; ++rounds) {
      size_t in_round = 0;
      const PageWalk w = WalkPageRecords(page.data(), start, [&](size_t origin) {
        ctx.opts.export_mode = (seen & 1) == 0;
        if (decoder.Decode(page.data(), origin, ctx, row)) {
          for (const FieldValue& v : row) {
            if (ValueTooLarge(v.text, size)) Fail("decoded value", v.text.size());
          }
        }
        ++seen;
        return ++in_round < 3 && seen < kInnodbMaxRecords;
      });
      if (w.stopped_at == 0 || w.damaged || seen >= kInnodbMaxRecords) break;
      start = w.stopped_at;
    }
    const uint32_t next = ReadFilHeader(page.data()).next;
    if (next == p) break;
    p = next;
  }

  // The export loop, with large values inline.
  CheckingSink sink(size);
  NullOutput out;
  EngineContext ectx{Collations(), Cp(), out};
  ExportInnoRows(space, leaf.leaf, "t", table, index, sink, ectx, nullptr, "fuzz");
  return 0;
}

// ibdata1's dictionary from one input taken as a tablespace, then the
// clustered field list of every table it lists; every page of the input also
// goes through the redundant-record walk on its own.
int RunDictionary(const uint8_t* data, size_t size) {
  for (size_t off = 0; off + kPageSize <= size; off += kPageSize) {
    WalkRedundantPage(data + off, [&](const RedundantRecord& r) {
      for (const RedundantField& f : r.fields) {
        if (f.offset > kPageSize || f.length > kPageSize - f.offset) {
          Fail("redundant field outside its page", f.offset);
        }
      }
    });
  }

  static SystemDictionary dict;  // Load starts afresh; kept for its read window
  if (!dict.Load(WriteScratch("ibdata1", data, size))) return 0;
  size_t built = 0;
  for (const SysTablesRow& t : dict.tables()) {
    if (++built > 64) break;
    ClusteredIndex index;
    TableDef empty;
    std::string problem;
    dict.BuildClusteredIndex(t.id, empty, Collations(), index, &problem);
    dict.FindClusterIndex(t.id);
    dict.FindTable(t.name);
  }
  return 0;
}

// View (.frm text) and trigger (.TRG) files: the same input read as both.
int RunViewsTriggers(const uint8_t* data, size_t size) {
  static const std::vector<std::string> databases = {"shop", "db", "my-db", ""};
  const std::string view = ViewStatement(WriteScratch("v@002dx.frm", data, size), databases, Cp());
  if (ValueTooLarge(view, size)) Fail("view statement", view.size());
  const std::vector<std::string> triggers =
      TriggerStatements(WriteScratch("t.TRG", data, size), databases, Cp());
  const std::string script = TriggerScript(triggers);
  (void)script;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string rewritten = RewriteSchemaReferences(text, databases);
  if (ValueTooLarge(rewritten, size)) Fail("rewritten text", rewritten.size());
  (void)UnescapeFileValue(text);
  return 0;
}

}  // namespace vostrel::fuzz
