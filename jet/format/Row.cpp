#include "jet/format/Row.h"

namespace jet {
namespace {

[[noreturn]] void badRow(const std::string& what) { throwCorrupt("row trailer: " + what); }

}  // namespace

RowFields::RowFields(const TableDef& def, bool jet4, ByteView row)
    : def_(def), row_(row), jet4_(jet4) {
  const size_t len = row.size();
  const size_t fixedStart = jet4 ? 2 : 1;
  if (len < fixedStart) badRow("the row is empty");
  stored_ = jet4 ? row.u16(0) : row.u8(0);
  const size_t maskLen = (stored_ + 7) / 8;
  if (len < fixedStart + maskLen) badRow("the row is shorter than its null mask");
  mask_ = row.data() + len - maskLen;
  if (def.numVarCols == 0) return;
  if (jet4) {
    if (len < fixedStart + maskLen + 2) badRow("no room for the variable column count");
    varCount_ = row.u16(len - maskLen - 2);
    if (varCount_ + 1 > kMaxOffsets) badRow("too many variable columns");
    const size_t need = maskLen + 2 + 2 * (size_t{varCount_} + 1);
    if (need + fixedStart > len) badRow("the variable offsets do not fit the row");
    for (uint32_t i = 0; i <= varCount_; ++i) offsets_[i] = row.u16(len - maskLen - 4 - 2 * i);
  } else {
    if (len < fixedStart + maskLen + 1) badRow("no room for the variable column count");
    varCount_ = row.u8(len - maskLen - 1);
    size_t jumps = (len - 1) / 256;
    const size_t need = maskLen + 1 + jumps + (size_t{varCount_} + 1);
    if (need + fixedStart > len) badRow("the variable offsets do not fit the row");
    const size_t colPtr = len - maskLen - 2 - jumps;
    if ((colPtr - varCount_) / 256 < jumps) --jumps;  // the last jump entry is a filler
    size_t used = 0;
    for (uint32_t i = 0; i <= varCount_; ++i) {
      while (used < jumps && row.u8(len - maskLen - 2 - used) == i) ++used;
      offsets_[i] = row.u8(colPtr - i) + static_cast<uint32_t>(256 * used);
    }
  }
  const size_t trailerStart = len - maskLen - (jet4 ? 2 + 2 * (size_t{varCount_} + 1) : 0);
  for (uint32_t i = 0; i < varCount_; ++i)
    if (offsets_[i] > offsets_[i + 1]) badRow("variable offsets go backwards");
  if (varCount_ > 0 && offsets_[varCount_] > trailerStart)
    badRow("variable data runs into the trailer");
}

void RowFields::setNull(uint8_t* row, const Column& c) const {
  row[static_cast<size_t>(mask_ - row_.data()) + c.number / 8] &=
      static_cast<uint8_t>(~(1u << (c.number % 8)));
}

Field RowFields::field(const Column& c) const {
  Field out;
  if (c.number >= stored_) {  // added after the row was written
    out.null = c.type != column_type::kBoolean;
    return out;
  }
  const bool bit = (mask_[c.number / 8] >> (c.number % 8)) & 1;
  if (c.type == column_type::kBoolean) {
    out.null = false;
    out.boolValue = bit;
    return out;
  }
  if (!bit) return out;
  if (c.fixed()) {
    const size_t start = (jet4_ ? 2 : 1) + size_t{c.fixedOffset};
    if (start + c.length > row_.size() - (stored_ + 7) / 8)
      throwCorrupt("column '" + c.name + "' lies outside its row");
    out.bytes = row_.sub(start, c.length);
  } else {
    if (c.varIndex >= varCount_) return out;
    const uint32_t a = offsets_[c.varIndex], b = offsets_[c.varIndex + 1];
    out.bytes = row_.sub(a, b - a);
  }
  out.null = false;
  return out;
}

void RowFields::all(std::vector<Field>& out) const {
  out.resize(def_.columns.size());
  for (size_t k = 0; k < def_.columns.size(); ++k) out[k] = field(def_.columns[k]);
}

}  // namespace jet
