// Text keys against bytes Access wrote where our keys once differed from
// them; the deep check compares every fixture's keys besides.
#include <gtest/gtest.h>

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

}  // namespace
