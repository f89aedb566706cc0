#pragma once

// The memo/OLE data of one column in the output: rows packed onto fresh LVAL
// pages, single rows as they were, chains written last piece first so each
// piece knows where its successor went. A few pages stay open, each row going
// to the first with room, so small values fill what a large one left.

#include <cstdint>
#include <list>
#include <vector>

#include "jet/format/DataPageBuilder.h"
#include "jet/format/PageWriter.h"

namespace jet::compact {

class LongValueWriter {
 public:
  LongValueWriter(PageAllocator& alloc, PageSink& sink);
  // data: the whole value; pieces: the sizes it was stored in (one for a
  // single row), kept as they were. Returns the first row, for the field's
  // header.
  RowPtr write(const std::vector<uint8_t>& data, const std::vector<uint32_t>& pieces,
               bool singleRow);
  void flush();
  const std::vector<uint32_t>& pages() const { return pages_; }
  const std::vector<uint32_t>& pagesWithRoom() const { return freePages_; }

 private:
  struct Open {
    uint32_t pg;
    DataPageBuilder page;
  };
  RowPtr add(const std::vector<uint8_t>& row);
  void close(std::list<Open>::iterator it);

  PageAllocator& alloc_;
  PageSink& sink_;
  std::list<Open> open_;                     // ascending
  std::vector<uint32_t> pages_, freePages_;  // ascending
  std::vector<uint8_t> row_;
};

}  // namespace jet::compact
