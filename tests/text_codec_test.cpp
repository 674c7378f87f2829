#include <gtest/gtest.h>

#include "model/text_codec.h"

namespace vostrel {
namespace {

TEST(CodePageTest, Windows1252MapsEveryByteWithoutLoss) {
  CodePage cp;
  ASSERT_TRUE(cp.valid());
  EXPECT_EQ(cp.ToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
  EXPECT_EQ(cp.ToUtf8("Gr\xFC\xDF"
                      "e"),
            "Grüße");
  // Undefined in windows-1252: kept as its Latin-1 code point, as MySQL does.
  EXPECT_EQ(cp.ToUtf8("\x81"), "\xC2\x81");
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_TRUE(IsValidUtf8(cp.ToUtf8(all)));
}

TEST(CodePageTest, OtherSingleByteCodePagesAndBadNames) {
  CodePage cyr("CP1251");
  ASSERT_TRUE(cyr.valid());
  EXPECT_EQ(cyr.ToUtf8("\xC0"), "А");
  EXPECT_FALSE(CodePage("NO-SUCH-CODEPAGE").valid());
  EXPECT_FALSE(CodePage("UTF-16").valid());
}

TEST(Utf8Test, ValidationRejectsOverlongSurrogatesAndTruncation) {
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("日本 😀"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE6\x97"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

TEST(Utf8Test, StoredTextPrefersUtf8AndFallsBackToCodePage) {
  CodePage cp;
  EXPECT_EQ(DecodeStoredText("café", cp), "café");
  EXPECT_EQ(DecodeStoredText("caf\xE9", cp), "café");
}

TEST(Utf16Test, ConvertsToLittleEndianWithSurrogatePairs) {
  EXPECT_EQ(Utf8ToUtf16Le("A\xC3\xA9"), std::string("A\0\xE9\0", 4));
  EXPECT_EQ(Utf8ToUtf16Le("😀"), std::string("\x3D\xD8\x00\xDE", 4));
  EXPECT_EQ(Utf8ToUtf16Le("\xFF"), std::string("\xFD\xFF", 2));
}

TEST(ConvertTest, IconvCharsetsAndFallback) {
  CodePage cp;
  EXPECT_EQ(ConvertToUtf8(std::string("\x00\x41\x00\xE9", 4), "UCS-2BE", cp), "Aé");
  EXPECT_EQ(ConvertToUtf8("\xE9", "NO-SUCH-CHARSET", cp), "é");
}

}  // namespace
}  // namespace vostrel
