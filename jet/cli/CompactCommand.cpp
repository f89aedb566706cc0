// jetdb compact: a compacted copy through jet::compactDatabase.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "jet/Engine.h"
#include "jet/cli/Cli.h"
#include "jet/util/FileSystem.h"

namespace jetdb {
namespace {

// The fraction done as bytes of the source; on a terminal also the rate and
// the time left, which is what a user waiting on a 2 GB file wants to know.
struct ProgressPrinter {
  bool bar = false;
  bool lines = false;
  uint64_t total = 0;  // source bytes
  int last = -1;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

  bool operator()(double fraction) {
    if (fraction < 0) fraction = 0;
    if (fraction > 1) fraction = 1;
    const int permille = static_cast<int>(fraction * 1000);
    const double mb = fraction * static_cast<double>(total) / (1 << 20);
    if (bar && permille != last) {
      const int filled = permille * 30 / 1000;
      const double s =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      std::string rate;
      if (s > 0.5 && fraction > 0.01)
        rate = ", " + std::to_string(static_cast<long>(mb / s)) + " MB/s, " +
               std::to_string(static_cast<long>(s * (1 - fraction) / fraction + 0.5)) + " s left";
      std::fprintf(stderr, "\r[%.*s%.*s] %3d%%  %.0f of %.0f MB%s   ", filled,
                   "##############################", 30 - filled, "                              ",
                   permille / 10, mb, static_cast<double>(total) / (1 << 20), rate.c_str());
      std::fflush(stderr);
    } else if (lines && permille / 100 != last / 100) {
      std::fprintf(stderr, "progress %d%% (%.0f of %.0f MB)\n", permille / 100 * 10, mb,
                   static_cast<double>(total) / (1 << 20));
    }
    last = permille;
    return true;
  }
  void finish() {
    if (bar && last >= 0) std::fputc('\n', stderr);
  }
};

std::string rebuiltJson(const jet::CompactResult& r) {
  std::string s;
  for (const jet::IndexRebuilt& i : r.indexesRebuilt)
    s += std::string(s.empty() ? "" : ",") + "{\"table\":" + jsonString(i.table) +
         ",\"index\":" + jsonString(i.index) + ",\"reason\":" + jsonString(i.reason) + "}";
  return s;
}

std::string lostJson(const std::vector<jet::RowsLost>& lost) {
  std::string s;
  for (const jet::RowsLost& l : lost)
    s += std::string(s.empty() ? "" : ",") + "{\"table\":" + jsonString(l.table) +
         ",\"page\":" + std::to_string(l.page) +
         ",\"rows\":" + (l.rows < 0 ? "null" : std::to_string(l.rows)) +
         ",\"values\":" + std::to_string(l.values) + ",\"reason\":" + jsonString(l.reason) + "}";
  return s;
}

std::string stringsJson(const std::vector<std::string>& strings) {
  std::string s;
  for (const std::string& t : strings) s += std::string(s.empty() ? "" : ",") + jsonString(t);
  return s;
}

std::string templateJson(const jet::CompactResult& r) {
  std::string s;
  for (const std::string& t : r.fromTemplate)
    s += std::string(s.empty() ? "" : ",") + jsonString(t);
  return s;
}

std::string tablesJson(const jet::CompactResult& r) {
  std::string s;
  for (const jet::RecoveredTable& t : r.recoveredTables)
    s += std::string(s.empty() ? "" : ",") + "{\"table\":" + jsonString(t.table) +
         ",\"fromPage\":" + std::to_string(t.fromPage) + ",\"named\":" + jsonString(t.named) + "}";
  return s;
}

void printLost(const jet::CompactResult& r) {
  for (const jet::RecoveredTable& t : r.recoveredTables)
    std::printf(
        "  table:   '%s' from the definition at page %u, no longer in the catalog (named "
        "by: %s)\n",
        t.table.c_str(), t.fromPage, t.named.c_str());
  for (const std::string& t : r.fromTemplate) std::printf("  from the template: %s\n", t.c_str());
  for (const std::string& t : r.madeAfresh) std::printf("  made afresh: %s\n", t.c_str());
  std::printf("  lost:    %llu rows%s\n", static_cast<unsigned long long>(r.rowsLost),
              r.uncounted ? " and those of pages that could not be counted" : "");
  for (const jet::RowsLost& l : r.lost) {
    const std::string what = l.rows < 0   ? "rows that cannot be counted"
                             : l.rows > 0 ? std::to_string(l.rows) + " rows"
                                          : std::to_string(l.values) + " memo/OLE values emptied";
    std::printf("    table '%s' page %u: %s (%s)\n", l.table.c_str(), l.page, what.c_str(),
                l.reason.c_str());
  }
  for (const jet::RowsLost& l : r.recovered)
    std::printf("  recovered: table '%s' page %u: %lld rows (%s)\n", l.table.c_str(), l.page,
                static_cast<long long>(l.rows), l.reason.c_str());
}

}  // namespace

int runCompact(int argc, char** argv) {
  const Options o = parseOptions(
      "compact", argc, argv, 2,
      Accepts{
          .json = true, .progress = true, .salvage = true, .keepIds = true, .templatePath = true});
  if (o.help) return printHelp("compact");
  expectPositionals(o, "compact", 2, "SRC and DST");
  const std::string& src = o.positional[0];
  const std::string& dst = o.positional[1];
  ProgressPrinter printer;
  printer.bar = ::isatty(STDERR_FILENO) == 1;
  printer.lines = !printer.bar && o.progress;
  if (const auto st = jet::defaultFileSystem().stat(src)) printer.total = st->size;
  const auto started = std::chrono::steady_clock::now();
  jet::CompactResult r;
  try {
    jet::CompactOptions options;
    options.salvage = o.salvage;
    options.keepIds = o.keepIds;
    if (o.templatePath && !o.salvage)
      throw UsageError{"--template is for --salvage: give both", "compact"};
    if (o.templatePath) {
      if (o.templatePath->empty())
        throw UsageError{"--template is empty; give the path of a file", "compact"};
      options.templatePath = *o.templatePath;
    }
    r = jet::compactDatabase(src, dst, credentialsFor(o), options,
                             [&printer](double f) { return printer(f); });
  } catch (...) {
    printer.finish();
    throw;
  }
  printer.finish();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const long long dropped = static_cast<long long>(r.sourcePages) - r.outputPages;
  if (o.json) {
    std::printf(
        "{\"source\":%s,\"destination\":%s,\"sourceBytes\":%llu,\"outputBytes\":%llu,"
        "\"sourcePages\":%u,\"outputPages\":%u,\"pagesDropped\":%lld,\"tables\":%u,"
        "\"rows\":%llu,\"seconds\":%.3f,\"relocated\":%s,\"fallbackReason\":%s,"
        "\"indexesRebuilt\":[%s]%s}\n",
        jsonString(src).c_str(), jsonString(dst).c_str(),
        static_cast<unsigned long long>(r.sourceBytes),
        static_cast<unsigned long long>(r.outputBytes), r.sourcePages, r.outputPages, dropped,
        r.tables, static_cast<unsigned long long>(r.rows), seconds, r.relocated ? "true" : "false",
        r.relocated ? "null" : jsonString(r.fallbackReason).c_str(), rebuiltJson(r).c_str(),
        o.salvage ? (",\"rowsLost\":" + std::to_string(r.rowsLost) + ",\"lost\":[" +
                     lostJson(r.lost) + "],\"recovered\":[" + lostJson(r.recovered) +
                     "],\"fromTemplate\":[" + templateJson(r) + "],\"recoveredTables\":[" +
                     tablesJson(r) + "],\"madeAfresh\":[" + stringsJson(r.madeAfresh) + "]")
                        .c_str()
                  : "");
  } else {
    const double ratio = r.sourceBytes ? 100.0 * r.outputBytes / r.sourceBytes : 100.0;
    std::printf("Compacted %s -> %s\n", src.c_str(), dst.c_str());
    std::printf("  input:   %llu bytes (%u pages)\n",
                static_cast<unsigned long long>(r.sourceBytes), r.sourcePages);
    std::printf("  output:  %llu bytes (%u pages, %.1f%% of the input)\n",
                static_cast<unsigned long long>(r.outputBytes), r.outputPages, ratio);
    std::printf("  dropped: %lld pages\n", dropped);
    std::printf("  tables:  %u, rows: %llu\n", r.tables, static_cast<unsigned long long>(r.rows));
    if (r.relocated)
      std::printf("  layout:  table definitions packed from the front (table Ids changed)\n");
    else
      std::printf("  layout:  table definitions kept at their pages (%s)\n",
                  r.fallbackReason.c_str());
    for (const jet::IndexRebuilt& i : r.indexesRebuilt)
      std::printf("  rebuilt: index '%s' of table '%s' from its rows (%s)\n", i.index.c_str(),
                  i.table.c_str(), i.reason.c_str());
    if (o.salvage) printLost(r);
    std::printf("  time:    %.2f s\n", seconds);
  }
  return kDone;
}

}  // namespace jetdb
