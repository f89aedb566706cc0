#pragma once

// Typed column values and their text forms (JSON for `jetdb dump`).

#include <cstdint>
#include <string>
#include <vector>

#include "jet/RowReader.h"
#include "jet/TableDef.h"

namespace jet {

class Database;

struct Value {
  enum class Kind { Null, Boolean, Integer, Currency, Real, Date, Text, Binary, Guid, Numeric };
  Kind kind = Kind::Null;
  int64_t integer = 0;         // Boolean (0/1), Integer (byte/int/long), Currency (x 10^4)
  double real = 0;             // Real (single or double), Date (days since 1899-12-30)
  bool single = false;         // Real came from a 4-byte float
  std::string text;            // Text (UTF-8); Numeric as a decimal string
  std::vector<uint8_t> bytes;  // Binary, OLE, Guid (16 bytes as stored)
};

// Decodes one field of `column`. Long values are resolved. Throws Corrupt.
Value decodeValue(const Database& db, const Column& column, const Field& field);

// Decodes into `out`, reusing its storage (the fast path of a full scan).
void decodeValue(const Database& db, const Column& column, const Field& field, Value& out);

// "2003-01-31 14:05:00" (seconds rounded), or the plain number when out of range.
std::string formatDate(double oleDate);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", the way Access shows a GUID.
std::string formatGuid(const std::vector<uint8_t>& bytes);
// Shortest text that reads back as the same double (float for singles).
std::string formatReal(double v, bool single);
// Currency: integer / 10^4 with four decimals.
std::string formatCurrency(int64_t scaled);

// Appends the value as JSON: null, true/false, numbers; dates, GUIDs and
// numerics as strings; text escaped; binary as lowercase hex.
void appendJson(const Value& v, std::string& out);
// Appends a JSON string literal.
void appendJsonString(const std::string& s, std::string& out);

}  // namespace jet
