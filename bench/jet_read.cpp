// Reading speed: every row of every user table of a database, decoded (long
// values resolved) and written as jetdb dump's JSON lines into memory, timed
// against mdbtools' mdb-export of the same tables, measured in the same run.
// Usage: bench_jet_read [FILE [PASSWORD]]   (default: the demo database)
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "jet/Engine.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Run {
  double seconds = 0;
  uint64_t rows = 0, bytes = 0;
};

Run readAll(const std::string& path, const std::string& connect) {
  Run r;
  const auto start = Clock::now();
  jet::dump(path, connect, {}, [&r](const std::string& line) {
    ++r.rows;
    r.bytes += line.size();
  });
  r.seconds = seconds(start, Clock::now());
  return r;
}

double mdbExport(const std::string& path, const std::vector<std::string>& tables) {
  const auto start = Clock::now();
  for (const std::string& t : tables) {
    const std::string cmd = "mdb-export " + quote(path) + " " + quote(t) + " > /dev/null";
    if (std::system(cmd.c_str()) != 0) return -1;
  }
  return seconds(start, Clock::now());
}

// The demo database, found from this source file's place in the tree.
std::string demoPath() {
  std::string here = __FILE__;
  const size_t cut = here.rfind("bench/");
  return (cut == std::string::npos ? std::string() : here.substr(0, cut)) + "demo/Ledgerwick.mdb";
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : demoPath();
  const std::string password = argc > 2 ? argv[2] : (argc > 1 ? "" : "m0ssb4nk7q");
  const std::string connect = password.empty() ? "" : ";pwd=" + password;
  const int rounds = 7;

  std::vector<std::string> tables;
  uint64_t fileBytes = 0;
  try {
    const jet::DatabaseInfo info = jet::describe(path, connect);
    fileBytes = uint64_t{info.pageSize} * info.pageCount;
    for (const jet::TableSummary& t : info.tables)
      if (!t.system) tables.push_back(t.name);
  } catch (const jet::Error& e) {
    std::fprintf(stderr, "bench_jet_read: error %d: %s\n", e.number(), e.description().c_str());
    return 3;
  }
  const bool haveMdbtools = std::system("command -v mdb-export > /dev/null 2>&1") == 0;

  std::vector<double> ours, theirs;
  Run last;
  for (int i = 0; i < rounds; ++i) {  // interleaved, so both see the same machine load
    last = readAll(path, connect);
    ours.push_back(last.seconds);
    if (haveMdbtools) theirs.push_back(mdbExport(path, tables));
  }
  const double o = median(ours);
  std::printf("file:        %s (%llu bytes, %zu user tables, %llu rows)\n", path.c_str(),
              static_cast<unsigned long long>(fileBytes), tables.size(),
              static_cast<unsigned long long>(last.rows));
  std::printf("jet (dump):  %8.2f ms  %10.0f rows/s  %7.1f MB/s of file  (median of %d)\n", o * 1e3,
              last.rows / o, fileBytes / o / 1e6, rounds);
  if (haveMdbtools && theirs.front() >= 0) {
    const double t = median(theirs);
    std::printf("mdb-export:  %8.2f ms  %10.0f rows/s  %7.1f MB/s of file  (median of %d)\n",
                t * 1e3, last.rows / t, fileBytes / t / 1e6, rounds);
    std::printf("speed-up:    %.1fx\n", t / o);
  } else {
    std::printf("mdb-export:  not available\n");
  }
  return 0;
}
