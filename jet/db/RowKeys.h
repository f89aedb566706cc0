#pragma once

// One real index's keys made from a table's rows, as Jet would write them:
// the index's columns looked up in the definition, each text column's sort
// order read from its descriptor, memo values read whole from their pages.

#include <optional>
#include <string>
#include <vector>

#include "jet/format/IndexKey.h"
#include "jet/format/Row.h"
#include "jet/format/TableDef.h"

namespace jet {

class Database;

class RowKeys {
 public:
  // Why this index's keys cannot be made here ("sort order 0x0419 (Russian)
  // version 1 is not supported"), or nullopt.
  static std::optional<std::string> unsupported(const Database& db, const TableDef& def,
                                                const RealIndex& index);

  // Throws std::invalid_argument when unsupported() names a reason.
  RowKeys(const Database& db, const TableDef& def, const RealIndex& index);

  enum class Outcome {
    Key,         // appended
    Omitted,     // the index has no entry for this row (ignore nulls)
    Unverified,  // appended, but its text holds a character whose code is uncertain
    Uncertain,   // appended, but Access may cut such a key otherwise
  };
  // Appends the key of one row (its stored bytes) to out. Throws Corrupt for
  // a row or a memo value that cannot be read.
  Outcome append(ByteView row, std::vector<uint8_t>& out);

 private:
  const Database& db_;
  const TableDef& def_;
  uint8_t flags_;
  std::vector<const Column*> columns_;
  std::vector<KeyColumn> keyColumns_;
  IndexKeyEncoder encoder_;
  std::vector<KeyValue> values_;
  std::vector<std::vector<uint8_t>> memo_;  // per key column: a memo's whole value
};

// An index's entries made from rows: key bytes and the position of the row
// among those handed in, sorted as the index orders them (key bytes, then
// row, the positions following the rows' order).
struct KeyedEntries {
  struct Entry {
    size_t offset;
    uint16_t keyLength;
    uint32_t row;
  };
  std::vector<uint8_t> keys;
  std::vector<Entry> entries;
  bool uncertain = false;            // some key may not be the one Access writes
  std::vector<uint32_t> unverified;  // positions whose keys hold a character in doubt

  void clear();
  // Adds the entry of the row at `position` unless the index leaves it out.
  void add(RowKeys& maker, uint32_t position, ByteView row);
  void sort();
  ByteView key(const Entry& e) const { return ByteView(keys.data() + e.offset, e.keyLength); }
};

}  // namespace jet
