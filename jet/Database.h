#pragma once

// An open database, read-only: the file's pages (decoded when the database is
// encoded), the header, and the catalog and table definitions parsed on demand.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/Bytes.h"
#include "jet/Catalog.h"
#include "jet/Format.h"
#include "jet/Header.h"
#include "jet/TableDef.h"

namespace jet {

class Database {
 public:
  // Opens a file. Throws Error 3024 (missing), 3343 (foreign format),
  // 3049 (damaged: not whole pages, bad header), 3031 (wrong password).
  // The password comes with the credentials.
  static std::unique_ptr<Database> open(const std::string& path, const Credentials& credentials);
  // The same from bytes in memory (fuzzing, tests); `name` is used in messages.
  static std::unique_ptr<Database> fromBytes(std::vector<uint8_t> bytes, const std::string& name,
                                             const Credentials& credentials);
  // Opens a file that only this process writes (a compaction's own output):
  // an unencoded file is mapped instead of read, so its pages need not all be
  // in memory at once (see dropPages). Never for a file others may truncate:
  // touching a page cut off by another process ends the program.
  static std::unique_ptr<Database> openPrivate(const std::string& path, const Credentials& credentials);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& name() const { return name_; }
  const Header& header() const { return header_; }
  const Format& format() const { return *format_; }
  Version version() const { return header_.version; }
  bool jet4() const { return format_->jet4; }
  uint32_t pageSize() const { return format_->pageSize; }
  uint32_t pageCount() const { return pageCount_; }
  uint64_t fileSize() const { return size_; }

  // Page `pg`, decoded. Page 0 is returned as stored (mask on); header().unmasked
  // has it unmasked. Throws Corrupt when pg lies past the end of the file.
  ByteView page(uint32_t pg) const {
    if (pg >= pageCount_) pageOutOfRange(pg);
    return ByteView(data_ + static_cast<size_t>(pg) * format_->pageSize, format_->pageSize);
  }
  // A mapped file gives its pages back to the system; views stay valid (the
  // pages are read again from the file when touched). Nothing otherwise.
  void dropPages() const;
  bool hasPage(uint32_t pg) const { return pg < pageCount_; }

  // MSysObjects, read once. Throws Corrupt when the catalog cannot be read.
  const Catalog& catalog() const;
  // The definition whose first TDEF page is `tdefPage`, parsed once and kept.
  // Throws Corrupt when the chain or its sections are damaged.
  const TableDef& tableDef(uint32_t tdefPage) const;

 private:
  Database() = default;
  void load(const Credentials& credentials);
  [[noreturn]] void pageOutOfRange(uint32_t pg) const;

  std::string name_;
  std::vector<uint8_t> bytes_;     // the whole file, pages decoded in place (but page 0)
  const uint8_t* data_ = nullptr;  // bytes_, or the mapped file
  size_t size_ = 0;
  void* map_ = nullptr;  // the mapping, when mapped
  Header header_;
  const Format* format_ = nullptr;
  uint32_t pageCount_ = 0;
  mutable std::unique_ptr<Catalog> catalog_;
  mutable std::map<uint32_t, std::unique_ptr<TableDef>> tableDefs_;
};

}  // namespace jet
