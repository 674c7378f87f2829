#include <gtest/gtest.h>

#include <fstream>

#include "scan/scan.h"
#include "scan/selection.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

using testing::RecordingOutput;

void CopyFrm(const fs::path& to) {
  fs::create_directories(to.parent_path());
  fs::copy_file(testing::SampleDataDir() / "shop/customers.frm", to,
                fs::copy_options::overwrite_existing);
}
void Write(const fs::path& to, const std::string& text) {
  fs::create_directories(to.parent_path());
  std::ofstream(to, std::ios::binary) << text;
}

std::vector<std::string> Texts(const TreeNode& n) {
  std::vector<std::string> out;
  for (const TreeNode& c : n.children) out.push_back(c.text);
  return out;
}

TEST(ScanTest, SubfoldersAreDatabasesWithGroupsInFirstMetOrder) {
  const fs::path root = testing::TempDir("scan-tree");
  CopyFrm(root / "alpha/t1.frm");
  CopyFrm(root / "alpha/T2.FRM");
  Write(root / "alpha/a_view.frm", "TYPE=VIEW\nquery=select 1\n");
  Write(root / "alpha/b.TRG", "TYPE=TRIGGERS\n");
  Write(root / "alpha/c.trg", "TYPE=TRIGGERS\n");
  Write(root / "alpha/junk.frm", "\xFE\x02nothing");
  Write(root / "alpha/notes.txt", "x");
  Write(root / "beta/x.TRG", "TYPE=TRIGGERS\n");
  Write(root / "beta/z_view.frm", "TYPE=VIEW\n");
  fs::create_directories(root / "empty");
  CopyFrm(root / "loose.frm");  // beside the databases: not listed

  RecordingOutput out;
  const ScanResult r = ScanDataDirectory(root, out);
  ASSERT_EQ(r.m_databaseFolders.size(), 3u);
  // A .frm that is no table definition is still listed, with the reason: its
  // rows may lie beside it.
  ASSERT_EQ(r.m_tableEntries.size(), 3u);
  EXPECT_EQ(r.m_tableEntries[0].tableName, "T2");  // names sort bytewise
  EXPECT_EQ(r.m_tableEntries[1].definition_problem,
            "junk.frm is not a table definition (it does not start with FE 01)");
  EXPECT_TRUE(r.m_tableEntries[2].definition_problem.empty());
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].find("alpha.junk cannot be read"), std::string::npos) << r.problems[0];
  EXPECT_EQ(r.m_viewFiles.size(), 2u);
  ASSERT_EQ(r.m_triggerEntries.size(), 3u);
  EXPECT_EQ(r.m_triggerEntries[2].fileName, "x.TRG");

  const TreeNode& path = r.root.children.at(0);
  EXPECT_EQ(r.root.text, "MYSQL database");
  EXPECT_EQ(path.text, r.m_scanPath);
  EXPECT_EQ(Texts(path), (std::vector<std::string>{"alpha", "beta", "empty"}));
  const TreeNode& alpha = path.children[0];
  EXPECT_EQ(Texts(alpha), (std::vector<std::string>{"Tables", "Views", "Trigger"}));
  EXPECT_EQ(Texts(alpha.children[0]), (std::vector<std::string>{"T2", "junk", "t1"}));
  EXPECT_EQ(alpha.children[0].children[0].children[0].item_data, ITEMDATA_KEYS);
  EXPECT_TRUE(alpha.children[0].children[1].children.empty());  // no keys to show
  EXPECT_EQ(alpha.children[1].item_data, ITEMDATA_VIEWS);
  EXPECT_EQ(alpha.children[2].item_data, ITEMDATA_TRIGGERS);
  EXPECT_EQ(alpha.children[2].children[1].text, "c");
  // Trigger numbering continues across databases; "Trigger" came first in beta.
  const TreeNode& beta = path.children[1];
  EXPECT_EQ(Texts(beta), (std::vector<std::string>{"Tables", "Trigger", "Views"}));
  EXPECT_EQ(beta.children[1].children[0].item_data, 3);
  EXPECT_EQ(path.children[2].children.size(), 1u);  // empty database: Tables only

  EXPECT_NE(out.log.find("MySql database File Path:\t" + r.m_scanPath + "\r\n"), std::string::npos);
  // Tables without a usable .frm are reported once the dictionary was looked at.
  const size_t ibdata = out.log.find("Processing ibdata1 File\r\nibdata1 File cannot be open\r\n");
  EXPECT_NE(ibdata, std::string::npos);
  EXPECT_GT(out.log.find("alpha.junk cannot be read"), ibdata);
  EXPECT_GT(out.log.find("Scanning completed for selected database file(s).\r\n"),
            out.log.find("alpha.junk cannot be read"));
  EXPECT_EQ(out.messages,
            std::vector<std::string>{"Scanning completed for selected database file(s)"});
}

TEST(ScanTest, FolderWithoutSubfoldersIsTheOnlyDatabase) {
  const fs::path root = testing::TempDir("scan-single/shop");
  CopyFrm(root / "orders.frm");
  RecordingOutput out;
  const ScanResult r = ScanDataDirectory(root.string() + "///", out);
  ASSERT_EQ(r.m_databaseFolders.size(), 1u);
  EXPECT_EQ(r.m_databaseFolders[0], root.string());
  EXPECT_EQ(r.root.children[0].children[0].text, "shop");
  EXPECT_EQ(r.m_tableEntries.size(), 1u);
}

TEST(ScanTest, EncodedNamesAreDecodedForDisplayAndKeptForPaths) {
  const fs::path root = testing::TempDir("scan-names");
  CopyFrm(root / "my@002ddb/caf@0p.frm");
  RecordingOutput out;
  const ScanResult r = ScanDataDirectory(root, out);
  ASSERT_EQ(r.m_tableEntries.size(), 1u);
  EXPECT_EQ(r.m_tableEntries[0].tableName, "caf@0p");
  EXPECT_EQ(r.m_tableEntries[0].displayName, "café");
  EXPECT_EQ(DatabaseDisplayName(r.m_databaseFolders[0]), "my-db");
  EXPECT_EQ(r.root.children[0].children[0].text, "my-db");

  std::vector<std::string> unmatched;
  EXPECT_EQ(SelectItems(r, {"my-db.café"}, &unmatched).size(), 1u);
  EXPECT_EQ(SelectItems(r, {"my@002ddb.caf@0p"}, &unmatched).size(), 1u);
  EXPECT_TRUE(unmatched.empty());
}

TEST(ScanTest, SampleDataDirectoryListsEveryFixtureObject) {
  RecordingOutput out;
  const ScanResult r = ScanDataDirectory(testing::SampleDataDir(), out);
  EXPECT_TRUE(r.problems.empty());
  EXPECT_EQ(r.m_databaseFolders.size(), 5u);
  EXPECT_EQ(r.m_tableEntries.size(), 25u);
  EXPECT_EQ(r.m_viewFiles.size(), 1u);
  EXPECT_EQ(r.m_triggerEntries.size(), 1u);
  ASSERT_NE(r.dictionary, nullptr);
  EXPECT_NE(out.log.find("Processing ibdata1 File\r\nSystem dictionary of "), std::string::npos);
}

// A window shows the tree while the scan runs: every database is handed over
// as listed, before the ibdata1 question, and as the final tree has it.
TEST(ScanTest, DatabasesAreHandedOverAsTheyAreListed) {
  const fs::path root = testing::TempDir("scan-growing");
  CopyFrm(root / "alpha/t1.frm");
  CopyFrm(root / "beta/t2.frm");
  CopyFrm(root / "beta/t3.frm");
  RecordingOutput out;
  std::vector<TreeNode> listed;
  std::string path_text;
  size_t listed_when_asked = 0;
  ScanOptions options;
  options.database_listed = [&](const TreeNode& tree, const TreeNode& db) {
    path_text = tree.children.at(0).text;
    EXPECT_EQ(&tree.children[0].children.back(), &db);
    listed.push_back(db);
  };
  options.ask_manual_ibdata = [&] {
    listed_when_asked = listed.size();
    return fs::path();
  };
  const ScanResult r = ScanDataDirectory(root, out, options);
  EXPECT_EQ(listed_when_asked, 2u);
  EXPECT_EQ(path_text, r.m_scanPath);
  ASSERT_EQ(listed.size(), 2u);
  const TreeNode& final_path = r.root.children[0];
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].text, final_path.children[i].text);
    EXPECT_EQ(Texts(listed[i].children[0]), Texts(final_path.children[i].children[0]));
  }
  EXPECT_EQ(Texts(listed[1].children[0]), (std::vector<std::string>{"t2", "t3"}));
}

TEST(SelectionTest, NamesPickItemsInTreeOrder) {
  const fs::path root = testing::TempDir("select");
  CopyFrm(root / "a/t1.frm");
  CopyFrm(root / "a/t2.frm");
  Write(root / "a/v.frm", "TYPE=VIEW\n");
  Write(root / "a/t1.TRG", "TYPE=TRIGGERS\n");
  CopyFrm(root / "b.x/t3.frm");  // a database name with a dot
  RecordingOutput out;
  const ScanResult r = ScanDataDirectory(root, out);

  std::vector<std::string> unmatched;
  auto all = SelectItems(r, {}, &unmatched);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(KindOf(all[2]), ItemKind::kTrigger);  // t1.TRG sorts before v.frm
  EXPECT_EQ(KindOf(all[3]), ItemKind::kView);

  auto picked = SelectItems(r, {"b.x.t3", "a.t2"}, &unmatched);
  ASSERT_EQ(picked.size(), 2u);
  EXPECT_EQ(r.m_tableEntries[ListIndexOf(picked[0], r)].tableName, "t2");  // tree order
  EXPECT_EQ(r.m_tableEntries[ListIndexOf(picked[1], r)].tableName, "t3");
  EXPECT_EQ(SelectItems(r, {"a"}, &unmatched).size(), 4u);
  SelectItems(r, {"a.nope", "zzz"}, &unmatched);
  EXPECT_EQ(unmatched, (std::vector<std::string>{"a.nope", "zzz"}));
  EXPECT_EQ(ListIndexOf(SelectedItem{99, ITEMDATA_NODE}, r), -1);
}

}  // namespace
}  // namespace vostrel
