// End-to-end scenarios of the real program that open its web windows: as E2EMain, with the
// browser engine set up as the program's own main() does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <cstdlib>
#include <unistd.h>

#include "tests/shell_e2e/Desktop.h"
#include "tests/support/TestHome.h"
#include "ui/info/ModalWindows.h"
#include "ui/shell/LumoraPlugins.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  tarnel::test::TestHome home;
  const auto screen = lumora::test::startDesktop();
  if (!screen) return 1;
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  lumora::ModalWindows::registerLinkSchemes();
  QtWebEngineQuick::initialize();
  QApplication app(argc, argv);
  lumora::test::styleDesktop(app);
  return RUN_ALL_TESTS();
}
