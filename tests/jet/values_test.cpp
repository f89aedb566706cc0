// Text and value decoding: Jet 4 compressed text, code page 1252, UCS-2
// surrogates, password encodings, and the printed forms of dates, currency,
// GUIDs and reals.
#include <gtest/gtest.h>

#include "jet/Text.h"
#include "jet/Value.h"

namespace {

std::string jet4(std::vector<uint8_t> b) {
  std::string s;
  jet::appendJet4Text(jet::ByteView(b), s);
  return s;
}

TEST(Text, Jet4CompressedAndPlain) {
  EXPECT_EQ(jet4({0xFF, 0xFE, 'a', 'b', 'c'}), "abc");
  EXPECT_EQ(jet4({'a', 0, 'b', 0}), "ab");
  // Compressed run, switch to UCS-2 for U+20AC, back to compressed.
  EXPECT_EQ(jet4({0xFF, 0xFE, 'x', 0x00, 0xAC, 0x20, 0x00, 'y'}), "x\xE2\x82\xACy");
  EXPECT_EQ(jet4({0xFF, 0xFE, 0xE9}), "\xC3\xA9") << "compressed bytes are Latin-1";
  EXPECT_EQ(jet4({0xFF, 0xFE}), "");
  EXPECT_EQ(jet4({'a', 0, 'b'}), "a") << "an odd byte at the end is dropped";
  // A surrogate pair and an unpaired half.
  EXPECT_EQ(jet4({0x3D, 0xD8, 0x00, 0xDE}), "\xF0\x9F\x98\x80");
  EXPECT_EQ(jet4({0x3D, 0xD8, 'a', 0}),
            "\xEF\xBF\xBD"
            "a");
}

TEST(Text, CodePage1252) {
  const std::vector<uint8_t> b{'A', 0x80, 0xE9, 0x9F, 0x81};
  EXPECT_EQ(jet::codePageToUtf8(jet::ByteView(b)), "A\xE2\x82\xAC\xC3\xA9\xC5\xB8\xC2\x81");
  std::string back;
  ASSERT_TRUE(jet::utf8ToCodePage("A\xE2\x82\xAC\xC3\xA9\xC5\xB8", back));
  EXPECT_EQ(back, "A\x80\xE9\x9F");
  EXPECT_FALSE(jet::utf8ToCodePage("\xE4\xB8\xAD", back)) << "no CJK in 1252";
  EXPECT_FALSE(jet::utf8ToCodePage("\xC3", back)) << "malformed UTF-8";
  ASSERT_TRUE(jet::utf8ToUcs2("a\xC3\xA9", back));
  EXPECT_EQ(back, std::string("a\0\xE9\0", 4));
}

TEST(Values, DatesAsAccessShowsThem) {
  EXPECT_EQ(jet::formatDate(0), "1899-12-30 00:00:00");
  EXPECT_EQ(jet::formatDate(2), "1900-01-01 00:00:00");
  EXPECT_EQ(jet::formatDate(27293.0), "1974-09-21 00:00:00");
  EXPECT_EQ(jet::formatDate(36526.5), "2000-01-01 12:00:00");
  EXPECT_EQ(jet::formatDate(60.0), "1900-02-28 00:00:00");
  EXPECT_EQ(jet::formatDate(61.0), "1900-03-01 00:00:00") << "no 29 Feb 1900";
  // Before 1899-12-30 the fraction is still the time of day.
  EXPECT_EQ(jet::formatDate(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(jet::formatDate(0.99999999), "1899-12-31 00:00:00") << "rounds to the second";
  EXPECT_EQ(jet::formatDate(1e300), "1e+300") << "out of range: the number";
}

TEST(Values, CurrencyGuidReal) {
  EXPECT_EQ(jet::formatCurrency(35000), "3.5000");
  EXPECT_EQ(jet::formatCurrency(-1), "-0.0001");
  EXPECT_EQ(jet::formatCurrency(INT64_MIN), "-922337203685477.5808");
  const std::vector<uint8_t> g{0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56,
                               0x9A, 0xBC, 0xDE, 0xF0, 0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(jet::formatGuid(g), "{12345678-1234-5678-9ABC-DEF001020304}");
  EXPECT_EQ(jet::formatReal(0.1, false), "0.1");
  EXPECT_EQ(jet::formatReal(static_cast<float>(0.1), true), "0.1");
  EXPECT_EQ(jet::formatReal(444.555, false), "444.555");
}

TEST(Values, JsonEscapes) {
  std::string out;
  jet::appendJsonString(std::string("a\"b\\c\n\x01", 7), out);
  EXPECT_EQ(out, "\"a\\\"b\\\\c\\n\\u0001\"");
  jet::Value v;
  v.kind = jet::Value::Kind::Binary;
  v.bytes = {0x00, 0xAB};
  out.clear();
  jet::appendJson(v, out);
  EXPECT_EQ(out, "\"00ab\"");
  v.kind = jet::Value::Kind::Real;
  v.real = 1.0 / 0.0;
  out.clear();
  jet::appendJson(v, out);
  EXPECT_EQ(out, "\"Infinity\"") << "JSON has no infinity literal";
}

}  // namespace
