#pragma once

// Writing a database: page numbers handed out lowest first around pinned
// pages (table definitions that keep their numbers), and pages written
// encoded with their own number when the database is encoded.

#include <cstdint>
#include <vector>

#include "jet/format/Format.h"
#include "jet/util/FileSystem.h"

namespace jet {

class PageAllocator {
 public:
  // Page 0 and 1 are always pinned.
  explicit PageAllocator(std::vector<uint32_t> pinned);
  uint32_t allocate();
  // One past the highest page allocated or pinned.
  uint32_t end() const;
  bool pinned(uint32_t pg) const { return pg < pinned_.size() && pinned_[pg]; }

 private:
  std::vector<bool> pinned_;
  uint32_t next_ = 0;
};

class PageSink {
 public:
  PageSink(OutputFile& file, const Format& format, uint32_t dbKey)
      : file_(file), format_(format), dbKey_(dbKey) {}
  // Writes a page, given decoded. Each page is written once. Runs of
  // consecutive pages go to the file together; flush() writes what is held.
  void write(uint32_t pg, const std::vector<uint8_t>& page);
  void flush();
  bool written(uint32_t pg) const { return pg < written_.size() && written_[pg]; }
  uint64_t pagesWritten() const { return count_; }
  const Format& format() const { return format_; }

 private:
  OutputFile& file_;
  const Format& format_;
  uint32_t dbKey_;
  static constexpr uint32_t kRunPages = 64;
  std::vector<uint8_t> run_;  // pages from runStart_ on, not yet written
  uint32_t runStart_ = 0;
  std::vector<bool> written_;
  uint64_t count_ = 0;
};

}  // namespace jet
