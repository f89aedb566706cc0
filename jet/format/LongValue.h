#pragma once

// Memo and OLE values. The row holds a 12-byte header:
//
//   u32  length (low 30 bits) | 0x80000000 inline | 0x40000000 single row
//   u32  RowPtr of the first LVAL row (not inline)
//   u32  0
//   ...  inline: the data itself
//
// A single row holds the data; a chain's rows each start with the RowPtr of
// the next (0 at the end). LVAL rows live on type-1 pages owned by "LVAL".

#include <cstdint>
#include <functional>
#include <vector>

#include "jet/format/Format.h"
#include "jet/format/PageSource.h"
#include "jet/util/Bytes.h"

namespace jet {

constexpr uint32_t kLvalOwner = 0x4C41564C;  // "LVAL"
constexpr size_t kLongValueHeader = 12;

enum class LongValueKind { Inline, SingleRow, Chain };

struct LongValueHeader {
  uint32_t length = 0;  // total bytes
  LongValueKind kind = LongValueKind::Inline;
  RowPtr first;  // first LVAL row (not inline)
};

constexpr uint32_t kLongValueMaxLength = 0x3FFFFFFF;  // the length's 30 bits

// Throws Corrupt when the field is shorter than 12 bytes or both kind bits are set.
LongValueHeader parseLongValueHeader(ByteView field);
// Writes the header's first word, as parseLongValueHeader reads it.
void putLongValueLength(uint8_t* field, LongValueKind kind, uint32_t length);

// Calls piece(bytes, where) for each stored piece in order: the inline data
// (where null), the single row, or each chain row without its link. Throws
// Corrupt on a chain that loops, ends early, holds an empty row or points at
// a page that is no long-value page, and where the pieces hold more than the
// length says (Jet writes them to the byte: the length is what is damaged).
using LongValuePiece = std::function<void(ByteView bytes, RowPtr where)>;
void forEachPiece(PageSource& pages, ByteView field, const LongValuePiece& piece);
// Salvage: the same, the length passed over: a single row whole, a chain to
// its end.
void forEachPieceWhole(PageSource& pages, ByteView field, const LongValuePiece& piece);

// The whole value, into out (storage reused).
void readLongValue(PageSource& pages, ByteView field, std::vector<uint8_t>& out);

}  // namespace jet
