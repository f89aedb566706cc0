#pragma once

// Typed column values and their text forms (JSON for `jetdb dump`).

#include <cstdint>
#include <string>
#include <vector>

#include "jet/Engine.h"
#include "jet/format/Row.h"
#include "jet/format/TableDef.h"

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

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", the way Access shows a GUID.
std::string formatGuid(const std::vector<uint8_t>& bytes);
// Shortest text that reads back as the same double (float for singles).
std::string formatReal(double v, bool single);
// Currency: integer / 10^4 with four decimals.
std::string formatCurrency(int64_t scaled);

// Now, as Jet keeps dates: days since 1899-12-30.
double oleDateNow();

// Appends the value as JSON: null, true/false, numbers; dates, GUIDs and
// numerics as strings; text escaped; binary as lowercase hex.
void appendJson(const Value& v, std::string& out);

}  // namespace jet
