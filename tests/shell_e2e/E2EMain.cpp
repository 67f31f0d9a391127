// End-to-end scenarios of the real program: the composition root, a real window on a private X
// server of this process, the real services against the loopback doubles, in a home of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QQuickStyle>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/Application.h"
#include "tests/shell_e2e/Desktop.h"
#ifdef LUMORA_E2E_DESKTOP_HOSTS
#include "tests/shell_e2e/DesktopHosts.h"
#endif
#include "tests/support/TestHome.h"
#include "tests/ui_support/SettingsWriteCheck.h"
#include "ui/shell/LumoraPlugins.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();  // listing needs no screen

  tarnel::test::TestHome home;
  const auto screen = lumora::test::startDesktop();
  if (!screen) return 1;
#ifdef LUMORA_E2E_DESKTOP_HOSTS
  // A window manager and a tray host, as a user's desktop has them.
  lumora::test::DesktopHosts hosts;
  if (!hosts.started()) {
    std::fprintf(stderr, "the desktop did not start: %s\n", hosts.failure().c_str());
    return 1;
  }
#endif
  QApplication app(argc, argv);
  lumora::test::styleDesktop(app);
  lumora::test::failOnGuiThreadSettingsWrites();
  return RUN_ALL_TESTS();
}
