// Tables changed by MariaDB's instant ALTER TABLE, and REDUNDANT tables, from
// the record-format fixture: the rows the server held, the values old records
// take, and the layouts that must be refused rather than guessed at.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "innodb/page.h"
#include "innodb/system_dictionary.h"
#include "model/engine_context.h"
#include "scan/scan.h"
#include "scan/table_preview.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

fs::path FormatsDir() {
  return testing::UnpackedFixture("innodb-formats");
}
fs::path DataDir() {
  return FormatsDir() / "datadir";
}

struct FixtureTable {
  std::string name, row_format, history;
  uint64_t rows = 0;
};

std::vector<FixtureTable> FixtureTables() {
  std::vector<FixtureTable> out;
  std::ifstream in(FormatsDir() / "expected/tables.tsv");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    FixtureTable t;
    std::string rows;
    std::getline(f, t.name, '\t');
    std::getline(f, t.row_format, '\t');
    std::getline(f, t.history, '\t');
    std::getline(f, rows, '\t');
    t.rows = std::stoull(rows);
    out.push_back(t);
  }
  return out;
}

SystemDictionary& Dictionary() {
  static SystemDictionary d;
  static const bool loaded = d.Load(DataDir() / "ibdata1");
  EXPECT_TRUE(loaded);
  return d;
}

std::string RowWithId(const testing::TableExport& x, const std::string& id) {
  for (const std::string& r : x.rows) {
    if (r.find("VALUES(" + id + ",") != std::string::npos) return r;
  }
  return {};
}

// A copy of one table's files, for a test to change.
fs::path CopyTable(const std::string& table, const std::string& tag,
                   const fs::path& from = DataDir() / "fmt") {
  const fs::path dir = testing::TempDir("formats-" + tag) / "fmt";
  fs::create_directories(dir);
  for (const char* ext : {".frm", ".ibd"}) {
    fs::copy_file(from / (table + ext), dir / (table + ext), fs::copy_options::overwrite_existing);
  }
  return dir;
}

struct IbdFile {
  fs::path path;
  std::string bytes;
  explicit IbdFile(fs::path p) : path(std::move(p)), bytes(testing::ReadFileOrEmpty(path)) {}
  uint8_t* page(size_t n) { return reinterpret_cast<uint8_t*>(bytes.data()) + n * kPageSize; }
  size_t pages() const { return bytes.size() / kPageSize; }
  void Save() {
    for (size_t n = 0; n < pages(); ++n) testing::RestampPage(page(n));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
};

TEST(InnodbFormatsTest, EveryTableGivesTheRowsTheServerHeld) {
  const std::vector<FixtureTable> tables = FixtureTables();
  ASSERT_EQ(tables.size(), 21u);
  for (const FixtureTable& t : tables) {
    const testing::TableExport x =
        testing::ExportTable(DataDir() / "fmt", t.name, {}, &Dictionary());
    ASSERT_TRUE(x.opened) << t.name << ": " << x.not_read;
    EXPECT_TRUE(x.result.completed) << t.name;
    EXPECT_FALSE(x.result.damaged) << t.name << ": " << x.result.damage;
    EXPECT_EQ(x.result.rows, t.rows) << t.name << " (" << t.history << ")";
    EXPECT_TRUE(x.result.expected_known) << t.name;
    EXPECT_EQ(x.result.expected_rows, t.rows) << t.name;
  }
}

TEST(InnodbFormatsTest, RecordsWrittenBeforeAnAlterTakeTheValuesItGave) {
  const std::string defaults =
      ",42,'dflt ü',NULL,'ab',-12.50,'text default',"
      "18446744073709551615,0x00FF10);\r\n";
  for (const char* format : {"compact", "dynamic", "redundant"}) {
    const std::string table = std::string("add_end_") + format;
    const testing::TableExport x = testing::ExportTable(DataDir() / "fmt", table);
    ASSERT_TRUE(x.opened) << x.not_read;
    // Written before the ALTER, and after it with only two columns given.
    EXPECT_NE(RowWithId(x, "1").find("VALUES(1,3,'b1'" + defaults), std::string::npos)
        << RowWithId(x, "1");
    EXPECT_NE(RowWithId(x, "1000").find("VALUES(1000,1,NULL" + defaults), std::string::npos)
        << RowWithId(x, "1000");
    // Written after it with every column, and old records rewritten by an UPDATE.
    EXPECT_NE(RowWithId(x, "301").find("VALUES(301,301,'new 301',602,'given','2020-01-02 "
                                       "08:05:05','xyz',75.25,'doc 301',301,0x012D);"),
              std::string::npos)
        << RowWithId(x, "301");
    EXPECT_NE(RowWithId(x, "10").find("VALUES(10,30,NULL,-1,'dflt ü',NULL,'ab',"),
              std::string::npos)
        << RowWithId(x, "10");

    const testing::TableExport steps =
        testing::ExportTable(DataDir() / "fmt", std::string("add_steps_") + format);
    EXPECT_NE(RowWithId(steps, "1")
                  .find("VALUES(1,'v1','step 1',1,'step 2',2,'step 3',3,"
                        "'step 4',4);"),
              std::string::npos)
        << RowWithId(steps, "1");
    EXPECT_NE(RowWithId(steps, "201")
                  .find("VALUES(201,'later','step 1',1,'set 201',-201,"
                        "'step 3',3,'step 4',4);"),
              std::string::npos)
        << RowWithId(steps, "201");
  }
}

TEST(InnodbFormatsTest, DroppedAndReorderedColumnsReadInTheTablesOrder) {
  for (const char* format : {"compact", "dynamic", "redundant"}) {
    const testing::TableExport d =
        testing::ExportTable(DataDir() / "fmt", std::string("dropped_") + format);
    ASSERT_TRUE(d.opened) << d.not_read;
    // Old records still hold the dropped columns' bytes; they are passed over.
    EXPECT_NE(RowWithId(d, "1").find("VALUES(1,'k1','fresh','2001-01-01 01:00:00');"),
              std::string::npos)
        << RowWithId(d, "1");
    EXPECT_NE(RowWithId(d, "40").find("VALUES(40,'updated','fresh',"), std::string::npos);
    EXPECT_NE(RowWithId(d, "360").find("VALUES(360,'after second','f','2003-03-03 00:00:00');"),
              std::string::npos)
        << RowWithId(d, "360");

    const testing::TableExport r =
        testing::ExportTable(DataDir() / "fmt", std::string("reorder_") + format);
    ASSERT_TRUE(r.opened) << r.not_read;
    EXPECT_NE(
        r.rows.front().find("(`id`,`c`,`a`,`y`,`b`,`x`) VALUES(1,'2000-01-02',7,'yy','b 1',9);"),
        std::string::npos)
        << r.rows.front();
    EXPECT_NE(RowWithId(r, "202").find("VALUES(202,'2011-11-11',2,'y2',NULL,NULL);"),
              std::string::npos)
        << RowWithId(r, "202");
    EXPECT_NE(RowWithId(r, "203").find("VALUES(203,'2012-12-12',3,'y3','moved',33);"),
              std::string::npos)
        << RowWithId(r, "203");
  }
  // No primary key: the hidden row id leads, a column was added first.
  const testing::TableExport n = testing::ExportTable(DataDir() / "fmt", "nokey_dynamic");
  EXPECT_NE(n.rows.front().find("(`d`,`a`,`c`) VALUES('dd',1,1);"), std::string::npos)
      << n.rows.front();
  EXPECT_NE(n.rows.back().find("VALUES('new2',NULL,2);"), std::string::npos) << n.rows.back();
}

TEST(InnodbFormatsTest, LayoutsNotUnderstoodAreRefusedByName) {
  struct Case {
    const char* table;
    const char* what;
    std::function<void(IbdFile&)> change;
    const char* expect;
  };
  const std::vector<Case> cases = {
      {"add_end_compact", "core field count past the definition",
       [](IbdFile& f) {
         uint8_t* root = f.page(3);
         root[kPageHeader + 12] = 40 >> 5;
         root[kPageHeader + 13] = static_cast<uint8_t>((40 << 3) | (root[kPageHeader + 13] & 7));
       },
       "not read: the root page counts 40 fields"},
      {"reorder_compact", "column map naming a column the table lacks",
       [](IbdFile& f) {
         for (size_t n = 4; n < f.pages(); ++n) {
           if (ReadFilHeader(f.page(n)).type == kPageTypeBlob) f.page(n)[46 + 5] = 60;
         }
       },
       "not read: the instant ALTER TABLE column map names column 60"},
      {"reorder_compact", "column map on a page of another type",
       [](IbdFile& f) {
         for (size_t n = 4; n < f.pages(); ++n) {
           if (ReadFilHeader(f.page(n)).type == kPageTypeBlob) f.page(n)[25] = 2;
         }
       },
       "not read: instant ALTER TABLE metadata in a form this tool does not know"},
      {"reorder_compact", "metadata record info bits",
       [](IbdFile& f) {
         uint8_t* root = f.page(3);
         const size_t first = (99 + PageU16(root, 97)) & 0xFFFF;
         root[first - 5] |= 0x80;
       },
       "not read: instant ALTER TABLE metadata in a form this tool does not know"},
      {"reorder_compact", "metadata record gone",
       [](IbdFile& f) {
         uint8_t* root = f.page(3);
         const size_t first = (99 + PageU16(root, 97)) & 0xFFFF;
         root[first - 5] &= static_cast<uint8_t>(~0x10);
       },
       "instant ALTER TABLE metadata record is missing"},
      {"reorder_compact", "root frame neither named nor zero",
       [](IbdFile& f) { f.page(3)[100] = 'x'; },
       "not read: instant ALTER TABLE metadata in a form this tool does not know"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const fs::path dir = CopyTable(c.table, "refused-" + std::to_string(n++));
    IbdFile f(dir / (std::string(c.table) + ".ibd"));
    c.change(f);
    f.Save();
    const testing::TableExport x = testing::ExportTable(dir, c.table);
    EXPECT_FALSE(x.opened) << c.what << ": " << x.result.rows << " rows";
    EXPECT_NE(x.not_read.find(c.expect), std::string::npos) << c.what << ": " << x.not_read;
  }
}

// Pages and records of a kind not read are named as such; what is damaged
// stays damage.
TEST(InnodbFormatsTest, FormatsNotReadAreToldFromDamage) {
  const fs::path shop = testing::SampleDataDir() / "shop";
  const testing::TableExport intact = testing::ExportTable(shop, "inventory");
  ASSERT_EQ(intact.result.rows, 190u);
  struct Case {
    const char* what;
    std::function<void(IbdFile&)> change;
    const char* expect;
    bool format;  // not read, rather than damaged
  };
  auto set_type = [](uint16_t type) {
    return [type](IbdFile& f) {
      f.page(3)[24] = static_cast<uint8_t>(type >> 8);
      f.page(3)[25] = static_cast<uint8_t>(type);
    };
  };
  const std::vector<Case> cases = {
      {"MySQL 8.0 dictionary page", set_type(17853),
       "not read: page 3 of inventory.ibd is a MySQL 8.0 serialized dictionary page", true},
      {"page type no server writes", set_type(4711),
       "not read: page 3 of inventory.ibd has page type 4711, which this tool does not know", true},
      {"undo page where the root belongs", set_type(2),
       "page 3 of inventory.ibd is an undo log page, not an index page", false},
  };
  int n = 0;
  for (const Case& c : cases) {
    const fs::path dir = CopyTable("inventory", "format-" + std::to_string(n++), shop);
    IbdFile f(dir / "inventory.ibd");
    c.change(f);
    f.Save();
    const testing::TableExport x = testing::ExportTable(dir, "inventory");
    const std::string said = x.not_read + x.open_damage + x.result.damage;
    EXPECT_NE(said.find(c.expect), std::string::npos) << c.what << ": " << said;
    EXPECT_FALSE(x.opened) << c.what;
    EXPECT_EQ(x.not_read.rfind("not read: ", 0) == 0, c.format) << c.what << ": " << x.not_read;
  }
  // A record marked the way MySQL 8.0 marks its instantly altered rows is
  // not read, and counted as missing.
  const fs::path dir = CopyTable("inventory", "format-infobits", shop);
  IbdFile f(dir / "inventory.ibd");
  const size_t first = (99 + PageU16(f.page(3), 97)) & 0xFFFF;
  f.page(3)[first - 5] |= 0x80;
  f.Save();
  const testing::TableExport x = testing::ExportTable(dir, "inventory");
  EXPECT_EQ(x.result.rows, 189u);
  EXPECT_EQ(x.result.expected_rows, 190u);
  EXPECT_NE(x.result.damage.find("not read: 1 records of page 3 of inventory.ibd carry info bits"),
            std::string::npos)
      << x.result.damage;
  // Bytes changed without a new checksum stay damage.
  const fs::path flipped = CopyTable("inventory", "format-checksum", shop);
  std::string bytes = testing::ReadFileOrEmpty(flipped / "inventory.ibd");
  bytes[3 * kPageSize + 2000] ^= 0x55;
  std::ofstream(flipped / "inventory.ibd", std::ios::binary | std::ios::trunc) << bytes;
  const testing::TableExport y = testing::ExportTable(flipped, "inventory");
  EXPECT_NE(y.result.damage.find("fails its checksum"), std::string::npos) << y.result.damage;
  EXPECT_EQ(y.result.damage.find("not read"), std::string::npos) << y.result.damage;
}

// A preview pages through every format with the rows in the order a save gives.
TEST(InnodbFormatsTest, PreviewPagesThroughEachFormat) {
  testing::RecordingOutput out;
  const ScanResult scan = ScanDataDirectory(DataDir(), out);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  for (const char* table :
       {"deep_dynamic", "dropped_redundant", "types_redundant", "types_redundant_sys"}) {
    size_t index = 0;
    while (index < scan.m_tableEntries.size() && scan.m_tableEntries[index].tableName != table)
      ++index;
    ASSERT_LT(index, scan.m_tableEntries.size()) << table;
    TablePreview preview(ctx);
    std::string error;
    ASSERT_TRUE(preview.Open(scan, index, &error)) << table << ": " << error;
    PreviewPager pager(preview);
    std::vector<std::string> ids;
    for (const PreviewScreen* s = &pager.First(); s != nullptr; s = pager.Next()) {
      for (const Row& r : s->rows) ids.push_back(r[0].text);
    }
    const testing::TableExport x =
        testing::ExportTable(DataDir() / "fmt", table, {}, &Dictionary());
    ASSERT_EQ(ids.size(), x.rows.size()) << table;
    for (size_t i = 0; i < ids.size(); i += 97) {
      EXPECT_NE(x.rows[i].find("VALUES(" + ids[i] + ","), std::string::npos) << table << " " << i;
    }
    if (ids.size() > 1000) {
      const PreviewScreen* back = pager.Previous();
      ASSERT_NE(back, nullptr) << table;
      EXPECT_EQ(back->rows[0][0].text, ids[(ids.size() - 1) / 1000 * 1000 - 1000]) << table;
    }
  }
}

}  // namespace
}  // namespace vostrel
