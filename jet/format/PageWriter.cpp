#include "jet/format/PageWriter.h"

#include <algorithm>
#include <string>

#include "jet/Error.h"
#include "jet/format/Header.h"

namespace jet {

PageAllocator::PageAllocator(std::vector<uint32_t> pinned) {
  pinned.push_back(0);
  pinned.push_back(1);
  const uint32_t top = *std::max_element(pinned.begin(), pinned.end());
  pinned_.assign(top + 1, false);
  for (uint32_t pg : pinned) pinned_[pg] = true;
}

uint32_t PageAllocator::allocate() {
  while (pinned(next_)) ++next_;
  if (next_ >= 0xFFFFFF) throw Error(3026, "Not enough space on disk. (the database is full)");
  return next_++;
}

uint32_t PageAllocator::end() const {
  return std::max<uint32_t>(next_, static_cast<uint32_t>(pinned_.size()));
}

void PageSink::write(uint32_t pg, const std::vector<uint8_t>& page) {
  if (page.size() != format_.pageSize || written(pg))
    throw Error(3049, "internal error: page " + std::to_string(pg) + " written twice");
  const size_t ps = page.size();
  const bool follows = !run_.empty() && pg == runStart_ + run_.size() / ps;
  if (!follows || run_.size() == kRunPages * ps) flush();
  if (run_.empty()) runStart_ = pg;
  run_.insert(run_.end(), page.begin(), page.end());
  if (dbKey_ != 0) codePage(dbKey_, pg, run_.data() + run_.size() - ps, ps);
  if (written_.size() <= pg) written_.resize(pg + 1 + written_.size() / 2, false);
  written_[pg] = true;
  ++count_;
}

void PageSink::flush() {
  if (run_.empty()) return;
  file_.writeAt(uint64_t{runStart_} * format_.pageSize, run_.data(), run_.size());
  run_.clear();
}

}  // namespace jet
