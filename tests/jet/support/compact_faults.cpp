#include "jet/support/compact_faults.h"

#include <cerrno>

namespace jet::testing {

namespace {

class FaultyFile : public WriteFile {
 public:
  FaultyFile(FaultyFileSystem& fs, std::unique_ptr<WriteFile> real, std::string path)
      : fs_(fs), real_(std::move(real)), path_(std::move(path)) {}
  void writeAt(uint64_t offset, const uint8_t* data, size_t size) override {
    fs_.step("writing", path_);
    fs_.wrote(size, path_);
    real_->writeAt(offset, data, size);
  }
  void sync() override {
    fs_.step("flushing", path_);
    real_->sync();
  }
  void close() override {
    fs_.step("closing", path_);
    real_->close();
  }

 private:
  FaultyFileSystem& fs_;
  std::unique_ptr<WriteFile> real_;
  std::string path_;
};

}  // namespace

FaultyFileSystem FaultyFileSystem::diskOf(uint64_t bytes) {
  FaultyFileSystem fs(0, ENOSPC);
  fs.budget_ = bytes;
  return fs;
}

void FaultyFileSystem::step(const std::string& what, const std::string& path) {
  ++ops_;
  if (ops_ == failAt_) throwWriteError(err_, what, path);
}

void FaultyFileSystem::wrote(uint64_t bytes, const std::string& path) {
  written_ += bytes;
  if (written_ > budget_) throwWriteError(ENOSPC, "writing", path);
}

std::unique_ptr<WriteFile> FaultyFileSystem::createNew(const std::string& path) {
  step("creating", path);
  return std::make_unique<FaultyFile>(*this, posixWriteFileSystem().createNew(path), path);
}

void FaultyFileSystem::publish(const std::string& from, const std::string& to) {
  step("renaming to", to);
  posixWriteFileSystem().publish(from, to);
}

void FaultyFileSystem::syncDirectory(const std::string& dir) {
  step("flushing folder", dir);
  posixWriteFileSystem().syncDirectory(dir);
}

void FaultyFileSystem::remove(const std::string& path) noexcept {
  posixWriteFileSystem().remove(path);
}

}  // namespace jet::testing
