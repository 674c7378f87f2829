#include <gtest/gtest.h>

#include <fstream>

#include "sql/views_triggers.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

TEST(ViewsTriggersTest, FileValuesAreUnescapedAsMySqlEscapedThem) {
  EXPECT_EQ(UnescapeFileValue(R"(a\nb\\c\'d\0e\zf\qg)"), std::string("a\nb\\c'd\0e\x1a"
                                                                     "f\\qg",
                                                                     14));
  std::string v;
  ASSERT_TRUE(ReadFileValue("TYPE=VIEW\nsource=x\nquery=select 1\nquery=second\n", "query", v));
  EXPECT_EQ(v, "select 1");
  EXPECT_FALSE(ReadFileValue("xquery=1\n", "query", v));
}

TEST(ViewsTriggersTest, SchemaReferencesPointAtTheRecoveredSchemas) {
  const std::vector<std::string> dbs = {"shop", "my-db"};
  EXPECT_EQ(RewriteSchemaReferences("select `shop`.`t`.`a` from `shop`.`t` join `other`.`u`", dbs),
            "select `rep_shop`.`t`.`a` from `rep_shop`.`t` join `other`.`u`");
  // Not a qualifier, or inside a string: untouched.
  EXPECT_EQ(RewriteSchemaReferences("select `shop` from t where x = '`shop`.`t`'", dbs),
            "select `shop` from t where x = '`shop`.`t`'");
  EXPECT_EQ(RewriteSchemaReferences("select * from `my-db`.`a``b`", dbs),
            "select * from `rep_my-db`.`a``b`");
}

TEST(ViewsTriggersTest, SampleViewAndTriggersKeepTheirText) {
  const fs::path shop = testing::SampleDataDir() / "shop";
  CodePage cp;
  const std::string view = ViewStatement(shop / "order_summary.frm", {"shop"}, cp);
  EXPECT_EQ(view.rfind("CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER "
                       "VIEW `order_summary` AS select `o`.`id` AS `order_id`",
                       0),
            0u);
  EXPECT_NE(view.find("from (`rep_shop`.`orders` `o` join `rep_shop`.`customers` `c`"),
            std::string::npos);
  EXPECT_NE(view.find("where `o`.`status` <> 'cancelled';"), std::string::npos);  // \' unescaped

  const auto triggers = TriggerStatements(shop / "orders.TRG", {"shop"}, cp);
  ASSERT_EQ(triggers.size(), 2u);
  EXPECT_EQ(
      triggers[0].rfind(
          "CREATE TRIGGER orders_after_insert AFTER INSERT ON orders FOR EACH ROW\nBEGIN\n", 0),
      0u);
  // Line breaks, the comment, the doubled quote and the backslashes survive.
  EXPECT_NE(triggers[0].find("  -- audit trail for every new order\n"), std::string::npos);
  EXPECT_NE(triggers[0].find("' isn''t shipped; see C:\\\\shop\\\\new'"), std::string::npos)
      << triggers[0];
  EXPECT_EQ(triggers[1].rfind("CREATE TRIGGER orders_before_update BEFORE UPDATE", 0), 0u);
  const std::string script = TriggerScript(triggers);
  EXPECT_EQ(script.rfind("DELIMITER $$\nCREATE TRIGGER orders_after_insert", 0), 0u);
  EXPECT_NE(script.find("\nEND\n$$\nDELIMITER ;\nDELIMITER $$\n"), std::string::npos);
}

TEST(ViewsTriggersTest, OddDefinersOldFilesAndDelimitersInBodies) {
  const fs::path dir = testing::TempDir("triggers");
  std::ofstream(dir / "t.TRG")
      << "TYPE=TRIGGERS\n"
         "triggers='CREATE DEFINER=`TRIGGER``x`@`%` TRIGGER a BEFORE INSERT ON t FOR EACH ROW SET "
         "NEW.v = \\'$$\\'' 'CREATE TRIGGER b AFTER DELETE ON t FOR EACH ROW SET @n = 1;'\n";
  CodePage cp;
  const auto s = TriggerStatements(dir / "t.TRG", {}, cp);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0], "CREATE TRIGGER a BEFORE INSERT ON t FOR EACH ROW SET NEW.v = '$$'");
  EXPECT_EQ(s[1], "CREATE TRIGGER b AFTER DELETE ON t FOR EACH ROW SET @n = 1");
  EXPECT_EQ(TriggerScript({s[0]}).rfind("DELIMITER $$$\n", 0), 0u);
  EXPECT_TRUE(TriggerStatements(dir / "missing.TRG", {}, cp).empty());
  std::ofstream(dir / "v.frm") << "TYPE=VIEW\nmd5=0\n";
  EXPECT_TRUE(ViewStatement(dir / "v.frm", {}, cp).empty());
}

}  // namespace
}  // namespace vostrel
