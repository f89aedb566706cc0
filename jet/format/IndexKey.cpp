#include "jet/format/IndexKey.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "jet/format/TableDef.h"

namespace jet {

namespace {

constexpr size_t kMaxKeyColumns = 10;
constexpr size_t kIndexedCharacters = 255;  // text and memo keys hold no more
constexpr uint16_t kGeneralLcid = 0x0409;
constexpr uint16_t kWindows1252 = 1252;
constexpr size_t kGeneralKnownKeyBytes = 508;  // longer General keys differ in Access

// Sort orders Access offers, for messages.
struct LcidName {
  uint16_t lcid;
  const char* name;
};
constexpr LcidName kLcidNames[] = {
    {0x0401, "Arabic"},
    {0x0404, "Chinese, stroke"},
    {0x0405, "Czech"},
    {0x0406, "Danish"},
    {0x0407, "German"},
    {0x0408, "Greek"},
    {0x0409, "General"},
    {0x040A, "Spanish, traditional"},
    {0x040B, "Finnish"},
    {0x040D, "Hebrew"},
    {0x040E, "Hungarian"},
    {0x040F, "Icelandic"},
    {0x0411, "Japanese"},
    {0x0412, "Korean"},
    {0x0413, "Dutch"},
    {0x0414, "Norwegian"},
    {0x0415, "Polish"},
    {0x0418, "Romanian"},
    {0x0419, "Russian"},
    {0x041A, "Croatian"},
    {0x041B, "Slovak"},
    {0x041D, "Swedish/Finnish"},
    {0x041E, "Thai"},
    {0x041F, "Turkish"},
    {0x0424, "Slovenian"},
    {0x0425, "Estonian"},
    {0x0426, "Latvian"},
    {0x0427, "Lithuanian"},
    {0x042A, "Vietnamese"},
    {0x0804, "Chinese, pinyin"},
    {0x0C0A, "Spanish, modern"},
};

const char* typeName(uint8_t type) {
  switch (type) {
    case column_type::kOle:
      return "OLE Object";
    case column_type::kNumeric:
      return "Numeric";
    default:
      return nullptr;
  }
}

SortOrder resolve(const SortOrder& column, const SortOrder& database) {
  SortOrder s = column.lcid ? column : database;
  if (!s.codePage) s.codePage = database.codePage;
  return s;
}

// The code table for a Jet 4 text column, or null when there is none.
const collation::CodeTable* jet4Table(const SortOrder& s) {
  if (s.lcid != kGeneralLcid) return nullptr;
  if (s.version == 0) return &collation::generalLegacy();
  if (s.version == 1) return &collation::general();
  return nullptr;
}

bool supportedText(Version v, const SortOrder& s) {
  if (v == Version::Jet3) return s.lcid == kGeneralLcid && s.codePage == kWindows1252;
  return s.lcid == kGeneralLcid && s.version <= 1;
}

uint8_t fixedSize(uint8_t type) {
  switch (type) {
    case column_type::kByte:
      return 1;
    case column_type::kInteger:
      return 2;
    case column_type::kLong:
    case column_type::kSingle:
      return 4;
    case column_type::kCurrency:
    case column_type::kDouble:
    case column_type::kDateTime:
      return 8;
    case column_type::kGuid:
      return 16;
    case column_type::kNumeric:
      return 17;
    default:
      return 0;
  }
}

[[noreturn]] void wrongSize(size_t size, size_t expected) {
  throwCorrupt("an index key value of " + std::to_string(size) + " bytes where " +
               std::to_string(expected) + " are stored");
}

void invertFrom(std::vector<uint8_t>& out, size_t from) {
  for (size_t i = from; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
}

// Stored: a sign byte, then four 32-bit groups, most significant first, each
// little-endian. Negatives lead with 0x00 and positives with 0xFF either way,
// so a descending index lists negatives first (Jet 4's Decimal index fault,
// which its files keep).
void appendNumeric(const uint8_t* p, bool ascending, std::vector<uint8_t>& out) {
  const size_t start = out.size();
  const bool negative = p[0] & 0x80;
  out.push_back(0);
  for (size_t g = 1; g < 17; g += 4)
    out.insert(out.end(), std::reverse_iterator(p + g + 4), std::reverse_iterator(p + g));
  if (negative == ascending) invertFrom(out, start);
  out[start] = negative ? 0x00 : 0xFF;
}

// 8-byte groups, each followed by 9 while more follow; the last group is
// zero-filled and followed by its length. Descending inverts all but the 9s.
void appendGroups(const uint8_t* p, size_t n, bool ascending, std::vector<uint8_t>& out) {
  const uint8_t x = ascending ? 0 : 0xFF;
  for (; n > 8; p += 8, n -= 8) {
    for (int i = 0; i < 8; ++i) out.push_back(p[i] ^ x);
    out.push_back(9);
  }
  if (n == 0) return;
  for (size_t i = 0; i < 8; ++i) out.push_back((i < n ? p[i] : 0) ^ x);
  out.push_back(static_cast<uint8_t>(n ^ x));
}

}  // namespace

SortOrder columnSortOrder(Version v, ByteView descriptor) {
  if (v == Version::Jet3) return SortOrder{descriptor.u16(9), 0, descriptor.u16(11)};
  return SortOrder{descriptor.u16(11), descriptor.u8(14), 0};
}

void putColumnSortOrder(Version v, uint8_t* descriptor, const SortOrder& order) {
  if (v == Version::Jet3) {
    putLe16(descriptor + 9, order.lcid);
    putLe16(descriptor + 11, order.codePage);
    return;
  }
  putLe16(descriptor + 11, order.lcid);
  descriptor[14] = order.version;
}

SortOrder databaseSortOrder(Version v, uint16_t lcid, uint8_t version, uint16_t codePage) {
  return v == Version::Jet3 ? SortOrder{lcid, 0, codePage} : SortOrder{lcid, version, 0};
}

std::string describe(Version v, const SortOrder& order) {
  char text[96];
  const auto* found = std::find_if(std::begin(kLcidNames), std::end(kLcidNames),
                                   [&](const LcidName& n) { return n.lcid == order.lcid; });
  std::string name = found != std::end(kLcidNames) ? std::string(" (") + found->name + ")" : "";
  if (v == Version::Jet3)
    std::snprintf(text, sizeof text, "sort order 0x%04X%s, code page %u", order.lcid, name.c_str(),
                  order.codePage);
  else
    std::snprintf(text, sizeof text, "sort order 0x%04X%s version %u", order.lcid, name.c_str(),
                  order.version);
  return text;
}

std::optional<KeyUnsupported> unsupportedKey(Version v, std::span<const KeyColumn> columns,
                                             const SortOrder& database) {
  if (columns.empty() || columns.size() > kMaxKeyColumns)
    return KeyUnsupported{0, std::to_string(columns.size()) + " key columns (1 to 10 exist)"};
  for (size_t i = 0; i < columns.size(); ++i) {
    const KeyColumn& c = columns[i];
    if (c.type == column_type::kText || c.type == column_type::kMemo) {
      const SortOrder s = resolve(c.sortOrder, database);
      if (!supportedText(v, s)) return KeyUnsupported{i, describe(v, s) + " is not supported"};
      continue;
    }
    const bool known = (c.type >= column_type::kBoolean && c.type <= column_type::kBinary) ||
                       c.type == column_type::kGuid ||
                       (c.type == column_type::kNumeric && v == Version::Jet4);
    if (!known) {
      char text[64];
      const char* name = typeName(c.type);
      std::snprintf(text, sizeof text, "column type 0x%02X%s%s%s has no index key", c.type,
                    name ? " (" : "", name ? name : "", name ? ")" : "");
      return KeyUnsupported{i, text};
    }
  }
  return std::nullopt;
}

bool omitsRow(uint8_t indexFlags, std::span<const KeyColumn> columns,
              std::span<const KeyValue> values) {
  if (!(indexFlags & index_flag::kIgnoreNulls)) return false;
  for (size_t i = 0; i < columns.size(); ++i)
    if (columns[i].type == column_type::kBoolean || !values[i].null) return false;
  return true;
}

IndexKeyEncoder::IndexKeyEncoder(Version v, std::vector<KeyColumn> columns,
                                 const SortOrder& database) {
  if (auto why = unsupportedKey(v, columns, database))
    throw std::invalid_argument("index key column " + std::to_string(why->column + 1) + ": " +
                                why->reason);
  for (const KeyColumn& k : columns) {
    Column c{Encoding::Integer, fixedSize(k.type), k.ascending, nullptr};
    switch (k.type) {
      case column_type::kBoolean:
        c.encoding = Encoding::Boolean;
        break;
      case column_type::kByte:
        c.encoding = Encoding::Byte;
        break;
      case column_type::kSingle:
      case column_type::kDouble:
      case column_type::kDateTime:
        c.encoding = Encoding::Float;
        break;
      case column_type::kBinary:
        c.encoding = Encoding::Binary;
        break;
      case column_type::kGuid:
        c.encoding = Encoding::Guid;
        break;
      case column_type::kNumeric:
        c.encoding = Encoding::Numeric;
        break;
      case column_type::kText:
      case column_type::kMemo:
        c.encoding = v == Version::Jet3 ? Encoding::Text3 : Encoding::Text4;
        if (v == Version::Jet4) c.table = jet4Table(resolve(k.sortOrder, database));
        general_ = general_ || c.table == &collation::general();
        break;
      default:  // Integer, Long, Currency
        break;
    }
    columns_.push_back(c);
  }
  units_.resize(kIndexedCharacters);
}

KeyTrust IndexKeyEncoder::append(std::span<const KeyValue> values, std::vector<uint8_t>& out) {
  if (values.size() != columns_.size())
    throw std::invalid_argument("index key: " + std::to_string(values.size()) + " values for " +
                                std::to_string(columns_.size()) + " columns");
  const size_t start = out.size();
  certain_ = true;
  for (size_t i = 0; i < columns_.size(); ++i) appendValue(columns_[i], values[i], out);
  if (general_ && out.size() - start > kGeneralKnownKeyBytes) return KeyTrust::Unknown;
  return certain_ ? KeyTrust::Certain : KeyTrust::Unverified;
}

void IndexKeyEncoder::appendValue(const Column& c, const KeyValue& v, std::vector<uint8_t>& out) {
  if (v.null && c.encoding != Encoding::Boolean) {
    out.push_back(c.ascending ? 0x00 : 0xFF);
    return;
  }
  out.push_back(c.ascending ? 0x7F : 0x80);
  if (c.size && v.bytes.size() != c.size) wrongSize(v.bytes.size(), c.size);
  const uint8_t* p = v.bytes.data();
  const size_t start = out.size();
  switch (c.encoding) {
    case Encoding::Byte:
      out.push_back(p[0]);
      break;
    case Encoding::Integer:
      out.insert(out.end(), std::reverse_iterator(p + c.size), std::reverse_iterator(p));
      out[start] ^= 0x80;
      break;
    case Encoding::Float:
      out.insert(out.end(), std::reverse_iterator(p + c.size), std::reverse_iterator(p));
      if (out[start] & 0x80)
        invertFrom(out, start);
      else
        out[start] ^= 0x80;
      break;
    case Encoding::Boolean:
      out.push_back(v.boolValue ? 0x00 : 0xFF);
      break;
    case Encoding::Numeric:
      return appendNumeric(p, c.ascending, out);
    case Encoding::Guid: {
      // Stored with its first three fields little-endian; keys hold them big-endian.
      const uint8_t g[16] = {p[3], p[2], p[1],  p[0],  p[5],  p[4],  p[7],  p[6],
                             p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]};
      return appendGroups(g, 16, c.ascending, out);
    }
    case Encoding::Binary:
      return appendGroups(p, v.bytes.size(), c.ascending, out);
    case Encoding::Text4:
      return appendText4(c, v.bytes, out);
    case Encoding::Text3:
      return appendText3(c, v.bytes, out);
  }
  if (!c.ascending) invertFrom(out, start);
}

// UCS-2LE, or after FF FE segments split at zero bytes that alternate between
// one byte per character and UCS-2LE, starting with one byte (as the text
// reader decodes it).
void IndexKeyEncoder::appendText4(const Column& c, ByteView stored, std::vector<uint8_t>& out) {
  const uint8_t* p = stored.data();
  const size_t n = stored.size();
  uint16_t* units = units_.data();
  size_t count = 0;
  const auto addUnits = [&](size_t from, size_t to) {
    const size_t k = std::min((to - from) / 2, kIndexedCharacters - count);
    for (size_t i = 0; i < k; ++i) units[count + i] = le16(p + from + 2 * i);
    count += k;
  };
  const auto addBytes = [&](size_t from, size_t to) {
    const size_t k = std::min(to - from, kIndexedCharacters - count);
    for (size_t i = 0; i < k; ++i) units[count + i] = p[from + i];
    count += k;
  };
  if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) {
    addUnits(0, n);
  } else {
    bool oneByte = true;
    for (size_t at = 2; at <= n && count < kIndexedCharacters; oneByte = !oneByte) {
      const void* zero = std::memchr(p + at, 0, n - at);
      const size_t end = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - p) : n;
      oneByte ? addBytes(at, end) : addUnits(at, end);
      at = end + 1;
    }
  }
  while (count && units[count - 1] == ' ') --count;
  certain_ = text_.appendJet4(*c.table, units, count, c.ascending, out) && certain_;
}

void IndexKeyEncoder::appendText3(const Column& c, ByteView stored, std::vector<uint8_t>& out) {
  size_t len = std::min(stored.size(), kIndexedCharacters);
  while (len && stored.data()[len - 1] == ' ') --len;
  certain_ = text_.appendJet3(stored.data(), len, c.ascending, out) && certain_;
}

}  // namespace jet
