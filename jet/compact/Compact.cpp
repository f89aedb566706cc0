// Compaction's outer shell: refuses what DAO refuses, writes into a new file
// beside the destination, reads it back and checks it, flushes it, and only
// then gives it the destination's name. On any failure nothing is left.
#include "jet/compact/Compact.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <atomic>
#include <cctype>
#include <exception>
#include <memory>
#include <string_view>
#include <thread>

#include "jet/compact/Background.h"
#include "jet/compact/Compactor.h"
#include "jet/compact/Pacer.h"
#include "jet/compact/Relocation.h"
#include "jet/compact/Salvage.h"
#include "jet/compact/SalvageSource.h"
#include "jet/db/CheckContext.h"
#include "jet/db/Checker.h"
#include "jet/db/Database.h"
#include "jet/db/LockFile.h"
#include "jet/db/PageCensus.h"

namespace jet::compact {
namespace {

FileState sourceState(FileSystem& fs, const std::string& src) {
  const std::optional<FileState> s = fs.stat(src);
  if (!s) throw Error(3024, "Could not find file '" + src + "'.");
  return *s;
}

// Bytes of index entries a sort holds before it spills: enough for most
// tables, a small part of the memory the rest of compaction needs.
constexpr size_t kSortMemory = size_t{24} << 20;

[[noreturn]] void throwInUse(const std::string& src) {
  throw Error(3045, "Could not use '" + src + "'; file already in use.");
}

// A finding of the copy as its source's user reads it: the copy's page
// numbers mean nothing (it is never kept), nor does advice about it.
std::string copyFinding(std::string message) {
  for (const std::string_view advice : {advice::kCompact, advice::kRestore, advice::kSalvage})
    if (message.ends_with(advice)) message.resize(message.size() - advice.size());
  std::string out;
  for (size_t i = 0; i < message.size();) {
    const bool page = message.compare(i, 5, "page ") == 0 && i + 5 < message.size() &&
                      std::isdigit(static_cast<unsigned char>(message[i + 5]));
    if (!page) {
      out += message[i++];
      continue;
    }
    out += "a page of the copy";
    for (i += 5; i < message.size() && std::isdigit(static_cast<unsigned char>(message[i]));) ++i;
  }
  return out;
}

void failOnFindings(const CheckReport& report) {
  for (const Finding& f : report.findings)
    if (f.severity != Severity::Info)
      throw Error(3049, "The compacted copy fails the integrity check" +
                            (f.table.empty() ? std::string() : " (table '" + f.table + "')") +
                            ": " + copyFinding(f.message) +
                            " The copy was discarded; the source was not changed.");
}

// Reads the output back as verification sees it: the integrity check a user
// would run on it (on the other core), and the same rows and index entries as
// were copied from the source. A user table's entries were proved its rows'
// keys before they were written, and the digest proves they were written so;
// the system tables' keys were rewritten with their Ids, so the check makes
// theirs again from the rows.
void verifyOutput(const std::shared_ptr<OutputFile>& out, const Credentials& credentials,
                  const WriteOutcome& written, Pacer& pacer) {
  std::atomic<bool> stop{false};
  CheckReport report;
  Background checker([&] {
    const auto db = Database::open(out, credentials.password);
    checkDatabase(*db, report, &stop, Depth::DeepSystem);
  });
  try {
    const auto db = Database::open(out, credentials.password);
    const std::vector<CatalogTable> tables = catalogTables(*db);
    std::vector<TableDigest> digest;
    for (size_t i = 0; i < tables.size(); ++i) {
      digest.push_back(digestTable(*db, tables[i]));
      pacer.now(static_cast<double>(i + 1) / (tables.size() + 1));
    }
    compareDigests(written.digest, digest);
    if (written.references && resolvedReferences(*db) != *written.references)
      throw Error(3049,
                  "The compacted copy does not match its source: a table Id it holds "
                  "does not name the table it named.");
    checker.join(pacer, 1.0);
  } catch (const Corrupt& e) {
    stop = true;
    throw Error(3049, std::string("The compacted copy does not read back correctly: ") + e.what());
  } catch (...) {
    stop = true;
    throw;
  }
  failOnFindings(report);
}

// Salvage's report, written and flushed but not yet named.
std::shared_ptr<OutputFile> writeLostReport(FileSystem& fs, const std::string& path,
                                            const CompactResult& result, uint32_t mode) {
  if (result.lost.empty() && result.recovered.empty() && result.fromTemplate.empty())
    return nullptr;
  const std::string text = lostReport(result);
  const std::shared_ptr<OutputFile> out = fs.createOutput(path);
  out->setMode(mode);  // it holds row data too
  out->writeAt(0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  out->sync();
  return out;
}

}  // namespace

CompactResult compactWith(FileSystem& fs, const std::string& src, const std::string& dst,
                          const Credentials& credentials, const CompactOptions& options,
                          const Progress& progress) {
  const FileState before = sourceState(fs, src);
  if (fs.exists(dst)) throw Error(3204, "Database already exists.");
  const std::string lostPath = dst + ".lost.txt";
  if (options.salvage && fs.exists(lostPath))
    throw Error(3204, "'" + lostPath + "' already exists; salvage would write its report there.");
  if (databaseInUse(fs, src)) throwInUse(src);
  std::unique_ptr<Database> templ;
  if (options.salvage && !options.templatePath.empty())
    templ = Database::open(fs, options.templatePath, credentials.password);
  SourceRepairs repairs;
  std::shared_ptr<ReadFile> file;
  std::unique_ptr<Database> source =
      openSource(fs, src, credentials, templ.get(), options.salvage, file, repairs);
  Pacer pacer(progress);
  const std::shared_ptr<OutputFile> out = fs.createOutput(dst);
  out->setMode(before.mode);
  // One pass over every page: whom each data page names as owner, the
  // evidence of rows a table's own structures may have lost.
  pacer.phase(0.0, 0.04);
  PageCensus census = PageCensus::take(
      *source,
      [&, n = 0.0, all = double(source->pageCount())]() mutable { pacer.step(++n / all); });
  if (options.salvage)
    source = repairedForSalvage(std::move(source), file, credentials, templ.get(), census, repairs);
  pacer.phase(0.04, 0.85);
  WriteOutcome outcome;
  try {
    // Runs of a sort go to unnamed files beside the output, gone with them.
    const SortSpace sort{options.sortMemory ? options.sortMemory : kSortMemory,
                         [&fs, &dst] { return fs.createOutput(dst + ".sort"); }};
    const Pacer::Part part(pacer);
    outcome = writeCompacted(*source, *out, options, pacer, sort, census, templ.get());
    std::vector<std::string>& taken = outcome.result.fromTemplate;
    taken.insert(taken.begin(), repairs.fromTemplate.begin(), repairs.fromTemplate.end());
    outcome.result.madeAfresh = std::move(repairs.madeAfresh);
    outcome.result.recoveredTables = std::move(repairs.recoveredTables);
  } catch (const Corrupt& e) {
    // Damage that appeared while the file was read is another program's writing.
    if (sourceState(fs, src) != before) throwInUse(src);
    throw Error(3049, "Cannot compact '" + src + "': " + e.description());
  } catch (const Error& e) {
    // So is a refusal for such damage.
    if (e.number() == 3049 && sourceState(fs, src) != before) throwInUse(src);
    throw;
  }
#ifdef __GLIBC__
  // What the copying freed goes back to the system before the read-back
  // takes its share; glibc keeps freed heap otherwise.
  ::malloc_trim(0);
#endif
  // The flush to disk runs while the copy is read back: both must succeed
  // before the copy gets its name.
  pacer.phase(0.85, 1.0);
  Background flusher([&] { out->sync(); });
  std::exception_ptr verifyFailed;
  try {
    verifyOutput(out, credentials, outcome, pacer);
  } catch (...) {
    verifyFailed = std::current_exception();
  }
  flusher.join(pacer, 1.0);  // a failed flush is reported first, as it happened first
  if (verifyFailed) std::rethrow_exception(verifyFailed);
  if (sourceState(fs, src) != before) throwInUse(src);
  pacer.now(1.0);
  const std::shared_ptr<OutputFile> report =
      writeLostReport(fs, lostPath, outcome.result, before.mode);
  out->publish();
  bool reported = false;
  try {
    if (report) report->publish();
    reported = report != nullptr;
    fs.syncDirectory(folderOf(dst));
  } catch (...) {
    fs.remove(dst);
    if (reported) fs.remove(lostPath);
    throw;
  }
  return outcome.result;
}

}  // namespace jet::compact

namespace jet {

CompactResult compactDatabase(const std::string& src, const std::string& dst,
                              const Credentials& credentials, const CompactOptions& options,
                              const Progress& progress) {
  return compact::compactWith(defaultFileSystem(), src, dst, credentials, options, progress);
}

}  // namespace jet
