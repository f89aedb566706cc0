#pragma once

// The pages of a database file: straight from a read-only mapping where the
// file can be mapped and is not encoded, else read with pread through a small
// cache and decoded. Every reader of the engine gets its pages here, so
// memory stays small whatever the file's size.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/format/Format.h"
#include "jet/util/Bytes.h"
#include "jet/util/FileSystem.h"
#include "jet/util/Mapping.h"

namespace jet {

class PageSource;

// A page handed out by a PageSource. Its bytes stay valid and unchanged for
// as long as this handle or a copy of it lives, whatever is read meanwhile:
// the cache reuses a page's memory only once no handle holds it. Handles must
// not outlive their PageSource, and are used from its thread only.
class Page {
 public:
  Page() = default;
  Page(const Page& o) : slot_(o.slot_), data_(o.data_), size_(o.size_), number_(o.number_) {
    acquire();
  }
  Page(Page&& o) noexcept : slot_(o.slot_), data_(o.data_), size_(o.size_), number_(o.number_) {
    o.slot_ = nullptr;
  }
  Page& operator=(Page o) noexcept {
    std::swap(slot_, o.slot_);
    data_ = o.data_;
    size_ = o.size_;
    number_ = o.number_;
    return *this;
  }
  ~Page() { release(); }

  ByteView bytes() const { return ByteView(data_, size_); }
  uint32_t number() const { return number_; }
  explicit operator bool() const { return data_ != nullptr; }

  struct Slot;

 private:
  friend class PageSource;
  explicit Page(Slot* slot);
  // A page of the mapping: nothing to hold.
  Page(const uint8_t* data, uint32_t size, uint32_t number)
      : data_(data), size_(size), number_(number) {}
  void acquire();
  void release();
  Slot* slot_ = nullptr;
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0, number_ = UINT32_MAX;
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
  // The page the file ends inside (its last, unless salvage put pages after
  // it), else UINT32_MAX.
  uint32_t tornPage() const { return tornPage_; }
  // Salvage: page pg stays cut short after `bytes` though the file it now
  // reads has bytes put after it.
  void keepTorn(uint32_t pg, uint32_t bytes) { tornPage_ = pg, tornBytes_ = bytes; }
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
  // True when page() and head() may be called from several threads at once:
  // pages of a mapping hold no state of the reader's.
  bool concurrent() const { return mapping_ != nullptr; }

 private:
  static constexpr size_t kSlots = 64;
  static constexpr uint32_t kReadAhead = 32;  // pages per read along a streak

  Page mapped(uint32_t pg);

  Page::Slot* victim();
  void fill(uint32_t first, uint32_t count);
  [[noreturn]] void shrank(uint32_t pg) const;

  std::shared_ptr<ReadFile> file_;
  std::unique_ptr<Mapping> mapping_;  // null: pages are read and cached
  const Format& format_;
  uint32_t dbKey_;
  uint32_t pageCount_ = 0;
  uint64_t size_ = 0;
  uint32_t tornPage_ = UINT32_MAX, tornBytes_ = 0;
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
inline Page::Page(Slot* slot)
    : slot_(slot),
      data_(slot->bytes.data()),
      size_(static_cast<uint32_t>(slot->bytes.size())),
      number_(slot->number) {
  acquire();
}

}  // namespace jet
