// Writes jetdb's man page at build time: jetdb_man OUTPUT VERSION.
#include <cstdio>

#include "jet/cli/Help.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: jetdb_man OUTPUT VERSION\n", stderr);
    return 2;
  }
  const std::string page = jetdb::help::manPage(argv[2]);
  std::FILE* f = std::fopen(argv[1], "wb");
  const bool ok = f && std::fwrite(page.data(), 1, page.size(), f) == page.size();
  if ((f && std::fclose(f) != 0) || !ok) {
    std::perror(argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
