#include "jet/support/faults.h"

#include <cstring>

#include "jet/Error.h"

namespace jettest {
namespace {

jet::FileSystem& real() { return jet::defaultFileSystem(); }

class FaultyReadFile : public jet::ReadFile {
 public:
  FaultyReadFile(FaultyFileSystem& fs, std::shared_ptr<jet::ReadFile> file)
      : fs_(fs), file_(std::move(file)) {}
  size_t readAt(uint64_t offset, uint8_t* data, size_t size) override {
    return file_->readAt(offset, data, fs_.readStep(size, file_->name()));
  }
  jet::FileState state() override { return file_->state(); }
  const std::string& name() const override { return file_->name(); }

 private:
  FaultyFileSystem& fs_;
  std::shared_ptr<jet::ReadFile> file_;
};

class FaultyOutputFile : public jet::OutputFile {
 public:
  FaultyOutputFile(FaultyFileSystem& fs, std::shared_ptr<jet::OutputFile> file)
      : fs_(fs), file_(std::move(file)) {}
  size_t readAt(uint64_t offset, uint8_t* data, size_t size) override {
    return file_->readAt(offset, data, size);
  }
  jet::FileState state() override { return file_->state(); }
  const std::string& name() const override { return file_->name(); }
  void writeAt(uint64_t offset, const uint8_t* data, size_t size) override {
    fs_.writeStep("writing", name());
    fs_.wrote(size, name());
    std::vector<uint8_t> bytes(data, data + size);
    for (const auto& [at, bits] : fs_.flips)
      if (at >= offset && at < offset + size) bytes[at - offset] ^= bits;
    file_->writeAt(offset, bytes.data(), size);
  }
  void sync() override {
    fs_.writeStep("flushing", name());
    file_->sync();
  }
  void publish() override {
    if (fs_.beforePublish) fs_.beforePublish();
    fs_.writeStep("renaming to", name());
    file_->publish();
  }

 private:
  FaultyFileSystem& fs_;
  std::shared_ptr<jet::OutputFile> file_;
};

}  // namespace

void FaultyFileSystem::writeStep(const std::string& what, const std::string& path) {
  if (++writes_ == failWriteAt) jet::throwWriteError(writeErrno, what, path);
}

void FaultyFileSystem::wrote(uint64_t bytes, const std::string& path) {
  written_ += bytes;
  if (written_ > diskBytes) jet::throwWriteError(ENOSPC, "writing", path);
}

size_t FaultyFileSystem::readStep(size_t size, const std::string& path) {
  if (++reads_ != failReadAt) return size;
  if (shortRead) return size / 2;
  throw jet::Error(3043,
                   "Disk or network error. (reading '" + path + "': " + std::strerror(EIO) + ")");
}

std::shared_ptr<jet::ReadFile> FaultyFileSystem::openRead(const std::string& path) {
  return std::make_shared<FaultyReadFile>(*this, real().openRead(path));
}

std::shared_ptr<jet::OutputFile> FaultyFileSystem::createOutput(const std::string& finalPath) {
  writeStep("creating", finalPath);
  return std::make_shared<FaultyOutputFile>(*this, real().createOutput(finalPath));
}

std::optional<jet::FileState> FaultyFileSystem::stat(const std::string& path) {
  return real().stat(path);
}
bool FaultyFileSystem::exists(const std::string& path) { return real().exists(path); }
std::string FaultyFileSystem::resolve(const std::string& path) { return real().resolve(path); }
bool FaultyFileSystem::lockHeld(const std::string& path, uint64_t start, uint64_t length) {
  return real().lockHeld(path, start, length);
}

void FaultyFileSystem::syncDirectory(const std::string& dir) {
  writeStep("flushing folder", dir);
  real().syncDirectory(dir);
}

void FaultyFileSystem::remove(const std::string& path) noexcept { real().remove(path); }

}  // namespace jettest
