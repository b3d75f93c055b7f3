// Writes an unsigned 32-bit PE image of about the given size (in bytes) for
// the tagging benchmark to sign.
#include <cstdio>
#include <cstdlib>

#include "test_image.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: tag_bench_image OUT SIZE\n", stderr);
    return 2;
  }
  const size_t size = std::strtoull(argv[2], nullptr, 10);
  if (!WriteBytes(argv[1], MakeLargeImage(size))) {
    std::fprintf(stderr, "tag_bench_image: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
