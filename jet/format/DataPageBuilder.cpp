#include "jet/format/DataPageBuilder.h"

#include <cstring>

#include "jet/util/Bytes.h"

namespace jet {

namespace {
constexpr uint16_t kMaxRows = 255;
}

DataPageBuilder::DataPageBuilder(const Format& format, uint32_t owner)
    : format_(format), owner_(owner) {
  reset();
}

void DataPageBuilder::reset() {
  page_.assign(format_.pageSize, 0);
  page_[0] = page_type::kData;
  page_[1] = 0x01;
  putLe32(page_.data() + 4, owner_);
  rows_ = 0;
  low_ = format_.pageSize;
}

size_t DataPageBuilder::maxRow(const Format& format) {
  return format.pageSize - format.rowCountOffset - 2 - 2;
}

bool DataPageBuilder::fits(size_t length) const {
  return rows_ < kMaxRows && length + 2 <= freeSpace();
}

uint16_t DataPageBuilder::freeSpace() const {
  return static_cast<uint16_t>(low_ - (format_.rowCountOffset + 2 + 2u * rows_));
}

uint8_t DataPageBuilder::add(const uint8_t* data, size_t length) {
  low_ -= static_cast<uint32_t>(length);
  if (length) std::memcpy(page_.data() + low_, data, length);
  putLe16(page_.data() + format_.rowCountOffset + 2 + 2u * rows_, static_cast<uint16_t>(low_));
  return static_cast<uint8_t>(rows_++);
}

void DataPageBuilder::setFlags(uint8_t row, uint16_t flags) {
  uint8_t* e = page_.data() + format_.rowCountOffset + 2 + 2u * row;
  putLe16(e, static_cast<uint16_t>((le16(e) & kRowOffsetMask) | flags));
}

const std::vector<uint8_t>& DataPageBuilder::page() {
  putLe16(page_.data() + 2, freeSpace());
  putLe16(page_.data() + format_.rowCountOffset, rows_);
  return page_;
}

}  // namespace jet
