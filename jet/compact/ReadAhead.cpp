#include "jet/compact/ReadAhead.h"

#include <chrono>

#include "jet/db/Database.h"
#include "jet/format/DataPage.h"
#include "jet/format/LongValue.h"
#include "jet/format/Row.h"
#include "jet/format/TableDef.h"

namespace jet::compact {
namespace {

// Far enough ahead to hide a page's wait, near enough that what it touched
// is still mapped and cached when the copy comes.
constexpr size_t kLead = 256;

}  // namespace

ReadAhead::ReadAhead(const Database& db, const TableDef& def, const std::vector<uint32_t>& live,
                     const std::vector<uint32_t>& order) {
  if (db.pages().concurrent() && order.size() > kLead)
    thread_ = std::thread([this, &db, &def, &live, &order] { run(db, def, live, order); });
}

ReadAhead::~ReadAhead() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void ReadAhead::run(const Database& db, const TableDef& def, const std::vector<uint32_t>& live,
                    const std::vector<uint32_t>& order) {
  bool longValues = false;
  for (const Column& c : def.columns) longValues = longValues || c.longValue();
  for (size_t n = 0; n < order.size() && !stop_.load(std::memory_order_relaxed); ++n) {
    while (n > copied_.load(std::memory_order_relaxed) + kLead) {
      if (stop_.load(std::memory_order_relaxed)) return;
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    try {
      const RowSlot row = readRow(db.pages(), RowPtr::fromRaw(live[order[n]]));
      if (!longValues) continue;
      const RowFields fields(def, db.jet4(), row.bytes);
      for (const Column& c : def.columns) {
        if (!c.longValue()) continue;
        const Field f = fields.field(c);
        if (!f.null && !f.bytes.empty()) forEachPiece(db.pages(), f.bytes, [](ByteView, RowPtr) {});
      }
    } catch (const std::exception&) {
      // The copy reads the row again and says what is wrong with it.
    }
  }
}

}  // namespace jet::compact
