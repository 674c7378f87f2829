#include <gtest/gtest.h>

#include "model/text_codec.h"
#include "scan/session_log.h"
#include "test_support.h"

namespace vostrel {
namespace {

TEST(SessionLogTest, FileNameIsUnpaddedDayMonthYearTime) {
  std::tm t{};
  t.tm_mday = 8;
  t.tm_mon = 11;
  t.tm_year = 126;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  EXPECT_EQ(SessionLog::FileNameFor(t), "VostrelMySQLDBRec_log_8-12-2026-9-5-7.txt");
}

TEST(SessionLogTest, WritesBomOnceAndAppendsSessionsOfTheSameSecond) {
  const auto dir = testing::TempDir("session-log");
  const std::time_t now = 1765000000;
  const std::string header =
      "\r\n" + std::string(80, '*') + "\r\n/data/ File is selected for recovery....\r\n";
  {
    SessionLog log;
    ASSERT_TRUE(log.Open(dir, "/data/", now, nullptr));
    log.WriteLogText("Grüße\r\n");
  }
  SessionLog log;
  ASSERT_TRUE(log.Open(dir, "/data/", now, nullptr));
  log.WriteLogText("second");
  const std::string bytes = testing::ReadFileOrEmpty(log.path());
  const std::string want = "\xFF\xFE" + Utf8ToUtf16Le(header + "Grüße\r\n" + header + "second");
  EXPECT_EQ(bytes, want);
}

TEST(SessionLogTest, MissingFolderIsReported) {
  SessionLog log;
  std::string error;
  EXPECT_FALSE(log.Open("/nonexistent/folder", "/d/", 0, &error));
  EXPECT_NE(error.find("cannot open log file"), std::string::npos);
  log.WriteLogText("ignored");  // no file: nothing happens
}

}  // namespace
}  // namespace vostrel
