#pragma once

// The compaction proper: every table's live rows packed into fresh pages
// (primary-key order where there is one), long values repacked, indexes
// bulk-loaded from their existing entries with remapped row pointers, TDEFs
// kept at their page numbers and patched, usage maps and page 1 rebuilt,
// page 0 carried over with clean commit slots.

#include <cstdint>
#include <vector>

#include "jet/CompactDigest.h"
#include "jet/CompactSource.h"
#include "jet/Engine.h"
#include "jet/WriteFile.h"

namespace jet::compact {

struct WriteOutcome {
  CompactResult result;
  std::vector<TableDigest> digest;  // of the source, as copied
  std::vector<CatalogTable> tables;
};

// Writes the compacted database into out. progress gets fractions in
// [from, to]. Throws Corrupt (naming table and page) for damage it cannot
// mend, Error for write failures and cancellation.
WriteOutcome writeCompacted(SourceFile& src, WriteFile& out, const CompactOptions& options,
                            const Progress& progress, double from, double to);

}  // namespace jet::compact
