#pragma once

// An older healthy copy of the same database (a dated backup) standing in
// for structures of the source that can no longer be read: its header, its
// table definitions. Never its rows: every row comes from the source.

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jet/format/TableDef.h"
#include "jet/util/FileSystem.h"

namespace jet {
class Database;
}

namespace jet::compact {

// The source read through the template's page 0.
std::shared_ptr<ReadFile> withHeaderOf(std::shared_ptr<ReadFile> source, const Database& templ);

// The source read through a header made afresh, where its own is lost and
// no template is given: the version and page size deduced from the
// catalog's definition on page 2 (else MSysACEs' on page 3), the sort order
// from the catalog's Name column (else General), the password the user
// gave, the creation date now. Null, with why, when neither page reads as a
// table definition (an encoded file: that takes the template).
std::shared_ptr<ReadFile> withFreshHeader(std::shared_ptr<ReadFile> source,
                                          const std::optional<std::string>& password,
                                          std::string& why);

// The template's definition of the table `name`, made to stand at the
// source's page tdef: its usage-map pointers name nothing (salvage finds the
// rows by their pages' owner), and its foreign keys name the source's pages,
// matched by table name. nullopt, with why, when that cannot be done.
std::optional<TableDef> definitionFrom(const Database& templ, const Database& src,
                                       const std::string& name, uint32_t tdef, std::string& why);

// The name of the template's table that the source's table at tdef is,
// where its own name is lost: the one table of the same columns whose name
// (folded) is not taken, told apart where several are by their indexes,
// then by the rows each shares with the source's rows on `pages`. "" where
// nothing tells one apart: a name is never guessed.
std::string nameFromTemplate(const Database& templ, const Database& src, uint32_t tdef,
                             const std::vector<uint32_t>& pages,
                             const std::set<std::string>& taken);

}  // namespace jet::compact
