// The shell's GoogleTest cases: one widgets application per process (the tray menu is a widget),
// offscreen unless the caller chose a platform, in a home of its own.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "tests/support/TestHome.h"
#include "tests/ui_support/SettingsWriteCheck.h"
#include "ui/shell/LumoraPlugins.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("LANG", "C.UTF-8", 0);
  testing::InitGoogleTest(&argc, argv);
  tarnel::test::TestHome home;
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  lumora::test::failOnGuiThreadSettingsWrites();
  return RUN_ALL_TESTS();
}
