#include "jet/format/PageSource.h"

#include <algorithm>
#include <cstring>

#include "jet/format/Header.h"

namespace jet {

PageSource::PageSource(std::shared_ptr<ReadFile> file, const Format& format, uint32_t dbKey)
    : file_(std::move(file)), format_(format), dbKey_(dbKey) {
  size_ = file_->state().size;
  const uint32_t ps = format_.pageSize;
  // Pages 0..2 must exist for the catalog. A torn write can leave the last
  // page cut: it is counted so the check can name it, and never read.
  if (size_ / ps < 3 || size_ / ps > 0xFFFFFF - 1) throwCannotOpen(file_->name());
  pageCount_ = static_cast<uint32_t>(size_ / ps);
  if (size_ % ps != 0) tornPage_ = pageCount_++, tornBytes_ = static_cast<uint32_t>(size_ % ps);
  // An encoded file's pages are decoded into the cache.
  if (dbKey_ == 0) mapping_ = file_->map(size_);
  if (mapping_) return;
  // All slots at once, before the large vectors of a compaction come and go.
  for (size_t i = 0; i < kSlots; ++i) {
    slots_.push_back(std::make_unique<Page::Slot>());
    slots_.back()->bytes.resize(ps);
  }
  cached_.reserve(2 * kSlots);
  heads_.resize(pageCount_);
  headKnown_.resize(pageCount_, false);
}

PageSource::~PageSource() = default;

Page PageSource::page(uint32_t pg) {
  if (pg >= pageCount_)
    throwCorrupt("a reference to page " + std::to_string(pg) +
                 " points past the end of the file (" + std::to_string(pageCount_) + " pages)");
  if (pg == tornPage())
    throwCorrupt("page " + std::to_string(pg) + " is cut short: the file ends " +
                 std::to_string(tornBytes_) + " bytes into it");
  if (mapping_) return mapped(pg);
  auto it = cached_.find(pg);
  if (it == cached_.end()) {
    // A miss right after the previous one reads a run of pages in one call:
    // every reader walks most pages in order.
    const bool streak = pg == lastMiss_ + 1;
    lastMiss_ = pg;
    const uint32_t end = pg < tornPage_ ? tornPage_ : pageCount_;  // never into a torn page
    fill(pg, streak ? std::min(kReadAhead, end - pg) : 1);
    it = cached_.find(pg);
  }
  it->second->lastUse = ++clock_;
  return Page(it->second);
}

std::array<uint8_t, 8> PageSource::head(uint32_t pg) {
  if (mapping_) {
    std::array<uint8_t, 8> head;
    std::memcpy(head.data(), page(pg).bytes().data(), head.size());
    return head;
  }
  if (pg < pageCount_ && headKnown_[pg]) return heads_[pg];
  page(pg);
  return heads_[pg];
}

Page PageSource::mapped(uint32_t pg) {
  // A touch that found the file cut short (or unreadable: the kernel says
  // the same for a disk error under a mapping) read zeros; the page before
  // may have, so the reader is stopped here.
  if (mapping_->cut())
    throw Error(3049, "Cannot read page " + std::to_string(pg) + " of '" + file_->name() +
                          "': the file became shorter while it was read, or the disk failed. "
                          "Another program may be writing to it; close it and try again.");
  const uint64_t at = uint64_t{pg} * format_.pageSize;
  mapping_->touch(at);
  return Page(mapping_->data() + at, format_.pageSize, pg);
}

Page::Slot* PageSource::victim() {
  Page::Slot* best = nullptr;
  for (const auto& s : slots_)
    if (s->refs == 0 && (!best || s->lastUse < best->lastUse)) best = s.get();
  if (!best) {
    // Every slot is held: the callers hold more pages at once than the cache
    // has; it grows rather than invalidate one of them.
    slots_.push_back(std::make_unique<Page::Slot>());
    best = slots_.back().get();
    best->bytes.resize(format_.pageSize);
  }
  if (best->number != UINT32_MAX) cached_.erase(best->number);
  best->number = UINT32_MAX;
  return best;
}

void PageSource::fill(uint32_t first, uint32_t count) {
  const uint32_t ps = format_.pageSize;
  run_.resize(size_t{count} * ps);
  const size_t got = file_->readAt(uint64_t{first} * ps, run_.data(), run_.size());
  if (got < ps) shrank(first);
  const uint32_t whole = static_cast<uint32_t>(got / ps);
  for (uint32_t i = 0; i < whole; ++i) {
    const uint32_t pg = first + i;
    if (cached_.count(pg)) continue;
    Page::Slot* s = victim();
    std::memcpy(s->bytes.data(), run_.data() + size_t{i} * ps, ps);
    codePage(dbKey_, pg, s->bytes.data(), ps);
    s->number = pg;
    s->lastUse = ++clock_;
    std::memcpy(heads_[pg].data(), s->bytes.data(), heads_[pg].size());
    headKnown_[pg] = true;
    cached_.emplace(pg, s);
  }
}

void PageSource::shrank(uint32_t pg) const {
  throw Error(3049, "Cannot read page " + std::to_string(pg) + " of '" + file_->name() +
                        "': the file became shorter while it was read. Another program may be "
                        "writing to it; close it and try again.");
}

}  // namespace jet
