#include "jet/db/PageCensus.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <unordered_set>

#include "jet/db/Database.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"

namespace jet {

namespace {

// What a run of pages says besides each page's owner.
struct Sweep {
  std::unordered_map<uint32_t, std::vector<uint32_t>> byOwner;
  std::vector<uint32_t> tdefs;
  std::unordered_set<uint32_t> continued;  // pages a definition goes on to
};

// Pages [from, to); ends early once keepOn() says so.
void sweep(const Database& db, uint32_t from, uint32_t to, const std::vector<bool>& free,
           std::vector<uint32_t>& owners, Sweep& s, const std::function<bool()>& keepOn) {
  const uint32_t n = db.pageCount();
  for (uint32_t pg = from; pg < to && keepOn(); ++pg) {
    if (free[pg] || pg == db.pages().tornPage()) continue;  // a torn page says nothing
    const std::array<uint8_t, 8> head = db.pages().head(pg);
    const ByteView b(head.data(), head.size());
    const uint32_t owner = b.u32(4);
    if (b.u8(0) == page_type::kData && owner >= 2 && owner < n && owner != pg) {
      owners[pg] = owner;
      s.byOwner[owner].push_back(pg);
    } else if (b.u8(0) == page_type::kTableDef) {
      s.tdefs.push_back(pg);
      if (owner != 0) s.continued.insert(owner);
    }
  }
}

}  // namespace

PageCensus PageCensus::take(const Database& db, const std::function<void()>& tick) {
  PageCensus c;
  const uint32_t n = db.pageCount();
  c.free_.assign(n, false);
  c.owner_.assign(n, 0);
  try {
    for (uint32_t pg : readGlobalMap(db.pages()).pages) c.free_[pg] = true;
    c.globalMapRead_ = true;
  } catch (const Corrupt&) {
    c.free_.assign(n, false);
  }
  // The upper half on the other core, where the pages can be read from two
  // threads; progress and a cancel go with the lower half.
  const uint32_t mid = db.pages().concurrent() && n > 2 ? 2 + (n - 2) / 2 : n;
  Sweep low, high;
  std::atomic<bool> stop{false};
  std::exception_ptr failed;
  std::thread upper;
  if (mid < n)
    upper = std::thread([&] {
      try {
        sweep(db, mid, n, c.free_, c.owner_, high, [&] { return !stop.load(); });
      } catch (...) {
        failed = std::current_exception();
      }
    });
  try {
    sweep(db, 2, mid, c.free_, c.owner_, low, [&] {
      if (tick) tick();
      return true;
    });
  } catch (...) {
    stop = true;
    if (upper.joinable()) upper.join();
    throw;
  }
  if (upper.joinable()) upper.join();
  if (failed) std::rethrow_exception(failed);
  for (auto& [owner, pages] : high.byOwner) {
    std::vector<uint32_t>& all = low.byOwner[owner];
    all.insert(all.end(), pages.begin(), pages.end());
  }
  c.byOwner_ = std::move(low.byOwner);
  low.tdefs.insert(low.tdefs.end(), high.tdefs.begin(), high.tdefs.end());
  low.continued.merge(high.continued);
  for (uint32_t pg : low.tdefs)
    if (!low.continued.count(pg)) c.firstTdefs_.push_back(pg);
  return c;
}

void PageCensus::addDataPage(uint32_t pg, uint32_t owner) {
  if (pg >= owner_.size()) {
    owner_.resize(pg + 1, 0);
    free_.resize(pg + 1, false);
  }
  free_[pg] = false;
  owner_[pg] = owner;
  byOwner_[owner].push_back(pg);
}

const std::vector<uint32_t>& PageCensus::dataPagesOf(uint32_t tdef) const {
  static const std::vector<uint32_t> kNone;
  const auto it = byOwner_.find(tdef);
  return it == byOwner_.end() ? kNone : it->second;
}

uint32_t liveSlots(const Database& db, uint32_t pg) {
  try {
    const DataPage page(db.page(pg), db.format());
    const uint16_t n = std::min<uint16_t>(page.rowCount(), 256);
    uint32_t live = 0;
    for (uint16_t r = 0; r < n; ++r) live += page.slotDeleted(r) ? 0 : 1;
    return live;
  } catch (const Corrupt&) {
    return 0;
  }
}

uint64_t OrphanTable::total() const {
  uint64_t n = 0;
  for (uint32_t r : rows) n += r;
  return n;
}

std::vector<OrphanTable> orphanTables(const Database& db, const PageCensus& census,
                                      const std::vector<uint32_t>& reached, bool all) {
  const std::unordered_set<uint32_t> known(reached.begin(), reached.end());
  std::vector<OrphanTable> out;
  for (uint32_t tdef : census.tableDefinitions()) {
    if (known.count(tdef)) continue;
    OrphanTable t{tdef, {}, {}};
    for (uint32_t pg : census.dataPagesOf(tdef))
      if (const uint32_t live = liveSlots(db, pg)) {
        t.pages.push_back(pg);
        t.rows.push_back(live);
      }
    if (!t.pages.empty() || all) out.push_back(std::move(t));
  }
  return out;
}

}  // namespace jet
