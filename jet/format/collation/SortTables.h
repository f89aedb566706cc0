#pragma once

// The packed per-character index codes of the three sort orders, written by
// tools/gen_sort_tables.py (format described there) as base64 text;
// CodeTable unpacks them.

#include <cstddef>
#include <cstdint>

namespace jet::collation {

extern const char kGeneral97[];  // Jet 3 General, by code-page byte
extern const size_t kGeneral97Size;
extern const char kGeneralLegacy[];  // Jet 4 General, sort-order version 0
extern const size_t kGeneralLegacySize;
extern const char kGeneral[];  // Jet 4 General, sort-order version 1
extern const size_t kGeneralSize;

}  // namespace jet::collation
