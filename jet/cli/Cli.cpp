#include "jet/cli/Cli.h"

#include <cstdio>
#include <cstring>

#include "jet/Value.h"

namespace jetdb {

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
    } else if (arg == "--password" || arg == "-p") {
      o.password = value();
    } else if (arg == "--json" && accepts.json) {
      flag(o.json);
    } else if (arg == "--table" && accepts.table) {
      o.table = value();
    } else if (arg == "--system" && accepts.system) {
      flag(o.system);
    } else if (arg == "--progress" && accepts.progress) {
      flag(o.progress);
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
}

jet::Credentials credentialsFor(const Options& o) {
  return o.password ? jet::Credentials::withPassword(*o.password) : jet::Credentials();
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
