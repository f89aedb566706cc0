#pragma once

// The pages of a database file, read with pread through a small cache and
// decoded when the database is encoded. Every reader of the engine gets its
// pages here, so memory stays small whatever the file's size.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/format/Format.h"
#include "jet/util/Bytes.h"
#include "jet/util/FileSystem.h"

namespace jet {

class PageSource;

// A page handed out by a PageSource. Its bytes stay valid and unchanged for
// as long as this handle or a copy of it lives, whatever is read meanwhile:
// the cache reuses a page's memory only once no handle holds it. Handles must
// not outlive their PageSource, and are used from its thread only.
class Page {
 public:
  Page() = default;
  Page(const Page& o) : slot_(o.slot_) { acquire(); }
  Page(Page&& o) noexcept : slot_(o.slot_) { o.slot_ = nullptr; }
  Page& operator=(Page o) noexcept {
    std::swap(slot_, o.slot_);
    return *this;
  }
  ~Page() { release(); }

  ByteView bytes() const;
  uint32_t number() const;
  explicit operator bool() const { return slot_ != nullptr; }

  struct Slot;

 private:
  friend class PageSource;
  explicit Page(Slot* slot) : slot_(slot) { acquire(); }
  void acquire();
  void release();
  Slot* slot_ = nullptr;
};

class PageSource {
 public:
  // dbKey: non-zero when every page but 0 is encoded. Throws Error 3049 when
  // the file has fewer than three whole pages, or more than a Jet file can
  // address. A file cut inside its last page opens: that page is torn.
  PageSource(std::shared_ptr<ReadFile> file, const Format& format, uint32_t dbKey);
  ~PageSource();
  PageSource(const PageSource&) = delete;
  PageSource& operator=(const PageSource&) = delete;

  const Format& format() const { return format_; }
  uint32_t pageSize() const { return format_.pageSize; }
  uint32_t pageCount() const { return pageCount_; }
  uint64_t fileSize() const { return size_; }
  // The last page when the file ends inside it, else UINT32_MAX.
  uint32_t tornPage() const { return torn_ ? pageCount_ - 1 : UINT32_MAX; }
  const std::string& name() const { return file_->name(); }
  ReadFile& file() const { return *file_; }

  // Page pg, decoded (page 0 as stored). Throws Corrupt for a page past the
  // end or torn, Error 3049 when the file ended before the page (it shrank while
  // read), Error 3043 on a read error.
  Page page(uint32_t pg);
  // The first 8 bytes of page pg (type and owner), decoded. Every page read
  // leaves them here, so a pass over all pages' types after a reader's pass
  // reads again only the pages that reader passed over. Throws as page().
  std::array<uint8_t, 8> head(uint32_t pg);
  bool hasPage(uint32_t pg) const { return pg < pageCount_; }

 private:
  static constexpr size_t kSlots = 64;
  static constexpr uint32_t kReadAhead = 32;  // pages per read along a streak

  Page::Slot* victim();
  void fill(uint32_t first, uint32_t count);
  [[noreturn]] void shrank(uint32_t pg) const;

  std::shared_ptr<ReadFile> file_;
  const Format& format_;
  uint32_t dbKey_;
  uint32_t pageCount_ = 0;
  uint64_t size_ = 0;
  bool torn_ = false;
  std::vector<std::unique_ptr<Page::Slot>> slots_;
  std::unordered_map<uint32_t, Page::Slot*> cached_;
  std::vector<uint8_t> run_;  // one read along a streak
  std::vector<std::array<uint8_t, 8>> heads_;
  std::vector<bool> headKnown_;
  uint64_t clock_ = 0;
  uint32_t lastMiss_ = UINT32_MAX - 1;
};

struct Page::Slot {
  uint32_t number = UINT32_MAX;  // UINT32_MAX: empty
  uint32_t refs = 0;
  uint64_t lastUse = 0;
  std::vector<uint8_t> bytes;
};

inline void Page::acquire() {
  if (slot_) ++slot_->refs;
}
inline void Page::release() {
  if (slot_) --slot_->refs;
  slot_ = nullptr;
}
inline ByteView Page::bytes() const { return ByteView(slot_->bytes); }
inline uint32_t Page::number() const { return slot_->number; }

}  // namespace jet
