#include "jet/format/UsageMap.h"

#include "jet/format/DataPage.h"

namespace jet {
namespace {

void addBits(const uint8_t* bits, size_t n, uint64_t base, uint32_t limit,
             std::vector<uint32_t>& out) {
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = bits[i];
    while (b != 0) {
      const int k = __builtin_ctz(b);
      const uint64_t pg = base + i * 8 + static_cast<uint64_t>(k);
      if (pg >= limit) return;
      out.push_back(static_cast<uint32_t>(pg));
      b = static_cast<uint8_t>(b & (b - 1));
    }
  }
}

void decodeInline(ByteView row, uint32_t limit, UsageMap& map) {
  map.kind = UsageMap::Kind::Inline;
  map.startPage = row.u32(1);
  const ByteView bits = row.from(5);
  map.capacityEnd = static_cast<uint32_t>(
      std::min<uint64_t>(0xFFFFFFFFu, uint64_t{map.startPage} + bits.size() * 8));
  addBits(bits.data(), bits.size(), map.startPage, limit, map.pages);
}

void decodeReference(PageSource& pages, ByteView row, UsageMap& map) {
  map.kind = UsageMap::Kind::Reference;
  const uint32_t ps = pages.pageSize();
  const uint64_t perPage = uint64_t{ps - 4} * 8;
  for (size_t j = 0; 1 + 4 * j + 4 <= row.size(); ++j) {
    const uint32_t mp = row.u32(1 + 4 * j);
    if (mp == 0) continue;
    if (!pages.hasPage(mp)) {
      ++map.skippedPointers;
      continue;
    }
    const Page bitmap = pages.page(mp);
    if (bitmap.bytes().u8(0) != page_type::kUsageBitmap)
      throwCorrupt("usage-map page " + std::to_string(mp) + " is not a bitmap page");
    map.bitmapPages.push_back(mp);
    addBits(bitmap.bytes().data() + 4, ps - 4, j * perPage, pages.pageCount(), map.pages);
  }
}

}  // namespace

UsageMap readUsageMap(PageSource& pages, RowPtr where) {
  const RowSlot slot = readSlot(pages, where);
  UsageMap map;
  try {
    const uint8_t kind = slot.bytes.u8(0);
    if (kind == 0)
      decodeInline(slot.bytes, pages.pageCount(), map);
    else if (kind == 1)
      decodeReference(pages, slot.bytes, map);
    else
      throwCorrupt("usage map of unknown kind " + std::to_string(kind));
  } catch (const Corrupt& e) {
    throw Corrupt("usage map at row " + std::to_string(where.row) + " of page " +
                  std::to_string(where.page) + ": " + e.description());
  }
  return map;
}

}  // namespace jet
