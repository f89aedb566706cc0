#include "jet/format/IndexPage.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace jet {
namespace {

constexpr int kMaxDepth = 32;

}  // namespace

int compareEntries(ByteView keyA, RowPtr rowA, ByteView keyB, RowPtr rowB) {
  const size_t n = std::min(keyA.size(), keyB.size());
  const int c = n ? std::memcmp(keyA.data(), keyB.data(), n) : 0;
  if (c != 0) return c;
  if (keyA.size() != keyB.size()) return keyA.size() < keyB.size() ? -1 : 1;
  if (rowA.page != rowB.page) return rowA.page < rowB.page ? -1 : 1;
  if (rowA.row != rowB.row) return rowA.row < rowB.row ? -1 : 1;
  return 0;
}

void IndexPage::read(PageSource& pages, uint32_t pg) {
  const Format& f = pages.format();
  const Page page = pages.page(pg);
  const ByteView b = page.bytes();
  const std::string where = "index page " + std::to_string(pg);
  number = pg;
  type = b.u8(0);
  if (type != page_type::kIndexNode && type != page_type::kIndexLeaf)
    throwCorrupt("page " + std::to_string(pg) + " is not an index page");
  freeSpace = b.u16(2);
  owner = b.u32(4);
  prev = b.u32(f.idxPrev);
  next = b.u32(f.idxNext);
  tail = b.u32(f.idxTail);
  prefixLength = f.idxPrefixSize == 1 ? b.u8(f.idxPrefix) : b.u16(f.idxPrefix);

  // Entries one after the other in full: the ends first, the views after,
  // as the buffer may move while it grows.
  const size_t first = f.idxFirstEntry;
  const size_t room = b.size() - first;
  const size_t ptrLength = leaf() ? 4 : 8;
  bytes_.clear();
  std::vector<size_t>& ends = ends_;
  ends.clear();
  size_t start = 0;
  for (size_t byte = f.idxBitmap; byte < first; ++byte) {
    for (uint8_t bits = b.u8(byte); bits != 0; bits = static_cast<uint8_t>(bits & (bits - 1))) {
      const size_t end = (byte - f.idxBitmap) * 8 + static_cast<size_t>(__builtin_ctz(bits));
      if (end > room) throwCorrupt(where + ": an entry ends past the end of the page");
      if (end <= start) throwCorrupt(where + ": an entry of no length");
      const ByteView stored = b.sub(first + start, end - start);
      if (ends.empty()) {
        if (prefixLength > stored.size())
          throwCorrupt(where + ": the shared prefix is longer than the first entry");
      } else {
        const ByteView prefix = b.sub(first, prefixLength);  // the first entry's start
        bytes_.insert(bytes_.end(), prefix.begin(), prefix.end());
      }
      bytes_.insert(bytes_.end(), stored.begin(), stored.end());
      const size_t entryStart = ends.empty() ? 0 : ends.back();
      if (bytes_.size() - entryStart < ptrLength)
        throwCorrupt(where + ": an entry too short for its row pointer");
      ends.push_back(bytes_.size());
      start = end;
    }
  }
  usedBytes = start;
  entries_.resize(ends.size());
  for (size_t i = 0; i < ends.size(); ++i) {
    const size_t from = i == 0 ? 0 : ends[i - 1];
    const uint8_t* e = bytes_.data() + from;
    const size_t keyLength = ends[i] - from - ptrLength;
    IndexEntry& out = entries_[i];
    out.key = ByteView(e, keyLength);
    out.keyAndRow = ByteView(e, keyLength + 4);
    out.row = RowPtr{be24(e + keyLength), e[keyLength + 3]};
    out.child = leaf() ? 0 : be32(e + keyLength + 4);
  }
}

namespace {

// A leaf entry kept past the page it came from.
struct KeptEntry {
  std::vector<uint8_t> bytes;
  IndexEntry entry;
  bool any = false;

  void set(const IndexEntry& e) {
    bytes.assign(e.keyAndRow.begin(), e.keyAndRow.end());
    entry = e;
    entry.keyAndRow = ByteView(bytes);
    entry.key = ByteView(bytes.data(), e.key.size());
    any = true;
  }
  const IndexEntry* get() const { return any ? &entry : nullptr; }
};

class Walker {
 public:
  Walker(PageSource& pages, uint32_t owner, IndexVisitor& visitor)
      : pages_(pages),
        owner_(owner),
        visitor_(visitor),
        seen_(pages.pageCount(), false),
        levels_(kMaxDepth + 2),
        first_(kMaxDepth + 2),
        last_(kMaxDepth + 2) {}

  // Walks the subtree at pg; its first and last leaf entries end in
  // first_[depth] and last_[depth].
  void subtree(uint32_t pg, int depth) {
    const std::string where = "index page " + std::to_string(pg);
    if (!pages_.hasPage(pg)) throwCorrupt(where + " lies past the end of the file");
    if (seen_[pg]) throwCorrupt(where + " is reached twice");
    if (depth > kMaxDepth) throwCorrupt(where + " is deeper in its tree than any real index");
    seen_[pg] = true;
    IndexPage& p = levels_[depth];
    p.read(pages_, pg);
    if (p.owner != owner_) throwCorrupt(where + " belongs to another table");
    visitor_.onPage(p, depth);
    first_[depth].any = last_[depth].any = false;
    if (p.leaf()) {
      for (size_t i = 0; i < p.size(); ++i) visitor_.onEntry(p[i]);
      if (p.size() > 0) {
        first_[depth].set(p[0]);
        last_[depth].set(p.back());
      }
      return;
    }
    for (size_t i = 0; i < p.size(); ++i)
      child(p, p[i].child, &p[i], i ? &p[i - 1] : nullptr, depth);
    if (p.tail != 0) child(p, p.tail, nullptr, p.size() ? &p.back() : nullptr, depth);
  }

 private:
  void child(const IndexPage& p, uint32_t pg, const IndexEntry* bound, const IndexEntry* before,
             int depth) {
    subtree(pg, depth + 1);
    const KeptEntry &cf = first_[depth + 1], &cl = last_[depth + 1];
    visitor_.onChild(p, bound, before, cf.get(), cl.get());
    if (!first_[depth].any && cf.any) first_[depth].set(cf.entry);
    if (cl.any) last_[depth].set(cl.entry);
  }

  PageSource& pages_;
  uint32_t owner_;
  IndexVisitor& visitor_;
  std::vector<bool> seen_;
  std::vector<IndexPage> levels_;
  std::vector<KeptEntry> first_, last_;
};

}  // namespace

void walkIndex(PageSource& pages, uint32_t root, uint32_t owner, IndexVisitor& visitor) {
  Walker(pages, owner, visitor).subtree(root, 0);
}

}  // namespace jet
