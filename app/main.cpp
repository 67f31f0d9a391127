// tarnel: the composition root. Builds the real services, the state objects, the shell and the
// window, in that order, and runs the event loop.

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QPalette>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSystemTrayIcon>
#include <QUrl>

#include <chrono>
#include <memory>

#include "core/EngineEnvironment.h"
#include "core/HttpEngine.h"
#include "platform/BundleInfo.h"
#include "platform/XdgPaths.h"
#include "ui/account/AccountContext.h"
#include "ui/account/DeviceManager.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/base/Workers.h"
#include "ui/base/services/Services.h"
#include "ui/controls/ClipboardWarning.h"
#include "ui/shell/AccountCheck.h"
#include "ui/shell/AccountMenu.h"
#include "ui/shell/ApplicationDelegate.h"
#include "ui/shell/LumoraPlugins.h"
#include "ui/shell/QuitPath.h"
#include "ui/shell/ShellActions.h"
#include "ui/shell/SingleInstance.h"
#include "ui/shell/StartupController.h"

namespace {

using namespace std::chrono_literals;
using namespace lumora;

// How long leaving waits for the VPN to report that it stopped.
constexpr auto kStopBound = 3s;

bool isDarkPanel() {
  // The panel usually follows the desktop's colour scheme, which the palette reflects.
  return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

void trustDevelopmentService() {
#ifdef TARNEL_DEV_CA_FILE
  // Development builds talk to the local development service, whose authority is its own.
  const std::filesystem::path ca = TARNEL_DEV_CA_FILE;
  helmsey::HttpEngine::setExtraCertificateAuthority(ca);
  helmsey::EngineEnvironment environment = helmsey::engineEnvironment();
  environment.extraCaCertificate = ca;
  helmsey::setEngineEnvironment(environment);
#endif
}

// Hands the crash lines of an earlier launch to the cloud log, off the launch path.
void reportEarlierCrash(const Services& services) {
  services.engine->registerCrashHandle();
  auto engine = services.engine;
  auto log = services.cloudLog;
  Workers::run([engine, log] {
    engine->crashHandle([log](std::optional<std::vector<std::string>> lines) {
      if (!lines || lines->empty()) return;
      std::string joined;
      for (const auto& line : *lines) {
        if (!joined.empty()) joined += ' ';
        joined += line;
      }
      log->log({{"crash Log", joined}}, tarnel::LogTopic::CRASH);
    });
  });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication::setApplicationName(QStringLiteral("tarnel"));
  QApplication::setApplicationDisplayName(QString::fromStdString(platform::mainBundle().displayName));
  QApplication::setDesktopFileName(QStringLiteral("tarnel"));
  QApplication app(argc, argv);
  // Closing the window follows the close-button setting, never Qt's last-window rule.
  app.setQuitOnLastWindowClosed(false);
  QQuickStyle::setStyle(QStringLiteral("Basic"));

  SingleInstance instance(SingleInstance::defaultName());
  if (!instance.claim()) return 0;  // the running program shows its window instead

  trustDevelopmentService();
  Services services = makeRealServices();

  AppStateOptions options;
  options.isAppStore = isAppStoreBuild();
  UiObjects ui(services, options);

  QuitPath::Actions leaving;
  leaving.exit = [](int code) { QCoreApplication::exit(code); };
  leaving.relaunch = [] {
    return QProcess::startDetached(QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1));
  };
  leaving.releaseInstance = [&instance] { instance.release(); };
  QuitPath quitPath(services.engine, leaving, kStopBound);

  AccountCheck accountCheck(services, *ui.state, nullptr,
                            [](const QUrl& url) { return QDesktopServices::openUrl(url); }, nullptr);
  SharedInstance<AccountCheck>::install(&accountCheck);
  StartupController startup(services, *ui.state, accountCheck, [&quitPath](int code) { quitPath.quit(code); });
  SharedInstance<StartupController>::install(&startup);

  DeviceManager deviceManager(nullptr);
  SharedInstance<DeviceManager>::install(&deviceManager);
  AccountContext::Hooks accountHooks;
  accountHooks.login = [&accountCheck](const QString& email, const QString& password, std::int64_t force,
                                       const QString& code, AccountContext::Completion completion) {
    accountCheck.login(email, password, force, code, std::move(completion));
  };
  accountHooks.checkLive = [&accountCheck](AccountContext::Completion completion) {
    accountCheck.checkLive(std::move(completion));
  };
  accountHooks.vipRemainingTime = [&accountCheck] { return accountCheck.vipRemainingTime(); };
  // Support, privacy and terms open in the desktop's browser until the app has web windows.
  accountHooks.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  AccountContext accountContext(services, *ui.state, deviceManager, accountHooks, nullptr);
  SharedInstance<AccountContext>::install(&accountContext);

  AccountMenu::Hooks menuHooks;
  menuHooks.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  menuHooks.copyText = [](const QString& text) { QGuiApplication::clipboard()->setText(text); };
  AccountMenu accountMenu(services, *ui.state, menuHooks, nullptr);
  SharedInstance<AccountMenu>::install(&accountMenu);

  ShellActions::Hooks shellHooks;
  shellHooks.openFolder = [](const QUrl& folder) { return QDesktopServices::openUrl(folder); };
  shellHooks.clearStoredState = [settings = services.settings] { settings->clearAll(); };
  ShellActions actions(*ui.state, accountCheck, quitPath, services.engine,
                       platform::appCacheDir() / "logs", shellHooks, nullptr);
  SharedInstance<ShellActions>::install(&actions);

  ApplicationDelegate::Hooks delegateHooks;
  delegateHooks.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  delegateHooks.darkPanel = isDarkPanel;
  delegateHooks.showAbout = [&ui] { ui.state->router()->push(Route::about); };
  ApplicationDelegate delegate(*ui.state, quitPath, delegateHooks);
  QObject::connect(&instance, &SingleInstance::activationRequested, &delegate, &ApplicationDelegate::showWindow);

  QQmlApplicationEngine engine;
  ui.prepare(engine);
  engine.load(QUrl(QStringLiteral("qrc:/qt/qml/Lumora/Shell/MainWindow.qml")));
  auto* window = engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine.rootObjects().first());
  if (!window) return 1;
  ClipboardWarning clipboardWarning(engine, ui.modalWindows, nullptr);
  SharedInstance<ClipboardWarning>::install(&clipboardWarning);
  delegate.attachWindow(window);

  reportEarlierCrash(services);

  const int code = app.exec();
  SharedInstance<ClipboardWarning>::uninstall(&clipboardWarning);
  SharedInstance<AccountMenu>::uninstall(&accountMenu);
  SharedInstance<AccountContext>::uninstall(&accountContext);
  SharedInstance<DeviceManager>::uninstall(&deviceManager);
  SharedInstance<ShellActions>::uninstall(&actions);
  SharedInstance<StartupController>::uninstall(&startup);
  SharedInstance<AccountCheck>::uninstall(&accountCheck);
  return code;
}
