#include "jet/LongValue.h"

#include <algorithm>
#include <unordered_set>

#include "jet/DataPage.h"
#include "jet/Database.h"

namespace jet {

LongValueHeader parseLongValueHeader(ByteView field) {
  if (field.size() < 12) throwCorrupt("a memo/OLE field is shorter than its 12-byte header");
  const uint32_t word = field.u32(0);
  LongValueHeader h;
  h.length = word & 0x3FFFFFFF;
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

std::vector<uint8_t> readLongValue(const Database& db, ByteView field,
                                   std::vector<RowPtr>* rowsUsed) {
  const LongValueHeader h = parseLongValueHeader(field);
  if (h.kind == LongValueKind::Inline) {
    if (field.size() - 12 < h.length)
      throwCorrupt("an inline memo/OLE value is longer than its field");
    return field.sub(12, h.length).copy();
  }
  if (h.length > db.fileSize())
    throwCorrupt("a memo/OLE value claims " + std::to_string(h.length) +
                 " bytes, more than the file holds");
  if (h.kind == LongValueKind::SingleRow) {
    const RowSlot slot = readSlot(db, h.first);
    if (rowsUsed) rowsUsed->push_back(h.first);
    if (slot.bytes.size() < h.length)
      throwCorrupt("a memo/OLE value is longer than the row at row " + std::to_string(h.first.row) +
                   " of page " + std::to_string(h.first.page));
    return slot.bytes.sub(0, h.length).copy();
  }
  std::vector<uint8_t> out;
  out.reserve(h.length);
  std::unordered_set<uint32_t> seen;
  RowPtr ptr = h.first;
  while (out.size() < h.length) {
    if (ptr.null())
      throwCorrupt("a memo/OLE chain ends after " + std::to_string(out.size()) + " of " +
                   std::to_string(h.length) + " bytes");
    if (!seen.insert(ptr.raw()).second)
      throwCorrupt("a memo/OLE chain loops back to row " + std::to_string(ptr.row) + " of page " +
                   std::to_string(ptr.page));
    const RowSlot slot = readSlot(db, ptr);
    if (rowsUsed) rowsUsed->push_back(ptr);
    const RowPtr next = RowPtr::fromRaw(slot.bytes.u32(0));
    const ByteView piece = slot.bytes.from(4);
    const size_t take = std::min<size_t>(piece.size(), h.length - out.size());
    out.insert(out.end(), piece.begin(), piece.begin() + take);
    ptr = next;
  }
  return out;
}

}  // namespace jet
