// Every real file compacts into a smaller file that reads the same in our
// reader and in two independent ones (mdbtools' mdb-export, npm mdb-reader).
#include <gtest/gtest.h>

#include <filesystem>

#include "jet/Compact.h"
#include "jet/Error.h"
#include "jet/support/compact_files.h"
#include "jet/support/compact_judges.h"

using namespace jet::testing;

namespace {

std::vector<std::string> fixtureFiles() {
  std::vector<std::string> files;
  const std::string dir = sharedFixtures();
  if (dir.empty()) return files;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".mdb") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

std::string connectFor(const std::string& path) {
  if (path.find("bloat-V2000-pw") != std::string::npos ||
      path.find("pw-V1997") != std::string::npos)
    return ";pwd=m0ssb4nk7q";
  if (path.find("with-password") != std::string::npos) return ";pwd=password";
  return "";
}

}  // namespace

class CompactFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(CompactFixture, CompactsSmallerAndReadsTheSameInEveryReader) {
  if (sharedFixtures().empty()) GTEST_SKIP() << "shared fixtures not present";
  const std::string file = sharedFixtures() + "/" + GetParam();
  ScratchDir dir;
  const std::string out = dir.file("out.mdb");
  const auto before = readBytes(file);
  jet::CompactResult r;
  try {
    r = jet::compactDatabase(file, out, connectFor(file));
  } catch (const jet::Error& e) {
    FAIL() << e.number() << " " << e.what();
  }
  EXPECT_EQ(readBytes(file), before) << "the source changed";
  EXPECT_LE(r.outputBytes, r.sourceBytes);
  EXPECT_EQ(r.outputBytes, readBytes(out).size());
  std::printf("%-45s %9llu -> %9llu bytes\n", GetParam().c_str(),
              static_cast<unsigned long long>(r.sourceBytes),
              static_cast<unsigned long long>(r.outputBytes));
  expectSameInJudges(file, out, connectFor(file));
  // A compacted file has nothing left to squeeze out.
  const std::string again = dir.file("again.mdb");
  const jet::CompactResult r2 = jet::compactDatabase(out, again, connectFor(file));
  EXPECT_EQ(r2.outputBytes, r.outputBytes);
}

std::vector<std::string> fixtureNames() {
  std::vector<std::string> names;
  for (const std::string& f : fixtureFiles()) names.push_back(std::filesystem::path(f).filename());
  if (names.empty()) names.push_back("(none)");
  return names;
}

INSTANTIATE_TEST_SUITE_P(Shared, CompactFixture, ::testing::ValuesIn(fixtureNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });
