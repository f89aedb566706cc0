#include "jet/format/DataPage.h"

#include <string>

namespace jet {
namespace {

constexpr int kMaxOverflowHops = 8;

std::string rowText(RowPtr p) {
  return "row " + std::to_string(p.row) + " of page " + std::to_string(p.page);
}

}  // namespace

DataPage::DataPage(Page page, const Format& format)
    : page_(std::move(page)), bytes_(page_.bytes()) {
  if (bytes_.u8(0) != page_type::kData) throwCorrupt("not a data page");
  rowCount_ = bytes_.u16(format.rowCountOffset);
  dirStart_ = format.rowCountOffset + 2;
  if (dirStart_ + 2u * rowCount_ > bytes_.size())
    throwCorrupt("row count " + std::to_string(rowCount_) + " does not fit the page");
}

RowSlot DataPage::slot(uint16_t row) const {
  if (row >= rowCount_)
    throwCorrupt("row " + std::to_string(row) + " does not exist (the page has " +
                 std::to_string(rowCount_) + ")");
  const uint16_t e = entry(row);
  const uint32_t start = e & kRowOffsetMask;
  const uint32_t end = row == 0 ? bytes_.size() : (entry(row - 1) & kRowOffsetMask);
  const uint32_t dirEnd = dirStart_ + 2u * rowCount_;
  if (start < dirEnd || start > end || end > bytes_.size())
    throwCorrupt("row " + std::to_string(row) + " has start " + std::to_string(start) +
                 " and end " + std::to_string(end) + ", outside the page's row area");
  return RowSlot{static_cast<uint16_t>(e & ~kRowOffsetMask), bytes_.sub(start, end - start), page_};
}

int DataPage::computedFreeSpace() const {
  uint32_t lowest = bytes_.size();
  for (uint16_t r = 0; r < rowCount_; ++r) {
    const uint32_t start = entry(r) & kRowOffsetMask;
    if (start < lowest) lowest = start;
  }
  return static_cast<int>(lowest) - static_cast<int>(dirStart_ + 2u * rowCount_);
}

RowSlot readSlot(PageSource& pages, RowPtr ptr) {
  try {
    return DataPage(pages.page(ptr.page), pages.format()).slot(ptr.row);
  } catch (const Corrupt& e) {
    throw Corrupt(rowText(ptr) + ": " + e.description());
  }
}

RowSlot readRow(PageSource& pages, RowPtr header, RowPtr* stored) {
  RowSlot slot = readSlot(pages, header);
  if (slot.deleted()) throwCorrupt(rowText(header) + " is deleted");
  RowPtr at = header;
  for (int hop = 0; slot.flags & kRowLookup; ++hop) {
    if (hop >= kMaxOverflowHops || slot.bytes.size() < 4)
      throwCorrupt("the overflow pointer of " + rowText(header) + " cannot be followed");
    at = RowPtr::fromRaw(slot.bytes.u32(0));
    slot = readSlot(pages, at);
    // The target carries 0x8000 alone; 0x4000 with it would chain on.
    slot.flags = (slot.flags & kRowLookup) ? kRowLookup : 0;
  }
  if (stored) *stored = at;
  return slot;
}

}  // namespace jet
