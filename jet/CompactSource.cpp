#include "jet/CompactSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "jet/CompactCodec.h"
#include "jet/Header.h"
#include "jet/Password.h"

namespace jet::compact {

namespace {

constexpr size_t kCacheSlots = 64;
constexpr int kMaxOverflowHops = 8;
constexpr int kMaxIndexDepth = 32;

std::string corruptFile(const std::string& path) {
  return "Cannot open database '" + path +
         "'. It may not be a database that your application recognizes, or the file may be "
         "corrupt.";
}

void appendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

SourceFile::SourceFile(const std::string& path, const Credentials& credentials) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    if (errno == ENOENT) throw Error(3024, "Could not find file '" + path + "'.");
    throw Error(3051, "Cannot open the file '" + path +
                          "'. It is already opened exclusively by another user, or you need "
                          "permission to view its data.");
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    throw Error(3024, "Could not find file '" + path + "'.");
  }
  fileSize_ = static_cast<uint64_t>(st.st_size);
  // Page 0 is parsed and the password checked the way every reader of ours does it.
  std::vector<uint8_t> head(4096);
  const ssize_t n = ::pread(fd_, head.data(), head.size(), 0);
  Header header;
  try {
    header = parseHeader(ByteView(head.data(), n > 0 ? static_cast<size_t>(n) : 0), path);
  } catch (...) {
    ::close(fd_);
    throw;
  }
  format_ = &header.format();
  const uint32_t ps = format_->pageSize;
  if (fileSize_ % ps != 0 || fileSize_ / ps < 3 || fileSize_ / ps > 0xFFFFFF) {
    ::close(fd_);
    throw Error(3049, corruptFile(path));
  }
  pageCount_ = static_cast<uint32_t>(fileSize_ / ps);
  page0_ = header.raw;
  dbKey_ = header.dbKey;
  if (!passwordMatches(header, credentials.password.value_or(""))) {
    ::close(fd_);
    throw Error(3031, "Not a valid password.");
  }
  // All slots at once, before the compaction's large vectors come and go.
  cache_.resize(kCacheSlots);
  for (Slot& slot : cache_) slot.bytes.resize(ps);
}

SourceFile::~SourceFile() {
  if (fd_ >= 0) ::close(fd_);
}

ByteView SourceFile::page(uint32_t pg) {
  if (pg >= pageCount_)
    throwCorrupt("a reference to page " + std::to_string(pg) + " points past the end of the file");
  Slot& s = cache_[pg % kCacheSlots];
  if (s.pg != pg) {
    // A miss right after the previous one reads a run of pages in one call:
    // compaction and verification walk most pages in order.
    const bool streak = pg == lastMiss_ + 1;
    lastMiss_ = pg;
    const uint32_t n = streak ? std::min<uint32_t>(kReadAhead, pageCount_ - pg) : 1;
    fill(pg, n);
  }
  return ByteView(s.bytes.data(), s.bytes.size());
}

void SourceFile::fill(uint32_t first, uint32_t n) {
  const uint32_t ps = format_->pageSize;
  struct iovec iov[kReadAhead];
  for (uint32_t i = 0; i < n; ++i) {
    Slot& s = cache_[(first + i) % kCacheSlots];
    s.pg = UINT32_MAX;
    iov[i] = {s.bytes.data(), ps};
  }
  const size_t want = size_t{n} * ps;
  size_t got = 0;
  uint32_t done = 0;  // whole pages read
  while (got < want) {
    // Skip the iovecs already filled; a partial page continues where it stopped.
    struct iovec rest[kReadAhead];
    const uint32_t at = static_cast<uint32_t>(got / ps);
    const size_t into = got % ps;
    for (uint32_t i = at; i < n; ++i) rest[i - at] = iov[i];
    rest[0].iov_base = static_cast<uint8_t*>(rest[0].iov_base) + into;
    rest[0].iov_len -= into;
    const ssize_t r = ::preadv(fd_, rest, static_cast<int>(n - at),
                               static_cast<off_t>(static_cast<uint64_t>(first) * ps + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  done = static_cast<uint32_t>(got / ps);
  if (done == 0)
    throw Error(3049,
                corruptFile(path_) + " (page " + std::to_string(first) + " could not be read)");
  for (uint32_t i = 0; i < done; ++i) {
    Slot& s = cache_[(first + i) % kCacheSlots];
    codePage(dbKey_, first + i, s.bytes.data(), ps);
    s.pg = first + i;
  }
}

SourceTable readTable(SourceFile& src, uint32_t firstPage) {
  const Format& f = src.format();
  SourceTable t;
  TableDef& d = t.def;
  d.firstPage = firstPage;
  uint32_t pg = firstPage;
  while (pg != 0) {
    if (t.rawPages.size() > 64 || t.rawPages.size() >= src.pageCount())
      throwCorrupt("the definition chain at page " + std::to_string(firstPage) + " loops");
    ByteView p = src.page(pg);
    if (p.u8(0) != page_type::kTableDef)
      throwCorrupt("page " + std::to_string(pg) + " should hold a table definition");
    d.pages.push_back(pg);
    t.rawPages.push_back(p.copy());
    if (d.buffer.empty())
      d.buffer.insert(d.buffer.end(), p.begin(), p.end());
    else
      d.buffer.insert(d.buffer.end(), p.begin() + 8, p.end());
    pg = p.u32(4);
  }
  parseTableDef(d, f, TableDefRules{true, textOf});
  return t;
}

uint16_t slotCount(SourceFile& src, uint32_t pg) {
  ByteView p = src.page(pg);
  if (p.u8(0) != page_type::kData) return 0;
  return p.u16(src.format().rowCountOffset);
}

namespace {

// A slot's flags and bytes, the view valid until the next page read.
struct SlotView {
  uint16_t flags = 0;
  ByteView bytes;
};

SlotView viewSlot(SourceFile& src, RowPtr ptr) {
  const uint32_t ps = src.pageSize();
  const uint32_t rco = src.format().rowCountOffset;
  ByteView p = src.page(ptr.page);
  auto where = [&] {
    return "row " + std::to_string(ptr.row) + " of page " + std::to_string(ptr.page);
  };
  if (p.u8(0) != page_type::kData) throwCorrupt(where() + " is not on a data page");
  const uint16_t n = p.u16(rco);
  if (ptr.row >= n || n > 255 + 1 || rco + 2 + 2u * n > ps)
    throwCorrupt(where() + " does not exist");
  const uint16_t e = p.u16(rco + 2 + 2u * ptr.row);
  const uint32_t start = e & kRowOffsetMask;
  const uint32_t end = ptr.row == 0 ? ps : (p.u16(rco + 2 + 2u * (ptr.row - 1)) & kRowOffsetMask);
  if (start < rco + 2 + 2u * n || start > end || end > ps)
    throwCorrupt(where() + " lies outside its page");
  return {static_cast<uint16_t>(e & static_cast<uint16_t>(~kRowOffsetMask)),
          p.sub(start, end - start)};
}

}  // namespace

Slot readSlot(SourceFile& src, RowPtr ptr) {
  const SlotView v = viewSlot(src, ptr);
  Slot s;
  s.flags = v.flags;
  s.bytes.assign(v.bytes.begin(), v.bytes.end());
  return s;
}

void readRow(SourceFile& src, RowPtr header, std::vector<uint8_t>& out) {
  SlotView s = viewSlot(src, header);
  if (s.flags & kRowDeleted)
    throwCorrupt("row " + std::to_string(header.row) + " of page " + std::to_string(header.page) +
                 " is deleted");
  for (int hop = 0; s.flags & kRowLookup; ++hop) {
    if (hop >= kMaxOverflowHops || s.bytes.size() < 4)
      throwCorrupt("the overflow row of row " + std::to_string(header.row) + " of page " +
                   std::to_string(header.page) + " cannot be followed");
    s = viewSlot(src, RowPtr::fromRaw(le32(s.bytes.data())));
  }
  out.assign(s.bytes.begin(), s.bytes.end());
}

std::vector<uint8_t> readRow(SourceFile& src, RowPtr header) {
  std::vector<uint8_t> row;
  readRow(src, header, row);
  return row;
}

std::vector<uint32_t> readMapPages(SourceFile& src, RowPtr where, uint32_t limit) {
  std::vector<uint32_t> pages;
  if (where.null()) return pages;
  const Slot s = readSlot(src, where);
  ByteView row(s.bytes);
  if (row.empty()) throwCorrupt("an empty usage map at page " + std::to_string(where.page));
  if (row.u8(0) == 0) {
    const uint32_t start = row.u32(1);
    for (size_t i = 5; i < row.size(); ++i) {
      const uint8_t byte = row.u8(i);
      for (int bit = 0; bit < 8 && byte; ++bit) {
        if (!(byte & (1u << bit))) continue;
        const uint64_t pg = start + (i - 5) * 8ull + bit;
        if (pg < limit) pages.push_back(static_cast<uint32_t>(pg));
      }
    }
  } else if (row.u8(0) == 1) {
    const uint32_t ps = src.pageSize();
    const uint64_t perPage = (ps - 4) * 8ull;
    std::vector<uint32_t> maps;
    for (size_t j = 0; 1 + 4 * j + 4 <= row.size(); ++j) maps.push_back(row.u32(1 + 4 * j));
    for (size_t j = 0; j < maps.size(); ++j) {
      if (maps[j] == 0) continue;
      ByteView bm = src.page(maps[j]);
      if (bm.u8(0) != page_type::kUsageBitmap)
        throwCorrupt("page " + std::to_string(maps[j]) + " should be a usage bitmap");
      for (uint32_t i = 4; i < ps; ++i) {
        const uint8_t byte = bm.u8(i);
        for (int bit = 0; bit < 8 && byte; ++bit) {
          if (!(byte & (1u << bit))) continue;
          const uint64_t pg = j * perPage + (i - 4) * 8ull + bit;
          if (pg < limit) pages.push_back(static_cast<uint32_t>(pg));
        }
      }
    }
  } else {
    throwCorrupt("usage map at page " + std::to_string(where.page) + " has an unknown kind");
  }
  return pages;
}

FieldSpan fieldOf(const TableDef& def, bool jet4, ByteView row, const Column& col) {
  FieldSpan span;
  const size_t len = row.size();
  const size_t n = jet4 ? row.u16(0) : row.u8(0);
  const size_t m = (n + 7) / 8;
  const size_t fixedStart = jet4 ? 2 : 1;
  if (len < fixedStart + m) throwCorrupt("a row is shorter than its null mask");
  if (col.number >= n) return span;
  const bool present = (row.u8(len - m + col.number / 8) >> (col.number % 8)) & 1;
  if (col.type == column_type::kBoolean) {
    span.null = false;  // the value is the mask bit
    return span;
  }
  if (!present) return span;
  if (col.fixed()) {
    span.begin = fixedStart + col.fixedOffset;
    span.end = span.begin + col.length;
    if (span.end > len - m) throwCorrupt("a fixed column lies outside its row");
    span.null = false;
    return span;
  }
  if (def.numVarCols == 0) return span;
  if (jet4) {
    if (len < m + 2) throwCorrupt("a row has no room for its variable-column count");
    const size_t v = row.u16(len - m - 2);
    if (len < m + 4 + 2 * v) throwCorrupt("a row's variable-column table is too long");
    if (col.varIndex >= v) return span;
    span.begin = row.u16(len - m - 4 - 2 * col.varIndex);
    span.end = row.u16(len - m - 4 - 2 * (col.varIndex + 1));
    if (span.begin > span.end || span.end > len - m - 4 - 2 * v)
      throwCorrupt("a variable column lies outside its row");
  } else {
    if (len < m + 1) throwCorrupt("a row has no room for its variable-column count");
    const size_t v = row.u8(len - m - 1);
    size_t jumps = (len - 1) / 256;
    if (len < m + 2 + jumps + v + 1) throwCorrupt("a row's variable-column table is too long");
    if (col.varIndex >= v) return span;
    const size_t tableEnd = len - m - 2 - jumps;  // offset entry 0
    size_t counted = jumps;
    if ((tableEnd - v) / 256 < jumps) counted = jumps - 1;
    auto offsetOf = [&](size_t i) {
      size_t off = row.u8(tableEnd - i);
      for (size_t k = 0; k < counted; ++k)
        if (row.u8(len - m - 2 - k) <= i) off += 256;
      return off;
    };
    span.begin = offsetOf(col.varIndex);
    span.end = offsetOf(col.varIndex + 1);
    if (span.begin > span.end || span.end > tableEnd - v)
      throwCorrupt("a variable column lies outside its row");
  }
  span.null = false;
  return span;
}

LongValue readLongValue(SourceFile& src, ByteView header) {
  LongValue lv;
  const uint32_t word = header.u32(0);
  lv.kind = static_cast<uint8_t>(word >> 24) & 0xC0;
  lv.length = word & 0x3FFFFFFF;
  if (lv.kind == 0x80) {
    if (header.size() < 12 + static_cast<size_t>(lv.length))
      throwCorrupt("an inline long value is longer than its field");
    return lv;
  }
  if (lv.kind == 0xC0) throwCorrupt("a long value has an unknown kind");
  RowPtr at = RowPtr::fromRaw(header.u32(4));
  auto lvalSlot = [&](RowPtr p) {
    ByteView page = src.page(p.page);
    if (page.u8(0) != page_type::kData || std::memcmp(page.data() + 4, "LVAL", 4) != 0)
      throwCorrupt("a long value points at page " + std::to_string(p.page) +
                   ", which is not a long-value page");
    return readSlot(src, p);
  };
  if (lv.kind == 0x40) {
    Slot s = lvalSlot(at);
    if (s.bytes.size() < lv.length)
      throwCorrupt("a long value at page " + std::to_string(at.page) +
                   " is shorter than its length");
    s.bytes.resize(lv.length);
    lv.chunks.push_back(std::move(s.bytes));
    return lv;
  }
  uint32_t remaining = lv.length;
  std::unordered_set<uint32_t> visited;
  while (remaining > 0) {
    if (at.null())
      throwCorrupt("a long-value chain ends before its length (page " + std::to_string(at.page) +
                   ")");
    if (!visited.insert(at.raw()).second)
      throwCorrupt("a long-value chain loops at page " + std::to_string(at.page));
    Slot s = lvalSlot(at);
    if (s.bytes.size() < 4)
      throwCorrupt("a long-value chain row at page " + std::to_string(at.page) + " is too short");
    const RowPtr next = RowPtr::fromRaw(le32(s.bytes.data()));
    const size_t piece = std::min<size_t>(s.bytes.size() - 4, remaining);
    if (piece == 0)
      throwCorrupt("a long-value chain at page " + std::to_string(at.page) + " is empty");
    lv.chunks.emplace_back(s.bytes.begin() + 4, s.bytes.begin() + 4 + piece);
    remaining -= static_cast<uint32_t>(piece);
    at = next;
  }
  return lv;
}

void forEachLeafEntry(SourceFile& src, uint32_t root, uint32_t owner,
                      const std::function<void(const uint8_t*, size_t, RowPtr)>& f) {
  const Format& fm = src.format();
  const uint32_t ps = src.pageSize();
  std::vector<std::pair<uint32_t, int>> stack{{root, 0}};
  std::vector<uint8_t> seen(src.pageCount(), 0);
  std::vector<uint8_t> first, entry, page;
  while (!stack.empty()) {
    const auto [pg, depth] = stack.back();
    stack.pop_back();
    const std::string where = "index page " + std::to_string(pg);
    if (pg >= src.pageCount()) throwCorrupt(where + " lies past the end of the file");
    if (seen[pg]++) throwCorrupt(where + " is reached twice");
    if (depth > kMaxIndexDepth) throwCorrupt(where + " is too deep in its tree");
    {
      ByteView p = src.page(pg);
      page.assign(p.begin(), p.end());
    }
    ByteView p(page);
    const uint8_t type = p.u8(0);
    if (type != page_type::kIndexLeaf && type != page_type::kIndexNode)
      throwCorrupt(where + " is not an index page");
    if (p.u32(4) != owner) throwCorrupt(where + " belongs to another table");
    const bool leaf = type == page_type::kIndexLeaf;
    const size_t prefix = fm.idxPrefixSize == 1 ? p.u8(fm.idxPrefix) : p.u16(fm.idxPrefix);
    const uint32_t tail = leaf ? 0 : p.u32(fm.idxTail);
    std::vector<uint32_t> children;
    size_t start = 0;
    bool haveFirst = false;
    for (size_t bit = 0; bit < (fm.idxFirstEntry - fm.idxBitmap) * 8; ++bit) {
      if (!((p.u8(fm.idxBitmap + bit / 8) >> (bit % 8)) & 1)) continue;
      if (fm.idxFirstEntry + bit > ps || bit == start)
        throwCorrupt(where + " has an entry outside the page");
      ByteView stored = p.sub(fm.idxFirstEntry + start, bit - start);
      if (!haveFirst) {
        if (prefix > stored.size())
          throwCorrupt(where + " has a prefix longer than its first entry");
        first.assign(stored.begin(), stored.end());
        entry = first;
        haveFirst = true;
      } else {
        entry.assign(first.begin(), first.begin() + prefix);
        entry.insert(entry.end(), stored.begin(), stored.end());
      }
      start = bit;
      const size_t ptrBytes = leaf ? 4 : 8;
      if (entry.size() < ptrBytes) throwCorrupt(where + " has an entry too short for its pointer");
      const size_t keyLen = entry.size() - ptrBytes;
      const uint8_t* ptr = entry.data() + keyLen;
      if (leaf) {
        const RowPtr row{(uint32_t{ptr[0]} << 16) | (uint32_t{ptr[1]} << 8) | ptr[2], ptr[3]};
        f(entry.data(), keyLen, row);
      } else {
        children.push_back((uint32_t{ptr[4]} << 24) | (uint32_t{ptr[5]} << 16) |
                           (uint32_t{ptr[6]} << 8) | ptr[7]);
      }
    }
    if (tail) children.push_back(tail);
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      stack.push_back({*it, depth + 1});
  }
}

std::string textOf(bool jet4, ByteView bytes) {
  std::string out;
  if (!jet4) {
    for (uint8_t c : bytes) appendUtf8(out, c);
    return out;
  }
  if (bytes.size() >= 2 && bytes.u8(0) == 0xFF && bytes.u8(1) == 0xFE) {
    bool compressed = true;
    for (size_t i = 2; i < bytes.size();) {
      if (bytes.u8(i) == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        appendUtf8(out, bytes.u8(i++));
      } else if (i + 1 < bytes.size()) {
        appendUtf8(out, bytes.u16(i));
        i += 2;
      } else {
        break;
      }
    }
    return out;
  }
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) appendUtf8(out, bytes.u16(i));
  return out;
}

uint64_t hashBytes(const uint8_t* data, size_t size, uint64_t seed) {
  uint64_t h = mix(seed, size);
  size_t i = 0;
  if (size >= 32) {
    // Four independent lanes, so the multiplications overlap.
    uint64_t lane[4] = {h, h ^ 0x9e3779b97f4a7c15ull, h + 0x632be59bd9b4e019ull, ~h};
    for (; i + 32 <= size; i += 32)
      for (int k = 0; k < 4; ++k) {
        uint64_t w;
        std::memcpy(&w, data + i + 8 * k, 8);
        lane[k] = mix(lane[k], w);
      }
    h = mix(mix(lane[0], lane[1]), mix(lane[2], lane[3]));
  }
  for (; i + 8 <= size; i += 8) {
    uint64_t w;
    std::memcpy(&w, data + i, 8);
    h = mix(h, w);
  }
  uint64_t w = 0;
  for (size_t k = 0; i < size; ++i, ++k) w |= uint64_t{data[i]} << (8 * k);
  return mix(h, w);
}

}  // namespace jet::compact
