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

// MSysObjects' index over exactly these columns, or null.
const RealIndex* indexOver(const TableDef& def, const std::vector<const char*>& columns) {
  for (const RealIndex& r : def.realIndexes) {
    bool match = r.columns.size() == columns.size();
    for (size_t i = 0; match && i < columns.size(); ++i) {
      const Column* c = def.findColumn(columns[i]);
      match = c && c->number == r.columns[i].column;
    }
    if (match) return &r;
  }
  return nullptr;
}

CatalogEvidence::CatalogEvidence(const Database& src, const std::vector<uint32_t>& defs)
    : version_(src.version()) {
  std::map<uint32_t, int> atPage;
  const std::vector<const CatalogEntry*> tables = src.catalog().tables(true);
  for (const CatalogEntry* t : tables) ++atPage[t->tdefPage()];
  std::set<uint32_t> all;
  for (const CatalogEntry* t : tables) {
    const uint32_t pg = t->tdefPage();
    if ((pg != 2 && !std::binary_search(defs.begin(), defs.end(), pg)) || atPage[pg] > 1 ||
        (pg == 2 && !sameName(t->name, "MSysObjects")))
      idDoubts_.insert(rowOf(*t));
    all.insert(rowOf(*t));
  }
  for (const CatalogEntry& e : src.catalog().entries)
    if (!e.knownType()) idDoubts_.insert(rowOf(e));
  try {
    const TableDef& def = src.tableDef(2);
    if (const RealIndex* id = indexOver(def, {"Id"}); id && !idDoubts_.empty()) {
      idType_ = def.findColumn("Id")->type;
      idAscending_ = id->columns[0].ascending;
      Entries entries(idDoubts_, ids_);
      walkIndex(src.pages(), id->rootPage, 2, entries);
    }
    // Two rows whose names make one key, where the index is unique.
    if (const RealIndex* names = indexOver(def, {"ParentId", "Name"})) {
      RowKeys keys(src, def, *names);
      std::map<std::vector<uint8_t>, int> seen;
      for (const uint32_t raw : all) {
        std::vector<uint8_t> key;
        const RowSlot row = readRow(src.pages(), RowPtr::fromRaw(raw));
        if (keys.append(row.bytes, key) == RowKeys::Outcome::Key) ++seen[ownNames_[raw] = key];
      }
      for (const auto& [raw, key] : ownNames_)
        if (seen[key] > 1) nameDoubts_.insert(raw);
      if (!nameDoubts_.empty()) {
        Entries entries(nameDoubts_, names_);
        walkIndex(src.pages(), names->rootPage, 2, entries);
      }
    }
  } catch (const std::exception&) {  // Corrupt, or a key with no encoding here
    ids_.clear();
    names_.clear();
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
  return nameDoubts_.count(rowOf(e)) && stored != names_.end() && own != ownNames_.end() &&
         stored->second != own->second;
}

}  // namespace jet::compact
