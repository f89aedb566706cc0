// Compaction speed, size and memory against a plain copy of the same file.
//
// Usage: bench_jet_compact FILE [PASSWORD]
// Prints, in one run: cp's time and throughput, compaction's time,
// throughput and share of cp's, output size, and peak memory (getrusage).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jet/Engine.h"
#include "jet/Error.h"

namespace {

double seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q.append("'\\''");
    else
      q.push_back(c);
  }
  return q + "'";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) == "--help") {
    std::printf("Usage: %s FILE [PASSWORD]\nTimes cp and compaction of FILE side by side.\n",
                argv[0]);
    return argc < 2 ? 2 : 0;
  }
  const std::string src = argv[1];
  const std::string connect = argc > 2 ? std::string(";pwd=") + argv[2] : "";
  const std::string copy = src + ".bench-cp";
  const std::string out = src + ".bench-compact";
  ::unlink(copy.c_str());
  ::unlink(out.c_str());

  // cp first: it also brings the file into the page cache for both runs.
  std::system(("cp " + quote(src) + " " + quote(copy)).c_str());
  ::unlink(copy.c_str());
  auto t0 = std::chrono::steady_clock::now();
  const int rc =
      std::system(("cp " + quote(src) + " " + quote(copy) + " && sync " + quote(copy)).c_str());
  const double cpTime = seconds(t0);
  ::unlink(copy.c_str());
  if (rc != 0) {
    std::fprintf(stderr, "cp failed\n");
    return 3;
  }

  jet::CompactResult r;
  t0 = std::chrono::steady_clock::now();
  try {
    r = jet::compactDatabase(src, out, connect);
  } catch (const jet::Error& e) {
    std::fprintf(stderr, "error %d: %s\n", e.number(), e.what());
    return 3;
  }
  const double compactTime = seconds(t0);
  ::unlink(out.c_str());
  struct rusage ru {
  }, children{};
  ::getrusage(RUSAGE_SELF, &ru);
  ::getrusage(RUSAGE_CHILDREN, &children);
  auto cpu = [](const struct rusage& u) {
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  };

  const double mb = static_cast<double>(r.sourceBytes) / (1 << 20);
  std::printf("file                 %s\n", src.c_str());
  std::printf("source               %10.1f MB  %u pages\n", mb, r.sourcePages);
  std::printf("cp (+sync)           %10.3f s   %8.1f MB/s\n", cpTime, mb / cpTime);
  std::printf("compaction           %10.3f s   %8.1f MB/s  (%.0f%% of cp's throughput)\n",
              compactTime, mb / compactTime, 100.0 * cpTime / compactTime);
  std::printf("cpu time             %10.3f s cp, %.3f s compaction (both runs of cp counted)\n",
              cpu(children), cpu(ru));
  std::printf("output               %10.1f MB  %u pages  (%.1f%% of the source)\n",
              static_cast<double>(r.outputBytes) / (1 << 20), r.outputPages,
              100.0 * static_cast<double>(r.outputBytes) / static_cast<double>(r.sourceBytes));
  std::printf("tables, rows         %10u     %llu\n", r.tables,
              static_cast<unsigned long long>(r.rows));
  std::printf("peak memory (RSS)    %10.1f MB\n", ru.ru_maxrss / 1024.0);
  return 0;
}
