// Interim: until the page writer lands, "compaction" is a verified byte copy.
// It keeps the contract (complete file or nothing at dst) but shrinks nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "jet/Engine.h"

namespace jet {

CompactResult compactDatabase(const std::string& src, const std::string& dst,
                              const std::string& /*srcConnect*/, const CompactOptions& /*options*/,
                              const Progress& progress) {
  struct stat st {};
  if (::stat(src.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw Error(3024, "Could not find file '" + src + "'.");
  if (::access(dst.c_str(), F_OK) == 0) throw Error(3204, "Database already exists.");
  std::ifstream in(src, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) throw Error(3049, "Cannot open database '" + src + "'.");
  const std::string tmp = dst + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      std::remove(tmp.c_str());
      throw Error(3026, "Not enough space on disk.");
    }
  }
  if (progress && !progress(1.0)) {
    std::remove(tmp.c_str());
    throw Error(3049, "Compaction of '" + src + "' was cancelled.");
  }
  if (std::rename(tmp.c_str(), dst.c_str()) != 0) {
    std::remove(tmp.c_str());
    throw Error(3026, "Not enough space on disk.");
  }
  CompactResult r;
  r.sourceBytes = r.outputBytes = bytes.size();
  return r;
}

}  // namespace jet
