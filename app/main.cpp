// tarnel: the program. The composition root is tarnel_app::Application.

#include <QApplication>
#include <QQuickStyle>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <unistd.h>

#include "app/Application.h"
#include "ui/info/ModalWindows.h"
#include "ui/shell/LumoraPlugins.h"

int main(int argc, char** argv) {
  QApplication::setApplicationName(QStringLiteral("tarnel"));
  // No display name: the toolkit would append it to every window title, and the main window's
  // title names the program already.
  QApplication::setDesktopFileName(QStringLiteral("tarnel"));
  tarnel_app::Application::prepareProcess();
  // The browser engine's sandbox cannot run as root; it then refuses to start without this.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  // Web pages need the engine set up before the application object.
  lumora::ModalWindows::registerLinkSchemes();
  QtWebEngineQuick::initialize();
  QApplication app(argc, argv);
  // Closing the window follows the close-button setting, never Qt's last-window rule.
  app.setQuitOnLastWindowClosed(false);
  QQuickStyle::setStyle(QStringLiteral("Basic"));

  tarnel_app::Application tarnel;
  // Handing over to the running instance is a success; a window that could not be made is not.
  if (!tarnel.start()) return tarnel.windowFailed() ? 1 : 0;
  return tarnel.exec();
}
