#pragma once

// Builds one type-1 page (table data, long values, usage-map holders): rows
// stacked from the end of the page, the directory growing from the header.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/format/Format.h"

namespace jet {

class DataPageBuilder {
 public:
  // owner: the 4 bytes at offset 4 (TDEF page, "LVAL", 0 for map holders).
  DataPageBuilder(const Format& format, uint32_t owner);

  bool empty() const { return rows_ == 0; }
  uint16_t rows() const { return rows_; }
  // True when a row of `length` bytes and its directory entry still fit.
  bool fits(size_t length) const;
  // Largest row an empty page takes.
  static size_t maxRow(const Format& format);
  // Adds a row; returns its row number. The row must fit.
  uint8_t add(const uint8_t* data, size_t length);
  // Sets directory flags of a row already added (kRowDeleted, kRowLookup).
  void setFlags(uint8_t row, uint16_t flags);
  uint16_t freeSpace() const;
  // The page as it stands (the builder can keep going).
  const std::vector<uint8_t>& page();
  // Starts over with an empty page of the same owner.
  void reset();

 private:
  const Format& format_;
  uint32_t owner_;
  std::vector<uint8_t> page_;
  uint16_t rows_ = 0;
  uint32_t low_ = 0;  // start of the lowest row
};

}  // namespace jet
