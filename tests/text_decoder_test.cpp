#include <gtest/gtest.h>

#include "model/table_def.h"
#include "model/text_decoder.h"
#include "test_support.h"

namespace vostrel {
namespace {

// Collation ids as the shipped table lists them.
int32_t IdOf(const std::string& collation) {
  for (int32_t id = 1; id < 2048; ++id) {
    const CollationEntry* e = testing::Collations().LookupCollation(id);
    if (e != nullptr && e->collation_name == collation) return id;
  }
  return -1;
}

std::string Decode(const std::string& collation, std::string_view bytes) {
  const int32_t id = collation == "binary" ? kBinaryCollation : IdOf(collation);
  EXPECT_GT(id, 0) << collation;
  ColumnTextDecoder d(id, testing::Collations(), testing::DefaultCodePage());
  std::string out;
  d.Append(bytes, out);
  return out;
}

TEST(ColumnTextDecoderTest, EachColumnUsesItsOwnCharacterSet) {
  EXPECT_EQ(Decode("latin1_swedish_ci",
                   "Gr\xFC\xDF"
                   "e \x80"),
            "Grüße €");
  EXPECT_EQ(Decode("utf8mb3_general_ci", "日本"), "日本");
  EXPECT_EQ(Decode("utf8mb4_general_ci", "\xF0\x9F\x98\x80"), "😀");
  EXPECT_EQ(Decode("ucs2_general_ci", std::string("\x00\x41\x00\xE9", 4)), "Aé");
  EXPECT_EQ(Decode("utf16_general_ci", std::string("\xD8\x3D\xDE\x00", 4)), "😀");
  EXPECT_EQ(Decode("utf16le_general_ci", std::string("\x3D\xD8\x00\xDE", 4)), "😀");
  EXPECT_EQ(Decode("utf32_general_ci", std::string("\x00\x01\xF6\x00", 4)), "😀");
  EXPECT_EQ(Decode("cp1251_general_ci", "\xCF\xF0\xE8\xE2\xE5\xF2"), "Привет");
  EXPECT_EQ(Decode("sjis_japanese_ci", "\x93\xFA\x96\x7B"), "日本");
  // NUL bytes are part of the value, not its end.
  EXPECT_EQ(Decode("latin1_swedish_ci", std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(ColumnTextDecoderTest, UnknownCollationsAndBadBytesFallBackToTheCodePage) {
  ColumnTextDecoder unknown(9999, testing::Collations(), testing::DefaultCodePage());
  std::string out;
  unknown.Append("caf\xE9", out);
  EXPECT_EQ(out, "café");
  // Invalid UTF-8 stored in a utf8 column still comes out as valid text.
  EXPECT_TRUE(IsValidUtf8(Decode("utf8mb3_general_ci", "ok\xFF")));
  EXPECT_TRUE(ColumnTextDecoder(kBinaryCollation, testing::Collations(), testing::DefaultCodePage())
                  .binary());
}

}  // namespace
}  // namespace vostrel
