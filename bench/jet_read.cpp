// Reading a database: `jetdb info`, `check` and `dump` of one file, each as
// its own process so its peak memory is its own, against mdbtools'
// mdb-export of every table of the same file, in the same run.
//
// Usage: bench_jet_read [FILE [PASSWORD]] [--runs=N]   (default: the demo database)
// jetdb is the one built beside this program (../jet/cli/jetdb).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/Engine.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
  double seconds = 0;
  double peakMb = 0;
  bool ok = false;
};

// Runs argv with stdout discarded; its time and peak RSS.
Run spawn(const std::vector<std::string>& argv, const std::string& password) {
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!password.empty()) ::setenv("JETDB_PASSWORD", password.c_str(), 1);
    std::freopen("/dev/null", "w", stdout);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  Run r;
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.peakMb = usage.ru_maxrss / 1024.0;
  r.ok = WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1);
  return r;
}

std::string here() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

// The demo database, found from this source file's place in the tree.
std::string demoPath() {
  std::string source = __FILE__;
  const size_t cut = source.rfind("bench/");
  return (cut == std::string::npos ? std::string() : source.substr(0, cut)) + "demo/Ledgerwick.mdb";
}

Run median(std::vector<Run> runs) {
  std::sort(runs.begin(), runs.end(),
            [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  return runs[runs.size() / 2];
}

void print(const char* what, const Run& r, uint64_t bytes) {
  if (!r.ok) {
    std::printf("%-22s failed\n", what);
    return;
  }
  std::printf("%-22s %9.3f s  %8.1f MB/s  %7.1f MB peak RSS\n", what, r.seconds,
              bytes / r.seconds / 1e6, r.peakMb);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--runs=", 0) == 0)
      runs = std::max(1, std::atoi(a.c_str() + 7));
    else
      words.push_back(a);
  }
  const std::string path = words.empty() ? demoPath() : words[0];
  const std::string password = words.size() > 1 ? words[1] : (words.empty() ? "m0ssb4nk7q" : "");
  const std::string jetdb = here() + "/../jet/cli/jetdb";

  std::vector<std::string> tables;
  uint64_t bytes = 0;
  try {
    const jet::DatabaseInfo info = jet::describe(path, jet::Credentials::withPassword(password));
    bytes = std::filesystem::file_size(path);
    for (const jet::TableSummary& t : info.tables)
      if (!t.system) tables.push_back(t.name);
  } catch (const jet::Error& e) {
    std::fprintf(stderr, "bench_jet_read: error %d: %s\n", e.number(), e.what());
    return 3;
  }
  const bool haveMdbtools = std::system("command -v mdb-export > /dev/null 2>&1") == 0;

  std::vector<Run> info, check, dump, exported;
  for (int i = 0; i < runs; ++i) {  // interleaved, so all see the same machine load
    info.push_back(spawn({jetdb, "info", path}, password));
    check.push_back(spawn({jetdb, "check", path}, password));
    dump.push_back(spawn({jetdb, "dump", path}, password));
    if (!haveMdbtools) continue;
    Run all{0, 0, true};
    for (const std::string& t : tables) {
      const Run one = spawn({"mdb-export", path, t}, "");
      all.seconds += one.seconds;
      all.peakMb = std::max(all.peakMb, one.peakMb);
      all.ok = all.ok && one.ok;
    }
    exported.push_back(all);
  }
  std::printf("file: %s (%.1f MB, %zu user tables), median of %d runs\n", path.c_str(), bytes / 1e6,
              tables.size(), runs);
  print("jetdb info", median(info), bytes);
  print("jetdb check", median(check), bytes);
  print("jetdb dump", median(dump), bytes);
  if (haveMdbtools)
    print("mdb-export (all)", median(exported), bytes);
  else
    std::printf("mdb-export (all)       not installed\n");
  return 0;
}
