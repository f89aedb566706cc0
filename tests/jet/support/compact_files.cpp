#include "jet/support/compact_files.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace jet::testing {

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  path_ = std::string(LW_BINARY_DIR) + "/scratch/compact-" + std::to_string(::getpid()) + "-" +
          std::to_string(counter++);
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path) { return fs::exists(path); }

std::string testData(const std::string& name) {
  return std::string(LW_TEST_DATA_DIR) + "/jet/" + name;
}

std::string sharedFixtures() {
  const std::string dir = std::string(LW_SOURCE_DIR) + "/../shared/fixtures";
  return fs::is_directory(dir) ? dir : std::string();
}

}  // namespace jet::testing
