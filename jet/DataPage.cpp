#include "jet/DataPage.h"

#include "jet/Database.h"

namespace jet {

DataPage::DataPage(ByteView page, const Format& format) : page_(page) {
  if (page.u8(0) != page_type::kData) throwCorrupt("not a data page");
  rowCount_ = page.u16(format.rowCountOffset);
  dirStart_ = format.rowCountOffset + 2;
  if (dirStart_ + 2u * rowCount_ > page.size())
    throwCorrupt("row count " + std::to_string(rowCount_) + " does not fit the page");
}

uint16_t DataPage::entry(uint16_t row) const { return page_.u16(dirStart_ + 2u * row); }

RowSlot DataPage::slot(uint16_t row) const {
  if (row >= rowCount_)
    throwCorrupt("row " + std::to_string(row) + " does not exist (the page has " +
                 std::to_string(rowCount_) + ")");
  const uint16_t e = entry(row);
  const uint32_t start = e & kRowOffsetMask;
  const uint32_t end = row == 0 ? page_.size() : (entry(row - 1) & kRowOffsetMask);
  const uint32_t dirEnd = dirStart_ + 2u * rowCount_;
  if (start < dirEnd || start > end || end > page_.size())
    throwCorrupt("row " + std::to_string(row) + " has start " + std::to_string(start) +
                 " and end " + std::to_string(end) + ", outside the page's row area");
  RowSlot s;
  s.flags = e & static_cast<uint16_t>(~kRowOffsetMask);
  s.bytes = page_.sub(start, end - start);
  return s;
}

int DataPage::computedFreeSpace() const {
  uint32_t lowest = page_.size();
  for (uint16_t r = 0; r < rowCount_; ++r) {
    const uint32_t start = entry(r) & kRowOffsetMask;
    if (start < lowest) lowest = start;
  }
  return static_cast<int>(lowest) - static_cast<int>(dirStart_ + 2u * rowCount_);
}

RowSlot readSlot(const Database& db, RowPtr ptr) {
  try {
    DataPage page(db.page(ptr.page), db.format());
    return page.slot(ptr.row);
  } catch (const Corrupt& e) {
    throw Corrupt("row " + std::to_string(ptr.row) + " of page " + std::to_string(ptr.page) + ": " +
                  e.description());
  }
}

}  // namespace jet
