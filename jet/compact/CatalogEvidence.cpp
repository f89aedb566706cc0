#include "jet/compact/CatalogEvidence.h"

#include <algorithm>

#include "jet/db/Database.h"
#include "jet/db/RowKeys.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexKey.h"
#include "jet/format/IndexPage.h"
#include "jet/util/Text.h"

namespace jet::compact {
namespace {

uint32_t rowOf(const CatalogEntry& e) { return RowPtr{e.headerPage, e.headerRow}.raw(); }

// The stored keys of the rows asked about.
class Entries : public IndexVisitor {
 public:
  Entries(const std::set<uint32_t>& rows, std::map<uint32_t, std::vector<uint8_t>>& keys)
      : rows_(rows), keys_(keys) {}
  void onEntry(const IndexEntry& e) override {
    if (rows_.count(e.row.raw())) keys_[e.row.raw()].assign(e.key.begin(), e.key.end());
  }

 private:
  const std::set<uint32_t>& rows_;
  std::map<uint32_t, std::vector<uint8_t>>& keys_;
};

}  // namespace

CatalogEvidence::CatalogEvidence(const Database& src, const std::vector<uint32_t>& defs)
    : version_(src.version()) {
  std::map<uint32_t, int> atPage;
  std::map<std::string, int> named;
  const std::vector<const CatalogEntry*> tables = src.catalog().tables(true);
  for (const CatalogEntry* t : tables) {
    ++atPage[t->tdefPage()];
    ++named[std::to_string(t->parentId) + "/" + foldName(t->name)];
  }
  for (const CatalogEntry* t : tables) {
    const uint32_t pg = t->tdefPage();
    if ((pg != 2 && !std::binary_search(defs.begin(), defs.end(), pg)) || atPage[pg] > 1 ||
        (pg == 2 && !sameName(t->name, "MSysObjects")))
      idDoubts_.insert(rowOf(*t));
    if (named[std::to_string(t->parentId) + "/" + foldName(t->name)] > 1)
      nameDoubts_.insert(rowOf(*t));
  }
  if (!idDoubts_.empty()) readIndex(src, {"Id"}, ids_, nullptr, idDoubts_);
  if (!nameDoubts_.empty()) readIndex(src, {"ParentId", "Name"}, names_, &ownNames_, nameDoubts_);
}

// The index over exactly these columns: the stored keys of the rows, and
// (made) the keys their bytes give now.
void CatalogEvidence::readIndex(const Database& src, const std::vector<const char*>& columns,
                                Keys& stored, Keys* made, const std::set<uint32_t>& rows) {
  try {
    const TableDef& def = src.tableDef(2);
    for (const RealIndex& r : def.realIndexes) {
      if (r.columns.size() != columns.size()) continue;
      bool match = true;
      for (size_t i = 0; i < columns.size(); ++i) {
        const Column* c = def.findColumn(columns[i]);
        match = match && c && c->number == r.columns[i].column;
      }
      if (!match) continue;
      Entries entries(rows, stored);
      walkIndex(src.pages(), r.rootPage, 2, entries);
      if (columns.size() == 1) {
        idType_ = def.findColumn(columns[0])->type;
        idAscending_ = r.columns[0].ascending;
      }
      if (!made) return;
      RowKeys keys(src, def, r);
      for (const uint32_t raw : rows) {
        const RowSlot row = readRow(src.pages(), RowPtr::fromRaw(raw));
        std::vector<uint8_t>& key = (*made)[raw];
        if (keys.append(row.bytes, key) != RowKeys::Outcome::Key) made->erase(raw);
      }
      return;
    }
  } catch (const std::exception&) {  // Corrupt, or a key with no encoding here
    stored.clear();
    if (made) made->clear();
  }
}

std::vector<uint8_t> CatalogEvidence::idKey(uint32_t id) const {
  std::vector<uint8_t> out, bytes(4);
  for (size_t i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(id >> (8 * i));
  IndexKeyEncoder encoder(version_, {{idType_, idAscending_, {}}}, SortOrder{});
  const KeyValue v{false, false, ByteView(bytes)};
  (void)encoder.append(std::span(&v, 1), out);
  return out;
}

bool CatalogEvidence::idContradicted(const CatalogEntry& e) const {
  const auto it = ids_.find(rowOf(e));
  return idDoubts_.count(rowOf(e)) && it != ids_.end() &&
         it->second != idKey(static_cast<uint32_t>(e.id));
}

bool CatalogEvidence::holdsId(const CatalogEntry& e, uint32_t id) const {
  const auto it = ids_.find(rowOf(e));
  return it != ids_.end() && it->second == idKey(id);
}

bool CatalogEvidence::nameContradicted(const CatalogEntry& e) const {
  const auto stored = names_.find(rowOf(e)), own = ownNames_.find(rowOf(e));
  return stored != names_.end() && own != ownNames_.end() && stored->second != own->second;
}

}  // namespace jet::compact
