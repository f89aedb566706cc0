#include "jet/format/TableDefBuilder.h"

#include <algorithm>

#include "jet/util/Text.h"

namespace jet {
namespace {

// What Access writes in every Jet 4 definition, meaning unknown.
constexpr uint32_t kTableMagic = 1625, kIndexMagic = 1923;

class Out {
 public:
  // n zero bytes at the end, to be filled.
  uint8_t* grow(size_t n) {
    bytes.resize(bytes.size() + n, 0);
    return bytes.data() + bytes.size() - n;
  }
  void name(const Format& f, const std::string& utf8) {
    const std::string stored = storedText(f.version, utf8);
    uint8_t* p = grow(f.nameLengthSize + stored.size());
    if (f.jet4)
      putLe16(p, static_cast<uint16_t>(stored.size()));
    else
      p[0] = static_cast<uint8_t>(stored.size());
    std::copy(stored.begin(), stored.end(), p + f.nameLengthSize);
  }
  std::vector<uint8_t> bytes;
};

void header(Out& out, const TableDef& t, const Format& f) {
  uint8_t* p = out.grow(f.tdefSections);
  p[0] = page_type::kTableDef;
  p[1] = 0x01;
  if (f.jet4) {
    putLe32(p + 12, kTableMagic);
    p[24] = 1;  // Access sets it; autonumbering needs it
  } else {
    p[2] = 'V', p[3] = 'C';
  }
  putLe32(p + f.tdefNumRows, t.numRows);
  putLe32(p + f.tdefAutoNumber, t.autoNumber);
  p[f.tdefTableType] = t.tableType;
  uint16_t maxCols = t.maxCols, vars = 0;
  for (const Column& c : t.columns) {
    maxCols = std::max<uint16_t>(maxCols, static_cast<uint16_t>(c.number + 1));
    if (!c.fixed()) ++vars;
  }
  putLe16(p + f.tdefMaxCols, maxCols);
  putLe16(p + f.tdefNumVarCols, vars);
  putLe16(p + f.tdefNumCols, static_cast<uint16_t>(t.columns.size()));
  putLe32(p + f.tdefNumIdx, static_cast<uint32_t>(t.logicalIndexes.size()));
  putLe32(p + f.tdefNumRealIdx, static_cast<uint32_t>(t.realIndexes.size()));
  putLe32(p + f.tdefOwnedMap, t.ownedMap.raw());
  putLe32(p + f.tdefFreeMap, t.freeMap.raw());
}

void column(Out& out, const Column& c, const Format& f, const SortOrder& order) {
  uint8_t* p = out.grow(f.columnSize);
  p[f.colType] = c.type;
  if (f.jet4)
    putLe32(p + 1, kTableMagic);
  else
    p[7] = 1;  // in every Jet 3 descriptor
  putLe16(p + f.colNumber, c.number);
  putLe16(p + f.colVarIndex, c.varIndex);
  putColumnSortOrder(f.version, p, order);
  if (c.type == column_type::kNumeric) p[f.colPrecision] = c.precision, p[f.colScale] = c.scale;
  p[f.colFlags] = c.flags;
  if (f.jet4) p[f.colExtFlags] = c.extFlags;
  putLe16(p + f.colFixedOffset, c.fixedOffset);
  putLe16(p + f.colLength, c.length);
}

void realIndex(Out& out, const RealIndex& r, const Format& f) {
  uint8_t* p = out.grow(f.realIndexSize);
  if (f.jet4) putLe32(p, kIndexMagic);
  for (size_t k = 0; k < 10; ++k) {
    uint8_t* at = p + f.realIdxColumns + 3 * k;
    putLe16(at, k < r.columns.size() ? r.columns[k].column : 0xFFFF);
    at[2] = k < r.columns.size() && r.columns[k].ascending ? 1 : 0;
  }
  putLe32(p + f.realIdxUsageMap, r.usageMap.raw());
  putLe32(p + f.realIdxRoot, r.rootPage);
  p[f.realIdxFlags] = r.flags;
}

void logicalIndex(Out& out, const LogicalIndex& l, const Format& f) {
  uint8_t* p = out.grow(f.logicalIndexSize);
  if (f.jet4) putLe32(p, kTableMagic);
  putLe32(p + f.logIdxNumber, l.number);
  putLe32(p + f.logIdxRealIndex, l.realIndex);
  p[f.logIdxRelRole] = l.relationRole;
  putLe32(p + f.logIdxRelIndex, static_cast<uint32_t>(l.relatedIndex));
  putLe32(p + f.logIdxRelTable, l.relatedTable);
  p[f.logIdxCascadeUpdates] = l.cascadeUpdates;
  p[f.logIdxCascadeDeletes] = l.cascadeDeletes;
  p[f.logIdxType] = l.type;
}

}  // namespace

std::vector<uint8_t> tableDefPage(const TableDef& t, const Format& f, const SortOrder& order) {
  Out out;
  header(out, t, f);
  for (const RealIndex& r : t.realIndexes)
    putLe32(out.grow(f.realIndexCountSize) + 4, r.uniqueCount);
  for (const Column& c : t.columns) column(out, c, f, order);
  for (const Column& c : t.columns) out.name(f, c.name);
  for (const RealIndex& r : t.realIndexes) realIndex(out, r, f);
  for (const LogicalIndex& l : t.logicalIndexes) logicalIndex(out, l, f);
  for (const LogicalIndex& l : t.logicalIndexes) out.name(f, l.name);
  for (const LongValueMap& m : t.longValueMaps) {
    uint8_t* p = out.grow(10);
    putLe16(p, m.column);
    putLe32(p + 2, m.owned.raw());
    putLe32(p + 6, m.free.raw());
  }
  putLe16(out.grow(2), 0xFFFF);
  const size_t length = out.bytes.size();
  if (length > f.pageSize)
    throwCorrupt("a table definition of " + std::to_string(length) + " bytes does not fit a page");
  putLe32(out.bytes.data() + f.tdefLength, static_cast<uint32_t>(length));
  if (f.jet4 && length + 8 <= f.pageSize)
    putLe16(out.bytes.data() + 2, static_cast<uint16_t>(f.pageSize - length - 8));
  out.bytes.resize(f.pageSize, 0);
  return out.bytes;
}

}  // namespace jet
