// Fuzz target: a file's bytes through open, describe, check and dump, and
// every index walked. Anything but a jet::Error is a bug.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/Checker.h"
#include "jet/Database.h"
#include "jet/Dump.h"
#include "jet/Engine.h"
#include "jet/IndexReader.h"

namespace {

// The seeds include password-protected files; try their passwords too.
std::unique_ptr<jet::Database> openAny(const uint8_t* data, size_t size) {
  for (const char* connect : {"", ";pwd=m0ssb4nk7q", ";pwd=password"}) {
    try {
      return jet::Database::fromBytes(std::vector<uint8_t>(data, data + size), "fuzz.mdb", connect);
    } catch (const jet::Error& e) {
      if (e.number() != 3031) return nullptr;
    }
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::unique_ptr<jet::Database> db = openAny(data, size);
  if (!db) return 0;
  try {
    (void)jet::describe(*db);
  } catch (const jet::Error&) {
  }
  jet::CheckReport report;
  jet::checkDatabase(*db, report);
  try {
    for (const jet::CatalogEntry* t : db->catalog().tables(true)) {
      try {
        jet::dumpTable(*db, *t, [](const std::string&) {});
        for (const jet::RealIndex& index : db->tableDef(t->tdefPage()).realIndexes)
          (void)jet::readIndexEntries(*db, index);
      } catch (const jet::Error&) {
      }
    }
  } catch (const jet::Error&) {
  }
  return 0;
}
