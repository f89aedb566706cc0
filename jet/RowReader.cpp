#include "jet/RowReader.h"

#include <algorithm>

#include "jet/DataPage.h"
#include "jet/Database.h"
#include "jet/UsageMap.h"

namespace jet {
namespace {

constexpr int kMaxOverflowHops = 16;

[[noreturn]] void badRow(const std::string& what) { throwCorrupt("row trailer: " + what); }

}  // namespace

RowDecoder::RowDecoder(const Database& db, const TableDef& def) : def_(&def), jet4_(db.jet4()) {}

uint16_t RowDecoder::storedColumns(ByteView row) const { return jet4_ ? row.u16(0) : row.u8(0); }

void RowDecoder::decode(ByteView row, std::vector<Field>& fields) const {
  const TableDef& def = *def_;
  fields.resize(def.columns.size());
  const size_t len = row.size();
  const uint32_t stored = storedColumns(row);
  const size_t maskLen = (stored + 7) / 8;
  const size_t fixedStart = jet4_ ? 2 : 1;
  if (len < fixedStart + maskLen) badRow("the row is shorter than its null mask");
  const uint8_t* mask = row.data() + len - maskLen;

  // The variable-offset table, read from the end of the row.
  uint32_t varCount = 0;
  uint32_t offsets[512];  // var columns stored + end-of-data; more means damage
  if (def.numVarCols > 0) {
    if (jet4_) {
      if (len < fixedStart + maskLen + 2) badRow("no room for the variable column count");
      varCount = row.u16(len - maskLen - 2);
      if (varCount + 1 > 512) badRow("too many variable columns");
      const size_t need = maskLen + 2 + 2 * (size_t{varCount} + 1);
      if (need + fixedStart > len) badRow("the variable offsets do not fit the row");
      for (uint32_t i = 0; i <= varCount; ++i) offsets[i] = row.u16(len - maskLen - 4 - 2 * i);
    } else {
      if (len < fixedStart + maskLen + 1) badRow("no room for the variable column count");
      varCount = row.u8(len - maskLen - 1);
      // One-byte offsets plus a jump table for rows longer than 255 bytes.
      size_t jumps = (len - 1) / 256;
      const size_t need = maskLen + 1 + jumps + (size_t{varCount} + 1);
      if (need + fixedStart > len) badRow("the variable offsets do not fit the row");
      const size_t colPtr = len - maskLen - 2 - jumps;
      if ((colPtr - varCount) / 256 < jumps) --jumps;  // the last jump entry is a filler
      size_t used = 0;
      for (uint32_t i = 0; i <= varCount; ++i) {
        while (used < jumps && row.u8(len - maskLen - 2 - used) == i) ++used;
        offsets[i] = row.u8(colPtr - i) + static_cast<uint32_t>(256 * used);
      }
    }
    const size_t trailerStart = len - maskLen - (jet4_ ? 2 + 2 * (size_t{varCount} + 1) : 0);
    for (uint32_t i = 0; i < varCount; ++i)
      if (offsets[i] > offsets[i + 1]) badRow("variable offsets go backwards");
    if (varCount > 0 && offsets[varCount] > trailerStart)
      badRow("variable data runs into the trailer");
  }

  for (size_t k = 0; k < def.columns.size(); ++k) {
    const Column& c = def.columns[k];
    Field& out = fields[k];
    out.null = true;
    out.boolValue = false;
    out.bytes = ByteView();
    if (c.number >= stored) {  // added after the row was written
      out.null = c.type != column_type::kBoolean;
      continue;
    }
    const bool bit = (mask[c.number / 8] >> (c.number % 8)) & 1;
    if (c.type == column_type::kBoolean) {
      out.null = false;
      out.boolValue = bit;
      continue;
    }
    if (!bit) continue;
    if (c.fixed()) {
      out.bytes = row.sub(fixedStart + c.fixedOffset, c.length);
      out.null = false;
    } else {
      if (c.varIndex >= varCount) continue;
      const uint32_t a = offsets[c.varIndex], b = offsets[c.varIndex + 1];
      out.bytes = row.sub(a, b - a);
      out.null = false;
    }
  }
}

RowSlot followOverflow(const Database& db, RowSlot slot, RowPtr& stored) {
  for (int hop = 0; slot.lookup(); ++hop) {
    if (hop >= kMaxOverflowHops) throwCorrupt("an overflow row pointer chain does not end");
    stored = RowPtr::fromRaw(slot.bytes.u32(0));
    slot = readSlot(db, stored);
    // The target carries 0x8000 alone; 0x4000 with it would chain on.
    slot.flags = (slot.flags & kRowLookup) != 0 ? kRowLookup : 0;
  }
  return slot;
}

TableScan::TableScan(const Database& db, const TableDef& def) : db_(&db), def_(&def) {
  pages_ = readUsageMap(db, def.ownedMap).pages;
}

bool TableScan::next(RawRow& row) {
  while (pageIndex_ < pages_.size()) {
    const uint32_t pg = pages_[pageIndex_];
    const ByteView bytes = db_->page(pg);
    // Pages the map lists that are not this table's data pages are skipped
    // here; the checker reports them.
    if (!pageOpen_) {
      if (bytes.u8(0) != page_type::kData || bytes.u32(4) != def_->firstPage) {
        ++pageIndex_;
        continue;
      }
      // A row pointer addresses rows 0..255 only; more slots are damage.
      rowsOnPage_ = std::min<uint32_t>(DataPage(bytes, db_->format()).rowCount(), 256);
      rowIndex_ = 0;
      pageOpen_ = true;
    }
    if (rowIndex_ >= rowsOnPage_) {
      pageOpen_ = false;
      ++pageIndex_;
      continue;
    }
    const uint8_t r = static_cast<uint8_t>(rowIndex_++);
    const DataPage page(bytes, db_->format());
    RowSlot slot;
    try {
      slot = page.slot(r);
    } catch (const Corrupt& e) {
      throw Corrupt("page " + std::to_string(pg) + ": " + e.description());
    }
    if (slot.deleted()) continue;
    row.header = RowPtr{pg, r};
    row.stored = row.header;
    if (slot.lookup()) slot = followOverflow(*db_, slot, row.stored);
    row.bytes = slot.bytes;
    return true;
  }
  return false;
}

}  // namespace jet
