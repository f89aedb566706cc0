#include "jet/db/TableScan.h"

#include <algorithm>

#include "jet/db/Database.h"
#include "jet/format/UsageMap.h"

namespace jet {
namespace {

bool tableDataPage(const Page& p, const TableDef& def) {
  const ByteView b = p.bytes();
  return b.u8(0) == page_type::kData && b.u32(4) == def.firstPage;
}

// The pages a table's map lists, and for the catalog those salvage added.
std::vector<uint32_t> tablePages(const Database& db, const TableDef& def) {
  const std::vector<uint32_t>* supplied = db.suppliedPages(def.firstPage);
  std::vector<uint32_t> pages = supplied ? *supplied : readUsageMap(db.pages(), def.ownedMap).pages;
  if (def.firstPage == 2)
    pages.insert(pages.end(), db.extraCatalogPages().begin(), db.extraCatalogPages().end());
  return pages;
}

}  // namespace

TableScan::TableScan(const Database& db, const TableDef& def) : db_(db), def_(def) {
  pages_ = tablePages(db, def);
}

bool TableScan::openNextPage() {
  page_.reset();
  while (pageIndex_ < pages_.size()) {
    const uint32_t pg = pages_[pageIndex_++];
    Page p = db_.page(pg);
    if (!tableDataPage(p, def_)) continue;
    page_.emplace(std::move(p), db_.format());
    row_ = 0;
    // A row pointer addresses rows 0..255 only; more slots are damage.
    rows_ = std::min<uint16_t>(page_->rowCount(), 256);
    return true;
  }
  return false;
}

bool TableScan::next(RawRow& row) {
  while (true) {
    if ((!page_ || row_ >= rows_) && !openNextPage()) return false;
    const uint16_t r = row_++;
    if (page_->slotDeleted(r)) continue;
    row.header = RowPtr{page_->number(), static_cast<uint8_t>(r)};
    RowSlot slot;
    try {
      slot = readRow(db_.pages(), row.header, &row.stored);
    } catch (const Corrupt& e) {
      throw Corrupt("page " + std::to_string(row.header.page) + ": " + e.description());
    }
    row.bytes = slot.bytes;
    row.page = std::move(slot.page);
    return true;
  }
}

std::vector<uint32_t> liveRows(const Database& db, const TableDef& def,
                               std::vector<uint32_t>* passedOver) {
  std::vector<uint32_t> rows;
  for (uint32_t pg : tablePages(db, def)) {
    Page p = db.page(pg);
    if (!tableDataPage(p, def)) {
      if (passedOver) passedOver->push_back(pg);
      continue;
    }
    const DataPage page(std::move(p), db.format());
    if (page.rowCount() > 255)
      throwCorrupt("data page " + std::to_string(pg) + " claims " +
                   std::to_string(page.rowCount()) + " rows");
    for (uint16_t r = 0; r < page.rowCount(); ++r)
      if (!page.slotDeleted(r)) rows.push_back(RowPtr{pg, static_cast<uint8_t>(r)}.raw());
  }
  return rows;
}

}  // namespace jet
