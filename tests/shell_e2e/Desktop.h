#pragma once

// What a process that runs the real window needs before and after its QApplication exists: a
// session without a Secret Service, a private X server, the program's own process settings and
// its window style. The caller makes its home first (TestHome).
#include <QApplication>
#include <QQuickStyle>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "app/Application.h"
#include "tests/shell_e2e/XServer.h"

namespace lumora::test {

// Before the application object. A null server (with the reason printed) means no display.
inline std::unique_ptr<XServer> startDesktop() {
  // The Secret Service of a fresh session would ask for a new keyring and wait for an answer no
  // one gives: the device identity goes to the file store here.
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
  setenv("LANG", "C.UTF-8", 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  std::unique_ptr<XServer> screen;
  try {
    screen = std::make_unique<XServer>();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return nullptr;
  }
  tarnel_app::Application::prepareProcess();
  return screen;
}

// After the application object, as the program sets itself up.
inline void styleDesktop(QApplication& app) {
  app.setQuitOnLastWindowClosed(false);
  QQuickStyle::setStyle(QStringLiteral("Basic"));
}

}  // namespace lumora::test
