#include "jet/format/IndexBuilder.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "jet/Error.h"
#include "jet/util/Bytes.h"

namespace jet {

namespace {

// An entry as it goes on a page, with the length of its key part (the bytes a
// prefix may cover).
struct Item {
  const uint8_t* data;
  uint32_t size;
  uint32_t keyLength;
};

struct Group {
  size_t from = 0, to = 0;  // items [from, to) stored on the page
  size_t prefix = 0;
};

size_t commonPrefix(const Item& a, const Item& b) {
  const size_t n = std::min(a.size, b.size);
  size_t i = 0;
  while (i < n && a.data[i] == b.data[i]) ++i;
  return i;
}

}  // namespace

namespace detail {

// Greedy packing into pages of `capacity` bytes with prefix compression:
// the prefix of a page is common to all its entries and inside every key.
class Packer {
 public:
  Packer(size_t capacity, size_t maxPrefix) : capacity_(capacity), maxPrefix_(maxPrefix) {}
  void start(const Item& first) {
    first_ = first;
    sum_ = first.size;
    count_ = 1;
    prefix_ = std::min<size_t>(first.keyLength, maxPrefix_);
  }
  // Adds the item when it still fits; false (and unchanged) otherwise.
  bool tryAdd(const Item& item) {
    const size_t p = std::min({prefix_, commonPrefix(first_, item), size_t{item.keyLength}});
    const size_t total = sum_ + item.size - count_ * p;
    if (total > capacity_) return false;
    sum_ += item.size;
    ++count_;
    prefix_ = p;
    return true;
  }
  size_t prefix() const { return count_ > 1 ? prefix_ : 0; }

 private:
  size_t capacity_, maxPrefix_;
  Item first_{};
  size_t sum_ = 0, count_ = 0, prefix_ = 0;
};

}  // namespace detail

using detail::Packer;

namespace {

std::vector<uint8_t> indexPage(const Format& f, bool leaf, uint32_t owner, uint32_t prev,
                               uint32_t next, uint32_t tail, const std::vector<Item>& items,
                               size_t from, size_t to, size_t prefix) {
  std::vector<uint8_t> page(f.pageSize, 0);
  page[0] = leaf ? page_type::kIndexLeaf : page_type::kIndexNode;
  page[1] = 0x01;
  putLe32(page.data() + 4, owner);
  putLe32(page.data() + f.idxPrev, prev);
  putLe32(page.data() + f.idxNext, next);
  putLe32(page.data() + f.idxTail, tail);
  if (f.idxPrefixSize == 1)
    page[f.idxPrefix] = static_cast<uint8_t>(prefix);
  else
    putLe16(page.data() + f.idxPrefix, static_cast<uint16_t>(prefix));
  page[f.idxPrefix + f.idxPrefixSize] = leaf ? 0 : 1;
  size_t at = 0;
  for (size_t i = from; i < to; ++i) {
    const size_t skip = i == from ? 0 : prefix;
    const size_t n = items[i].size - skip;
    std::memcpy(page.data() + f.idxFirstEntry + at, items[i].data + skip, n);
    at += n;
    page[f.idxBitmap + at / 8] |= static_cast<uint8_t>(1u << (at % 8));
  }
  putLe16(page.data() + 2, static_cast<uint16_t>(f.pageSize - f.idxFirstEntry - at));
  return page;
}

struct NodeGroup {
  Group g;
  bool hasTail;  // child g.to is the tail
};

// Packs node entries; withTail: the child after each page's entries becomes
// its tail (a lone last child is stored as an entry, tail 0).
std::vector<NodeGroup> groupNodes(const std::vector<Item>& items, const Format& f, size_t maxPrefix,
                                  bool withTail) {
  std::vector<NodeGroup> nodes;
  Packer packer(f.idxCapacity, maxPrefix);
  size_t i = 0;
  while (i < items.size()) {
    if (withTail && i + 1 == items.size()) {
      nodes.push_back({{i, i + 1, 0}, false});
      break;
    }
    Group g{i, i + 1, 0};
    packer.start(items[i]);
    const size_t limit = withTail ? items.size() - 1 : items.size();
    while (g.to < limit && packer.tryAdd(items[g.to])) ++g.to;
    g.prefix = packer.prefix();
    nodes.push_back({g, withTail});
    i = withTail ? g.to + 1 : g.to;
  }
  return nodes;
}

}  // namespace

bool entryLess(const EntryRef& a, const EntryRef& b) {
  const size_t ka = a.size - 4, kb = b.size - 4;
  const int c = std::memcmp(a.data, b.data, std::min(ka, kb));
  if (c != 0) return c < 0;
  if (ka != kb) return ka < kb;
  return std::memcmp(a.data + ka, b.data + kb, 4) < 0;
}

namespace {

// Node levels above the leaves until one page, the root, remains.
uint32_t buildNodes(std::vector<IndexWriter::Child> level, const Format& f, size_t maxPrefix,
                    uint32_t owner, PageAllocator& alloc, PageSink& sink, BuiltIndex& built) {
  using Child = IndexWriter::Child;
  while (level.size() > 1) {
    std::vector<std::vector<uint8_t>> storage;
    storage.reserve(level.size());
    std::vector<Item> nodeItems;
    nodeItems.reserve(level.size());
    for (const Child& c : level) {
      std::vector<uint8_t> e(c.last.begin(), c.last.end());
      const uint8_t child[4] = {static_cast<uint8_t>(c.page >> 24),
                                static_cast<uint8_t>(c.page >> 16),
                                static_cast<uint8_t>(c.page >> 8), static_cast<uint8_t>(c.page)};
      e.insert(e.end(), child, child + 4);
      if (e.size() > f.idxCapacity)
        throw Error(3049, "an index entry of table page " + std::to_string(owner) +
                              " does not fit an index node page");
      storage.push_back(std::move(e));
      nodeItems.push_back({storage.back().data(), static_cast<uint32_t>(storage.back().size()),
                           static_cast<uint32_t>(c.last.size() - 4)});
    }
    // The root stores all children but the last as entries and the last as
    // its tail, as Access writes it. Pages below the root store every child
    // as an entry: a parent's entry must equal its child's last entry and be
    // the largest entry of that subtree, which a tail would hide.
    std::vector<NodeGroup> nodes = groupNodes(nodeItems, f, maxPrefix, true);
    if (nodes.size() > 1) nodes = groupNodes(nodeItems, f, maxPrefix, false);
    std::vector<uint32_t> nodePages(nodes.size());
    for (uint32_t& pg : nodePages) pg = alloc.allocate();
    std::vector<Child> up;
    for (size_t n = 0; n < nodes.size(); ++n) {
      const Group& g = nodes[n].g;
      const uint32_t tail = nodes[n].hasTail ? level[g.to].page : 0;
      sink.write(nodePages[n], indexPage(f, false, owner, n ? nodePages[n - 1] : 0,
                                         n + 1 < nodes.size() ? nodePages[n + 1] : 0, tail,
                                         nodeItems, g.from, g.to, g.prefix));
      built.pages.push_back(nodePages[n]);
      up.push_back({nodePages[n], std::move(level[nodes[n].hasTail ? g.to : g.to - 1].last)});
    }
    level = std::move(up);
  }
  return level.front().page;
}

}  // namespace

IndexWriter::IndexWriter(uint32_t owner, PageAllocator& alloc, PageSink& sink)
    : owner_(owner),
      alloc_(alloc),
      sink_(sink),
      maxPrefix_(sink.format().idxPrefixSize == 1 ? 255 : 0xFFFF),
      packer_(std::make_unique<Packer>(sink.format().idxCapacity, maxPrefix_)) {}

IndexWriter::~IndexWriter() = default;

void IndexWriter::add(const EntryRef& e) {
  const Format& f = sink_.format();
  if (e.size < 4 || e.size > f.idxCapacity)
    throw Error(3049, "an index entry of table page " + std::to_string(owner_) +
                          " does not fit an index page");
  if (sizes_.empty()) {
    startLeaf(e, alloc_.allocate());
    return;
  }
  if (packer_->tryAdd({e.data, e.size, e.size - 4})) {
    append(e);
    return;
  }
  const uint32_t next = alloc_.allocate();
  writeLeaf(next);
  startLeaf(e, next);
}

BuiltIndex IndexWriter::finish() {
  const Format& f = sink_.format();
  if (sizes_.empty()) {
    const uint32_t root = alloc_.allocate();
    sink_.write(root, indexPage(f, true, owner_, 0, 0, 0, {}, 0, 0, 0));
    built_.pages.push_back(root);
    built_.root = root;
  } else {
    writeLeaf(0);
    built_.root = buildNodes(std::move(level_), f, maxPrefix_, owner_, alloc_, sink_, built_);
  }
  std::sort(built_.pages.begin(), built_.pages.end());
  return std::move(built_);
}

void IndexWriter::startLeaf(const EntryRef& e, uint32_t page) {
  page_ = page;
  bytes_.clear();
  sizes_.clear();
  first_.assign(e.data, e.data + e.size);
  packer_->start({first_.data(), e.size, e.size - 4});
  append(e);
}

void IndexWriter::append(const EntryRef& e) {
  bytes_.insert(bytes_.end(), e.data, e.data + e.size);
  sizes_.push_back(e.size);
}

void IndexWriter::writeLeaf(uint32_t next) {
  std::vector<Item> items;
  items.reserve(sizes_.size());
  size_t at = 0;
  for (uint32_t size : sizes_) {
    items.push_back({bytes_.data() + at, size, size - 4});
    at += size;
  }
  sink_.write(page_, indexPage(sink_.format(), true, owner_, previous_, next, 0, items, 0,
                               items.size(), packer_->prefix()));
  built_.pages.push_back(page_);
  const Item& last = items.back();
  level_.push_back({page_, std::vector<uint8_t>(last.data, last.data + last.size)});
  previous_ = page_;
}

BuiltIndex buildIndex(const std::vector<EntryRef>& sorted, uint32_t owner, PageAllocator& alloc,
                      PageSink& sink) {
  IndexWriter writer(owner, alloc, sink);
  for (const EntryRef& e : sorted) writer.add(e);
  return writer.finish();
}

}  // namespace jet
