#include "jet/compact/LongValueWriter.h"

#include <algorithm>

#include "jet/format/LongValue.h"

namespace jet::compact {

namespace {

// Pages kept open per column: enough to take the small values and last
// pieces that follow large ones, few enough to cost little memory.
constexpr size_t kOpenPages = 8;

void insertSorted(std::vector<uint32_t>& pages, uint32_t pg) {
  pages.insert(std::upper_bound(pages.begin(), pages.end(), pg), pg);
}

}  // namespace

LongValueWriter::LongValueWriter(PageAllocator& alloc, PageSink& sink)
    : alloc_(alloc), sink_(sink) {}

RowPtr LongValueWriter::add(const std::vector<uint8_t>& row) {
  auto it = std::find_if(open_.begin(), open_.end(),
                         [&](const Open& o) { return o.page.fits(row.size()); });
  if (it == open_.end()) {
    if (open_.size() == kOpenPages)
      close(std::min_element(open_.begin(), open_.end(), [](const Open& a, const Open& b) {
        return a.page.freeSpace() < b.page.freeSpace();
      }));
    it = open_.insert(open_.end(),
                      Open{alloc_.allocate(), DataPageBuilder(sink_.format(), kLvalOwner)});
  }
  return RowPtr{it->pg, it->page.add(row.data(), row.size())};
}

void LongValueWriter::close(std::list<Open>::iterator it) {
  if (it->page.freeSpace() >= sink_.format().pageSize / 8) insertSorted(freePages_, it->pg);
  sink_.write(it->pg, it->page.page());
  insertSorted(pages_, it->pg);
  open_.erase(it);
}

void LongValueWriter::flush() {
  while (!open_.empty()) close(open_.begin());
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
