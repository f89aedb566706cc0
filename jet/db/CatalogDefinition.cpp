#include "jet/db/CatalogDefinition.h"

#include <algorithm>

#include "jet/db/Database.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexKey.h"
#include "jet/format/Row.h"
#include "jet/format/TableDefBuilder.h"

namespace jet {
namespace {

struct CatalogColumn {
  const char* name;
  uint8_t type;
  uint8_t flags;    // as every file has them
  uint16_t length;  // bytes; text and binary: characters, two bytes each in Jet 4
};

// In column-number order, the same in every Jet 3 and Jet 4 file seen.
constexpr uint8_t kFixed = 0x13, kVariable = 0x12;
const CatalogColumn kColumns[] = {
    {"Id", column_type::kLong, kFixed, 4},
    {"ParentId", column_type::kLong, kFixed, 4},
    {"Name", column_type::kText, kVariable, 255},
    {"Type", column_type::kInteger, kFixed, 2},
    {"DateCreate", column_type::kDateTime, kFixed, 8},
    {"DateUpdate", column_type::kDateTime, kFixed, 8},
    {"Owner", column_type::kBinary, 0x32, 255},
    {"Flags", column_type::kLong, kFixed, 4},
    {"Database", column_type::kMemo, kVariable, 0},
    {"Connect", column_type::kMemo, kVariable, 0},
    {"ForeignName", column_type::kText, kVariable, 255},
    {"RmtInfoShort", column_type::kBinary, kVariable, 255},
    {"RmtInfoLong", column_type::kOle, kVariable, 0},
    {"Lv", column_type::kOle, kVariable, 0},
    {"LvProp", column_type::kOle, kVariable, 0},
    {"LvModule", column_type::kOle, kVariable, 0},
    {"LvExtra", column_type::kOle, kVariable, 0},
};

std::vector<Column> columns(bool jet4) {
  std::vector<Column> out;
  uint16_t fixedEnd = 0, vars = 0;
  for (const CatalogColumn& col : kColumns) {
    Column c;
    c.name = col.name;
    c.type = col.type;
    c.flags = col.flags;
    c.number = static_cast<uint16_t>(out.size());
    c.varIndex = vars;  // fixed columns too hold the count of variable ones before
    const bool text = col.type == column_type::kText || col.type == column_type::kBinary;
    c.length = static_cast<uint16_t>(text && jet4 ? 2 * col.length : col.length);
    if (c.fixed()) {
      c.fixedOffset = fixedEnd;
      fixedEnd = static_cast<uint16_t>(fixedEnd + c.length);
    } else {
      ++vars;
    }
    out.push_back(c);
  }
  return out;
}

// ParentIdName (ParentId, Name) and Id, both unique.
void indexes(TableDef& t, bool jet4) {
  const uint8_t flags = jet4 ? 0x81 : 0x01;  // unique; Jet 4 adds 0x80 to every index
  RealIndex byParent, byId;
  byParent.number = 0;
  byParent.columns = {{1, true}, {2, true}};
  byId.number = 1;
  byId.columns = {{0, true}};
  byParent.flags = byId.flags = flags;
  t.realIndexes = {byParent, byId};
  LogicalIndex id, parentName;
  id.name = "Id";
  id.number = id.realIndex = 1;
  id.type = 1;
  parentName.name = "ParentIdName";
  for (LogicalIndex* l : {&id, &parentName})
    l->cascadeUpdates = l->cascadeDeletes = 0x04;  // as every file has them
  t.logicalIndexes = {id, parentName};
}

}  // namespace

TableDef catalogDefinition(const Header& header) {
  const Format& f = header.format();
  TableDef t;
  t.tableType = 'S';
  t.columns = columns(f.jet4);
  indexes(t, f.jet4);
  // Page 0 holds no map: read, they fail. The free-space ones are not null
  // so compaction writes them, as for every memo/OLE column Jet makes.
  for (const Column& c : t.columns)
    if (c.longValue()) t.longValueMaps.push_back({c.number, RowPtr{}, RowPtr{0, 1}, 0});
  TableDef def;
  def.firstPage = 2;
  def.buffer = tableDefPage(
      t, f, databaseSortOrder(f.version, header.sortOrder, header.sortVersion, header.codePage));
  def.pages = {2};
  def.pageHeaders = {le32(def.buffer.data())};
  parseTableDef(def, f);
  return def;
}

namespace {

// What every row is judged by, taken from def once.
class CatalogShape {
 public:
  CatalogShape(const TableDef& def, bool jet4)
      : def_(def),
        jet4_(jet4),
        name_(def.findColumn("Name")),
        id_(def.findColumn("Id")),
        type_(def.findColumn("Type")) {
    shaped_ = name_ && id_ && type_ && name_->type == column_type::kText &&
              id_->type == column_type::kLong && type_->type == column_type::kInteger;
    for (const Column& c : def.columns)
      if (c.fixed()) fixedEnd_ = std::max<uint32_t>(fixedEnd_, c.fixedOffset + c.length);
  }

  bool fits(ByteView bytes) const {
    if (!shaped_) return false;
    const RowFields fields(def_, jet4_, bytes);
    if (fields.storedColumns() != def_.columns.size()) return false;
    const Field n = fields.field(*name_);
    return !n.null && !fields.field(*id_).null && !fields.field(*type_).null &&
           n.bytes.data() == bytes.data() + (jet4_ ? 2 : 1) + fixedEnd_;
  }

 private:
  const TableDef& def_;
  bool jet4_;
  const Column *name_, *id_, *type_;
  bool shaped_ = false;
  uint32_t fixedEnd_ = 0;
};

}  // namespace

bool catalogRowsFit(const Database& db, const TableDef& def, const std::vector<uint32_t>& pages) {
  const CatalogShape shape(def, db.jet4());
  uint32_t fit = 0, misfit = 0;
  for (uint32_t pg : pages) {
    try {
      const DataPage page(db.page(pg), db.format());
      for (uint16_t r = 0; r < std::min<uint16_t>(page.rowCount(), 256); ++r) {
        if (page.slotDeleted(r)) continue;
        try {
          const RowSlot row = readRow(db.pages(), RowPtr{pg, static_cast<uint8_t>(r)});
          ++(shape.fits(row.bytes) ? fit : misfit);
        } catch (const Corrupt&) {
          ++misfit;
        }
      }
    } catch (const Corrupt&) {
      // a page whose rows salvage counts as lost either way
    }
  }
  return fit >= misfit;
}

}  // namespace jet
