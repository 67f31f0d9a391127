// The program's process as app/main.cpp makes it, on a private X server of its own and in a home
// of its own: the browser engine set up before the application object, for the web windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <unistd.h>

#include "tests/shell_e2e/Desktop.h"
#include "tests/support/TestHome.h"
#include "ui/info/ModalWindows.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();  // listing needs no screen

  tarnel::test::TestHome home;
  const auto screen = lumora::test::startDesktop();
  if (!screen) return 1;
  // The browser engine's sandbox cannot run as root.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  lumora::ModalWindows::registerLinkSchemes();
  QtWebEngineQuick::initialize();
  QApplication app(argc, argv);
  lumora::test::styleDesktop(app);
  return RUN_ALL_TESTS();
}
