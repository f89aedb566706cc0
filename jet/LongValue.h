#pragma once

// Memo and OLE values: a 12-byte header in the row that holds the data inline
// or points at one LVAL row or a chain of them.

#include <cstdint>
#include <vector>

#include "jet/Bytes.h"
#include "jet/Format.h"

namespace jet {

class Database;

enum class LongValueKind { Inline, SingleRow, Chain };

struct LongValueHeader {
  uint32_t length = 0;  // total bytes
  LongValueKind kind = LongValueKind::Inline;
  RowPtr first;  // first LVAL row (not inline)
};

// Parses the header at the start of a field. Throws Corrupt when shorter than 12 bytes.
LongValueHeader parseLongValueHeader(ByteView field);

// The value's bytes. `rowsUsed`, when given, receives every LVAL row read.
// Throws Corrupt on a chain that loops, ends early or points off the file.
std::vector<uint8_t> readLongValue(const Database& db, ByteView field,
                                   std::vector<RowPtr>* rowsUsed = nullptr);

}  // namespace jet
