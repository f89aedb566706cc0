#include "jet/compact/LongValueWriter.h"

#include "jet/format/LongValue.h"

namespace jet::compact {

LongValueWriter::LongValueWriter(PageAllocator& alloc, PageSink& sink)
    : alloc_(alloc), sink_(sink), page_(sink.format(), kLvalOwner) {}

RowPtr LongValueWriter::add(const std::vector<uint8_t>& row) {
  if (!page_.fits(row.size())) flush();
  if (page_.empty()) pg_ = alloc_.allocate();
  return RowPtr{pg_, page_.add(row.data(), row.size())};
}

void LongValueWriter::flush() {
  if (page_.empty()) return;
  if (page_.freeSpace() >= sink_.format().pageSize / 8) freePages_.push_back(pg_);
  sink_.write(pg_, page_.page());
  // Pages are allocated in increasing order, so the list stays sorted.
  pages_.push_back(pg_);
  page_.reset();
}

RowPtr LongValueWriter::write(const std::vector<uint8_t>& data, const std::vector<uint32_t>& pieces,
                              bool singleRow) {
  const size_t maxRow = DataPageBuilder::maxRow(sink_.format());
  if (singleRow) {
    if (data.size() > maxRow) throwCorrupt("a memo/OLE row is longer than a page");
    return add(data);
  }
  uint32_t next = 0;
  size_t end = data.size();
  for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
    if (*it + 4 > maxRow) throwCorrupt("a memo/OLE piece is longer than a page");
    row_.assign(4, 0);
    putLe32(row_.data(), next);
    row_.insert(row_.end(), data.begin() + (end - *it), data.begin() + end);
    end -= *it;
    next = add(row_).raw();
  }
  return RowPtr::fromRaw(next);
}

}  // namespace jet::compact
