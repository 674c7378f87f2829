// The export writes literals straight from the stored fields; the preview's
// value texts, made literals through a Row and BuildInsertRow, must give the
// same statement for every record, intact or damaged, and the raw formatting
// helpers must agree with the plain ones they stand in for.
#include <gtest/gtest.h>

#include <time.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "innodb/clustered_fields.h"
#include "innodb/compact_fields.h"
#include "innodb/leaf_chain.h"
#include "innodb/record.h"
#include "model/field_decoder.h"
#include "model/frm_reader.h"
#include "model/text_buffer.h"
#include "model/value_text.h"
#include "myisam/myd_reader.h"
#include "myisam/myi_header.h"
#include "myisam/myisam_fields.h"
#include "scan/row_text_writer.h"
#include "sql/insert_builder.h"
#include "sql/sql_literals.h"
#include "sql/sql_value_writer.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> SampleFrms(const char* data_suffix) {
  std::vector<fs::path> out;
  for (const auto& db : fs::directory_iterator(testing::SampleDataDir())) {
    if (!db.is_directory()) continue;
    for (const auto& f : fs::directory_iterator(db.path())) {
      if (f.path().extension() != ".frm") continue;
      fs::path data = f.path();
      data.replace_extension(data_suffix);
      if (fs::exists(data)) out.push_back(f.path());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

TableDef ReadDef(const fs::path& frm) {
  TableDef t;
  EXPECT_TRUE(ReadTableDefinition(frm, testing::Collations(), testing::DefaultCodePage(), t).ok)
      << frm;
  return t;
}

// The statement as the export writes it: literals straight from the stored fields.
std::string Direct(FieldDecoder& d, const std::string& head, const TableDef& t,
                   const std::vector<StoredField>& fields) {
  TextBuffer out;
  out.Append(head);
  SqlValueWriter w(t);
  w.Into(out);
  d.WriteRecord(RecordFields{fields.data(), fields.size(), {}}, w);
  out.Append(InsertRowEnd(true));
  return std::string(out.view());
}

// The same through a Row of value texts, as the preview's values become literals.
std::string ThroughRow(FieldDecoder& d, const std::string& head, const TableDef& t,
                       const std::vector<StoredField>& fields) {
  Row row;
  RowTextWriter w(true);
  w.Into(row, t.columns.size());
  d.WriteRecord(RecordFields{fields.data(), fields.size(), {}}, w);
  std::string out;
  BuildInsertRow(head, t, row, true, out);
  return out;
}

TEST(DirectLiteralsTest, MyisamRecordsIntactAndDamaged) {
  std::mt19937 rng(20240611);
  size_t tables = 0, records = 0;
  for (const fs::path& frm : SampleFrms(".MYD")) {
    const TableDef t = ReadDef(frm);
    MyiHeader h;
    fs::path myi = frm;
    if (!ReadMyiHeader(myi.replace_extension(".MYI"), h).ok) continue;
    DataFile file;
    fs::path myd = frm;
    ASSERT_TRUE(file.Open(myd.replace_extension(".MYD"), nullptr));
    DamageLog damage;
    MydWalker walker(t, h, file, damage);
    FieldDecoder d(t, MyisamColumnStorage(t), testing::Collations(), testing::DefaultCodePage());
    MyisamFieldSplitter split(t);
    const std::string head = InsertHeader(frm.stem().string(), t);
    ++tables;
    walker.Walk(
        0,
        [&](const MyisamRecord& rec, uint64_t) {
          ++records;
          const std::vector<StoredField> fields = split.Split(rec);
          EXPECT_EQ(Direct(d, head, t, fields), ThroughRow(d, head, t, fields)) << frm;
          // The same record with bytes scrambled, and cut short.
          std::vector<uint8_t> image(rec.image, rec.image + rec.image_length);
          for (int round = 0; round < 8; ++round) {
            std::vector<uint8_t> bad = image;
            for (int k = 0; k < 1 + round * 4 && !bad.empty(); ++k) {
              bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
            }
            const size_t len = round == 7 ? bad.size() / 2 : bad.size();
            const MyisamRecord mangled{bad.data(), len, rec.blobs, rec.position};
            const std::vector<StoredField> f = split.Split(mangled);
            EXPECT_EQ(Direct(d, head, t, f), ThroughRow(d, head, t, f))
                << frm << " round " << round;
          }
          return !::testing::Test::HasFailure();
        },
        nullptr);
  }
  EXPECT_GE(tables, 7u);
  EXPECT_GT(records, 900u);
}

TEST(DirectLiteralsTest, InnoDbRecordsIntactAndDamaged) {
  std::mt19937 rng(7);
  size_t tables = 0, records = 0, externals = 0;
  for (const fs::path& frm : SampleFrms(".ibd")) {
    const TableDef t = ReadDef(frm);
    Tablespace space;
    fs::path ibd = frm;
    ASSERT_TRUE(space.Open(ibd.replace_extension(".ibd"), nullptr));
    const ClusteredIndex index = BuildClusteredIndexFromTableDef(t, testing::Collations());
    const LeafSearch leaf = FindLeafPage(space, kClusteredRootIbd, index);
    if (leaf.leaf == 0) continue;
    FieldDecoder d(t, InnodbColumnStorage(t, index), testing::Collations(),
                   testing::DefaultCodePage());
    CompactFieldSplitter split(t, index);
    const std::string head = InsertHeader("t", t);
    ++tables;
    PageBuffer page;
    auto compare = [&](const uint8_t* p, size_t origin, const std::string& what) {
      const std::vector<StoredField>* fields = split.Split(p, origin, nullptr);
      std::vector<FieldSpan> spans;
      EXPECT_EQ(fields != nullptr, SplitRecord(p, origin, index, spans)) << what;
      if (fields == nullptr) return;
      const std::vector<StoredField> f = *fields;
      if (std::any_of(f.begin(), f.end(),
                      [](const StoredField& x) { return x.state == FieldState::kExternal; })) {
        ++externals;  // resolved by the export loop, not here
        return;
      }
      EXPECT_EQ(Direct(d, head, t, f), ThroughRow(d, head, t, f)) << what;
    };
    for (uint32_t p = leaf.leaf, seen = 0; p != kFilNull && seen < 4096; ++seen) {
      ASSERT_TRUE(space.ReadPage(p, page));
      WalkPageRecords(page.data(), 0, [&](size_t origin) {
        ++records;
        compare(page.data(), origin, frm.string() + " page " + std::to_string(p));
        // Each field's bytes scrambled in a copy of the page.
        std::vector<FieldSpan> spans;
        if (!SplitRecord(page.data(), origin, index, spans)) return true;
        for (int round = 0; round < 4; ++round) {
          PageBuffer bad = page;
          for (const FieldSpan& s : spans) {
            if (s.is_null || s.external) continue;
            for (uint32_t k = 0; k < s.length; ++k) {
              if (rng() % 3 == 0) bad[s.offset + k] = static_cast<uint8_t>(rng());
            }
          }
          compare(bad.data(), origin, frm.string() + " scrambled");
        }
        return !::testing::Test::HasFailure();
      });
      const uint32_t next = ReadFilHeader(page.data()).next;
      if (next == p || ::testing::Test::HasFailure()) break;
      p = next;
    }
  }
  EXPECT_GE(tables, 10u);
  EXPECT_GT(records, 9000u);
  EXPECT_GT(externals, 0u);
}

// Reference escaping, one byte at a time.
std::string SlowEscape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\'':
        out += "''";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\0':
        out += "\\0";
        break;
      case '\x1a':
        out += "\\Z";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

TEST(DirectLiteralsTest, EscapingAndAsciiChecksAtEveryLengthAndPosition) {
  std::mt19937 rng(3);
  const char specials[] = {'\'', '\\', '\0', '\x1a'};
  for (size_t len = 0; len <= 40; ++len) {
    for (int trial = 0; trial < 200; ++trial) {
      std::string s(len, 'a');
      for (char& c : s) c = static_cast<char>(' ' + rng() % 95);
      for (char& c : s) {
        if (c == '\'' || c == '\\') c = 'q';
      }
      const int kind = trial % 4;
      if (len > 0 && kind == 1) s[rng() % len] = specials[rng() % 4];
      if (len > 0 && kind == 2) s[rng() % len] = static_cast<char>(0x80 | rng());
      if (len > 0 && kind == 3) s[len - 1] = specials[rng() % 4];
      const bool plain = kind == 0 || len == 0;
      EXPECT_EQ(IsPlainAscii(s), plain) << len << " " << kind;
      std::string a;
      AppendSqlEscaped(s, a);
      EXPECT_EQ(a, SlowEscape(s));
      std::string b = "pre";
      b += s;
      EscapeSqlTail(b, 3);
      EXPECT_EQ(b, "pre" + SlowEscape(s));
      TextBuffer t;
      AppendQuotedText(s, t);
      EXPECT_EQ(t.view(), "'" + SlowEscape(s) + "'");
      if (plain) {
        TextBuffer q;
        AppendPlainQuoted(s, q);
        EXPECT_EQ(q.view(), "'" + s + "'");
      }
    }
  }
}

TEST(DirectLiteralsTest, NumbersDecimalsAndTimestampsMatchTheirReferences) {
  std::mt19937_64 rng(11);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t u = rng() >> (rng() % 64);
    const int64_t v = static_cast<int64_t>(rng()) >> (rng() % 64);
    char buf[kMaxValueText];
    EXPECT_EQ(std::string(buf, PutUnsigned(buf, u)), std::to_string(u));
    EXPECT_EQ(std::string(buf, PutSigned(buf, v)), std::to_string(v));
  }
  for (int64_t v : {INT64_MIN, INT64_MAX, int64_t{0}, int64_t{-1}, int64_t{9}, int64_t{10}}) {
    char buf[kMaxValueText];
    EXPECT_EQ(std::string(buf, PutSigned(buf, v)), std::to_string(v));
  }
  // The short decimal form against the general one, on random and on invalid bytes.
  for (int i = 0; i < 20000; ++i) {
    const int precision = 1 + static_cast<int>(rng() % 65);
    const int scale = static_cast<int>(rng() % (std::min(precision, 30) + 1));
    uint8_t bytes[40];
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    if (rng() % 2) {
      for (uint8_t& b : bytes) b &= 0x0F;  // mostly valid digit groups
      bytes[0] |= (rng() % 2) ? 0x80 : 0;
    }
    const size_t avail = rng() % 8 == 0 ? rng() % 4 : sizeof bytes;
    std::string want;
    AppendPackedDecimal(ByteView(bytes, avail), precision, scale, want);
    char buf[kMaxValueText];
    EXPECT_EQ(std::string(buf, PutPackedDecimal(buf, ByteView(bytes, avail), precision, scale)),
              want)
        << precision << "," << scale;
  }
  // Timestamps against the C library over the whole 32-bit range.
  for (int i = 0; i < 200000; ++i) {
    const uint32_t s = i < 100 ? static_cast<uint32_t>(i) * 86399u : static_cast<uint32_t>(rng());
    const time_t t = static_cast<time_t>(s);
    tm tm{};
    gmtime_r(&t, &tm);
    char want[64];
    std::snprintf(want, sizeof want, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::string got;
    AppendTimestampUtc(s, 0, 0, got);
    ASSERT_EQ(got, s == 0 ? std::string("0000-00-00 00:00:00") : std::string(want)) << s;
  }
}

TEST(DirectLiteralsTest, TextBufferGrowsKeepsAndTrades) {
  TextBuffer a;
  std::string ref;
  std::mt19937 rng(5);
  for (int i = 0; i < 5000; ++i) {
    const std::string piece(rng() % 300, static_cast<char>('a' + i % 26));
    a.Append(piece);
    ref += piece;
    if (i % 97 == 0) {
      a.Truncate(ref.size() / 2);
      ref.resize(ref.size() / 2);
    }
  }
  EXPECT_EQ(a.view(), ref);
  TextBuffer b;
  b.Append("other", 5);
  a.Swap(b);
  EXPECT_EQ(a.view(), "other");
  EXPECT_EQ(b.view(), ref);
}

}  // namespace
}  // namespace vostrel
