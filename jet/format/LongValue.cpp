#include "jet/format/LongValue.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "jet/format/DataPage.h"

namespace jet {
namespace {

RowSlot lvalSlot(PageSource& pages, RowPtr at) {
  RowSlot slot = readSlot(pages, at);
  if (slot.page.bytes().u32(4) != kLvalOwner)
    throwCorrupt("a memo/OLE value points at page " + std::to_string(at.page) +
                 ", which is not a memo/OLE page");
  return slot;
}

}  // namespace

LongValueHeader parseLongValueHeader(ByteView field) {
  if (field.size() < kLongValueHeader)
    throwCorrupt("a memo/OLE field is shorter than its 12-byte header");
  const uint32_t word = field.u32(0);
  LongValueHeader h;
  h.length = word & kLongValueMaxLength;
  switch (word >> 30) {
    case 2:
      h.kind = LongValueKind::Inline;
      break;
    case 1:
      h.kind = LongValueKind::SingleRow;
      break;
    case 0:
      h.kind = LongValueKind::Chain;
      break;
    default:
      throwCorrupt("a memo/OLE header has both kind bits set");
  }
  h.first = RowPtr::fromRaw(field.u32(4));
  return h;
}

void putLongValueLength(uint8_t* field, LongValueKind kind, uint32_t length) {
  const uint32_t bits = kind == LongValueKind::Inline      ? 0x80000000u
                        : kind == LongValueKind::SingleRow ? 0x40000000u
                                                           : 0u;
  putLe32(field, bits | (length & kLongValueMaxLength));
}

namespace {

// byLength: the pieces must hold exactly the header's length; else they are
// taken whole, as far as they go.
void walkPieces(PageSource& pages, ByteView field, const LongValuePiece& piece, bool byLength) {
  const LongValueHeader h = parseLongValueHeader(field);
  if (h.kind == LongValueKind::Inline) {
    if (field.size() - kLongValueHeader < h.length)
      throwCorrupt("an inline memo/OLE value is longer than its field");
    piece(field.sub(kLongValueHeader, h.length), RowPtr{});
    return;
  }
  if (byLength && h.length > pages.fileSize())
    throwCorrupt("a memo/OLE value claims " + std::to_string(h.length) +
                 " bytes, more than the file holds");
  if (h.kind == LongValueKind::SingleRow) {
    const RowSlot slot = lvalSlot(pages, h.first);
    const auto where =
        " (row " + std::to_string(h.first.row) + " of page " + std::to_string(h.first.page) + ")";
    if (!byLength) return piece(slot.bytes, h.first);
    if (slot.bytes.size() < h.length)
      throwCorrupt("a memo/OLE value is longer than its row" + where);
    if (slot.bytes.size() > h.length)
      throwCorrupt("a memo/OLE value's row holds more than its length says" + where);
    piece(slot.bytes, h.first);
    return;
  }
  uint64_t remaining = byLength ? h.length : pages.fileSize();
  std::unordered_set<uint32_t> seen;
  for (RowPtr at = h.first; remaining > 0 && !(at.null() && !byLength);) {
    const auto where = [at] {
      return "row " + std::to_string(at.row) + " of page " + std::to_string(at.page);
    };
    if (at.null())
      throwCorrupt("a memo/OLE chain ends " + std::to_string(remaining) + " bytes short of " +
                   std::to_string(h.length));
    if (!seen.insert(at.raw()).second) throwCorrupt("a memo/OLE chain loops back to " + where());
    const RowSlot slot = lvalSlot(pages, at);
    if (slot.bytes.size() <= 4) throwCorrupt("a memo/OLE chain holds an empty " + where());
    const size_t take = std::min<uint64_t>(slot.bytes.size() - 4, remaining);
    const RowPtr next = RowPtr::fromRaw(slot.bytes.u32(0));
    if (take == remaining && (take < slot.bytes.size() - 4 || !next.null()))
      throwCorrupt("a memo/OLE chain holds more than the value's length of " +
                   std::to_string(h.length) + " bytes (" + where() + ")");
    piece(slot.bytes.sub(4, take), at);
    remaining -= take;
    at = next;
  }
}

}  // namespace

void forEachPiece(PageSource& pages, ByteView field, const LongValuePiece& piece) {
  walkPieces(pages, field, piece, true);
}

void forEachPieceWhole(PageSource& pages, ByteView field, const LongValuePiece& piece) {
  walkPieces(pages, field, piece, false);
}

void readLongValue(PageSource& pages, ByteView field, std::vector<uint8_t>& out) {
  out.clear();
  forEachPiece(pages, field,
               [&](ByteView bytes, RowPtr) { out.insert(out.end(), bytes.begin(), bytes.end()); });
}

}  // namespace jet
