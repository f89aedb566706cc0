#pragma once

// Salvage: catalog rows for table definitions whose rows the catalog no
// longer reaches (their catalog rows torn away or deleted), so the tables
// come out whole. A table is named after its deleted catalog row, else
// after the template's table of the same columns, else after the system
// table its columns are, else "Recovered_<page>".
// The rows are laid on one new data page of MSysObjects past the file's
// end; salvage reads them as it reads rows its map does not list.

#include <memory>
#include <string>
#include <vector>

#include "jet/Engine.h"
#include "jet/util/FileSystem.h"

namespace jet {
class Database;
class PageCensus;
}  // namespace jet

namespace jet::compact {

struct CatalogRepair {
  std::vector<RecoveredTable> tables;  // named "catalog", "template", "columns" or "none"
  std::vector<uint8_t> page;           // the new MSysObjects page, as stored; empty for none
};

CatalogRepair repairCatalog(const Database& src, const PageCensus& census, const Database* templ);

// The source with the repair's page after its last.
std::shared_ptr<ReadFile> withPageAppended(std::shared_ptr<ReadFile> source,
                                           std::vector<uint8_t> page);

}  // namespace jet::compact
