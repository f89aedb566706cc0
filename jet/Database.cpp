#include "jet/Database.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "jet/Password.h"
#include "jet/Rc4.h"

namespace jet {
namespace {

std::vector<uint8_t> readWholeFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
    throw Error(3024, "Could not find file '" + path + "'.");
  if (!S_ISREG(st.st_mode)) throwCannotOpen(path);  // FIFOs, devices: never block on them
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) throw Error(3024, "Could not find file '" + path + "'.");
    throw Error(3051, "Cannot open the file '" + path +
                          "'. It is already opened exclusively by another user, or you need "
                          "permission to view its data.");
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(done);  // a file that shrank while read is judged by what was read
  return bytes;
}

}  // namespace

std::unique_ptr<Database> Database::open(const std::string& path, const Credentials& credentials) {
  return fromBytes(readWholeFile(path), path, credentials);
}

std::unique_ptr<Database> Database::fromBytes(std::vector<uint8_t> bytes, const std::string& name,
                                              const Credentials& credentials) {
  std::unique_ptr<Database> db(new Database);
  db->name_ = name;
  db->bytes_ = std::move(bytes);
  db->data_ = db->bytes_.data();
  db->size_ = db->bytes_.size();
  db->load(credentials);
  return db;
}

std::unique_ptr<Database> Database::openPrivate(const std::string& path,
                                                const Credentials& credentials) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
    return open(path, credentials);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return open(path, credentials);
  const size_t size = static_cast<size_t>(st.st_size);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return open(path, credentials);
  std::unique_ptr<Database> db(new Database);
  db->name_ = path;
  db->map_ = map;
  db->data_ = static_cast<const uint8_t*>(map);
  db->size_ = size;
  db->load(credentials);
  return db;
}

Database::~Database() {
  if (map_) ::munmap(map_, size_);
}

void Database::dropPages() const {
  if (map_) ::madvise(map_, size_, MADV_DONTNEED);
}

void Database::load(const Credentials& credentials) {
  header_ = parseHeader(ByteView(data_, size_), name_);
  format_ = &Format::of(header_.version);
  const uint32_t ps = format_->pageSize;
  // A file cut short or padded is damaged; pages 0..2 must exist for the catalog.
  if (size_ % ps != 0 || size_ / ps < 3 || size_ / ps > 0xFFFFFF) throwCannotOpen(name_);
  pageCount_ = static_cast<uint32_t>(size_ / ps);

  const std::optional<std::string>& pwd = credentials.password;
  if (header_.hasPassword() && !passwordMatches(header_, pwd.value_or("")))
    throw Error(3031, "Not a valid password.");

  if (header_.dbKey != 0 && map_) {
    // Encoded pages are decoded in memory: the mapping gives way to a copy.
    bytes_.assign(data_, data_ + size_);
    ::munmap(map_, size_);
    map_ = nullptr;
    data_ = bytes_.data();
  }
  if (header_.dbKey != 0)
    for (uint32_t pg = 1; pg < pageCount_; ++pg)
      applyPageKey(header_.dbKey, pg, bytes_.data() + static_cast<size_t>(pg) * ps, ps);
}

void Database::pageOutOfRange(uint32_t pg) const {
  throw Corrupt("page " + std::to_string(pg) + " lies past the end of the file (" +
                std::to_string(pageCount_) + " pages)");
}

const Catalog& Database::catalog() const {
  if (!catalog_) catalog_ = std::make_unique<Catalog>(readCatalog(*this));
  return *catalog_;
}

const TableDef& Database::tableDef(uint32_t tdefPage) const {
  auto it = tableDefs_.find(tdefPage);
  if (it == tableDefs_.end())
    it = tableDefs_.emplace(tdefPage, std::make_unique<TableDef>(readTableDef(*this, tdefPage)))
             .first;
  return *it->second;
}

}  // namespace jet
