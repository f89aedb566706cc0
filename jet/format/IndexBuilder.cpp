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

BuiltIndex buildIndex(const std::vector<EntryRef>& sorted, uint32_t owner, PageAllocator& alloc,
                      PageSink& sink) {
  const Format& f = sink.format();
  const size_t maxPrefix = f.idxPrefixSize == 1 ? 255 : 0xFFFF;
  BuiltIndex built;
  if (sorted.empty()) {
    built.root = alloc.allocate();
    built.pages.push_back(built.root);
    sink.write(built.root, indexPage(f, true, owner, 0, 0, 0, {}, 0, 0, 0));
    return built;
  }
  std::vector<Item> items;
  items.reserve(sorted.size());
  for (const EntryRef& e : sorted) {
    if (e.size < 4 || e.size > f.idxCapacity)
      throw Error(3049, "an index entry of table page " + std::to_string(owner) +
                            " does not fit an index page");
    items.push_back({e.data, e.size, e.size - 4});
  }

  // Leaves.
  std::vector<Group> groups;
  {
    Packer packer(f.idxCapacity, maxPrefix);
    size_t i = 0;
    while (i < items.size()) {
      Group g{i, i + 1, 0};
      packer.start(items[i]);
      while (g.to < items.size() && packer.tryAdd(items[g.to])) ++g.to;
      g.prefix = packer.prefix();
      groups.push_back(g);
      i = g.to;
    }
  }
  std::vector<uint32_t> pages(groups.size());
  for (uint32_t& pg : pages) pg = alloc.allocate();
  // A child as its parent sees it: the page and the last entry of its subtree.
  struct Child {
    uint32_t page;
    Item last;
  };
  std::vector<Child> level;
  for (size_t g = 0; g < groups.size(); ++g) {
    sink.write(pages[g], indexPage(f, true, owner, g ? pages[g - 1] : 0,
                                   g + 1 < groups.size() ? pages[g + 1] : 0, 0, items,
                                   groups[g].from, groups[g].to, groups[g].prefix));
    built.pages.push_back(pages[g]);
    level.push_back({pages[g], items[groups[g].to - 1]});
  }

  // Node levels until one page remains.
  std::vector<std::vector<uint8_t>> storage;
  while (level.size() > 1) {
    std::vector<Item> nodeItems;
    nodeItems.reserve(level.size());
    for (const Child& c : level) {
      std::vector<uint8_t> e(c.last.data, c.last.data + c.last.size);
      const uint8_t child[4] = {static_cast<uint8_t>(c.page >> 24),
                                static_cast<uint8_t>(c.page >> 16),
                                static_cast<uint8_t>(c.page >> 8), static_cast<uint8_t>(c.page)};
      e.insert(e.end(), child, child + 4);
      if (e.size() > f.idxCapacity)
        throw Error(3049, "an index entry of table page " + std::to_string(owner) +
                              " does not fit an index node page");
      storage.push_back(std::move(e));
      nodeItems.push_back(
          {storage.back().data(), static_cast<uint32_t>(storage.back().size()), c.last.keyLength});
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
      up.push_back({nodePages[n], level[nodes[n].hasTail ? g.to : g.to - 1].last});
    }
    level = std::move(up);
  }
  built.root = level.front().page;
  std::sort(built.pages.begin(), built.pages.end());
  return built;
}

}  // namespace jet
