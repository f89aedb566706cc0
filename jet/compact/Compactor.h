#pragma once

// The compaction proper: every table's live rows packed into fresh pages
// (primary-key order where there is one), memo/OLE data repacked, indexes
// bulk-loaded from their existing entries with the rows' new places, table
// definitions kept at their page numbers and patched, usage maps and page 1
// rebuilt, page 0 carried over with clean commit slots.

#include <optional>
#include <vector>

#include "jet/Engine.h"
#include "jet/compact/Digest.h"
#include "jet/compact/ExternalSort.h"
#include "jet/util/FileSystem.h"

namespace jet {
class Database;
class PageCensus;
}  // namespace jet

namespace jet::compact {

class Pacer;

struct WriteOutcome {
  CompactResult result;
  std::vector<TableDigest> digest;     // of the source, as copied
  std::optional<uint64_t> references;  // known references resolving in the source
};

// Where an index that has to be sorted sorts: this many bytes of entries in
// memory, the rest in runs in temporary files.
struct SortSpace {
  size_t budget = 0;
  ExternalSort::SpillFile file;
};

// Writes the compacted database into out. Throws Error 3049 naming table and
// page for damage it cannot mend, Error for write failures and cancellation.
// census: every page of src read once for its owner. templ: salvage's
// template (an older copy of the database), or null.
WriteOutcome writeCompacted(const Database& src, OutputFile& out, const CompactOptions& options,
                            Pacer& pacer, const SortSpace& sort, const PageCensus& census,
                            const Database* templ = nullptr);

}  // namespace jet::compact
