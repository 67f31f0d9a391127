// tarnel: the program. The composition root is tarnel_app::Application.

#include <QApplication>
#include <QQuickStyle>

#include "app/Application.h"
#include "platform/BundleInfo.h"
#include "ui/shell/LumoraPlugins.h"

int main(int argc, char** argv) {
  QApplication::setApplicationName(QStringLiteral("tarnel"));
  QApplication::setApplicationDisplayName(QString::fromStdString(platform::mainBundle().displayName));
  QApplication::setDesktopFileName(QStringLiteral("tarnel"));
  QApplication app(argc, argv);
  // Closing the window follows the close-button setting, never Qt's last-window rule.
  app.setQuitOnLastWindowClosed(false);
  QQuickStyle::setStyle(QStringLiteral("Basic"));

  tarnel_app::Application tarnel;
  if (!tarnel.start()) return 0;
  return tarnel.exec();
}
