#include "jet/db/PageCensus.h"

#include <algorithm>
#include <unordered_set>

#include "jet/db/Database.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"

namespace jet {

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
  std::vector<uint32_t> tdefs;
  std::unordered_set<uint32_t> continued;
  for (uint32_t pg = 2; pg < n; ++pg) {
    if (tick) tick();
    if (c.free_[pg] || pg == db.pages().tornPage()) continue;  // a torn page says nothing
    const std::array<uint8_t, 8> head = db.pages().head(pg);
    const ByteView b(head.data(), head.size());
    const uint32_t owner = b.u32(4);
    if (b.u8(0) == page_type::kData && owner >= 2 && owner < n && owner != pg) {
      c.owner_[pg] = owner;
      c.byOwner_[owner].push_back(pg);
    } else if (b.u8(0) == page_type::kTableDef) {
      tdefs.push_back(pg);
      if (owner != 0) continued.insert(owner);  // the chain's next page
    }
  }
  for (uint32_t pg : tdefs)
    if (!continued.count(pg)) c.firstTdefs_.push_back(pg);
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
