#pragma once

// Salvage: what the catalog's own indexes say of its table rows. Each entry
// was written with its row, so where a row's Id or name was damaged since,
// its entry still holds what it was. Only rows already in doubt are asked
// about (an Id naming no definition, or one another row names; a Type no
// object has; a name whose key another row's makes), so a damaged index
// never overrules a sound row.

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "jet/Version.h"
#include "jet/db/Catalog.h"

namespace jet {
class Database;
}

namespace jet::compact {

class CatalogEvidence {
 public:
  // defs: the table definitions found, ascending. Reads nothing more where
  // no row is in doubt, and holds no evidence where an index cannot be read.
  CatalogEvidence(const Database& src, const std::vector<uint32_t>& defs);

  // True for a row in doubt whose entry in the index on Id is not its Id.
  bool idContradicted(const CatalogEntry& e) const;
  // True when the index on Id holds the row under `id`.
  bool holdsId(const CatalogEntry& e, uint32_t id) const;
  // True for a row whose name makes the key another row's makes, whose entry
  // in the index on ParentId and Name is not that key.
  bool nameContradicted(const CatalogEntry& e) const;

 private:
  using Keys = std::map<uint32_t, std::vector<uint8_t>>;  // by RowPtr raw
  std::vector<uint8_t> idKey(uint32_t id) const;

  std::set<uint32_t> idDoubts_, nameDoubts_;
  Keys ids_, names_, ownNames_;
  Version version_ = Version::Jet4;
  uint8_t idType_ = 0;
  bool idAscending_ = true;
};

}  // namespace jet::compact
