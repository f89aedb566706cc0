// Compaction speed, size and memory against a plain copy of the same file.
//
// Usage: bench_jet_compact FILE [PASSWORD] [--runs=N]
// Prints, from N alternating runs of each: cp's time and throughput,
// compaction's time, throughput and share of cp's (best and median, as one
// run is at the mercy of whatever else the machine does), output size, and
// peak memory (getrusage).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

double cpu(const struct rusage& u) {
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Run {
  double seconds = 0, cpu = 0;
  long peakKb = 0;
  jet::CompactResult result;
};

// Compacts in a forked child, which reports its time and result through a
// pipe; wait4 gives the child's own peak memory and CPU time.
bool compactInChild(const std::string& src, const std::string& out, const std::string& connect,
                    Run& run) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::close(fds[0]);
    Run mine;
    const auto t0 = std::chrono::steady_clock::now();
    try {
      mine.result = jet::compactDatabase(src, out, connect);
    } catch (const jet::Error& e) {
      std::fprintf(stderr, "error %d: %s\n", e.number(), e.what());
      ::_exit(3);
    }
    mine.seconds = seconds(t0);
    const ssize_t n = ::write(fds[1], &mine, sizeof mine);
    ::_exit(n == static_cast<ssize_t>(sizeof mine) ? 0 : 3);
  }
  ::close(fds[1]);
  Run got;
  const ssize_t n = ::read(fds[0], &got, sizeof got);
  ::close(fds[0]);
  int status = 0;
  struct rusage ru {};
  if (::wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      n != static_cast<ssize_t>(sizeof got))
    return false;
  run = got;
  run.peakKb = ru.ru_maxrss;
  run.cpu = cpu(ru);
  return true;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int runs = 3;
  for (size_t i = 0; i < args.size(); ++i)
    if (args[i].rfind("--runs=", 0) == 0) {
      runs = std::max(1, std::atoi(args[i].c_str() + 7));
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  if (args.empty() || args[0] == "--help") {
    std::printf(
        "Usage: %s FILE [PASSWORD] [--runs=N]\n"
        "Times cp (+sync) and compaction of FILE side by side, N times each (default 3),\n"
        "alternating, and prints the best and the median of each.\n",
        argv[0]);
    return args.empty() ? 2 : 0;
  }
  const std::string src = args[0];
  const std::string connect = args.size() > 1 ? ";pwd=" + args[1] : "";
  const std::string copy = src + ".bench-cp";
  const std::string out = src + ".bench-compact";
  ::unlink(copy.c_str());
  ::unlink(out.c_str());

  // A first cp brings the file into the page cache for every run.
  std::system(("cp " + quote(src) + " " + quote(copy)).c_str());
  ::unlink(copy.c_str());
  std::vector<double> cpTimes, compactTimes;
  jet::CompactResult r;
  long peakKb = 0;
  double cpuCompact = 0;
  for (int run = 0; run < runs; ++run) {
    auto t0 = std::chrono::steady_clock::now();
    const int rc =
        std::system(("cp " + quote(src) + " " + quote(copy) + " && sync " + quote(copy)).c_str());
    cpTimes.push_back(seconds(t0));
    ::unlink(copy.c_str());
    if (rc != 0) {
      std::fprintf(stderr, "cp failed\n");
      return 3;
    }
    // Each compaction in a child of its own: its peak memory is its own,
    // not what earlier runs left in this process's heap.
    Run one;
    if (!compactInChild(src, out, connect, one)) return 3;
    compactTimes.push_back(one.seconds);
    peakKb = std::max(peakKb, one.peakKb);
    cpuCompact += one.cpu;
    r = one.result;
    ::unlink(out.c_str());
  }
  struct rusage children {};
  ::getrusage(RUSAGE_CHILDREN, &children);
  const double cpuCp = cpu(children) - cpuCompact;

  const double mb = static_cast<double>(r.sourceBytes) / (1 << 20);
  const double cpBest = *std::min_element(cpTimes.begin(), cpTimes.end());
  const double compactBest = *std::min_element(compactTimes.begin(), compactTimes.end());
  const double cpMedian = median(cpTimes), compactMedian = median(compactTimes);
  std::printf("file                 %s (%d runs each, alternating)\n", src.c_str(), runs);
  std::printf("source               %10.1f MB  %u pages\n", mb, r.sourcePages);
  std::printf("cp (+sync)           %10.3f s   %8.1f MB/s  best; median %.3f s\n", cpBest,
              mb / cpBest, cpMedian);
  std::printf("compaction           %10.3f s   %8.1f MB/s  best; median %.3f s\n", compactBest,
              mb / compactBest, compactMedian);
  std::printf("share of cp's speed  %9.0f%%  best against best; %.0f%% median against median\n",
              100.0 * cpBest / compactBest, 100.0 * cpMedian / compactMedian);
  std::printf(
      "cpu time             %10.3f s cp, %.3f s compaction per run (cp's warm-up counted)\n",
      cpuCp / runs, cpuCompact / runs);
  std::printf("output               %10.1f MB  %u pages  (%.1f%% of the source)\n",
              static_cast<double>(r.outputBytes) / (1 << 20), r.outputPages,
              100.0 * static_cast<double>(r.outputBytes) / static_cast<double>(r.sourceBytes));
  std::printf("tables, rows         %10u     %llu\n", r.tables,
              static_cast<unsigned long long>(r.rows));
  std::printf("peak memory (RSS)    %10.1f MB  (compaction, highest of the runs)\n",
              peakKb / 1024.0);
  return 0;
}
