#include "jet/format/TableDef.h"

#include <algorithm>
#include <set>

#include "jet/util/Text.h"

namespace jet {
namespace {

// Count fields that each need `size` bytes must fit in what is left.
void checkCount(uint64_t count, uint64_t size, size_t pos, const ByteView& buf, const char* what) {
  if (pos > buf.size() || count * size > buf.size() - pos)
    throwCorrupt(std::to_string(count) + " " + what + " do not fit the table definition");
}

std::string readName(const ByteView& buf, size_t& pos, const Format& f) {
  const uint32_t n = f.jet4 ? buf.u16(pos) : buf.u8(pos);
  pos += f.nameLengthSize;
  const ByteView bytes = buf.sub(pos, n);
  pos += n;
  return nameOf(f.version, bytes);
}

// A column number is the row's null-mask bit: two columns sharing one, or one
// past max_cols, would read other columns' data (or none) in every row.
void checkColumnNumbers(const TableDef& t) {
  if (t.numCols > t.maxCols)
    throwCorrupt("the definition has " + std::to_string(t.numCols) + " columns but room for " +
                 std::to_string(t.maxCols));
  std::set<uint16_t> numbers, varIndexes;
  std::vector<std::pair<uint32_t, uint32_t>> fixedSpans;
  for (const Column& c : t.columns) {
    if (c.number >= t.maxCols || !numbers.insert(c.number).second)
      throwCorrupt("column '" + c.name + "' has number " + std::to_string(c.number) +
                   (c.number >= t.maxCols ? ", past the table's " + std::to_string(t.maxCols)
                                          : ", which another column has too"));
    if (c.type == column_type::kBoolean) continue;  // held in the null mask
    if (!c.fixed() && !varIndexes.insert(c.varIndex).second)
      throwCorrupt("column '" + c.name + "' shares its variable-column slot with another");
    if (c.fixed()) fixedSpans.emplace_back(c.fixedOffset, uint32_t{c.fixedOffset} + c.length);
  }
  std::sort(fixedSpans.begin(), fixedSpans.end());
  for (size_t i = 1; i < fixedSpans.size(); ++i)
    if (fixedSpans[i].first < fixedSpans[i - 1].second)
      throwCorrupt("two fixed-length columns overlap at offset " +
                   std::to_string(fixedSpans[i].first));
}

}  // namespace

std::vector<const Column*> TableDef::columnsInOrder() const {
  std::vector<const Column*> out;
  out.reserve(columns.size());
  for (const Column& c : columns) out.push_back(&c);
  std::stable_sort(out.begin(), out.end(),
                   [](const Column* a, const Column* b) { return a->number < b->number; });
  return out;
}

const Column* TableDef::findColumn(const std::string& name) const {
  for (const Column& c : columns)
    if (sameName(c.name, name)) return &c;
  return nullptr;
}

const Column* TableDef::columnByNumber(uint16_t number) const {
  for (const Column& c : columns)
    if (c.number == number) return &c;
  return nullptr;
}

const LogicalIndex* TableDef::logicalIndexOf(const RealIndex& index) const {
  for (const LogicalIndex& li : logicalIndexes)
    if (li.realIndex == index.number) return &li;
  return nullptr;
}

size_t TableDef::primaryKeyIndex() const {
  for (const LogicalIndex& li : logicalIndexes)
    if (li.primaryKey() && li.realIndex < realIndexes.size()) return li.realIndex;
  return SIZE_MAX;
}

TableDef readTableDef(PageSource& pages, uint32_t firstPage) {
  TableDef t;
  t.firstPage = firstPage;
  for (uint32_t pg = firstPage; pg != 0;) {
    if (!pages.hasPage(pg))
      throwCorrupt("table definition page " + std::to_string(pg) +
                   " lies past the end of the file");
    if (std::find(t.pages.begin(), t.pages.end(), pg) != t.pages.end())
      throwCorrupt("the table definition chain loops back to page " + std::to_string(pg));
    const Page page = pages.page(pg);
    const ByteView b = page.bytes();
    if (b.u8(0) != page_type::kTableDef)
      throwCorrupt("page " + std::to_string(pg) + " is not a table definition page");
    t.pages.push_back(pg);
    t.pageHeaders.push_back(b.u32(0));
    t.buffer.insert(t.buffer.end(), b.begin() + (t.buffer.empty() ? 0 : 8), b.end());
    pg = b.u32(4);
  }
  parseTableDef(t, pages.format());
  return t;
}

void parseTableDef(TableDef& t, const Format& f) {
  ByteView b(t.buffer);
  t.length = b.u32(f.tdefLength);
  if (t.length > b.size()) throwCorrupt("the definition is longer than its pages");
  b = b.sub(0, t.length);
  t.numRowsOffset = f.tdefNumRows;
  t.numRows = b.u32(f.tdefNumRows);
  t.autoNumberOffset = f.tdefAutoNumber;
  t.autoNumber = b.u32(f.tdefAutoNumber);
  t.tableType = b.u8(f.tdefTableType);
  t.maxCols = b.u16(f.tdefMaxCols);
  t.numVarCols = b.u16(f.tdefNumVarCols);
  t.numCols = b.u16(f.tdefNumCols);
  t.numIdx = b.u32(f.tdefNumIdx);
  t.numRealIdx = b.u32(f.tdefNumRealIdx);
  t.ownedMapOffset = f.tdefOwnedMap;
  t.ownedMap = RowPtr::fromRaw(b.u32(f.tdefOwnedMap));
  t.freeMapOffset = f.tdefFreeMap;
  t.freeMap = RowPtr::fromRaw(b.u32(f.tdefFreeMap));
  if (t.numIdx > 1000 || t.numRealIdx > 1000)
    throwCorrupt("the definition claims " + std::to_string(t.numIdx) + " indexes");

  size_t pos = f.tdefSections;
  checkCount(t.numRealIdx, f.realIndexCountSize, pos, b, "index statistics");
  t.realIndexes.resize(t.numRealIdx);
  for (uint32_t i = 0; i < t.numRealIdx; ++i) {
    t.realIndexes[i].number = i;
    t.realIndexes[i].countOffset = pos;
    t.realIndexes[i].uniqueCount = b.u32(pos + 4);
    pos += f.realIndexCountSize;
  }

  checkCount(t.numCols, f.columnSize, pos, b, "columns");
  t.columns.resize(t.numCols);
  for (Column& c : t.columns) {
    c.descriptorOffset = pos;
    c.type = b.u8(pos + f.colType);
    c.number = b.u16(pos + f.colNumber);
    c.varIndex = b.u16(pos + f.colVarIndex);
    c.flags = b.u8(pos + f.colFlags);
    c.extFlags = f.jet4 ? b.u8(pos + f.colExtFlags) : 0;
    c.fixedOffset = b.u16(pos + f.colFixedOffset);
    c.length = b.u16(pos + f.colLength);
    c.precision = b.u8(pos + f.colPrecision);
    c.scale = b.u8(pos + f.colScale);
    pos += f.columnSize;
  }
  for (Column& c : t.columns) c.name = readName(b, pos, f);

  checkCount(t.numRealIdx, f.realIndexSize, pos, b, "indexes");
  for (RealIndex& ri : t.realIndexes) {
    ri.definitionOffset = pos;
    for (int k = 0; k < 10; ++k) {
      const uint16_t col = b.u16(pos + f.realIdxColumns + 3 * k);
      const uint8_t order = b.u8(pos + f.realIdxColumns + 3 * k + 2);
      if (col != 0xFFFF) ri.columns.push_back(IndexColumn{col, order != 0});
    }
    ri.usageMap = RowPtr::fromRaw(b.u32(pos + f.realIdxUsageMap));
    ri.rootPage = b.u32(pos + f.realIdxRoot);
    ri.flags = b.u8(pos + f.realIdxFlags);
    pos += f.realIndexSize;
  }

  checkCount(t.numIdx, f.logicalIndexSize, pos, b, "logical indexes");
  t.logicalIndexes.resize(t.numIdx);
  for (LogicalIndex& li : t.logicalIndexes) {
    li.definitionOffset = pos;
    li.number = b.u32(pos + f.logIdxNumber);
    li.realIndex = b.u32(pos + f.logIdxRealIndex);
    li.relationRole = b.u8(pos + f.logIdxRelRole);
    li.relatedIndex = static_cast<int32_t>(b.u32(pos + f.logIdxRelIndex));
    li.relatedTable = b.u32(pos + f.logIdxRelTable);
    li.cascadeUpdates = b.u8(pos + f.logIdxCascadeUpdates);
    li.cascadeDeletes = b.u8(pos + f.logIdxCascadeDeletes);
    li.type = b.u8(pos + f.logIdxType);
    pos += f.logicalIndexSize;
  }
  for (LogicalIndex& li : t.logicalIndexes) li.name = readName(b, pos, f);

  // Long-value column maps up to FF FF; older writers may end the buffer early.
  while (pos + 2 <= b.size()) {
    const uint16_t col = b.u16(pos);
    if (col == 0xFFFF) {
      pos += 2;
      break;
    }
    LongValueMap m;
    m.column = col;
    m.owned = RowPtr::fromRaw(b.u32(pos + 2));
    m.free = RowPtr::fromRaw(b.u32(pos + 6));
    m.offset = pos;
    t.longValueMaps.push_back(m);
    pos += 10;
  }
  t.parsedLength = pos;
  checkColumnNumbers(t);
}

namespace {

struct TypeWidth {
  uint8_t type;
  uint16_t bytes;
  const char* name;
};

// The width each fixed-size type stores; Yes/No lives in the null mask.
const TypeWidth* widthOf(uint8_t type) {
  static constexpr TypeWidth kWidths[] = {
      {column_type::kBoolean, 1, "Yes/No"},    {column_type::kByte, 1, "Byte"},
      {column_type::kInteger, 2, "Integer"},   {column_type::kLong, 4, "Long"},
      {column_type::kCurrency, 8, "Currency"}, {column_type::kSingle, 4, "Single"},
      {column_type::kDouble, 8, "Double"},     {column_type::kDateTime, 8, "Date/Time"},
      {column_type::kGuid, 16, "GUID"},        {column_type::kNumeric, 17, "Decimal"},
  };
  for (const TypeWidth& w : kWidths)
    if (w.type == type) return &w;
  return nullptr;
}

}  // namespace

std::optional<std::string> sharedColumnName(const TableDef& def) {
  std::set<std::string> names;
  for (const Column& col : def.columns)
    if (!names.insert(foldName(col.name)).second) return col.name;
  return std::nullopt;
}

std::optional<std::string> layoutFault(const TableDef& def) {
  std::vector<const Column*> fixed;
  for (const Column& col : def.columns) {
    const TypeWidth* w = widthOf(col.type);
    if (w && (col.type == column_type::kBoolean ? col.length > 1 : col.length != w->bytes))
      return "Column '" + col.name + "' is " + w->name + " but " + std::to_string(col.length) +
             " bytes wide";
    if (col.fixed() && col.type != column_type::kBoolean && col.length > 0) fixed.push_back(&col);
  }
  std::sort(fixed.begin(), fixed.end(),
            [](const Column* a, const Column* b) { return a->fixedOffset < b->fixedOffset; });
  // A Yes/No value lives in the null mask, but readers still take its
  // offset as a place in the fixed area: one past the end reads no row.
  const uint32_t fixedEnd = fixed.empty() ? 0 : fixed.back()->fixedOffset + fixed.back()->length;
  // Types Jet has never written (0, or past the large-number type of the
  // newest files): no reader knows how wide the value is.
  constexpr uint8_t kLastType = 0x13;
  size_t variable = 0;
  for (const Column& col : def.columns) {
    if (col.type == 0 || col.type > kLastType)
      return "Column '" + col.name + "' has type " + std::to_string(col.type) +
             ", which no column has";
    variable += !col.fixed() && col.type != column_type::kBoolean;
  }
  // Readers size a row's variable part by the definition's count.
  if (variable > def.numVarCols)
    return "The definition counts " + std::to_string(def.numVarCols) + " variable columns of its " +
           std::to_string(variable);
  // A variable column's slot past any column the table ever had reads no
  // row's value: every row would come out with it empty.
  for (const Column& col : def.columns)
    if (!col.fixed() && col.type != column_type::kBoolean && col.varIndex >= def.maxCols)
      return "Column '" + col.name + "' takes variable slot " + std::to_string(col.varIndex) +
             ", past the table's " + std::to_string(def.maxCols) + " columns";
  for (const Column& col : def.columns)
    if (col.type == column_type::kBoolean && col.fixed() && col.fixedOffset > fixedEnd)
      return "Yes/No column '" + col.name + "' lies at " + std::to_string(col.fixedOffset) +
             ", past the fixed part of the row";
  for (size_t k = 1; k < fixed.size(); ++k)
    if (fixed[k - 1]->fixedOffset + fixed[k - 1]->length > fixed[k]->fixedOffset)
      return "Columns '" + fixed[k - 1]->name + "' and '" + fixed[k]->name +
             "' share bytes of the row";
  return std::nullopt;
}

}  // namespace jet
