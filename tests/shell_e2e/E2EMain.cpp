// End-to-end scenarios of the real program: the composition root, a real window on a private X
// server of this process, the real services against the loopback doubles, in a home of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QQuickStyle>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/Application.h"
#include "tests/shell_e2e/XServer.h"
#include "tests/support/TestHome.h"
#include "ui/shell/LumoraPlugins.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();  // listing needs no screen

  tarnel::test::TestHome home;
  // The Secret Service of a fresh session would ask for a new keyring and wait for an answer no
  // one gives: the device identity goes to the file store here.
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
  setenv("LANG", "C.UTF-8", 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  std::unique_ptr<lumora::test::XServer> screen;
  try {
    screen = std::make_unique<lumora::test::XServer>();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  tarnel_app::Application::prepareProcess();
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  QQuickStyle::setStyle(QStringLiteral("Basic"));
  return RUN_ALL_TESTS();
}
