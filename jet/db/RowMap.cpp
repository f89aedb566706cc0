#include "jet/db/RowMap.h"

#include "jet/util/Bytes.h"

namespace jet {

RowMap::RowMap(const std::vector<uint32_t>& rows, uint32_t pageCount)
    : page_(pageCount, kNone), size_(static_cast<uint32_t>(rows.size())) {
  for (size_t i = 0; i < rows.size(); ++i) {
    const RowPtr p = RowPtr::fromRaw(rows[i]);
    if (i > 0 && rows[i] <= rows[i - 1]) throwCorrupt("live rows out of order");
    if (p.page >= pageCount) throwCorrupt("a live row lies past the end of the file");
    if (page_[p.page] == kNone) {
      page_[p.page] = static_cast<uint32_t>(pages_.size());
      pages_.emplace_back();
      pages_.back().before = static_cast<uint32_t>(i);
    }
    pages_[page_[p.page]].live[p.row / 64] |= uint64_t{1} << (p.row % 64);
  }
}

}  // namespace jet
