// Compaction speed, size and memory against a plain copy of the same file.
//
// Usage: bench_jet_compact FILE... [--password=P] [--runs=N]
// Prints a line per file, from N alternating runs of each: cp+sync's time and
// throughput, compaction's time, throughput, share of cp's and peak memory
// (best and median, as one run is at the mercy of whatever else the machine
// does), and its MB/s against the first file's, for growth with size.
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

// Plain data only: it crosses the pipe as bytes (CompactResult holds
// vectors, whose pointers mean nothing in the parent).
struct Run {
  double seconds = 0, cpu = 0;
  long peakKb = 0;
  uint64_t sourceBytes = 0, outputBytes = 0, rows = 0;
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
      const jet::CompactResult r = jet::compactDatabase(src, out, connect);
      mine.sourceBytes = r.sourceBytes;
      mine.outputBytes = r.outputBytes;
      mine.rows = r.rows;
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

// One file: cp (+sync) and compaction, alternating, `runs` times each.
struct Measured {
  double mb = 0, cpBest = 0, cpMedian = 0, best = 0, median = 0, cpuCompact = 0;
  long peakKb = 0;
  Run last;
};

bool measure(const std::string& src, const std::string& connect, int runs, Measured& m) {
  const std::string copy = src + ".bench-cp";
  const std::string out = src + ".bench-compact";
  ::unlink(copy.c_str());
  ::unlink(out.c_str());
  // A first cp brings the file into the page cache for every run.
  std::system(("cp " + quote(src) + " " + quote(copy)).c_str());
  ::unlink(copy.c_str());
  std::vector<double> cpTimes, compactTimes;
  for (int run = 0; run < runs; ++run) {
    auto t0 = std::chrono::steady_clock::now();
    const int rc =
        std::system(("cp " + quote(src) + " " + quote(copy) + " && sync " + quote(copy)).c_str());
    cpTimes.push_back(seconds(t0));
    ::unlink(copy.c_str());
    if (rc != 0) return false;
    // Each compaction in a child of its own: its peak memory is its own,
    // not what earlier runs left in this process's heap.
    Run one;
    if (!compactInChild(src, out, connect, one)) return false;
    compactTimes.push_back(one.seconds);
    m.peakKb = std::max(m.peakKb, one.peakKb);
    m.cpuCompact += one.cpu / runs;
    m.last = one;
    ::unlink(out.c_str());
  }
  m.mb = static_cast<double>(m.last.sourceBytes) / (1 << 20);
  m.cpBest = *std::min_element(cpTimes.begin(), cpTimes.end());
  m.best = *std::min_element(compactTimes.begin(), compactTimes.end());
  m.cpMedian = median(cpTimes);
  m.median = median(compactTimes);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  std::string connect;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--runs=", 0) == 0)
      runs = std::max(1, std::atoi(a.c_str() + 7));
    else if (a.rfind("--password=", 0) == 0)
      connect = ";pwd=" + a.substr(11);
    else
      files.push_back(a);
  }
  if (files.empty() || files[0] == "--help") {
    std::printf(
        "Usage: %s FILE... [--password=P] [--runs=N]\n"
        "Times cp (+sync) and compaction of each FILE side by side, N times each (default 3),\n"
        "alternating, and prints the best (median in brackets) of each, compaction's peak\n"
        "memory, and each file's compaction MB/s against the first file's: list a small and a\n"
        "large file of the same shape to see whether time grows in step with size.\n",
        argv[0]);
    return files.empty() ? 2 : 0;
  }
  std::printf("%-34s %8s %16s %16s %6s %8s %8s %7s\n", "file", "MB", "cp+sync s (MB/s)",
              "compact s (MB/s)", "of cp", "cpu s", "RSS MB", "vs 1st");
  double firstRate = 0;
  for (const std::string& f : files) {
    Measured m;
    if (!measure(f, connect, runs, m)) {
      std::fprintf(stderr, "%s: cp or compaction failed\n", f.c_str());
      return 3;
    }
    const double rate = m.mb / m.best;
    if (firstRate == 0) firstRate = rate;
    const std::string name = f.size() > 34 ? "..." + f.substr(f.size() - 31) : f;
    std::printf("%-34s %8.1f %7.2f (%6.0f) %7.2f (%6.0f) %5.0f%% %8.2f %8.1f %6.2fx\n",
                name.c_str(), m.mb, m.cpBest, m.mb / m.cpBest, m.best, rate,
                100.0 * m.cpBest / m.best, m.cpuCompact, m.peakKb / 1024.0, rate / firstRate);
    std::printf("%-34s %8s medians %.2f s cp, %.2f s compaction; %llu rows, output %.1f MB\n", "",
                "", m.cpMedian, m.median, static_cast<unsigned long long>(m.last.rows),
                static_cast<double>(m.last.outputBytes) / (1 << 20));
    std::fflush(stdout);
  }
  return 0;
}
