// Compaction's outer shell: refuses what DAO refuses, writes into a temporary
// file beside the destination, verifies it, flushes it and only then moves it
// to the destination. Every failure removes the temporary file.
#include "jet/Compact.h"

#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "jet/Checker.h"
#include "jet/CompactDigest.h"
#include "jet/CompactSource.h"
#include "jet/CompactWriter.h"
#include "jet/Error.h"

namespace jet {
namespace compact {

[[noreturn]] void throwCancelled() { throw Error(3059, "Operation canceled by user."); }

std::string temporaryName(const std::string& dst, unsigned attempt) {
  return dst + ".compact-" + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
}

namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

struct Snapshot {
  off_t size = 0;
  struct timespec mtime {};
  bool operator==(const Snapshot& o) const {
    return size == o.size && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

Snapshot snapshotOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw Error(3024, "Could not find file '" + path + "'.");
  return Snapshot{st.st_size, st.st_mtim};
}

// Creates the temporary output beside dst; another process's leftover of the
// same name is never opened.
std::unique_ptr<WriteFile> createTemporary(WriteFileSystem& fs, const std::string& dst,
                                           std::string& tmp) {
  for (unsigned attempt = 0;; ++attempt) {
    tmp = temporaryName(dst, attempt);
    try {
      return fs.createNew(tmp);
    } catch (const Error&) {
      if (attempt >= 20 || ::access(tmp.c_str(), F_OK) != 0) throw;
    }
  }
}

// Reads the output back as verification sees it and compares it with what
// was copied from the source.
void verifyOutput(const std::string& tmp, const Credentials& credentials, const WriteOutcome& written,
                  const Progress& progress) {
  // The integrity check a user would run on it, on the other core meanwhile.
  CheckReport report;
  std::exception_ptr checkFailed;
  std::thread checker([&] {
    try {
      report = checkPrivateFile(tmp, credentials);
    } catch (...) {
      checkFailed = std::current_exception();
    }
  });
  struct Join {
    std::thread& t;
    ~Join() {
      if (t.joinable()) t.join();
    }
  } join{checker};
  try {
    SourceFile output(tmp, credentials);
    const std::vector<CatalogTable> tables = readCatalogTables(output);
    if (tables.size() != written.tables.size())
      throw Error(3049, "The compacted copy does not match its source: its catalog lists " +
                            std::to_string(tables.size()) + " tables instead of " +
                            std::to_string(written.tables.size()) + ".");
    std::vector<TableDigest> digest;
    for (size_t i = 0; i < tables.size(); ++i) {
      digest.push_back(digestTable(output, tables[i]));
      if (progress && !progress(0.85 + 0.14 * (i + 1) / tables.size())) throwCancelled();
    }
    compareDigests(written.digest, digest);
  } catch (const Corrupt& e) {
    throw Error(3049, std::string("The compacted copy does not read back correctly: ") + e.what());
  }
  checker.join();
  if (checkFailed) std::rethrow_exception(checkFailed);
  for (const Finding& f : report.findings)
    if (f.severity != Severity::Info)
      throw Error(3049, "The compacted copy fails the integrity check" +
                            (f.table.empty() ? std::string() : " (table '" + f.table + "')") +
                            " at page " + std::to_string(f.page) + ": " + f.message);
}

}  // namespace

CompactResult compactWith(const std::string& src, const std::string& dst,
                          const Credentials& credentials, const CompactOptions& options,
                          const Progress& progress, WriteFileSystem& fs) {
  const Snapshot before = snapshotOf(src);
  if (::access(dst.c_str(), F_OK) == 0) throw Error(3204, "Database already exists.");
  if (isInUse(src)) throw Error(3045, "Could not use '" + src + "'; file already in use.");
  SourceFile source(src, credentials);

  std::string tmp;
  std::unique_ptr<WriteFile> out = createTemporary(fs, dst, tmp);
  WriteOutcome outcome;
  try {
    try {
      outcome = writeCompacted(source, *out, options, progress, 0.0, 0.85);
    } catch (const Corrupt& e) {
      throw Error(3049, "Cannot compact '" + src + "': " + e.what());
    }
#ifdef __GLIBC__
    // What the copying freed goes back to the system before the read-back
    // takes its share; glibc keeps freed heap otherwise.
    ::malloc_trim(0);
#endif
    // The flush to disk runs while the copy is read back: both must succeed
    // before the rename, and the bytes read back are the same either way.
    std::exception_ptr flushFailed, verifyFailed;
    std::thread flusher([&] {
      try {
        out->sync();
        out->close();
      } catch (...) {
        flushFailed = std::current_exception();
      }
    });
    try {
      verifyOutput(tmp, credentials, outcome, progress);
    } catch (...) {
      verifyFailed = std::current_exception();
    }
    flusher.join();
    out.reset();
    if (flushFailed) std::rethrow_exception(flushFailed);  // reported first, as it happened first
    if (verifyFailed) std::rethrow_exception(verifyFailed);
    if (!(snapshotOf(src) == before))
      throw Error(3045, "Could not use '" + src + "'; file already in use.");
    if (progress && !progress(1.0)) throwCancelled();
    fs.publish(tmp, dst);
  } catch (...) {
    out.reset();
    fs.remove(tmp);
    throw;
  }
  try {
    fs.syncDirectory(folderOf(dst));
  } catch (...) {
    fs.remove(dst);
    throw;
  }
  return outcome.result;
}

}  // namespace compact

CompactResult compactDatabase(const std::string& src, const std::string& dst,
                              const Credentials& credentials, const CompactOptions& options,
                              const Progress& progress) {
  return compact::compactWith(src, dst, credentials, options, progress, posixWriteFileSystem());
}

}  // namespace jet
