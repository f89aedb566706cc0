// jetdb dump: every live row as one JSON object per line.
#include <cstdio>

#include "jet/Engine.h"
#include "jet/cli/Cli.h"

namespace jetdb {
int runDump(int argc, char** argv) {
  const Options o = parseOptions("dump", argc, argv, 2, Accepts{.table = true, .system = true});
  if (o.help) return printHelp("dump");
  expectPositionals(o, "dump", 1, "FILE");
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  jet::DumpOptions options;
  options.table = o.table;
  options.system = o.system;
  try {
    jet::dump(o.positional[0], credentialsFor(o), options,
              [](const std::string& line) { std::fwrite(line.data(), 1, line.size(), stdout); });
  } catch (...) {
    std::fflush(stdout);
    throw;
  }
  std::fflush(stdout);
  return kDone;
}

}  // namespace jetdb
