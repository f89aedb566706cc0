// jetdb dump: every live row as one JSON object per line.
#include <cstdio>

#include "jet/Database.h"
#include "jet/Dump.h"
#include "jet/cli/Cli.h"

namespace jetdb {
int runDump(int argc, char** argv) {
  const Options o = parseOptions("dump", argc, argv, 2, Accepts{.table = true, .system = true});
  if (o.help) return printHelp("dump");
  expectPositionals(o, "dump", 1, "FILE");
  const std::string& path = o.positional[0];
  const auto db = jet::Database::open(path, credentialsFor(o));
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
      jet::dumpTable(*db, *e, [](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
      });
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
