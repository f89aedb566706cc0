#include "jet/compact/ExternalSort.h"

#include <algorithm>
#include <queue>

#include "jet/Error.h"
#include "jet/util/Bytes.h"

namespace jet::compact {
namespace {

constexpr size_t kPerEntry = sizeof(EntryRef) + sizeof(uint32_t);  // batch_ and offsets_

bool less(const EntryRef& a, const EntryRef& b) { return entryLess(a, b); }

// One spilled run read back through a buffer of its own.
class Cursor {
 public:
  Cursor(OutputFile& file, uint64_t from, uint64_t to, size_t buffer)
      : file_(file), at_(from), to_(to), buffer_(buffer) {}

  // Moves to the next entry; false at the end of the run.
  bool next() {
    pos_ += current.size;
    if (!ensure(2)) return false;
    const uint32_t size = le16(buffer_.data() + pos_);
    pos_ += 2;
    if (!ensure(size)) throw Error(3049, "a temporary file of the sort ends mid-entry");
    current = {buffer_.data() + pos_, size};
    return true;
  }
  EntryRef current;

 private:
  bool ensure(size_t n) {
    if (end_ - pos_ >= n) return true;
    std::copy(buffer_.begin() + pos_, buffer_.begin() + end_, buffer_.begin());
    end_ -= pos_;
    pos_ = 0;
    const size_t want = std::min<uint64_t>(buffer_.size() - end_, to_ - at_);
    const size_t got = want ? file_.readAt(at_, buffer_.data() + end_, want) : 0;
    if (got != want) throw Error(3049, "a temporary file of the sort came back short");
    at_ += got;
    end_ += got;
    current = {};
    return end_ - pos_ >= n;
  }

  OutputFile& file_;
  uint64_t at_, to_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0, end_ = 0;
};

}  // namespace

ExternalSort::ExternalSort(size_t budget, SpillFile spill)
    : budget_(budget), makeSpill_(std::move(spill)) {}

void ExternalSort::add(const uint8_t* data, uint32_t size) {
  if (size > 4096) throw Error(3049, "an index entry is longer than any page");
  if (!offsets_.empty() && bytes_.size() + size + 2 + kPerEntry * (offsets_.size() + 1) > budget_)
    spill();
  offsets_.push_back(static_cast<uint32_t>(bytes_.size()));
  const uint8_t length[2] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8)};
  bytes_.insert(bytes_.end(), length, length + 2);
  bytes_.insert(bytes_.end(), data, data + size);
}

void ExternalSort::sortBatch() {
  batch_.clear();
  batch_.reserve(offsets_.size());
  for (uint32_t o : offsets_) batch_.push_back({bytes_.data() + o + 2, le16(bytes_.data() + o)});
  std::sort(batch_.begin(), batch_.end(), less);
}

// The batch, sorted, as one run: each entry its 2-byte length and bytes.
void ExternalSort::spill() {
  sortBatch();
  if (!file_) file_ = makeSpill_();
  const uint64_t from = fileEnd_;
  std::vector<uint8_t> out;
  out.reserve(std::min<size_t>(bytes_.size(), 1 << 16) + 0x10002);
  const auto write = [&] {
    file_->writeAt(fileEnd_, out.data(), out.size());
    fileEnd_ += out.size();
    out.clear();
  };
  for (const EntryRef& e : batch_) {
    out.push_back(static_cast<uint8_t>(e.size));
    out.push_back(static_cast<uint8_t>(e.size >> 8));
    out.insert(out.end(), e.data, e.data + e.size);
    if (out.size() >= (1 << 16)) write();
  }
  write();
  runs_.push_back({from, fileEnd_});
  bytes_.clear();
  offsets_.clear();
  batch_.clear();
}

void ExternalSort::drain(const std::function<void(const EntryRef&)>& emit) {
  if (runs_.empty()) {
    sortBatch();
    for (const EntryRef& e : batch_) emit(e);
  } else {
    if (!offsets_.empty()) spill();
    const size_t buffer = std::clamp<size_t>(budget_ / runs_.size(), 1 << 13, 1 << 16);
    std::vector<Cursor> cursors;
    cursors.reserve(runs_.size());
    for (const Run& r : runs_) cursors.emplace_back(*file_, r.from, r.to, buffer);
    // Smallest head first; equal heads by run, which keeps the order stable.
    const auto later = [&](size_t a, size_t b) {
      if (less(cursors[b].current, cursors[a].current)) return true;
      return !less(cursors[a].current, cursors[b].current) && a > b;
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(later)> heads(later);
    for (size_t i = 0; i < cursors.size(); ++i)
      if (cursors[i].next()) heads.push(i);
    while (!heads.empty()) {
      const size_t i = heads.top();
      heads.pop();
      emit(cursors[i].current);
      if (cursors[i].next()) heads.push(i);
    }
  }
  bytes_.clear();
  offsets_.clear();
  batch_.clear();
  runs_.clear();
  file_.reset();
  fileEnd_ = 0;
}

}  // namespace jet::compact
