#include "jet/util/OverlaidFile.h"

#include <algorithm>
#include <cstring>

namespace jet {
namespace {

class OverlaidFile : public ReadFile {
 public:
  OverlaidFile(std::shared_ptr<ReadFile> source, uint64_t offset, std::vector<uint8_t> bytes)
      : source_(std::move(source)),
        offset_(offset),
        bytes_(std::move(bytes)),
        sourceEnd_(source_->state().size) {}

  size_t readAt(uint64_t offset, uint8_t* data, size_t size) override {
    const uint64_t end = std::max(sourceEnd_, offset_ + bytes_.size());
    if (offset >= end) return 0;
    size = static_cast<size_t>(std::min<uint64_t>(size, end - offset));
    size_t n = 0;
    if (offset < sourceEnd_) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(size, sourceEnd_ - offset));
      n = source_->readAt(offset, data, want);
      if (n < want) size = n;  // the file ended early: say so, as it does
    }
    std::fill(data + n, data + size, 0);
    const uint64_t from = std::max(offset, offset_);
    const uint64_t to = std::min<uint64_t>(offset + size, offset_ + bytes_.size());
    if (from < to)
      std::memcpy(data + (from - offset), bytes_.data() + (from - offset_),
                  static_cast<size_t>(to - from));
    return size;
  }
  FileState state() override {
    FileState s = source_->state();
    s.size = std::max<uint64_t>(s.size, offset_ + bytes_.size());
    return s;
  }
  const std::string& name() const override { return source_->name(); }

 private:
  std::shared_ptr<ReadFile> source_;
  uint64_t offset_;
  std::vector<uint8_t> bytes_;
  uint64_t sourceEnd_;
};

}  // namespace

std::shared_ptr<ReadFile> overlaid(std::shared_ptr<ReadFile> source, uint64_t offset,
                                   std::vector<uint8_t> bytes) {
  return std::make_shared<OverlaidFile>(std::move(source), offset, std::move(bytes));
}

}  // namespace jet
