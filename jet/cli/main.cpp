// jetdb: the Jet engine's command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "jet/Engine.h"
#include "jet/cli/Cli.h"
#include "jet/cli/Help.h"
#include "jet/cli/PasswordInput.h"

int main(int argc, char** argv) {
  using namespace jetdb;
  if (argc < 2) {
    std::fputs(help::usage().c_str(), stderr);
    return kUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(help::usage().c_str(), stdout);
    return kDone;
  }
  if (command == "--version") {
    std::printf("jetdb %s\n", LW_VERSION);
    return kDone;
  }
  // Ctrl-C during a compaction then leaves no temporary file behind.
  jet::installSignalCleanup();
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
  } catch (const PasswordError& e) {
    std::fprintf(stderr, "jetdb: %s\n", e.message.c_str());
    return kUsage;
  } catch (const jet::Error& e) {
    return reportError(e);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "jetdb: out of memory\n");
    return kEngineError;
  }
}
