#pragma once

// An open database, read-only: the header, the pages (through a small cache,
// never the whole file in memory), and the catalog and table definitions,
// each parsed once when first asked for.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/db/Catalog.h"
#include "jet/format/Format.h"
#include "jet/format/Header.h"
#include "jet/format/PageSource.h"
#include "jet/format/TableDef.h"
#include "jet/util/FileSystem.h"

namespace jet {

class Database {
 public:
  // Opens path through fs. Throws Error 3024 (missing), 3051 (not readable,
  // not a regular file), 3343 (foreign format), 3049 (damaged: not whole
  // pages, bad header), 3031 (wrong password: `password` is the one offered).
  static std::unique_ptr<Database> open(FileSystem& fs, const std::string& path,
                                        const std::optional<std::string>& password);
  // The same over a file already open (a compaction's own output).
  static std::unique_ptr<Database> open(std::shared_ptr<ReadFile> file,
                                        const std::optional<std::string>& password);
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& name() const { return pages_->name(); }
  const Header& header() const { return header_; }
  const Format& format() const { return pages_->format(); }
  Version version() const { return header_.version; }
  bool jet4() const { return format().jet4; }
  uint32_t pageSize() const { return format().pageSize; }
  uint32_t pageCount() const { return pages_->pageCount(); }
  uint64_t fileSize() const { return pages_->fileSize(); }
  PageSource& pages() const { return *pages_; }
  Page page(uint32_t pg) const { return pages_->page(pg); }

  // MSysObjects, read once. Throws Corrupt when the catalog cannot be read.
  const Catalog& catalog() const;
  // Salvage: the catalog as read past its damage, in place of the whole.
  void supplyCatalog(Catalog catalog) const;
  // The definition whose first TDEF page is `tdefPage`, parsed once and kept.
  // Throws Corrupt when the chain or its sections are damaged.
  const TableDef& tableDef(uint32_t tdefPage) const;

  // Salvage: a data page of MSysObjects its map does not list, whose rows
  // belong to the catalog too. Before the catalog is first read.
  void addCatalogPage(uint32_t pg) const { extraCatalogPages_.push_back(pg); }
  const std::vector<uint32_t>& extraCatalogPages() const { return extraCatalogPages_; }

  // Salvage: a table's catalog row known to be damaged, left out of the
  // catalog (and of the copy); why says how it is known.
  void leaveOutCatalogRow(RowPtr row, std::string why) const;
  // By RowPtr::raw().
  const std::map<uint32_t, std::string>& leftOutCatalogRows() const { return leftOutCatalogRows_; }

  // Salvage: the definition of the table at tdefPage, taken from elsewhere
  // (an older copy of the database) where the file's own cannot be read,
  // with the data pages found to name the table: its map is not known.
  void supplyTableDef(uint32_t tdefPage, TableDef def, std::vector<uint32_t> pages) const;
  // The data pages given with a supplied definition, or null.
  const std::vector<uint32_t>* suppliedPages(uint32_t tdefPage) const;

  // Throws Error 3049 when the file is no longer as it was opened (another
  // program wrote to it meanwhile), so what was read may be inconsistent.
  void checkUnchanged() const;

 private:
  Database(std::shared_ptr<ReadFile> file, const std::optional<std::string>& password);

  Header header_;
  FileState opened_;
  std::unique_ptr<PageSource> pages_;
  mutable std::unique_ptr<Catalog> catalog_;
  mutable std::map<uint32_t, std::unique_ptr<TableDef>> tableDefs_;
  mutable std::vector<uint32_t> extraCatalogPages_;
  mutable std::map<uint32_t, std::string> leftOutCatalogRows_;
  mutable std::map<uint32_t, std::vector<uint32_t>> suppliedPages_;
};

}  // namespace jet
