#include "jet/cli/Cli.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "jet/cli/Help.h"
#include "jet/cli/PasswordInput.h"

namespace jetdb {
namespace {

bool isPasswordOption(const std::string& arg) {
  return arg == "--password" || arg == "-p" || arg == "--password-file" || arg == "--ask-password";
}

// The i-th name of "FILE" or "SRC and DST".
std::string positionalName(const std::string& what, size_t i) {
  std::vector<std::string> names;
  size_t at = 0;
  while (at <= what.size()) {
    size_t end = what.find(' ', at);
    if (end == std::string::npos) end = what.size();
    if (const std::string word = what.substr(at, end - at); word != "and") names.push_back(word);
    at = end + 1;
  }
  return i < names.size() ? names[i] : what;
}

}  // namespace

Options parseOptions(const std::string& command, int argc, char** argv, int first,
                     const Accepts& accepts) {
  Options o;
  bool onlyPositional = false;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
      o.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyPositional = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    const size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    const auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= argc) throw UsageError{"option '" + arg + "' needs a value", command};
      return argv[++i];
    };
    const auto flag = [&](bool& target) {
      if (inlineValue) throw UsageError{"option '" + arg + "' takes no value", command};
      target = true;
    };
    if (arg == "--help" || arg == "-h") {
      flag(o.help);
    } else if (isPasswordOption(arg)) {
      if (o.password)
        throw UsageError{"the password is given twice (" + o.password->name + " and " + arg +
                             "); give it one way only",
                         command};
      bool ask = false;
      if (arg == "--ask-password") flag(ask);
      o.password = PasswordOption{arg == "-p" ? "--password" : arg, ask ? "" : value()};
    } else if (arg == "--json" && accepts.json) {
      flag(o.json);
    } else if (arg == "--table" && accepts.table) {
      o.table = value();
    } else if (arg == "--system" && accepts.system) {
      flag(o.system);
    } else if (arg == "--progress" && accepts.progress) {
      flag(o.progress);
    } else if (arg == "--deep" && accepts.deep) {
      flag(o.deep);
    } else if (arg == "--salvage" && accepts.salvage) {
      flag(o.salvage);
    } else if (arg == "--keep-ids" && accepts.keepIds) {
      flag(o.keepIds);
    } else if (arg == "--relocate" && accepts.keepIds) {
      // The default now; scripts written before still pass it.
      bool relocate = false;
      flag(relocate);
    } else if (arg == "--template" && accepts.templatePath) {
      o.templatePath = value();
    } else {
      throw UsageError{"unknown option '" + arg + "'", command};
    }
  }
  return o;
}

void expectPositionals(const Options& o, const std::string& command, size_t n, const char* what) {
  if (o.positional.size() < n) throw UsageError{std::string("missing ") + what, command};
  if (o.positional.size() > n)
    throw UsageError{"unexpected argument '" + o.positional[n] + "'", command};
  // Every positional names a file; an empty one would be taken as the
  // current folder further down, a confusing error.
  for (size_t i = 0; i < n; ++i)
    if (o.positional[i].empty())
      throw UsageError{positionalName(what, i) + " is empty; give the path of a file", command};
}

jet::Credentials credentialsFor(const Options& o) {
  if (!o.password) {
    const char* env = std::getenv("JETDB_PASSWORD");
    return env ? jet::Credentials::withPassword(env) : jet::Credentials();
  }
  const PasswordOption& p = *o.password;
  if (p.name == "--password-file") return jet::Credentials::withPassword(readPasswordFile(p.value));
  if (p.name == "--ask-password")
    return jet::Credentials::withPassword(askPassword("Password for " + o.positional[0] + ": "));
  std::fputs(
      "jetdb: warning: --password lets other users of this machine see the password (ps) and "
      "leaves it in the shell's history; use --password-file FILE, --ask-password or "
      "JETDB_PASSWORD instead.\n",
      stderr);
  return jet::Credentials::withPassword(p.value);
}

int printHelp(const char* command) {
  std::fputs(help::usage(*help::find(command)).c_str(), stdout);
  return kDone;
}

int reportError(const jet::Error& e) {
  std::fprintf(stderr, "jetdb: error %d: %s\n", e.number(), e.description().c_str());
  return kEngineError;
}

std::string jsonString(const std::string& s) {
  std::string out;
  jet::appendJsonString(s, out);
  return out;
}

}  // namespace jetdb
