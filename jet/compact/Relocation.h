#pragma once

// Table definitions placed afresh, packed from the front: a table's Id is
// its TDEF page, so every place that holds one is rewritten through a map
// (old Id to new, the high byte kept); an Id naming no object is kept, and
// no moved table takes it. A database that holds a reference not known here
// keeps every TDEF at its page instead, and says why.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/compact/Digest.h"
#include "jet/compact/SourceIndex.h"
#include "jet/format/TableDef.h"

namespace jet {
class Database;
}

namespace jet::compact {

class Relocation {
 public:
  bool relocated() const { return relocated_; }
  const std::string& fallbackReason() const { return fallbackReason_; }
  // TDEF pages of the output, every table's in the order of `tables`.
  const std::vector<uint32_t>& tdefPages() const { return tdefPages_; }
  // The output TDEF page of the table whose source TDEF is at oldPage.
  uint32_t page(uint32_t oldPage) const;
  // References that resolve in the source, what the output must match;
  // nullopt when the source's could not be read.
  std::optional<uint64_t> references() const { return references_; }

  // Rewrites the Ids a row of the table (source TDEF def.firstPage) holds.
  void rewriteRow(const TableDef& def, std::vector<uint8_t>& row) const;
  // Rewrites the Id leading each key of index k of that table.
  void rewriteKeys(const TableDef& def, size_t k, SourceIndex& index) const;
  // Rewrites the related table of every foreign-key index.
  void patchDefinition(TableDef& def) const;

  friend Relocation planRelocation(const Database& src, const std::vector<CatalogTable>& tables,
                                   bool keepIds);

 private:
  uint32_t id(uint32_t old) const;
  const std::vector<uint16_t>* idColumns(const TableDef& def) const;

  bool relocated_ = false;
  bool jet4_ = false;
  size_t relatedTableOffset_ = 0;
  std::string fallbackReason_;
  std::vector<uint32_t> tdefPages_;
  std::map<uint32_t, uint32_t> pages_;                 // source TDEF page -> output
  std::unordered_map<uint32_t, uint32_t> ids_;         // source table Id -> output
  std::map<uint32_t, std::vector<uint16_t>> columns_;  // per source TDEF: Id columns
  std::optional<uint64_t> references_;
};

// The plan for src's tables (sorted by TDEF page, as catalogTables gives
// them): relocation unless keepIds or a reference not understood.
Relocation planRelocation(const Database& src, const std::vector<CatalogTable>& tables,
                          bool keepIds);

// How many known references of db resolve: object-Id columns of the system
// tables naming an object of MSysObjects, and foreign-key indexes naming a
// table's TDEF page. tables, when given, are the tables the copy keeps:
// another table of the catalog is no object, as salvage leaves it out.
uint64_t resolvedReferences(const Database& db, const std::vector<CatalogTable>& tables = {});

}  // namespace jet::compact
