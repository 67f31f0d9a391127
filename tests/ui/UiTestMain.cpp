// The user interface's GoogleTest cases: one GUI application per process, offscreen unless the
// caller chose a platform (test listing does not pass the test's environment), in a home of
// its own.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdlib>

#include "tests/support/TestHome.h"
#include "tests/ui_support/SettingsWriteCheck.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("LANG", "C.UTF-8", 0);
  testing::InitGoogleTest(&argc, argv);
  tarnel::test::TestHome home;
  QGuiApplication app(argc, argv);
  lumora::test::failOnGuiThreadSettingsWrites();
  return RUN_ALL_TESTS();
}
