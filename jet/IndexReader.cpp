#include "jet/IndexReader.h"

#include <algorithm>
#include <cstring>

#include "jet/Database.h"

namespace jet {
namespace {

constexpr int kMaxDepth = 32;

uint32_t be24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }
uint32_t be32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | be24(p + 1); }

// Walks the entry bitmap of an index page, checking every entry's bounds,
// and calls f(stored, index) for each; the callers rebuild what they need.
template <typename F>
size_t walkEntries(const Format& f, const ByteView& page, uint16_t prefixLength, bool leaf,
                   const std::string& where, F&& each) {
  const size_t first = f.idxFirstEntry;
  const size_t room = page.size() - first;
  const size_t ptrLen = leaf ? 4 : 8;
  size_t start = 0, n = 0;
  for (size_t byte = f.idxBitmap; byte < first; ++byte) {
    uint8_t bits = page.u8(byte);
    while (bits != 0) {
      const int k = __builtin_ctz(bits);
      bits = static_cast<uint8_t>(bits & (bits - 1));
      const size_t end = (byte - f.idxBitmap) * 8 + static_cast<size_t>(k);
      if (end > room) throwCorrupt(where + ": an entry ends past the end of the page");
      if (end <= start) throwCorrupt(where + ": an entry of no length");
      const ByteView stored = page.sub(first + start, end - start);
      size_t full = stored.size();
      if (n == 0) {
        if (prefixLength > stored.size())
          throwCorrupt(where + ": the shared prefix is longer than the first entry");
      } else {
        full += prefixLength;
      }
      if (full < ptrLen) throwCorrupt(where + ": an entry too short for its row pointer");
      each(stored, n);
      ++n;
      start = end;
    }
  }
  return start;
}

// Page header fields; throws Corrupt when pg is no index page.
ByteView readHeader(const Database& db, uint32_t pg, IndexPage& out, std::string& where) {
  const Format& f = db.format();
  const ByteView page = db.page(pg);
  out.type = page.u8(0);
  where = "index page " + std::to_string(pg);
  if (out.type != page_type::kIndexNode && out.type != page_type::kIndexLeaf)
    throwCorrupt("page " + std::to_string(pg) + " is not an index page");
  out.freeSpace = page.u16(2);
  out.owner = page.u32(4);
  out.prev = page.u32(f.idxPrev);
  out.next = page.u32(f.idxNext);
  out.tail = page.u32(f.idxTail);
  out.prefixLength = f.idxPrefixSize == 1 ? page.u8(f.idxPrefix) : page.u16(f.idxPrefix);
  return page;
}

// Fills e from an entry: the first entry's prefix bytes, then its stored bytes.
void setEntry(IndexEntry& e, const ByteView& firstStored, size_t prefix, const ByteView& stored,
              bool leaf) {
  const size_t ptrLen = leaf ? 4 : 8;
  const size_t total = prefix + stored.size();
  const size_t keyLen = total - ptrLen;
  uint8_t tail[8];
  auto at = [&](size_t i) {
    return i < prefix ? firstStored.data()[i] : stored.data()[i - prefix];
  };
  e.key.resize(keyLen);
  const size_t fromPrefix = std::min(prefix, keyLen);
  if (fromPrefix) std::memcpy(e.key.data(), firstStored.data(), fromPrefix);
  if (keyLen > fromPrefix)
    std::memcpy(e.key.data() + fromPrefix, stored.data(), keyLen - fromPrefix);
  for (size_t i = 0; i < ptrLen; ++i) tail[i] = at(keyLen + i);
  e.page = be24(tail);
  e.row = tail[3];
  e.child = leaf ? 0 : be32(tail + 4);
}

}  // namespace

void readIndexPage(const Database& db, uint32_t pg, IndexPage& out) {
  std::string where;
  const ByteView page = readHeader(db, pg, out, where);
  const bool leaf = out.leaf();
  size_t n = 0;
  ByteView firstStored;
  out.usedBytes =
      walkEntries(db.format(), page, out.prefixLength, leaf, where, [&](ByteView stored, size_t i) {
        if (i == 0) firstStored = stored;
        if (out.entries.size() <= i) out.entries.emplace_back();
        setEntry(out.entries[i], firstStored, i == 0 ? 0 : out.prefixLength, stored, leaf);
        n = i + 1;
      });
  out.entries.resize(n);
}

IndexPage readIndexPage(const Database& db, uint32_t pg) {
  IndexPage out;
  readIndexPage(db, pg, out);
  return out;
}

bool readLastIndexEntry(const Database& db, uint32_t pg, IndexEntry& last) {
  IndexPage head;
  std::string where;
  const ByteView page = readHeader(db, pg, head, where);
  ByteView firstStored, lastStored;
  size_t n = 0;
  walkEntries(db.format(), page, head.prefixLength, head.leaf(), where,
              [&](ByteView stored, size_t i) {
                if (i == 0) firstStored = stored;
                lastStored = stored;
                n = i + 1;
              });
  if (n == 0) return false;
  setEntry(last, firstStored, n == 1 ? 0 : head.prefixLength, lastStored, head.leaf());
  return true;
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
  readIndexPage(*db_, pg, current_);
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
