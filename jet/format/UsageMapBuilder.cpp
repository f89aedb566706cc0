#include "jet/format/UsageMapBuilder.h"

#include <algorithm>

#include "jet/Error.h"
#include "jet/util/Bytes.h"

namespace jet {

namespace {

size_t defaultBitmapBytes(const Format& f) { return f.jet4 ? 64 : 128; }
size_t maxInlineBitmapBytes(const Format& f) { return f.pageSize / 4; }
uint64_t pagesPerBitmapPage(const Format& f) { return (f.pageSize - 4) * 8ull; }

void setBit(uint8_t* bits, uint64_t i) { bits[i / 8] |= static_cast<uint8_t>(1u << (i % 8)); }

// A reference map row over bitmap pages; `bit(pg)` says which pages are set
// up to `end`, `pastEnd` sets every bit from end on within the last page.
std::vector<uint8_t> referenceMap(const std::vector<uint32_t>& pages, uint32_t end, bool pastEnd,
                                  std::vector<uint32_t> bitmapPages, PageSink& sink) {
  const Format& f = sink.format();
  const uint64_t per = pagesPerBitmapPage(f);
  const size_t slots = std::max<size_t>(bitmapPages.size(), (f.jet4 ? 68u : 132u) / 4);
  std::vector<uint8_t> row(1 + 4 * slots, 0);
  row[0] = 1;
  std::vector<std::vector<uint8_t>> images(bitmapPages.size());
  for (size_t j = 0; j < bitmapPages.size(); ++j) {
    if (bitmapPages[j] == 0) continue;
    images[j].assign(f.pageSize, 0);
    images[j][0] = page_type::kUsageBitmap;
    images[j][1] = 0x01;
    putLe32(row.data() + 1 + 4 * j, bitmapPages[j]);
  }
  for (uint32_t pg : pages) setBit(images[pg / per].data() + 4, pg % per);
  if (pastEnd && !bitmapPages.empty()) {
    const size_t j = bitmapPages.size() - 1;
    for (uint64_t pg = end; pg < (j + 1) * per; ++pg) setBit(images[j].data() + 4, pg % per);
  }
  for (size_t j = 0; j < bitmapPages.size(); ++j)
    if (bitmapPages[j] != 0) sink.write(bitmapPages[j], std::move(images[j]));
  return row;
}

}  // namespace

std::vector<uint8_t> buildUsageMap(const std::vector<uint32_t>& pages, PageAllocator& alloc,
                                   PageSink& sink) {
  const Format& f = sink.format();
  const uint32_t start = pages.empty() ? 0 : pages.front() & ~7u;
  const size_t needed = pages.empty() ? 0 : (pages.back() - start) / 8 + 1;
  if (needed <= maxInlineBitmapBytes(f)) {
    std::vector<uint8_t> row(5 + std::max(needed, defaultBitmapBytes(f)), 0);
    putLe32(row.data() + 1, start);
    for (uint32_t pg : pages) setBit(row.data() + 5, pg - start);
    return row;
  }
  const uint64_t per = pagesPerBitmapPage(f);
  std::vector<uint32_t> bitmapPages(pages.back() / per + 1, 0);
  for (uint32_t pg : pages)
    if (bitmapPages[pg / per] == 0) bitmapPages[pg / per] = alloc.allocate();
  return referenceMap(pages, 0, false, bitmapPages, sink);
}

std::vector<uint8_t> buildGlobalMapPage(std::vector<bool> used, PageAllocator& alloc,
                                        PageSink& sink) {
  const Format& f = sink.format();
  const size_t maxRow = (f.pageSize - f.rowCountOffset - 2 - 4) / 2;
  uint32_t end = alloc.end();
  std::vector<uint8_t> row;
  if ((end + 7) / 8 + 5 <= maxRow) {
    const size_t bytes = std::max<size_t>((end + 7) / 8, defaultBitmapBytes(f));
    row.assign(5 + bytes, 0);
    for (uint64_t pg = 0; pg < bytes * 8; ++pg)
      if (pg >= used.size() || !used[pg]) setBit(row.data() + 5, pg);
  } else {
    // The bitmap pages are part of the file they describe.
    const uint64_t per = pagesPerBitmapPage(f);
    std::vector<uint32_t> bitmapPages;
    while (bitmapPages.size() < (alloc.end() + per - 1) / per) {
      const uint32_t pg = alloc.allocate();
      bitmapPages.push_back(pg);
      if (used.size() <= pg) used.resize(pg + 1, false);
      used[pg] = true;
    }
    end = alloc.end();
    std::vector<uint32_t> freePages;
    for (uint32_t pg = 0; pg < end; ++pg)
      if (pg >= used.size() || !used[pg]) freePages.push_back(pg);
    row = referenceMap(freePages, end, true, bitmapPages, sink);
  }
  DataPageBuilder page(f, 1);
  page.add(row.data(), row.size());
  const std::vector<uint8_t> zeros(row.size(), 0);
  page.add(zeros.data(), zeros.size());
  return page.page();
}

MapHolder::MapHolder(PageAllocator& alloc, PageSink& sink)
    : alloc_(alloc), sink_(sink), page_(sink.format(), 0) {}

RowPtr MapHolder::add(const std::vector<uint8_t>& row) {
  if (row.size() > DataPageBuilder::maxRow(sink_.format()))
    throw Error(3049, "internal error: a usage map does not fit a page");
  if (!page_.empty() && !page_.fits(row.size())) flush();
  if (page_.empty()) pg_ = alloc_.allocate();
  const uint8_t r = page_.add(row.data(), row.size());
  return RowPtr{pg_, r};
}

void MapHolder::flush() {
  if (page_.empty()) return;
  sink_.write(pg_, page_.page());
  page_.reset();
}

}  // namespace jet
