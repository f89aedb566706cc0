#pragma once

// MSysObjects: every object of the database with its Id, parent, type and
// flags. A local table's Id is the page number of its first TDEF page.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet {

class Database;

namespace object_type {
constexpr int16_t kTable = 1;
constexpr int16_t kDatabase = 2;
constexpr int16_t kContainer = 3;
constexpr int16_t kLinkedOdbc = 4;
constexpr int16_t kQuery = 5;
constexpr int16_t kLinkedTable = 6;
constexpr int16_t kRelationship = 8;
}  // namespace object_type

// Flags of a system object (DAO's dbSystemObject).
constexpr uint32_t kSystemFlags = 0x80000002u;

// A name only Jet and Access give their own tables, which they flag as
// system objects: "MSys" (any case), or f_<GUID>_<column> for a complex
// column's values (Access 2007 and later, also in Jet 4 files).
bool systemName(const std::string& name);

struct CatalogEntry {
  int32_t id = 0;
  int32_t parentId = 0;
  std::string name;  // UTF-8
  int16_t type = 0;
  uint32_t flags = 0;
  uint32_t headerPage = 0;  // data page and row of the entry's MSysObjects row
  uint8_t headerRow = 0;

  bool isTable() const { return type == object_type::kTable; }
  // Jet's objects are Types 1 to 8, Access's own start at 0x8000 (-32768)
  // and count up a little; anything else, null included, is a damaged row.
  bool knownType() const { return (type >= 1 && type <= 8) || type < -32700; }
  // Table Id = TDEF page (the top byte is never set for local tables).
  uint32_t tdefPage() const { return static_cast<uint32_t>(id) & 0x00FFFFFF; }
  // The one definition of a system object: a system name or a
  // system flag bit (0x80000000, 0x00000002).
  bool system() const;
};

struct Catalog {
  std::vector<CatalogEntry> entries;  // in MSysObjects scan order

  // Local tables (Type 1) in scan order; `withSystem` adds the system tables.
  std::vector<const CatalogEntry*> tables(bool withSystem) const;
  // The table of that name (case-insensitive ASCII), or nullptr.
  const CatalogEntry* findTable(const std::string& name) const;
};

// Reads MSysObjects (TDEF at page 2). Throws Corrupt.
Catalog readCatalog(const Database& db);
// Salvage: the rows of MSysObjects that can be read, pages and rows that
// cannot passed over (the copy of the catalog counts them lost). Throws
// Corrupt when its definition cannot be read.
Catalog readableCatalog(const Database& db);

// What MSysObjects' pages still say of the table definition at tdef,
// deleted slots searched too: a deleted row still names its table.
struct CatalogTrace {
  std::optional<CatalogEntry> live;  // the first live row whose Id is tdef, any Type
  std::string deletedName;           // the name the first deleted such row gives, or ""
};
// Slots that decode to no row are passed over. Throws Corrupt when
// MSysObjects' definition cannot be read.
CatalogTrace catalogTraceOf(const Database& db, const std::vector<uint32_t>& pages, uint32_t tdef);

}  // namespace jet
