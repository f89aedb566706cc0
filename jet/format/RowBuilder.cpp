#include "jet/format/RowBuilder.h"

#include <algorithm>

namespace jet {

std::vector<uint8_t> buildRow(const TableDef& def, bool jet4,
                              const std::vector<FieldValue>& values) {
  const size_t start = jet4 ? 2 : 1;
  uint16_t stored = 0;
  size_t fixedEnd = start;
  uint16_t varCount = 0;
  for (const Column& c : def.columns) {
    stored = std::max<uint16_t>(stored, static_cast<uint16_t>(c.number + 1));
    if (c.fixed() && c.type != column_type::kBoolean)
      fixedEnd = std::max(fixedEnd, start + c.fixedOffset + c.length);
    if (!c.fixed()) varCount = std::max<uint16_t>(varCount, static_cast<uint16_t>(c.varIndex + 1));
  }
  std::vector<uint8_t> row(fixedEnd, 0);
  if (jet4)
    putLe16(row.data(), stored);
  else
    row[0] = static_cast<uint8_t>(stored);
  std::vector<uint8_t> mask((stored + 7) / 8, 0);
  std::vector<const FieldValue*> var(varCount, nullptr);
  for (size_t k = 0; k < def.columns.size(); ++k) {
    const Column& c = def.columns[k];
    const FieldValue& v = values.at(k);
    const bool present = c.type == column_type::kBoolean ? v.boolValue : !v.null;
    if (present) mask[c.number / 8] |= static_cast<uint8_t>(1u << (c.number % 8));
    if (c.type == column_type::kBoolean || v.null) continue;
    if (!c.fixed()) {
      var[c.varIndex] = &v;
      continue;
    }
    if (v.bytes.size() != c.length)
      throwCorrupt("a value of column '" + c.name + "' is not its length");
    std::copy(v.bytes.begin(), v.bytes.end(), row.begin() + start + c.fixedOffset);
  }
  std::vector<uint32_t> offsets;
  for (const FieldValue* v : var) {
    offsets.push_back(static_cast<uint32_t>(row.size()));
    if (v) row.insert(row.end(), v->bytes.begin(), v->bytes.end());
  }
  offsets.push_back(static_cast<uint32_t>(row.size()));  // where the variable data ends
  // Offsets and their count: two bytes each in Jet 4, one in Jet 3.
  const auto append = [&](uint32_t v) {
    if (!jet4) {
      row.push_back(static_cast<uint8_t>(v));
      return;
    }
    row.resize(row.size() + 2);
    putLe16(row.data() + row.size() - 2, static_cast<uint16_t>(v));
  };
  if (def.numVarCols > 0) {
    for (size_t i = offsets.size(); i-- > 0;) append(offsets[i]);
    append(varCount);
  }
  row.insert(row.end(), mask.begin(), mask.end());
  if (!jet4 && row.size() > 255) throwCorrupt("a Jet 3 row this long needs a jump table");
  return row;
}

}  // namespace jet
