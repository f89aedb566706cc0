// jetdb: the Jet engine's command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "jet/cli/Cli.h"

namespace {

const char kUsageText[] =
    "usage: jetdb COMMAND [options]\n"
    "\n"
    "Reads, checks and compacts Jet 3 / Jet 4 (.mdb) databases.\n"
    "\n"
    "commands:\n"
    "  info    FILE     [--password PW] [--json]     format, pages, tables and row counts\n"
    "  check   FILE     [--password PW] [--json]     integrity check (exit 1 on problems)\n"
    "  dump    FILE     [--password PW] [--table NAME] [--system]\n"
    "                                                rows as JSON lines, one row per line\n"
    "  compact SRC DST  [--password PW] [--json] [--progress]\n"
    "                                                write a compacted copy of SRC to DST\n"
    "\n"
    "  jetdb COMMAND --help   help on one command\n"
    "  jetdb --version        the version\n"
    "\n"
    "exit status: 0 done (check: clean), 1 check found problems, 2 usage error,\n"
    "3 engine error (printed as 'jetdb: error NNNN: description').\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace jetdb;
  if (argc < 2) {
    std::fputs(kUsageText, stderr);
    return kUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsageText, stdout);
    return kDone;
  }
  if (command == "--version") {
    std::printf("jetdb %s\n", LW_VERSION);
    return kDone;
  }
  try {
    if (command == "info") return runInfo(argc, argv);
    if (command == "check") return runCheck(argc, argv);
    if (command == "dump") return runDump(argc, argv);
    if (command == "compact") return runCompact(argc, argv);
    throw UsageError{"unknown command '" + command + "'", ""};
  } catch (const UsageError& e) {
    std::fprintf(stderr, "jetdb: %s\n", e.message.c_str());
    std::fprintf(stderr, "Try 'jetdb %s--help'.\n",
                 e.command.empty() ? "" : (e.command + " ").c_str());
    return kUsage;
  } catch (const jet::Error& e) {
    return reportError(e);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "jetdb: out of memory\n");
    return kEngineError;
  }
}
