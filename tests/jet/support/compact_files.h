#pragma once

// File helpers for the compaction tests: a scratch folder, copies, listings.

#include <cstdint>
#include <string>
#include <vector>

namespace jet::testing {

// A fresh folder under the build tree, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> entries() const;  // names, sorted

 private:
  std::string path_;
};

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool fileExists(const std::string& path);
// tests/data/jet/<name>
std::string testData(const std::string& name);
// The shared fixture folder when present, else "".
std::string sharedFixtures();

}  // namespace jet::testing
