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
#include "innodb/dictionary_table_def.h"
#include "innodb/innodb_reader.h"
#include "innodb/record.h"
#include "innodb/redundant_record.h"
#include "innodb/system_dictionary.h"
#include "model/data_file.h"
#include "model/field_decoder.h"
#include "model/frm_reader.h"
#include "model/sql_definitions.h"
#include "model/text_buffer.h"
#include "myisam/myd_reader.h"
#include "myisam/myi_header.h"
#include "myisam/myisam_reader.h"
#include "scan/recovery_output.h"
#include "scan/row_text_writer.h"
#include "sql/create_statements.h"
#include "sql/row_export.h"
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

namespace {

// Pages through a table the way the preview does, `screen` records at a
// time, each screen started afresh from the position the last one gave, and
// every value decoded (values on other pages read whole). Returns the
// records seen.
size_t PageThrough(TableReader& reader, const TableDef& table, size_t input_size, size_t max,
                   size_t screen) {
  FieldDecoder fields(table, reader.storage(), Collations(), Cp());
  std::unique_ptr<BlockDecoder> decoder = reader.NewDecoder();
  reader.ForPreview();
  DamageLog damage;
  RecordPosition pos{};
  size_t seen = 0;
  for (bool more = true; more && seen < max;) {
    reader.Seek(pos);
    size_t in_screen = 0;
    more = false;
    RecordPosition next;
    RecordBlock block;
    for (;;) {
      block.Clear();
      if (!reader.NextBlock(block, 16 << 10)) break;
      decoder->Decode(
          block,
          [&](const RecordFields& r) {
            if (in_screen == screen) {
              more = true;
              next = r.position;
              return false;
            }
            Row row;
            RowTextWriter w((seen & 1) == 0);
            w.Into(row, r.count);
            for (size_t i = 0; i < r.count; ++i) {
              if (r.fields[i].state != FieldState::kExternal) {
                fields.Write(i, r.fields[i], w);
                continue;
              }
              std::string value;
              std::string problem;
              reader.ReadExternal(
                  r.fields[i],
                  [&](const uint8_t* p, size_t n) {
                    value.append(reinterpret_cast<const char*>(p), n);
                    if (value.size() > 64 * input_size + (1 << 20))
                      Fail("external value", value.size());
                  },
                  &problem);
            }
            for (const FieldValue& v : row) {
              if (ValueTooLarge(v.text, input_size)) Fail("decoded value", v.text.size());
            }
            ++in_screen;
            return ++seen < max;
          },
          damage);
      if (more || seen >= max) break;
    }
    if (more && next == pos) Fail("paging made no progress", seen);
    pos = next;
  }
  return seen;
}

}  // namespace

// A MyISAM table from one input: [u16 len][.frm][u16 len][.MYI][.MYD ...].
// The walk stops and resumes the way the preview pages through a table,
// then the export reads it whole: both must see the same records.
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
  const auto myi_path = WriteScratch("t.MYI", myi, myi_len);
  const auto myd_path = WriteScratch("t.MYD", myd, myd_len);
  OpenedReader screens = MyisamReader::Open(table, myi_path, myd_path);
  if (screens.reader == nullptr) return 0;
  const size_t seen = PageThrough(*screens.reader, table, size, kMyisamMaxRecords, kMyisamScreen);
  if (seen >= kMyisamMaxRecords) return 0;

  OpenedReader whole = MyisamReader::Open(table, myi_path, myd_path);
  if (whole.reader == nullptr) Fail("reader opened once only", 0);
  CheckingSink sink(size);
  NullOutput out;
  EngineContext ctx{Collations(), Cp(), out};
  const TableExportResult r =
      ExportTableRows(*whole.reader, table, "t", sink, nullptr, ctx, "fuzz");
  if (r.rows != seen) Fail("rows the export read", r.rows);
  return 0;
}

// An InnoDB table from one input: [u16 len][.frm][tablespace of 16 KiB pages].
// Finds the first leaf, pages through the records with their off-page
// values, then runs the export loop with large values inline.
int RunInnodb(const uint8_t* data, size_t size) {
  Parts parts(data, size);
  const auto [frm, frm_len] = parts.Next();
  const auto [ibd, ibd_len] = parts.Rest();

  TableDef table;
  if (!ParseFrm(ByteView(frm, frm_len), Collations(), Cp(), table).ok) return 0;
  if (table.columns.empty()) return 0;
  const auto ibd_path = WriteScratch("t.ibd", ibd, ibd_len);
  NullOutput out;
  EngineContext ctx{Collations(), Cp(), out};
  const std::string folder = ibd_path.parent_path().string();
  OpenedReader screens = InnodbReader::Open(folder, "t", "db/t", table, nullptr, ctx, out);
  if (screens.reader == nullptr) return 0;
  const uint64_t leaves = screens.reader->progress_total();
  if (leaves > ibd_len / kPageSize + 1) Fail("leaf count", leaves);
  PageThrough(*screens.reader, table, size, kInnodbMaxRecords, 3);

  OpenedReader whole = InnodbReader::Open(folder, "t", "db/t", table, nullptr, ctx, out);
  if (whole.reader == nullptr) Fail("reader opened once only", 0);
  CheckingSink sink(size);
  ExportTableRows(*whole.reader, table, "t", sink, nullptr, ctx, "fuzz");
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
    TableDef rebuilt;
    if (BuildTableDefFromDictionary(dict, t, Collations(), rebuilt).ok) {
      dict.BuildClusteredIndex(t.id, rebuilt, Collations(), index, &problem);
      const std::string create = FullCreateTableStatement("t", rebuilt, Collations());
      (void)create;
    }
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

int RunDefinitions(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const SqlDefinitionLoad load = ParseSqlDefinitions(text, "f.sql", &Collations());
  size_t built = 0;
  for (const SqlDefinition& d : load.set.tables) {
    if (++built > 64) break;
    TableDef table;
    if (!BuildDefinitionTable(load.set, d, Collations(), 0, table).ok) continue;
    // The layout must stay inside the record it describes.
    for (const ColumnDef& c : table.columns) {
      if (c.record_pos == 0 || c.record_pos > static_cast<uint32_t>(table.record_length) + 1) {
        Fail("column outside its record", c.record_pos);
      }
      if (c.null_bit >= 8 * table.null_bytes) Fail("null bit outside the null bytes", c.null_bit);
    }
    const ClusteredIndex index = BuildClusteredIndexFromTableDef(table, Collations());
    (void)index;
    const std::string create = FullCreateTableStatement("t", table, Collations());
    if (create.empty()) Fail("no CREATE TABLE", 0);
  }
  return 0;
}

}  // namespace vostrel::fuzz
