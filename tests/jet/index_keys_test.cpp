// Text keys against bytes Access wrote where our keys once differed from
// them; the deep check compares every fixture's keys besides.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "jet/format/collation/Collation.h"

namespace {

std::vector<uint8_t> jet3Key(const std::string& windows1252) {
  std::vector<uint8_t> key;
  jet::collation::TextKeyWriter().appendJet3(reinterpret_cast<const uint8_t*>(windows1252.data()),
                                             windows1252.size(), true, key);
  return key;
}

std::vector<uint8_t> jet4LegacyKey(const std::u16string& text) {
  std::vector<uint8_t> key;
  jet::collation::TextKeyWriter().appendJet4(jet::collation::generalLegacy(),
                                             reinterpret_cast<const uint16_t*>(text.data()),
                                             text.size(), true, key);
  return key;
}

bool endsWith(const std::vector<uint8_t>& key, const std::vector<uint8_t>& tail) {
  return key.size() >= tail.size() && std::equal(tail.begin(), tail.end(), key.end() - tail.size());
}

TEST(TextKeys, Jet3AsAccessWroteThem) {
  const struct {
    const char* what;
    std::string text;           // Windows-1252
    std::vector<uint8_t> tail;  // how Access's key ends
  } cases[] = {
      // "ß" counts as two letters before the "ä": eleven placeholders, not nine.
      {"ß before an accent",
       "Plutzer Lebensmittelgro\xDFm\xE4rkte AG",
       {0x60, 0x68, 0x02, 0x22, 0x22, 0x22, 0x22, 0x22, 0x60}},
      // The whole key: a NUL is a control character like the others.
      {"a NUL", std::string("Lock\0", 5), {0x6D, 0x72, 0x62, 0x6C, 0x10, 0x00}},
  };
  for (const auto& c : cases) EXPECT_TRUE(endsWith(jet3Key(c.text), c.tail)) << c.what;
}

// Access 2003 (General legacy) wrote a key for U+0001..U+00FF in a row:
// unlike Jet 3, a character that sorts as two letters (Æ, Þ, ß, æ) takes one
// place among the accent bytes, as Jackcess has it.
TEST(TextKeys, Jet4ExpansionsTakeOnePlace) {
  std::u16string text;
  for (char16_t c = 1; c <= 0xFF; ++c) text += c;
  const std::vector<uint8_t> key = jet4LegacyKey(text);
  // The accent bytes from Ý on: Ý, Þ, ß, à..å, æ, ç.
  const std::vector<uint8_t> accents = {0x0E, 0x02, 0x02, 0x0F, 0x0E, 0x12,
                                        0x19, 0x13, 0x1A, 0x02, 0x1C};
  EXPECT_NE(std::search(key.begin(), key.end(), accents.begin(), accents.end()), key.end());
  EXPECT_EQ(key.size(), 684u);  // Access wrote 685 bytes: a flag byte, then these
}

}  // namespace
