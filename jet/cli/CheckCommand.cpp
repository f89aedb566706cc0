// jetdb check: the integrity report.
#include <cstdio>

#include "jet/Engine.h"
#include "jet/cli/Cli.h"

namespace jetdb {
namespace {

const char* severityName(jet::Severity s) {
  switch (s) {
    case jet::Severity::Info:
      return "info";
    case jet::Severity::Warning:
      return "warning";
    case jet::Severity::Error:
      return "error";
  }
  return "error";
}

}  // namespace

int runCheck(int argc, char** argv) {
  const Options o = parseOptions("check", argc, argv, 2, Accepts{.json = true, .deep = true});
  if (o.help) return printHelp("check");
  expectPositionals(o, "check", 1, "FILE");
  const jet::CheckReport report =
      jet::check(o.positional[0], credentialsFor(o), jet::CheckOptions{o.deep});
  size_t counts[3] = {0, 0, 0};
  for (const jet::Finding& f : report.findings) ++counts[static_cast<int>(f.severity)];
  if (o.json) {
    std::string s = "{\"file\":" + jsonString(o.positional[0]);
    s += std::string(",\"clean\":") + (report.clean() ? "true" : "false");
    s += std::string(",\"inUse\":") + (report.inUse ? "true" : "false");
    if (o.deep) s += ",\"indexEntriesChecked\":" + std::to_string(report.indexEntriesChecked);
    s += ",\"errors\":" + std::to_string(counts[2]) + ",\"warnings\":" + std::to_string(counts[1]) +
         ",\"findings\":[";
    for (size_t i = 0; i < report.findings.size(); ++i) {
      const jet::Finding& f = report.findings[i];
      if (i) s += ",";
      s += "{\"severity\":" + jsonString(severityName(f.severity)) +
           ",\"table\":" + jsonString(f.table) + ",\"page\":" + std::to_string(f.page) +
           ",\"message\":" + jsonString(f.message) + "}";
    }
    s += "]}\n";
    std::fputs(s.c_str(), stdout);
  } else {
    for (const jet::Finding& f : report.findings) {
      std::string where;
      if (!f.table.empty()) where += "table '" + f.table + "'";
      if (f.page != 0) where += (where.empty() ? "page " : ", page ") + std::to_string(f.page);
      std::printf("%-7s %s%s%s\n", severityName(f.severity), where.c_str(),
                  where.empty() ? "" : ": ", f.message.c_str());
    }
    if (o.deep)
      std::printf("%llu index entries match the keys made from their rows.\n",
                  static_cast<unsigned long long>(report.indexEntriesChecked));
    if (report.clean())
      std::printf("%s: no problems found%s.\n", o.positional[0].c_str(),
                  counts[0] ? " (information only)" : "");
    else
      std::printf("%s: %zu error(s), %zu warning(s).\n", o.positional[0].c_str(), counts[2],
                  counts[1]);
  }
  return report.clean() ? kDone : kProblems;
}

}  // namespace jetdb
