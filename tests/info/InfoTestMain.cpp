// The information pages' tests: one GUI application per process with the browser engine set
// up, offscreen unless the caller chose a platform, in a home of its own.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <cstdlib>
#include <unistd.h>

#include "tests/support/TestHome.h"
#include "tests/ui_support/SettingsWriteCheck.h"
#include "ui/info/ModalWindows.h"
#include "ui/shell/LumoraPlugins.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("LANG", "C.UTF-8", 0);
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  testing::InitGoogleTest(&argc, argv);
  tarnel::test::TestHome home;
  lumora::ModalWindows::registerLinkSchemes();
  QtWebEngineQuick::initialize();
  QGuiApplication app(argc, argv);
  lumora::test::failOnGuiThreadSettingsWrites();
  return RUN_ALL_TESTS();
}
