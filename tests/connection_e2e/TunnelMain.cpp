// Tunnel mode end to end. The whole process moves into a network namespace of its own before any
// thread exists, so every thread, the tunnel host and the engines it starts share a private
// loopback, and the capture rules touch nothing of the machine's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QQuickStyle>

#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "app/Application.h"
#include "tests/shell_e2e/Desktop.h"
#include "tests/support/TestHome.h"
#include "ui/shell/LumoraPlugins.h"

// Set when the namespace could not be made; the tests then skip.
const char* gTunnelSkip = nullptr;

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  if (::geteuid() != 0) {
    gTunnelSkip = "the capture needs root";
  } else if (::unshare(CLONE_NEWNET) != 0 || std::system("ip link set lo up") != 0) {
    gTunnelSkip = "no network namespace of our own";
  }
  if (gTunnelSkip) return RUN_ALL_TESTS();

  tarnel::test::TestHome home;
  const auto screen = lumora::test::startDesktop();
  if (!screen) return 1;
  QApplication app(argc, argv);
  lumora::test::styleDesktop(app);
  return RUN_ALL_TESTS();
}
