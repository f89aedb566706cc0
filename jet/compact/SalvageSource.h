#pragma once

// The source as compaction reads it and, for salvage, what stands in for the
// structures it lost: the header and the catalog's definition (the
// template's, else one made afresh), and catalog rows for tables whose own
// are gone. Each stand-in is named.

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

struct SourceRepairs {
  std::vector<std::string> fromTemplate, madeAfresh;
  std::vector<RecoveredTable> recoveredTables;
};

// Opens src. Where its header cannot be read (3049, 3343), salvage reads it
// through the template's header, else through one made afresh; otherwise the
// error stands. file receives the file as it is read.
std::unique_ptr<Database> openSource(FileSystem& fs, const std::string& src,
                                     const Credentials& credentials, const Database* templ,
                                     bool salvage, std::shared_ptr<ReadFile>& file,
                                     SourceRepairs& repairs);

// Salvage: the source with a definition of the catalog where its own cannot
// be read (the template's, else one made afresh), and catalog rows for lost
// tables on a page after its last, which the census learns of.
std::unique_ptr<Database> repairedForSalvage(std::unique_ptr<Database> source,
                                             const std::shared_ptr<ReadFile>& file,
                                             const Credentials& credentials, const Database* templ,
                                             PageCensus& census, SourceRepairs& repairs);

}  // namespace jet::compact
