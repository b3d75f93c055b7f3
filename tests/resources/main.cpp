// Runs the resource tests against the stub named by the one argument left
// after GoogleTest has taken its own flags.
#include <gtest/gtest.h>

#include <cstdio>

#include "stub_image.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: resources_test [gtest flags] <path of stub.exe>\n");
    return 2;
  }
  SetStubPath(argv[1]);
  return RUN_ALL_TESTS();
}
