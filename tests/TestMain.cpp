// Every test process runs in a home of its own: HOME and the XDG folders point into a fresh
// temporary directory that is removed at exit, and no proxy variable leaks in from the shell.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TestHome.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  tarnel::test::TestHome home;
  return RUN_ALL_TESTS();
}
