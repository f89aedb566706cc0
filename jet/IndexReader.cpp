#include "jet/IndexReader.h"

#include "jet/Database.h"

namespace jet {
namespace {

constexpr int kMaxDepth = 32;

uint32_t be24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }
uint32_t be32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | be24(p + 1); }

}  // namespace

IndexPage readIndexPage(const Database& db, uint32_t pg) {
  const Format& f = db.format();
  const ByteView page = db.page(pg);
  IndexPage out;
  out.type = page.u8(0);
  const std::string where = "index page " + std::to_string(pg);
  if (out.type != page_type::kIndexNode && out.type != page_type::kIndexLeaf)
    throwCorrupt("page " + std::to_string(pg) + " is not an index page");
  out.freeSpace = page.u16(2);
  out.owner = page.u32(4);
  out.prev = page.u32(f.idxPrev);
  out.next = page.u32(f.idxNext);
  out.tail = page.u32(f.idxTail);
  out.prefixLength = f.idxPrefixSize == 1 ? page.u8(f.idxPrefix) : page.u16(f.idxPrefix);

  const size_t first = f.idxFirstEntry;
  const size_t room = page.size() - first;
  const size_t ptrLen = out.leaf() ? 4 : 8;
  size_t start = 0;
  std::vector<uint8_t> full;
  for (size_t byte = f.idxBitmap; byte < first; ++byte) {
    uint8_t bits = page.u8(byte);
    while (bits != 0) {
      const int k = __builtin_ctz(bits);
      bits = static_cast<uint8_t>(bits & (bits - 1));
      const size_t end = (byte - f.idxBitmap) * 8 + static_cast<size_t>(k);
      if (end > room) throwCorrupt(where + ": an entry ends past the end of the page");
      if (end <= start) throwCorrupt(where + ": an entry of no length");
      const ByteView stored = page.sub(first + start, end - start);
      if (out.entries.empty()) {
        if (out.prefixLength > stored.size())
          throwCorrupt(where + ": the shared prefix is longer than the first entry");
        full.assign(stored.begin(), stored.end());
      } else {
        full.resize(out.prefixLength);  // keeps the first entry's leading bytes
        full.insert(full.end(), stored.begin(), stored.end());
      }
      if (full.size() < ptrLen) throwCorrupt(where + ": an entry too short for its row pointer");
      IndexEntry e;
      const size_t keyLen = full.size() - ptrLen;
      e.key.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keyLen));
      e.page = be24(full.data() + keyLen);
      e.row = full[keyLen + 3];
      if (!out.leaf()) e.child = be32(full.data() + keyLen + 4);
      out.entries.push_back(std::move(e));
      if (out.entries.size() == 1) {
        // Later entries rebuild from the first entry's prefix; keep it intact.
        full.assign(stored.begin(), stored.end());
      }
      start = end;
    }
  }
  out.usedBytes = start;
  return out;
}

IndexLeafScan::IndexLeafScan(const Database& db, const RealIndex& index)
    : db_(&db), seen_(db.pageCount(), 0) {
  uint32_t pg = index.rootPage;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) throwCorrupt("an index tree is deeper than any real one");
    IndexPage p = readIndexPage(db, pg);
    if (p.leaf()) break;
    const uint32_t child = p.entries.empty() ? p.tail : p.entries.front().child;
    if (child == 0 || child == pg)
      throwCorrupt("index node page " + std::to_string(pg) + " has no child");
    pg = child;
  }
  openLeaf(pg);
}

void IndexLeafScan::openLeaf(uint32_t pg) {
  if (!db_->hasPage(pg))
    throwCorrupt("index leaf link to page " + std::to_string(pg) + " past the end of the file");
  if (seen_[pg]) throwCorrupt("the index leaf chain loops back to page " + std::to_string(pg));
  seen_[pg] = 1;
  current_ = readIndexPage(*db_, pg);
  if (!current_.leaf())
    throwCorrupt("index leaf link to page " + std::to_string(pg) + ", a node page");
  leaves_.push_back(pg);
  pos_ = 0;
}

bool IndexLeafScan::next(IndexEntry& entry) {
  while (pos_ >= current_.entries.size()) {
    if (current_.next == 0) return false;
    openLeaf(current_.next);
  }
  entry = current_.entries[pos_++];
  return true;
}

std::vector<IndexEntry> readIndexEntries(const Database& db, const RealIndex& index) {
  std::vector<IndexEntry> out;
  IndexLeafScan scan(db, index);
  IndexEntry e;
  while (scan.next(e)) out.push_back(e);
  return out;
}

}  // namespace jet
