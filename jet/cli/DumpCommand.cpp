// jetdb dump: every live row as one JSON object per line.
#include <cstdio>

#include "jet/Database.h"
#include "jet/RowReader.h"
#include "jet/Value.h"
#include "jet/cli/Cli.h"

namespace jetdb {
namespace {

const char kHelp[] =
    "usage: jetdb dump FILE [--password PW] [--table NAME] [--system]\n"
    "\n"
    "Prints every live row of every user table as JSON lines:\n"
    "  {\"table\":\"NAME\",\"row\":{\"COLUMN\":VALUE,...}}\n"
    "Columns come in their defined order. Text and memo are strings, numbers are\n"
    "numbers (currency with four decimals), dates \"YYYY-MM-DD hh:mm:ss\", yes/no\n"
    "true/false, GUIDs \"{...}\", binary and OLE data lowercase hex strings.\n"
    "\n"
    "  --password PW   the database password\n"
    "  --table NAME    only this table (names are case-insensitive)\n"
    "  --system        include the system (MSys*) tables\n";

void dumpTable(const jet::Database& db, const jet::CatalogEntry& entry, std::FILE* out) {
  const jet::TableDef& def = db.tableDef(entry.tdefPage());
  const std::vector<const jet::Column*> order = def.columnsInOrder();
  std::vector<size_t> slot;  // order position -> index into def.columns
  std::vector<std::string> keys;
  for (const jet::Column* c : order) {
    slot.push_back(static_cast<size_t>(c - def.columns.data()));
    keys.push_back(jsonString(c->name) + ":");
  }
  const std::string prefix = "{\"table\":" + jsonString(entry.name) + ",\"row\":{";
  jet::RowDecoder decoder(db, def);
  jet::TableScan scan(db, def);
  jet::RawRow row;
  std::vector<jet::Field> fields;
  jet::Value value;
  std::string line;
  while (scan.next(row)) {
    decoder.decode(row.bytes, fields);
    line = prefix;
    for (size_t k = 0; k < order.size(); ++k) {
      if (k) line.push_back(',');
      line += keys[k];
      jet::decodeValue(db, *order[k], fields[slot[k]], value);
      jet::appendJson(value, line);
    }
    line += "}}\n";
    std::fwrite(line.data(), 1, line.size(), out);
  }
}

}  // namespace

int runDump(int argc, char** argv) {
  const Options o = parseOptions("dump", argc, argv, 2, Accepts{.table = true, .system = true});
  if (o.help) {
    std::fputs(kHelp, stdout);
    return kDone;
  }
  expectPositionals(o, "dump", 1, "FILE");
  const std::string& path = o.positional[0];
  const auto db = jet::Database::open(path, connectFor(o));
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  std::vector<const jet::CatalogEntry*> tables;
  std::string current;
  try {
    if (o.table) {
      const jet::CatalogEntry* e = db->catalog().findTable(*o.table);
      if (!e)
        throw jet::Error(3078, "Cannot find the input table or query '" + *o.table +
                                   "'. Make sure it exists and that its name is spelled "
                                   "correctly.");
      tables.push_back(e);
    } else {
      tables = db->catalog().tables(o.system);
    }
    for (const jet::CatalogEntry* e : tables) {
      current = e->name;
      dumpTable(*db, *e, stdout);
    }
  } catch (const jet::Corrupt& c) {
    std::fflush(stdout);
    throw jet::Error(
        3049, "Cannot read " +
                  (current.empty() ? std::string("the catalog") : "table '" + current + "'") +
                  " of '" + path + "': " + c.description() + ".");
  }
  std::fflush(stdout);
  return kDone;
}

}  // namespace jetdb
