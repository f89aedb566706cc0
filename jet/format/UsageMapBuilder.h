#pragma once

// Usage-map rows for the output: inline when the pages fit one window,
// otherwise a reference map with its own bitmap pages; and the holder pages
// the map rows live on.

#include <cstdint>
#include <vector>

#include "jet/format/DataPageBuilder.h"
#include "jet/format/Format.h"
#include "jet/format/PageWriter.h"

namespace jet {

// The row of a map listing `pages` (ascending, no duplicates).
std::vector<uint8_t> buildUsageMap(const std::vector<uint32_t>& pages, PageAllocator& alloc,
                                   PageSink& sink);

// Page 1: the global map (bit set = page free) over [0, end), and its
// all-zero second row. `used` marks pages in use. Allocates and writes
// bitmap pages when the file is too large for an inline map; returns the
// page-1 image.
std::vector<uint8_t> buildGlobalMapPage(std::vector<bool> used, PageAllocator& alloc,
                                        PageSink& sink);

// Collects map rows on owner-0 holder pages.
class MapHolder {
 public:
  MapHolder(PageAllocator& alloc, PageSink& sink);
  RowPtr add(const std::vector<uint8_t>& row);
  void flush();

 private:
  PageAllocator& alloc_;
  PageSink& sink_;
  DataPageBuilder page_;
  uint32_t pg_ = 0;
};

}  // namespace jet
