#pragma once

// What the jetdb commands share: option parsing, error output, exit codes
// and small JSON helpers.

#include <optional>
#include <string>
#include <vector>

#include "jet/Engine.h"

namespace jetdb {

enum Exit { kDone = 0, kProblems = 1, kUsage = 2, kEngineError = 3 };

// Thrown for a command line that does not parse; main prints it with a hint.
struct UsageError {
  std::string message;
  std::string command;  // the subcommand whose --help to suggest, or ""
};

// The one password option given: --password PW, --password-file FILE or
// --ask-password (value empty).
struct PasswordOption {
  std::string name;
  std::string value;
};

// A subcommand's options, parsed from argv after the command name.
struct Options {
  std::vector<std::string> positional;
  std::optional<PasswordOption> password;
  std::optional<std::string> table;
  std::optional<std::string> templatePath;
  bool json = false;
  bool system = false;
  bool progress = false;
  bool deep = false;
  bool salvage = false;
  bool keepIds = false;
  bool help = false;
};

// Flags a command accepts besides --help and the password options.
struct Accepts {
  bool json = false, table = false, system = false, progress = false, deep = false, salvage = false;
  bool keepIds = false, templatePath = false;
};

// Throws UsageError on an unknown option, a missing value or a second
// password option.
Options parseOptions(const std::string& command, int argc, char** argv, int first,
                     const Accepts& accepts);

// The password as a value, never pasted into a connect string: from the
// option given, else from JETDB_PASSWORD, else none. --password warns on
// stderr that others can see it. Throws PasswordError when it cannot be read.
jet::Credentials credentialsFor(const Options& o);

// `jetdb COMMAND --help` on stdout; returns kDone.
int printHelp(const char* command);

// "jetdb: error NNNN: description" on stderr; returns kEngineError.
int reportError(const jet::Error& e);

std::string jsonString(const std::string& s);
// Exact number of positionals or UsageError.
void expectPositionals(const Options& o, const std::string& command, size_t n, const char* what);

int runInfo(int argc, char** argv);
int runCheck(int argc, char** argv);
int runDump(int argc, char** argv);
int runCompact(int argc, char** argv);

}  // namespace jetdb
