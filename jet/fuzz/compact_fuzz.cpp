// Fuzz target: a damaged file through the whole compaction. It either fails
// with a jet::Error and leaves nothing behind, or writes an output that
// passed its own read-back and check, and that compacts again to the same
// size. Anything else (a crash, another exception, a leftover file) is a bug.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jet/Engine.h"
#include "jet/Error.h"

namespace {

std::string scratch() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/compact-fuzz-XXXXXX";
    const char* d = ::mkdtemp(tmpl);
    if (!d) std::abort();
    return std::string(d);
  }();
  return dir;
}

int entries(const std::string& dir) {
  int n = 0;
  DIR* d = ::opendir(dir.c_str());
  if (!d) std::abort();
  while (const dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') ++n;
  ::closedir(d);
  return n;
}

// Salvage of the same input fails as cleanly, or writes a copy that passed
// its read-back (every row the source's) and compacts again to its size (or
// smaller, where a damaged system table kept the definitions in place and the
// clean copy can now be packed); where plain compaction succeeded, it writes
// a copy of the same size.
void salvage(const std::string& dir, const std::string& src, const char* connect,
             uint64_t plainBytes) {
  const std::string out = dir + "/salvaged.mdb", again = dir + "/again.mdb";
  jet::CompactOptions options;
  options.salvage = true;
  jet::CompactResult r;
  try {
    r = jet::compactDatabase(src, out, connect, options);
  } catch (const jet::Error&) {
    if (entries(dir) != 1) std::abort();
    return;
  }
  if (plainBytes && r.outputBytes != plainBytes) std::abort();
  try {
    const uint64_t size = jet::compactDatabase(out, again, connect).outputBytes;
    if (size > r.outputBytes || (size < r.outputBytes && r.fallbackReason.empty())) std::abort();
  } catch (const jet::Error& e) {
    std::fprintf(stderr, "the output of a salvage does not compact: %s\n", e.what());
    std::abort();
  }
  ::unlink(again.c_str());
  ::unlink(out.c_str());
  ::unlink((out + ".lost.txt").c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string dir = scratch();
  const std::string src = dir + "/src.mdb", out = dir + "/out.mdb", again = dir + "/again.mdb";
  FILE* f = std::fopen(src.c_str(), "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();
  for (const char* connect : {"", ";pwd=m0ssb4nk7q", ";pwd=password"}) {
    jet::CompactResult r;
    try {
      r = jet::compactDatabase(src, out, connect);
    } catch (const jet::Error& e) {
      // Nothing may be left beside the source after a failure.
      if (entries(dir) != 1) std::abort();
      if (e.number() == 3031) continue;
      salvage(dir, src, connect, 0);
      break;
    }
    // What compaction wrote compacts again, to the same size.
    try {
      if (jet::compactDatabase(out, again, connect).outputBytes != r.outputBytes) std::abort();
    } catch (const jet::Error& e) {
      std::fprintf(stderr, "the output of a compaction does not compact: %s\n", e.what());
      std::abort();
    }
    ::unlink(again.c_str());
    ::unlink(out.c_str());
    salvage(dir, src, connect, r.outputBytes);
    break;
  }
  ::unlink(src.c_str());
  return 0;
}
