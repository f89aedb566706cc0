#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("jetdb %s\n", LW_VERSION);
    return 0;
  }
  std::fprintf(stderr, "usage: jetdb --help\n");
  return 2;
}
