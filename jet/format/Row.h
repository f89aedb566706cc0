#pragma once

// A row's fields (§4 of the format notes). Jet 4:
//
//   u16 N (columns stored) | fixed area | variable data | u16 EOD |
//   u16 offsets[V-1..0] | u16 V | null mask, (N+7)/8 bytes
//
// Jet 3 has a u8 N and V, one-byte offsets, and for rows of 256 bytes and
// more a jump table in front of V saying where the offsets pass each 256.
// A null-mask bit set means present; a boolean's value is its bit.

#include <cstdint>
#include <vector>

#include "jet/format/Format.h"
#include "jet/format/TableDef.h"
#include "jet/util/Bytes.h"

namespace jet {

// A field cut from a row: null, or its stored bytes. Booleans carry their
// value in `boolValue` and are never null.
struct Field {
  bool null = true;
  bool boolValue = false;
  ByteView bytes;
};

// A row's trailer, parsed once, then any of its fields.
class RowFields {
 public:
  // Throws Corrupt when the trailer or the offsets contradict themselves.
  RowFields(const TableDef& def, bool jet4, ByteView row);

  uint16_t storedColumns() const { return stored_; }
  Field field(const Column& c) const;
  // Every field, indexed like TableDef::columns, into `out` (storage reused).
  void all(std::vector<Field>& out) const;
  // Makes column c null in `row`, a writable copy of the bytes read; its
  // stored bytes stay, unread. c must be stored in the row and no Yes/No.
  void setNull(uint8_t* row, const Column& c) const;

 private:
  static constexpr uint32_t kMaxOffsets = 512;  // var columns + end; more is damage

  const TableDef& def_;
  ByteView row_;
  bool jet4_;
  uint16_t stored_ = 0;
  const uint8_t* mask_ = nullptr;
  uint32_t varCount_ = 0;
  uint32_t offsets_[kMaxOffsets];
};

}  // namespace jet
