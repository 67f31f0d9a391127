#include "app/Application.h"

#include <QApplication>
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
#include <QFileInfo>

#include <chrono>
#include <memory>

#include "core/EngineEnvironment.h"
#include "core/HttpEngine.h"
#include "platform/BundleInfo.h"
#include "platform/XdgPaths.h"
#include "services/network/DeploymentConfig.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/base/Workers.h"
#include "ui/base/services/Services.h"
#include "ui/info/DownloadManager.h"
#include "ui/info/InfoActions.h"
#include "ui/info/InfoContext.h"
#include "ui/info/ModalWindows.h"
#include "ui/info/UpdateManager.h"
#include "ui/shell/AccountCheck.h"
#include "ui/shell/ApplicationDelegate.h"
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

namespace tarnel_app {

struct Application::Parts {
  SingleInstance instance{SingleInstance::defaultName()};
  Services services;
  std::unique_ptr<UiObjects> ui;
  std::unique_ptr<QuitPath> quitPath;
  std::unique_ptr<AccountCheck> accountCheck;
  std::unique_ptr<StartupController> startup;
  std::unique_ptr<ShellActions> actions;
  std::unique_ptr<ApplicationDelegate> delegate;
  std::unique_ptr<ModalWindows> modalWindows;
  std::unique_ptr<DownloadManager> download;
  std::unique_ptr<UpdateManager> update;
  std::unique_ptr<InfoActions> infoActions;
  InfoContext infoContext;
  // The update package to open once the quit path has stopped the VPN; empty for a plain quit.
  QString packageToOpen;
  std::unique_ptr<QQmlApplicationEngine> engine;

  ~Parts() {
    engine.reset();  // the window and its bindings go before the objects they read
    SharedInstance<InfoContext>::uninstall(&infoContext);
    if (infoActions) SharedInstance<InfoActions>::uninstall(infoActions.get());
    if (update) SharedInstance<UpdateManager>::uninstall(update.get());
    if (download) SharedInstance<DownloadManager>::uninstall(download.get());
    if (modalWindows) SharedInstance<ModalWindows>::uninstall(modalWindows.get());
    if (actions) SharedInstance<ShellActions>::uninstall(actions.get());
    if (startup) SharedInstance<StartupController>::uninstall(startup.get());
    if (accountCheck) SharedInstance<AccountCheck>::uninstall(accountCheck.get());
  }
};

Application::Application(LaunchHooks hooks) : hooks_(std::move(hooks)), parts_(std::make_unique<Parts>()) {}

Application::~Application() = default;

bool Application::start() {
  Parts& p = *parts_;
  if (!p.instance.claim()) return false;  // the running program shows its window instead

  trustDevelopmentService();
  p.services = makeRealServices();

  AppStateOptions options;
  options.isAppStore = isAppStoreBuild();
  p.ui = std::make_unique<UiObjects>(p.services, options);

  QuitPath::Actions leaving;
  leaving.exit = [&p](int code) {
    // The VPN is down by now: the desktop's package installer takes the update from here.
    if (!p.packageToOpen.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(p.packageToOpen));
    QCoreApplication::exit(code);
  };
  leaving.relaunch = [] {
    return QProcess::startDetached(QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1));
  };
  leaving.releaseInstance = [&p] { p.instance.release(); };
  p.quitPath = std::make_unique<QuitPath>(p.services.engine, leaving, kStopBound);

  p.accountCheck = std::make_unique<AccountCheck>(
      p.services, *p.ui->state, nullptr, [](const QUrl& url) { return QDesktopServices::openUrl(url); }, nullptr);
  SharedInstance<AccountCheck>::install(p.accountCheck.get());
  p.startup = std::make_unique<StartupController>(p.services, *p.ui->state, *p.accountCheck,
                                                  [&p](int code) { p.quitPath->quit(code); });
  SharedInstance<StartupController>::install(p.startup.get());

  const auto openWebAddress = [](const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return false;
    return QDesktopServices::openUrl(url);
  };
  p.modalWindows = std::make_unique<ModalWindows>(p.ui->modalWindows, nullptr);
  SharedInstance<ModalWindows>::install(p.modalWindows.get());
  DownloadManager::Options downloadOptions;
  downloadOptions.cacheDir = QString::fromStdString(platform::appCacheDir().string());
  downloadOptions.fileName = QString::fromUtf8(tarnel::deployment::kUpdateFileName);
  downloadOptions.finished = [&p](const QString& path) {
    p.packageToOpen = path;
    p.quitPath->quit(0);
  };
  p.download = std::make_unique<DownloadManager>(downloadOptions, nullptr);
  SharedInstance<DownloadManager>::install(p.download.get());
  UpdateManager::Options updateOptions;
  updateOptions.buildNumber = parseBuildNumber(platform::mainBundle().buildVersion);
  updateOptions.isAppStore = isAppStoreBuild();
  updateOptions.storePage = QUrl(QStringLiteral(TARNEL_STORE_PAGE));
  updateOptions.openUrl = openWebAddress;
  updateOptions.quit = [&p] { p.quitPath->quit(0); };
  p.update = std::make_unique<UpdateManager>(p.services, p.ui->dialog, *p.download, updateOptions, nullptr);
  SharedInstance<UpdateManager>::install(p.update.get());
  p.infoContext.services = p.services;
  p.infoContext.state = p.ui->state.get();
  p.infoContext.windows = p.modalWindows.get();
  p.infoContext.openUrl = openWebAddress;
  p.infoContext.openOfficialWebsite = [&p] { p.accountCheck->openOfficialWebsite(); };
  // The clipboard warning's window (lumora::ClipboardWarning::open) comes with the sign-in pages'
  // work; until it is merged the guard empties the clipboard and stops without a window.
  p.infoContext.openClipboardWarning = nullptr;
  SharedInstance<InfoContext>::install(&p.infoContext);
  p.infoActions = std::make_unique<InfoActions>(
      p.infoContext, QString::fromStdString(platform::mainBundle().shortVersion),
      QString::fromStdString(platform::mainBundle().buildVersion), isAppStoreBuild(), nullptr);
  SharedInstance<InfoActions>::install(p.infoActions.get());

  ShellActions::Hooks shellHooks;
  shellHooks.checkUpdate = [&p](bool manual) { p.update->checkUpdate(manual); };
  shellHooks.openFolder = [](const QUrl& folder) { return QDesktopServices::openUrl(folder); };
  shellHooks.clearStoredState = [settings = p.services.settings] { settings->clearAll(); };
  p.actions = std::make_unique<ShellActions>(*p.ui->state, *p.accountCheck, *p.quitPath, p.services.engine,
                                             platform::appCacheDir() / "logs", shellHooks, nullptr);
  SharedInstance<ShellActions>::install(p.actions.get());

  ApplicationDelegate::Hooks delegateHooks;
  delegateHooks.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  delegateHooks.darkPanel = isDarkPanel;
  delegateHooks.showAbout = [&p] { p.ui->state->router()->push(Route::about); };
  delegateHooks.checkUpdate = [&p](bool manual) { p.update->checkUpdate(manual); };
  p.delegate = std::make_unique<ApplicationDelegate>(*p.ui->state, *p.quitPath, delegateHooks);
  QObject::connect(&p.instance, &SingleInstance::activationRequested, p.delegate.get(),
                   &ApplicationDelegate::showWindow);

  // The window is a small fixed page of flat shapes, text and pictures: the software scene graph
  // draws it without a GL context, which starts faster and uses well under half the memory of
  // one (most desktops here draw GL in software anyway). QT_QUICK_BACKEND still chooses.
  if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

  p.engine = std::make_unique<QQmlApplicationEngine>();
  p.ui->prepare(*p.engine);
  p.modalWindows->setEngine(p.engine.get());
  p.update->setEngine(p.engine.get());
  p.engine->load(QUrl(QStringLiteral("qrc:/qt/qml/Lumora/Shell/MainWindow.qml")));
  const auto roots = p.engine->rootObjects();
  auto* window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
  if (!window) return false;
  p.delegate->attachWindow(window);
  if (hooks_.windowReady) hooks_.windowReady(window);
  // The automatic check, once the window's content first shows.
  QMetaObject::invokeMethod(p.update.get(), [&p] { p.update->checkUpdate(false); }, Qt::QueuedConnection);

  reportEarlierCrash(p.services);
  return true;
}

int Application::exec() { return QCoreApplication::exec(); }

}  // namespace tarnel_app
