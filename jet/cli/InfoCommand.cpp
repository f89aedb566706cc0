// jetdb info: format, pages and the tables with their row counts.
#include <cstdio>

#include "jet/Engine.h"
#include "jet/cli/Cli.h"

namespace jetdb {
namespace {

const char* versionName(jet::Version v) {
  return v == jet::Version::Jet3 ? "Jet 3 (Access 97)" : "Jet 4 (Access 2000-2003)";
}

void printJson(const std::string& path, const jet::DatabaseInfo& info) {
  std::string s = "{\"file\":" + jsonString(path);
  s += ",\"version\":" + jsonString(info.version == jet::Version::Jet3 ? "Jet3" : "Jet4");
  s += ",\"pageSize\":" + std::to_string(info.pageSize);
  s += ",\"pageCount\":" + std::to_string(info.pageCount);
  s += ",\"freePages\":" + std::to_string(info.freePages);
  s += ",\"codePage\":" + std::to_string(info.codePage);
  s += ",\"sortOrder\":" + std::to_string(info.sortOrder);
  s += ",\"created\":" + (info.version == jet::Version::Jet4
                              ? jsonString(jet::formatDate(info.creationDate))
                              : std::string("null"));
  s += std::string(",\"password\":") + (info.hasPassword ? "true" : "false");
  s += std::string(",\"encoded\":") + (info.encoded ? "true" : "false");
  s += std::string(",\"inUse\":") + (info.inUse ? "true" : "false");
  s += ",\"tables\":[";
  for (size_t i = 0; i < info.tables.size(); ++i) {
    const jet::TableSummary& t = info.tables[i];
    if (i) s += ",";
    s += "{\"name\":" + jsonString(t.name) + ",\"rows\":" + std::to_string(t.rowCount) +
         ",\"tdefPage\":" + std::to_string(t.tdefPage) +
         ",\"system\":" + (t.system ? "true" : "false") + "}";
  }
  s += "]}\n";
  std::fputs(s.c_str(), stdout);
}

void printText(const std::string& path, const jet::DatabaseInfo& info) {
  std::printf("File:        %s\n", path.c_str());
  std::printf("Format:      %s\n", versionName(info.version));
  std::printf("Page size:   %u bytes\n", info.pageSize);
  std::printf("Pages:       %u (%u free)\n", info.pageCount, info.freePages);
  std::printf("Code page:   %u\n", info.codePage);
  std::printf("Sort order:  0x%04X\n", info.sortOrder);
  if (info.version == jet::Version::Jet4)
    std::printf("Created:     %s\n", jet::formatDate(info.creationDate).c_str());
  std::printf("Password:    %s\n", info.hasPassword ? "yes" : "no");
  std::printf("Encoded:     %s\n", info.encoded ? "yes" : "no");
  std::printf("In use:      %s\n", info.inUse ? "yes, another program has it open" : "no");
  size_t width = 5, system = 0;
  for (const jet::TableSummary& t : info.tables) {
    if (t.system)
      ++system;
    else if (t.name.size() > width)
      width = t.name.size();
  }
  std::printf("Tables:      %zu (and %zu system tables)\n", info.tables.size() - system, system);
  for (const jet::TableSummary& t : info.tables)
    if (!t.system)
      std::printf("  %-*s %10llu rows\n", static_cast<int>(width), t.name.c_str(),
                  static_cast<unsigned long long>(t.rowCount));
}

}  // namespace

int runInfo(int argc, char** argv) {
  const Options o = parseOptions("info", argc, argv, 2, Accepts{.json = true});
  if (o.help) return printHelp("info");
  expectPositionals(o, "info", 1, "FILE");
  const jet::DatabaseInfo info = jet::describe(o.positional[0], credentialsFor(o));
  if (info.inUse)
    std::fprintf(stderr,
                 "jetdb: warning: another program has '%s' open; figures may change under "
                 "it.\n",
                 o.positional[0].c_str());
  if (o.json)
    printJson(o.positional[0], info);
  else
    printText(o.positional[0], info);
  return kDone;
}

}  // namespace jetdb
