// Fuzz target: a file's bytes through open, check and every table's rows,
// long values and indexes. Anything but a jet::Error is a bug.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "jet/db/Checker.h"
#include "jet/db/Database.h"
#include "jet/db/Dump.h"
#include "jet/format/IndexPage.h"

namespace {

// The input as a file, so nothing touches the disk.
class MemoryFile : public jet::ReadFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) : bytes_(data, data + size) {}
  size_t readAt(uint64_t offset, uint8_t* data, size_t size) override {
    if (offset >= bytes_.size()) return 0;
    const size_t n = std::min<uint64_t>(size, bytes_.size() - offset);
    std::memcpy(data, bytes_.data() + offset, n);
    return n;
  }
  jet::FileState state() override { return {bytes_.size(), 0, 0, 0, 0}; }
  const std::string& name() const override { return name_; }

 private:
  std::vector<uint8_t> bytes_;
  std::string name_ = "fuzz.mdb";
};

// The seeds include password-protected files; try their passwords too.
std::unique_ptr<jet::Database> openAny(const uint8_t* data, size_t size) {
  const auto file = std::make_shared<MemoryFile>(data, size);
  for (const std::optional<std::string>& password :
       {std::optional<std::string>(), std::optional<std::string>("m0ssb4nk7q"),
        std::optional<std::string>("password")}) {
    try {
      return jet::Database::open(file, password);
    } catch (const jet::Error& e) {
      if (e.number() != 3031) return nullptr;
    }
  }
  return nullptr;
}

struct Walk : jet::IndexVisitor {};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::unique_ptr<jet::Database> db = openAny(data, size);
  if (!db) return 0;
  jet::CheckReport report;
  jet::checkDatabase(*db, report, nullptr);
  try {
    for (const jet::CatalogEntry* t : db->catalog().tables(true)) {
      try {
        jet::dumpTable(*db, *t, [](const std::string&) {});
        const jet::TableDef& def = db->tableDef(t->tdefPage());
        for (const jet::RealIndex& index : def.realIndexes) {
          Walk walk;
          jet::walkIndex(db->pages(), index.rootPage, def.firstPage, walk);
        }
      } catch (const jet::Error&) {
      }
    }
  } catch (const jet::Error&) {
  }
  return 0;
}
