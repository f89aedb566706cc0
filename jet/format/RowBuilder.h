#pragma once

// The writer beside RowFields: a row's bytes from its fields, in the layout
// Row.h describes. Fixed columns sit at their offsets (zeros where null),
// variable ones follow in their order, then the offsets, their count and
// the null mask.

#include <cstdint>
#include <vector>

#include "jet/format/Row.h"
#include "jet/format/TableDef.h"

namespace jet {

struct FieldValue {
  bool null = true;
  bool boolValue = false;      // booleans: the value, kept in the null mask
  std::vector<uint8_t> bytes;  // stored bytes, as Field::bytes would give them
};

// values: indexed like def.columns. Throws Corrupt when a fixed value is not
// its column's length, or a Jet 3 row would need more than 255 bytes.
std::vector<uint8_t> buildRow(const TableDef& def, bool jet4,
                              const std::vector<FieldValue>& values);

}  // namespace jet
