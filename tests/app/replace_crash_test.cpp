// A replacement killed at any moment leaves a complete database file: the
// old one or the new one, never a mixture or nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "platform/DurableFile.h"

namespace {

std::string filled(size_t n, char c) { return std::string(n, c); }

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<size_t>(in.tellg()), '\0');
  in.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// Runs one replacement in a child process and kills it after delay.
// Returns true when the child ended by itself before the kill.
bool replaceAndKill(const std::string& src, const std::string& target,
                    std::chrono::microseconds delay) {
  pid_t pid = ::fork();
  if (pid == 0) {
    bool ok = platform::replaceFile(src, target).ok();
    ::_exit(ok ? 0 : 1);
  }
  EXPECT_GT(pid, 0);
  std::this_thread::sleep_for(delay);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status);
}

TEST(ReplaceCrash, KilledReplacementAlwaysLeavesACompleteFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string a = dir.filePath("a.mdb").toStdString();
  const std::string b = dir.filePath("b.mdb").toStdString();
  const std::string db = dir.filePath("Ledgerwick.mdb").toStdString();
  // Large enough that a replacement takes a while; uniform bytes make a torn
  // file (part old, part new) easy to see.
  const std::string bytesA = filled(16 * 1024 * 1024, 'A');
  const std::string bytesB = filled(16 * 1024 * 1024 + 4096, 'B');
  writeFile(a, bytesA);
  writeFile(b, bytesB);
  writeFile(db, bytesA);

  // How long one replacement takes here sets the range of the kill moments;
  // the shortest of a few, as the first ones also flush the files just written.
  auto took = std::chrono::microseconds::max();
  for (int i = 0; i < 4; ++i) {
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(platform::replaceFile(i % 2 ? a : b, db).ok());
    took = std::min(took, std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start));
  }

  std::mt19937 gen(20091019);
  std::uniform_int_distribution<long> moment(0, took.count() * 3 / 2);
  int interrupted = 0, finished = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  for (int round = 0; round < 40 && std::chrono::steady_clock::now() < deadline; ++round) {
    const bool toB = readFile(db).size() == bytesA.size();
    if (replaceAndKill(toB ? b : a, db, std::chrono::microseconds(moment(gen))))
      ++finished;
    else
      ++interrupted;
    const std::string now = readFile(db);
    ASSERT_TRUE(now == bytesA || now == bytesB)
        << "round " << round << ": " << now.size() << " bytes, neither old nor new";
    // A killed run may leave its temporary file; clear it for the next round.
    for (const QString& name : QDir(dir.path()).entryList({"*.tmp"}, QDir::Files))
      QFile::remove(dir.filePath(name));
  }
  EXPECT_GT(interrupted, 0) << "no kill landed inside a replacement";
  RecordProperty("interrupted", interrupted);
  RecordProperty("finished", finished);
  RecordProperty("replace_us", static_cast<int>(took.count()));
}

}  // namespace
