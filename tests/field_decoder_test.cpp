// Every record of the sample, decoded through the field decoder into SQL
// literals and into the preview's value texts, compared with what the
// engines' own decoders give.
#include <gtest/gtest.h>

#include "innodb/clustered_fields.h"
#include "innodb/compact_fields.h"
#include "innodb/page.h"
#include "innodb/record.h"
#include "innodb/row_decoder.h"
#include "innodb/table_locator.h"
#include "model/field_decoder.h"
#include "model/frm_reader.h"
#include "myisam/myd_reader.h"
#include "myisam/myi_header.h"
#include "myisam/myisam_fields.h"
#include "myisam/record_decoder.h"
#include "scan/row_text_writer.h"
#include "scan/scan.h"
#include "sql/sql_value_writer.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

bool SameRow(const Row& a, const Row& b, std::string* why) {
  if (a.size() != b.size()) {
    *why = "column counts differ";
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].is_null != b[i].is_null || a[i].text != b[i].text) {
      *why = "column " + std::to_string(i) + ": '" + a[i].text + "' vs '" + b[i].text + "'";
      return false;
    }
  }
  return true;
}

TEST(FieldDecoderTest, MyisamRecordsDecodeAsTheEngineDecoderDoes) {
  NullOutput out;
  const ScanResult scan = ScanDataDirectory(testing::SampleDataDir(), out);
  size_t tables = 0, records = 0;
  for (const TableEntry& e : scan.m_tableEntries) {
    const fs::path folder = scan.m_databaseFolders[static_cast<size_t>(e.databaseIndex)];
    TableDef t;
    if (!ReadTableDefinition(folder / (e.tableName + ".frm"), testing::Collations(),
                             testing::DefaultCodePage(), t)
             .ok ||
        t.engine_type != kEngineMyIsam) {
      continue;
    }
    ++tables;
    MyiHeader h;
    ASSERT_TRUE(ReadMyiHeader(folder / (e.tableName + ".MYI"), h).ok);
    DataFile file;
    ASSERT_TRUE(file.Open(folder / (e.tableName + ".MYD"), nullptr));
    DamageLog damage;
    MydWalker walker(t, h, file, damage);
    const MyisamRecordDecoder old(t, testing::Collations(), testing::DefaultCodePage());
    FieldDecoder fd(t, MyisamColumnStorage(t), testing::Collations(), testing::DefaultCodePage());
    MyisamFieldSplitter split(t);
    SqlValueWriter sql(t);
    RowTextWriter preview;
    walker.Walk(
        0,
        [&](const MyisamRecord& rec, uint64_t) {
          ++records;
          TextBuffer want, got;
          old.AppendLiterals(rec, want);
          sql.Into(got);
          const std::vector<StoredField>& f = split.Split(rec);
          fd.WriteRecord(RecordFields{f.data(), f.size(), {}}, sql);
          EXPECT_EQ(want.view(), got.view()) << e.displayName;
          Row want_row, got_row;
          old.Decode(rec, DecodeOptions{false}, want_row);
          preview.Into(got_row, t.columns.size());
          fd.WriteRecord(RecordFields{f.data(), f.size(), {}}, preview);
          std::string why;
          EXPECT_TRUE(SameRow(want_row, got_row, &why)) << e.displayName << ": " << why;
          return !HasFailure();
        },
        nullptr);
  }
  EXPECT_EQ(tables, 8u);
  EXPECT_GT(records, 900u);
}

TEST(FieldDecoderTest, InnodbRecordsDecodeAsTheEngineDecoderDoes) {
  NullOutput out;
  const ScanResult scan = ScanDataDirectory(testing::SampleDataDir(), out);
  size_t tables = 0, records = 0;
  for (const TableEntry& e : scan.m_tableEntries) {
    const fs::path folder = scan.m_databaseFolders[static_cast<size_t>(e.databaseIndex)];
    TableDef t;
    if (!ReadTableDefinition(folder / (e.tableName + ".frm"), testing::Collations(),
                             testing::DefaultCodePage(), t)
             .ok ||
        t.engine_type != kEngineInnoDb) {
      continue;
    }
    InnoSource src = LocateTableLeaf(folder.string(), e.tableName, t, scan.dictionary.get(),
                                     testing::Collations(), out);
    ASSERT_TRUE(src.failure.empty()) << e.displayName << ": " << src.failure;
    ++tables;
    InnoRowDecoder old(t, src.index, testing::Collations(), testing::DefaultCodePage());
    FieldDecoder fd(t, InnodbColumnStorage(t, src.index), testing::Collations(),
                    testing::DefaultCodePage());
    CompactFieldSplitter split(t, src.index);
    SqlValueWriter sql(t);
    RowTextWriter preview;
    PageBuffer page;
    DamageLog damage;
    InnoDecodeContext dctx{*src.space, nullptr, DecodeOptions{false}, damage};
    for (uint32_t p = src.leaf; p != kFilNull && src.space->ReadPage(p, page);
         p = ReadFilHeader(page.data()).next) {
      WalkPageRecords(page.data(), 0, [&](size_t origin) {
        ++records;
        const std::vector<StoredField>* f = split.Split(page.data(), origin);
        TextBuffer want, got;
        const InnoRowDecoder::Direct d = old.AppendLiterals(page.data(), origin, want);
        EXPECT_EQ(d == InnoRowDecoder::Direct::kMisfit, f == nullptr);
        if (f == nullptr) return true;
        sql.Into(got);
        sql.ClearExternal();
        fd.WriteRecord(RecordFields{f->data(), f->size(), {}}, sql);
        EXPECT_EQ(d == InnoRowDecoder::Direct::kExternal, sql.external()) << e.displayName;
        if (d == InnoRowDecoder::Direct::kDone) {
          EXPECT_EQ(want.view(), got.view()) << e.displayName;
          Row want_row, got_row;
          EXPECT_TRUE(old.Decode(page.data(), origin, dctx, want_row));
          preview.Into(got_row, t.columns.size());
          fd.WriteRecord(RecordFields{f->data(), f->size(), {}}, preview);
          std::string why;
          EXPECT_TRUE(SameRow(want_row, got_row, &why)) << e.displayName << ": " << why;
        }
        return !HasFailure();
      });
      if (HasFailure()) return;
    }
  }
  EXPECT_EQ(tables, 17u);
  EXPECT_GT(records, 9000u);
}

}  // namespace
}  // namespace vostrel
