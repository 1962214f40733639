// The main of Tessel::gtest_main. The first line is the one CTest's
// gtest_discover_tests expects and skips when it reads the list.
#include <cstdio>

#include "gtest/gtest.h"

int main(int argc, char** argv) {
  std::printf("Running main() from gtest_main.cc\n");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
