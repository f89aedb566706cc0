#include "jet/db/Value.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "jet/Engine.h"
#include "jet/db/Database.h"
#include "jet/format/LongValue.h"
#include "jet/util/Text.h"

namespace jet {
namespace {

void need(const Field& f, size_t n, const Column& c) {
  if (f.bytes.size() < n)
    throwCorrupt("column '" + c.name + "' holds " + std::to_string(f.bytes.size()) +
                 " bytes where its type needs " + std::to_string(n));
}

double readDouble(const uint8_t* p) {
  const uint64_t bits = le64(p);
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

float readFloat(const uint8_t* p) {
  const uint32_t bits = le32(p);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// 17 bytes: sign byte, then a 128-bit magnitude as four little-endian words,
// most significant word first; the column's scale places the decimal point.
std::string numericText(ByteView b, uint8_t scale) {
  unsigned __int128 v = 0;
  for (int w = 0; w < 4; ++w) v = (v << 32) | le32(b.data() + 1 + 4 * w);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v != 0);
  if (scale > 38) scale = 38;
  if (scale > 0) {
    while (digits.size() <= scale) digits.insert(digits.begin(), '0');
    digits.insert(digits.end() - scale, '.');
  }
  if ((b.u8(0) & 0x80) != 0 && digits.find_first_not_of("0.") != std::string::npos)
    digits.insert(digits.begin(), '-');
  return digits;
}

// Days since 1970-01-01 to y/m/d (proleptic Gregorian).
void civil(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

const char kHex[] = "0123456789abcdef";

}  // namespace

void decodeValue(const Database& db, const Column& c, const Field& f, Value& v) {
  v.integer = 0;
  v.real = 0;
  v.single = false;
  if (c.type == column_type::kBoolean) {
    v.kind = Value::Kind::Boolean;
    v.integer = f.boolValue ? 1 : 0;
    return;
  }
  if (f.null) {
    v.kind = Value::Kind::Null;
    return;
  }
  const uint8_t* p = f.bytes.data();
  switch (c.type) {
    case column_type::kByte:
      need(f, 1, c);
      v.kind = Value::Kind::Integer;
      v.integer = p[0];
      return;
    case column_type::kInteger:
      need(f, 2, c);
      v.kind = Value::Kind::Integer;
      v.integer = static_cast<int16_t>(le16(p));
      return;
    case column_type::kLong:
      need(f, 4, c);
      v.kind = Value::Kind::Integer;
      v.integer = static_cast<int32_t>(le32(p));
      return;
    case column_type::kCurrency:
      need(f, 8, c);
      v.kind = Value::Kind::Currency;
      v.integer = static_cast<int64_t>(le64(p));
      return;
    case column_type::kSingle:
      need(f, 4, c);
      v.kind = Value::Kind::Real;
      v.real = readFloat(p);
      v.single = true;
      return;
    case column_type::kDouble:
      need(f, 8, c);
      v.kind = Value::Kind::Real;
      v.real = readDouble(p);
      return;
    case column_type::kDateTime:
      need(f, 8, c);
      v.kind = Value::Kind::Date;
      v.real = readDouble(p);
      return;
    case column_type::kGuid:
      need(f, 16, c);
      v.kind = Value::Kind::Guid;
      v.bytes.assign(p, p + 16);
      return;
    case column_type::kNumeric:
      need(f, 17, c);
      v.kind = Value::Kind::Numeric;
      v.text = numericText(f.bytes, c.scale);
      return;
    case column_type::kText:
      v.kind = Value::Kind::Text;
      v.text.clear();
      appendText(db.version(), f.bytes, v.text);
      return;
    case column_type::kMemo:
      v.kind = Value::Kind::Text;
      v.text.clear();
      if (f.bytes.empty()) return;
      readLongValue(db.pages(), f.bytes, v.bytes);
      appendText(db.version(), ByteView(v.bytes), v.text);
      return;
    case column_type::kOle:
      v.kind = Value::Kind::Binary;
      v.bytes.clear();
      if (!f.bytes.empty()) readLongValue(db.pages(), f.bytes, v.bytes);
      return;
    default:  // binary and types this reader does not interpret
      v.kind = Value::Kind::Binary;
      v.bytes.assign(f.bytes.begin(), f.bytes.end());
      return;
  }
}

Value decodeValue(const Database& db, const Column& column, const Field& field) {
  Value v;
  decodeValue(db, column, field, v);
  return v;
}

double oleDateNow() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count() / 86400.0 + 25569.0;
}

std::string formatDate(double ole) {
  if (!std::isfinite(ole) || ole < -657434.0 || ole > 2958465.9999999)
    return formatReal(ole, false);
  // The fraction is the time of day whatever the sign of the day number.
  const double whole = std::trunc(ole);
  int64_t seconds = std::llround(std::fabs(ole - whole) * 86400.0);
  int64_t day = static_cast<int64_t>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    day += ole < 0 ? -1 : 1;
  }
  int64_t y;
  unsigned m, d;
  civil(day - 25569, y, m, d);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(y), m, d,
                static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return buf;
}

std::string formatGuid(const std::vector<uint8_t>& b) {
  if (b.size() != 16) return {};
  char buf[40];
  std::snprintf(buf, sizeof buf,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return buf;
}

std::string formatReal(double v, bool single) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  char buf[64];
  const auto r = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                        : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string formatCurrency(int64_t scaled) {
  const bool negative = scaled < 0;
  const uint64_t mag = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%llu.%04llu", negative ? "-" : "",
                static_cast<unsigned long long>(mag / 10000),
                static_cast<unsigned long long>(mag % 10000));
  return buf;
}

void appendJsonString(const std::string& s, std::string& out) {
  out.push_back('"');
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

void appendJson(const Value& v, std::string& out) {
  switch (v.kind) {
    case Value::Kind::Null:
      out += "null";
      return;
    case Value::Kind::Boolean:
      out += v.integer ? "true" : "false";
      return;
    case Value::Kind::Integer: {
      char buf[24];
      const auto r = std::to_chars(buf, buf + sizeof buf, v.integer);
      out.append(buf, r.ptr);
      return;
    }
    case Value::Kind::Currency:
      out += formatCurrency(v.integer);
      return;
    case Value::Kind::Real:
      if (std::isfinite(v.real))
        out += formatReal(v.real, v.single);
      else
        appendJsonString(formatReal(v.real, v.single), out);
      return;
    case Value::Kind::Date:
      appendJsonString(formatDate(v.real), out);
      return;
    case Value::Kind::Text:
      appendJsonString(v.text, out);
      return;
    case Value::Kind::Numeric:
      appendJsonString(v.text, out);
      return;
    case Value::Kind::Guid:
      appendJsonString(formatGuid(v.bytes), out);
      return;
    case Value::Kind::Binary:
      out.push_back('"');
      for (uint8_t b : v.bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
      }
      out.push_back('"');
      return;
  }
}

}  // namespace jet
