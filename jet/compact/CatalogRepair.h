#pragma once

// Salvage: catalog rows for table definitions whose rows the catalog no
// longer reaches (their catalog rows torn away, deleted, or pointing
// elsewhere), so the tables come out whole. A table is named after its
// catalog row whose damaged Id the catalog's index on Id still gives as its
// page, else its deleted row, else the navigation pane's list of objects
// (Access 2007 and later), else the template's table it is (nameFromTemplate),
// else the system table its columns are, else "Recovered_<page>".
// The rows are laid on new data pages of MSysObjects past the file's end,
// which salvage then reads as the catalog's own.

#include <string>
#include <vector>

#include "jet/Engine.h"
#include "jet/format/Format.h"

namespace jet {
class Database;
class PageCensus;
}  // namespace jet

namespace jet::compact {

struct CatalogRepair {
  std::vector<RecoveredTable> tables;  // named "catalog", "template", "columns" or "none"
  std::vector<uint8_t> pages;          // new MSysObjects pages, as stored, in turn; empty for none
  // Catalog rows whose Id the catalog's index contradicts, their tables
  // named from them above: left out of the copy.
  std::vector<std::pair<RowPtr, std::string>> leftOut;
};

CatalogRepair repairCatalog(const Database& src, const PageCensus& census, const Database* templ);

}  // namespace jet::compact
