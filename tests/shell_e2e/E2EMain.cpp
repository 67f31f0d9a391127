// End-to-end scenarios of the real program: the composition root, a real window on a private X
// server of this process, the real services against the loopback doubles, in a home of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QQuickStyle>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/Application.h"
#include "tests/shell_e2e/Desktop.h"
#include "tests/support/TestHome.h"
#include "tests/ui_support/SettingsWriteCheck.h"
#include "ui/shell/LumoraPlugins.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();  // listing needs no screen

  tarnel::test::TestHome home;
  const auto screen = lumora::test::startDesktop();
  if (!screen) return 1;
  QApplication app(argc, argv);
  lumora::test::styleDesktop(app);
  lumora::test::failOnGuiThreadSettingsWrites();
  return RUN_ALL_TESTS();
}
