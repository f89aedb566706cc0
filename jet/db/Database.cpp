#include "jet/db/Database.h"

#include "jet/format/Password.h"

namespace jet {

std::unique_ptr<Database> Database::open(FileSystem& fs, const std::string& path,
                                         const std::optional<std::string>& password) {
  return open(fs.openRead(path), password);
}

std::unique_ptr<Database> Database::open(std::shared_ptr<ReadFile> file,
                                         const std::optional<std::string>& password) {
  return std::unique_ptr<Database>(new Database(std::move(file), password));
}

Database::Database(std::shared_ptr<ReadFile> file, const std::optional<std::string>& password) {
  opened_ = file->state();
  // Page 0 is read apart: its size depends on the version it names.
  std::vector<uint8_t> head(4096);
  head.resize(file->readAt(0, head.data(), head.size()));
  header_ = parseHeader(ByteView(head), file->name());
  if (header_.hasPassword() && !passwordMatches(header_, password.value_or("")))
    throw Error(3031, "Not a valid password.");
  pages_ = std::make_unique<PageSource>(std::move(file), header_.format(), header_.dbKey);
}

void Database::checkUnchanged() const {
  const FileState now = pages_->file().state();
  if (now.size != opened_.size || now.mtimeSeconds != opened_.mtimeSeconds ||
      now.mtimeNanoseconds != opened_.mtimeNanoseconds)
    throw Error(3049, "'" + name() +
                          "' changed while it was read, so what was read may not fit together. "
                          "Another program may be writing to it; close it and try again.");
}

const Catalog& Database::catalog() const {
  if (!catalog_) supplyCatalog(readCatalog(*this));
  return *catalog_;
}

void Database::leaveOutCatalogRow(RowPtr row, std::string why) const {
  leftOutCatalogRows_.emplace(row.raw(), std::move(why));
  if (catalog_) supplyCatalog(std::move(*catalog_));
}

void Database::supplyCatalog(Catalog catalog) const {
  std::erase_if(catalog.entries, [&](const CatalogEntry& e) {
    return leftOutCatalogRows_.count(RowPtr{e.headerPage, e.headerRow}.raw()) > 0;
  });
  catalog_ = std::make_unique<Catalog>(std::move(catalog));
}

const TableDef& Database::tableDef(uint32_t tdefPage) const {
  auto it = tableDefs_.find(tdefPage);
  if (it == tableDefs_.end())
    it = tableDefs_.emplace(tdefPage, std::make_unique<TableDef>(readTableDef(*pages_, tdefPage)))
             .first;
  return *it->second;
}

void Database::supplyTableDef(uint32_t tdefPage, TableDef def, std::vector<uint32_t> pages) const {
  def.firstPage = tdefPage;
  tableDefs_[tdefPage] = std::make_unique<TableDef>(std::move(def));
  suppliedPages_[tdefPage] = std::move(pages);
}

const std::vector<uint32_t>* Database::suppliedPages(uint32_t tdefPage) const {
  const auto it = suppliedPages_.find(tdefPage);
  return it == suppliedPages_.end() ? nullptr : &it->second;
}

}  // namespace jet
