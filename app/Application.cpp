#include "app/Application.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QPalette>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlError>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QFileInfo>
#include <QSize>

#include <atomic>
#include <cstdio>
#include <optional>
#include <chrono>
#include <memory>
#include <condition_variable>
#include <iostream>
#include <mutex>

#include <unistd.h>

#include "core/EngineEnvironment.h"
#include "core/engine/CommandLineProxy.h"
#include "core/HttpEngine.h"
#include "core/engine/EnginePaths.h"
#include "core/engine/SystemProxy.h"
#include "platform/BundleInfo.h"
#include "platform/XdgPaths.h"
#include "services/base/Logger.h"
#include "services/common/Store.h"
#include "services/network/HttpClient.h"
#include "ui/account/AccountContext.h"
#include "ui/account/DeviceManager.h"
#include "services/network/DeploymentConfig.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/QtMessages.h"
#include "ui/base/ModalWindowType.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/base/Workers.h"
#include "ui/base/services/LinkService.h"
#include "ui/base/services/Services.h"
#include "ui/connection/AdvancedSettings.h"
#include "ui/connection/ConnectionContext.h"
#include "ui/connection/ExtensionAuthoriser.h"
#include "ui/controls/ClipboardWarning.h"
#include "ui/home/AnimationController.h"
#include "ui/home/ConnectManager.h"
#include "ui/home/HomeScreen.h"
#include "ui/location/LocationScreen.h"
#include "ui/controls/RemoteImages.h"
#include "ui/info/DownloadManager.h"
#include "ui/info/InfoActions.h"
#include "ui/info/InfoContext.h"
#include "ui/diagnosis/DiagnosisContext.h"
#include "ui/info/ModalWindows.h"
#include "ui/info/PackageInstaller.h"
#include "ui/info/UpdateManager.h"
#include "ui/shell/AccountCheck.h"
#include "ui/shell/AccountMenu.h"
#include "ui/shell/ApplicationDelegate.h"
#include "ui/shell/ExitWatch.h"
#include "ui/shell/QuitPath.h"
#include "ui/shell/ShellActions.h"
#include "ui/shell/SingleInstance.h"
#include "ui/shell/StartupController.h"
#include "ui/shell/TerminationSignals.h"
#include "ui/store/StoreContext.h"
#include "ui/store/StoreManager.h"

namespace {

using namespace std::chrono_literals;
using namespace lumora;

// The payment window's size; the other secondary windows are the main window's.
constexpr QSize kPaymentWindowSize{1024, 768};
// How long leaving waits for the VPN to report that it stopped.
constexpr auto kStopBound = 3s;
// The console log's copy in the logs folder ("Debug Log"), and its size before it rolls over.
constexpr std::uintmax_t kLogFileBytes = 2 * 1024 * 1024;

std::filesystem::path logsFolder() { return platform::appCacheDir() / "logs"; }

void copyLogToFile() { tarnel::Logger::setFileCopy(logsFolder() / "tarnel.log", kLogFileBytes); }

// Whether a tray host is there. Asking is a round trip to the X server; the tray menu is rebuilt
// on every status change, so the answer is kept for a few seconds instead of asked each time.
class TrayProbe {
 public:
  bool available() {
    const auto now = std::chrono::steady_clock::now();
    if (!asked_ || now - askedAt_ > kFresh) {
      available_ = QSystemTrayIcon::isSystemTrayAvailable();
      askedAt_ = now;
      asked_ = true;
    }
    return available_;
  }

 private:
  static constexpr std::chrono::seconds kFresh{3};
  bool asked_ = false;
  bool available_ = false;
  std::chrono::steady_clock::time_point askedAt_;
};

bool isDarkPanel() {
  // The panel usually follows the desktop's colour scheme, which the palette reflects.
  return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

// Development builds talk to the local development service, whose authority is their own; the
// web windows and the pages' pictures trust it as well, or the authority a test hands over.
// Returns the authority the pages trust besides the system's; empty: none.
std::filesystem::path trustDevelopmentService(std::filesystem::path pageAuthority) {
#ifdef TARNEL_DEV_CA_FILE
  const std::filesystem::path ca = TARNEL_DEV_CA_FILE;
  helmsey::HttpEngine::setExtraCertificateAuthority(ca);
  helmsey::EngineEnvironment environment = helmsey::engineEnvironment();
  environment.extraCaCertificate = ca;
  helmsey::setEngineEnvironment(environment);
  if (pageAuthority.empty()) pageAuthority = ca;
#endif
  if (!pageAuthority.empty()) {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(QSslCertificate::fromPath(QString::fromStdString(pageAuthority.string())));
    QSslConfiguration::setDefaultConfiguration(tls);
  }
  return pageAuthority;
}

// A chain the program's own TLS settings accept for the host.
bool trustedByProgram(const QList<QSslCertificate>& chain, const QString& host) {
  return !chain.isEmpty() && QSslCertificate::verify(chain, host).isEmpty();
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

// The app state needs the connection front when it is built, and the front needs the app state:
// the state gets this relay, which the front joins once it exists. Workers call through it (a
// location change disconnects on a worker), so leaving it waits for the calls under way: the
// front is never destroyed under a call.
class FrontRelay final : public ConnectFront {
 public:
  void attach(ConnectFront* front) {
    std::lock_guard lock(mutex_);
    front_ = front;
  }
  // No new call reaches the front once this returns, and none is still inside it.
  void detach() {
    std::unique_lock lock(mutex_);
    front_ = nullptr;
    idle_.wait(lock, [this] { return calls_ == 0; });
  }
  void setNeedSwitch(bool need) override {
    call([need](ConnectFront& front) { front.setNeedSwitch(need); });
  }
  void disconnect() override {
    call([](ConnectFront& front) { front.disconnect(); });
  }
  void toggleConnection(bool record) override {
    call([record](ConnectFront& front) { front.toggleConnection(record); });
  }

 private:
  // Counted rather than locked across the call: a call may come back through the relay.
  template <typename F>
  void call(F&& f) {
    ConnectFront* front = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (!front_) return;
      front = front_;
      ++calls_;
    }
    f(*front);
    std::lock_guard lock(mutex_);
    if (--calls_ == 0) idle_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable idle_;
  ConnectFront* front_ = nullptr;
  int calls_ = 0;
};

bool samePage(const QUrl& address, const std::string& page) {
  if (page.empty()) return false;
  const QUrl known(QString::fromStdString(page));
  const auto bare = QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::StripTrailingSlash;
  return known.isValid() && !known.host().isEmpty() && address.adjusted(bare) == known.adjusted(bare);
}

// The window a page of the service's own opens in, wherever it is opened from: payment, support
// and the legal texts are the program's web windows (link handling and the clipboard guard
// apply there), at their kinds' sizes.
struct ServiceWindow {
  ModalWindowType type;
  const char* title;
  QSize size;
};

std::optional<ServiceWindow> serviceWindowFor(const QUrl& address, LinkService& links) {
  const QString scheme = address.scheme().toLower();
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return std::nullopt;
  if (samePage(address, links.shop())) return ServiceWindow{ModalWindowType::pay, "Tarnel Payment", kPaymentWindowSize};
  if (samePage(address, links.custom())) return ServiceWindow{ModalWindowType::custom, "custom title", kMainWindowSize};
  if (samePage(address, links.privacyUrl()))
    return ServiceWindow{ModalWindowType::privacy, "Privacy Policy", kMainWindowSize};
  if (samePage(address, links.serviceUrl()))
    return ServiceWindow{ModalWindowType::service, "Terms of Service", kMainWindowSize};
  return std::nullopt;
}

}  // namespace

namespace tarnel_app {

struct Application::Parts {
  SingleInstance instance{SingleInstance::defaultName()};
  Services services;
  std::unique_ptr<UiObjects> ui;
  std::unique_ptr<QuitPath> quitPath;
  // Armed while the parts live; disarmed first when they go.
  std::unique_ptr<ExitWatch> exitWatch;
  std::unique_ptr<TerminationSignals> terminationSignals;
  std::shared_ptr<FrontRelay> front = std::make_shared<FrontRelay>();
  std::unique_ptr<AnimationController> animation;
  std::unique_ptr<ConnectManager> connect;
  std::unique_ptr<HomeScreen> home;
  std::unique_ptr<LocationScreen> location;
  // Outlives the engine, which reaches it until it goes.
  RemoteImages remoteImages{RemoteImages::defaultFolder()};
  std::unique_ptr<AccountCheck> accountCheck;
  std::unique_ptr<StartupController> startup;
  std::unique_ptr<DeviceManager> deviceManager;
  std::unique_ptr<AccountContext> accountContext;
  std::unique_ptr<AccountMenu> accountMenu;
  std::unique_ptr<ClipboardWarning> clipboardWarning;
  std::unique_ptr<ShellActions> actions;
  std::unique_ptr<ApplicationDelegate> delegate;
  std::unique_ptr<ModalWindows> modalWindows;
  std::unique_ptr<DownloadManager> download;
  std::unique_ptr<UpdateManager> update;
  std::unique_ptr<InfoActions> infoActions;
  InfoContext infoContext;
  std::unique_ptr<AdvancedSettings> advancedSettings;
  StoreContext storeContext;
  ConnectionContext connectionContext;
  DiagnosisContext diagnosisContext;
  // Hands a downloaded update to the desktop's package installer.
  std::unique_ptr<PackageInstaller> installer;
  // The desktop's opener (LaunchHooks::openWithDesktop or the desktop's own).
  std::function<bool(const QUrl&)> desktop;

  // A page of the service's own opens in its window; any other address goes to the desktop.
  bool openAddress(const QUrl& url) {
    if (modalWindows && services.links) {
      if (const auto window = serviceWindowFor(url, *services.links)) {
        modalWindows->openModalWindow(window->type, true, QString::fromUtf8(window->title), url.toString(),
                                      window->size.width(), window->size.height());
        return modalWindows->window(window->type) != nullptr;
      }
    }
    return desktop(url);
  }
  std::unique_ptr<QQmlApplicationEngine> engine;

  ~Parts() {
    exitWatch.reset();  // from here on an exit is the program's own
    front->detach();  // after the calls under way, before the front goes
    // The secondary windows were made in the engine and go before it: a page's late navigation
    // would otherwise reach an engine that is gone. Windows closed earlier are deleted first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (ui) {
      for (const auto type : kAllModalWindowTypes) delete ui->modalWindows.window(type);
    }
    engine.reset();  // the window and its bindings go before the objects they read
    if (advancedSettings) SharedInstance<AdvancedSettings>::uninstall(advancedSettings.get());
    if (clipboardWarning) SharedInstance<ClipboardWarning>::uninstall(clipboardWarning.get());
    if (accountMenu) SharedInstance<AccountMenu>::uninstall(accountMenu.get());
    if (accountContext) SharedInstance<AccountContext>::uninstall(accountContext.get());
    if (deviceManager) SharedInstance<DeviceManager>::uninstall(deviceManager.get());
    SharedInstance<InfoContext>::uninstall(&infoContext);
    SharedInstance<StoreContext>::uninstall(&storeContext);
    SharedInstance<ConnectionContext>::uninstall(&connectionContext);
    SharedInstance<DiagnosisContext>::uninstall(&diagnosisContext);
    if (infoActions) SharedInstance<InfoActions>::uninstall(infoActions.get());
    if (update) SharedInstance<UpdateManager>::uninstall(update.get());
    if (download) SharedInstance<DownloadManager>::uninstall(download.get());
    if (modalWindows) SharedInstance<ModalWindows>::uninstall(modalWindows.get());
    if (actions) SharedInstance<ShellActions>::uninstall(actions.get());
    if (startup) SharedInstance<StartupController>::uninstall(startup.get());
    if (accountCheck) SharedInstance<AccountCheck>::uninstall(accountCheck.get());
    if (home) SharedInstance<HomeScreen>::uninstall(home.get());
    if (location) SharedInstance<LocationScreen>::uninstall(location.get());
    if (connect) SharedInstance<ConnectManager>::uninstall(connect.get());
    if (animation) SharedInstance<AnimationController>::uninstall(animation.get());
    front->attach(nullptr);
  }
};

void Application::prepareProcess() {
  // The window is a small fixed page of flat shapes, text and pictures: the software scene graph
  // draws it without a GL context, which starts faster and uses well under half the memory of
  // one (most desktops here draw GL in software anyway); web pages composite in software too.
  if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");
  }
}

Application::Application(LaunchHooks hooks) : hooks_(std::move(hooks)), parts_(std::make_unique<Parts>()) {}

Application::~Application() = default;

bool Application::start() {
  Parts& p = *parts_;
  if (!p.instance.claim()) return false;  // the running program shows its window instead

  p.desktop = hooks_.openWithDesktop;
  if (!p.desktop) p.desktop = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  copyLogToFile();
  routeQtMessagesToConsoleLog();
  const bool pagesTrustMore = !trustDevelopmentService(hooks_.pageAuthority).empty();
  p.services = makeRealServices();
  // The engine is made before the worker pool: static objects end in the reverse order, so at
  // exit the pool's threads (a connect attempt among them) have joined before the engine goes.
  p.services.engine->status();
  Workers::pool();
  // An earlier run that ended without stopping may have left the desktop pointed at its dead
  // local proxy: put that back now, off the launch path.
  Workers::run([engine = p.services.engine] { engine->prepare(); });

  AppStateOptions options;
  options.isAppStore = isAppStoreBuild();
  options.front = p.front;
  p.ui = std::make_unique<UiObjects>(p.services, options);

  QuitPath::Actions leaving;
  leaving.exit = [](int code) { QCoreApplication::exit(code); };
  // The settings are written behind: what the user changed last goes to disk before we leave,
  // on the quit path's worker (the store's own teardown writes what a missed bound left).
  leaving.beforeExit = [] { tarnel::Store::flush(); };
  leaving.relaunch = [] {
    tarnel::Store::flush();  // the new instance reads what this one changed
    return QProcess::startDetached(QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1));
  };
  leaving.releaseInstance = [&p] { p.instance.release(); };
  leaving.cancelConnection = [connection = p.services.connection] {
    // A connect attempt waiting for the service (opening the node) ends now, not at its time-out.
    tarnel::HttpClient::abandonAllForExit();
    connection->disconnect();
  };
  // After a stop that did not report in time the engine may not have put the desktop's proxy
  // back: the journal it keeps says what to restore (nothing, once the engine did). The shells'
  // proxy file goes too.
  leaving.restoreSystemProxy = [] {
    helmsey::engine::SystemProxy(helmsey::engine::systemProxyJournal()).restore();
    helmsey::engine::CommandLineProxy(helmsey::engine::commandLineProxyFile()).remove();
  };
  // Only leaveNow gets here: what the steps above had to do is done or left behind, and exit-time
  // destructors would wait on, or tear down under, threads still busy.
  leaving.endProcess = [](int code) {
    std::fflush(nullptr);
    ::_exit(code);
  };
  p.quitPath = std::make_unique<QuitPath>(p.services.engine, leaving, kStopBound);
  // The display going away (Qt's X11 platform then ends the process from inside the event loop)
  // or an exit() from anywhere else leaves as a signal does, only at once: the VPN is stopped and
  // the desktop put back before the process ends, whatever its state.
  p.exitWatch = std::make_unique<ExitWatch>([&p](int code, const std::string& why) {
    tarnel::Logger::log(tarnel::LogLevel::warning, "leaving at once: " + why);
    // Nothing of the connection may point the desktop at our proxies after the restore.
    helmsey::engine::SystemProxy::refuseChanges();
    helmsey::engine::CommandLineProxy::refuseWrites();
    p.quitPath->leaveNow(code);
  });
  // A log-out, a shutdown or Ctrl-C leaves the same way as Quit.
  p.terminationSignals = std::make_unique<TerminationSignals>();
  QObject::connect(p.terminationSignals.get(), &TerminationSignals::received, p.quitPath.get(),
                   [&p] { p.quitPath->quit(0); });

  p.animation = std::make_unique<AnimationController>(
      *p.ui->state, [&p] { if (p.delegate) p.delegate->showWindow(); }, nullptr);
  SharedInstance<AnimationController>::install(p.animation.get());
  ConnectManager::Hooks connectHooks;
  connectHooks.isAppStore = options.isAppStore;
  connectHooks.checkLive = [&p](std::function<void()> done) {
    p.accountCheck->checkLive([done = std::move(done)](const ServiceError&) { done(); });
  };
  // The payment page opens in the program's own payment window.
  connectHooks.openPaymentWindow = [&p](const QUrl& url) {
    if (!p.modalWindows) return;
    p.modalWindows->openModalWindow(ModalWindowType::pay, true, QStringLiteral("Tarnel Payment"), url.toString(),
                                    kPaymentWindowSize.width(), kPaymentWindowSize.height());
  };
  p.connect = std::make_unique<ConnectManager>(p.services, *p.ui->state, *p.animation, connectHooks);
  SharedInstance<ConnectManager>::install(p.connect.get());
  p.front->attach(p.connect.get());

  p.accountCheck = std::make_unique<AccountCheck>(p.services, *p.ui->state, p.front, p.desktop, nullptr);
  SharedInstance<AccountCheck>::install(p.accountCheck.get());

  HomeScreen::Hooks homeHooks;
  homeHooks.checkLive = [&p] { p.accountCheck->checkLive(); };
  homeHooks.vipRemainingTime = [&p] { return p.accountCheck->vipRemainingTime(); };
  homeHooks.openUrl = [&p](const QUrl& url) { return p.openAddress(url); };
  p.home = std::make_unique<HomeScreen>(p.services, *p.ui->state, *p.connect, homeHooks);
  SharedInstance<HomeScreen>::install(p.home.get());
  p.location = std::make_unique<LocationScreen>(LocationContext{p.services, p.ui->state.get()});
  SharedInstance<LocationScreen>::install(p.location.get());
  p.startup = std::make_unique<StartupController>(p.services, *p.ui->state, *p.accountCheck,
                                                  [&p](int code) { p.quitPath->quit(code); });
  SharedInstance<StartupController>::install(p.startup.get());

  p.deviceManager = std::make_unique<DeviceManager>(nullptr);
  SharedInstance<DeviceManager>::install(p.deviceManager.get());
  AccountContext::Hooks accountHooks;
  accountHooks.login = [&p](const QString& email, const QString& password, std::int64_t force, const QString& code,
                            AccountContext::Completion completion) {
    p.accountCheck->login(email, password, force, code, std::move(completion));
  };
  accountHooks.checkLive = [&p](AccountContext::Completion completion) {
    p.accountCheck->checkLive(std::move(completion));
  };
  accountHooks.vipRemainingTime = [&p] { return p.accountCheck->vipRemainingTime(); };
  // Payment, support, privacy and terms open in their windows, other pages in the desktop's
  // browser (the account pages hand on http and https only).
  accountHooks.openUrl = [&p](const QUrl& url) { return p.openAddress(url); };
  accountHooks.disconnect = [front = p.front] { front->disconnect(); };
  p.accountContext =
      std::make_unique<AccountContext>(p.services, *p.ui->state, *p.deviceManager, accountHooks, nullptr);
  SharedInstance<AccountContext>::install(p.accountContext.get());

  AccountMenu::Hooks menuHooks;
  menuHooks.openUrl = [&p](const QUrl& url) { return p.openAddress(url); };
  menuHooks.copyText = [](const QString& text) { QGuiApplication::clipboard()->setText(text); };
  p.accountMenu = std::make_unique<AccountMenu>(p.services, *p.ui->state, menuHooks, nullptr);
  SharedInstance<AccountMenu>::install(p.accountMenu.get());
  const auto openWebAddress = [&p](const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return false;
    return p.desktop(url);
  };
  p.modalWindows = std::make_unique<ModalWindows>(p.ui->modalWindows, nullptr);
  SharedInstance<ModalWindows>::install(p.modalWindows.get());
  DownloadManager::Options downloadOptions;
  downloadOptions.cacheDir = QString::fromStdString(platform::appCacheDir().string());
  downloadOptions.fileName = QString::fromUtf8(tarnel::deployment::kUpdateFileName);
  p.installer = std::make_unique<PackageInstaller>(PackageInstaller::Options{});
  downloadOptions.install = [&p](const QString& path, std::function<void(bool)> answered) {
    p.installer->open(path, std::move(answered));
  };
  // The installer has the package: the program leaves (stopping the VPN first) so that it can
  // be replaced.
  downloadOptions.finished = [&p](const QString&) { p.quitPath->quit(0); };
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
  // "qnavigation" links bring the VPN up through the home switch's toggle and open once that
  // attempt is up; the action goes with its attempt, so it never fires later unasked.
  p.infoContext.connect = [&p](std::function<void()> onConnected) {
    p.connect->toggleConnection(false, std::move(onConnected));
  };
  p.infoContext.openOfficialWebsite = [&p] { p.accountCheck->openOfficialWebsite(); };
  if (pagesTrustMore) p.infoContext.trustsCertificate = trustedByProgram;
  p.infoContext.openClipboardWarning = [&p] {
    if (p.clipboardWarning) p.clipboardWarning->open();
  };
  SharedInstance<InfoContext>::install(&p.infoContext);
  p.advancedSettings = std::make_unique<AdvancedSettings>(p.services, *p.ui->state);
  SharedInstance<AdvancedSettings>::install(p.advancedSettings.get());
  p.diagnosisContext.services = p.services;
  p.diagnosisContext.state = p.ui->state.get();
  p.diagnosisContext.front = p.front;
  SharedInstance<DiagnosisContext>::install(&p.diagnosisContext);
  p.infoActions = std::make_unique<InfoActions>(
      p.infoContext, QString::fromStdString(platform::mainBundle().shortVersion),
      QString::fromStdString(platform::mainBundle().buildVersion), isAppStoreBuild(), nullptr);
  SharedInstance<InfoActions>::install(p.infoActions.get());

  // The shop, coupon and invitation pages. No app store sells on Linux: no store backend.
  p.storeContext.services = p.services;
  p.storeContext.state = p.ui->state.get();
  p.storeContext.openOfficialWebsite = [&p] { p.accountCheck->openOfficialWebsite(); };
  p.storeContext.vipRemainingTime = [&p] { return p.accountCheck->vipRemainingTime(); };
  p.storeContext.refreshAccount = [&p] { p.accountCheck->checkLive(); };
  p.storeContext.openPayment = [&p] { p.connect->openPayment(); };
  p.storeContext.openWindow = [&p](ModalWindowType type, const QString& title, const QUrl& url, QSize size) {
    p.modalWindows->openModalWindow(type, true, title, url.toString(), size.width(), size.height());
  };
  SharedInstance<StoreContext>::install(&p.storeContext);
  // Purchases the service did not credit in an earlier run.
  StoreManager::resendPendingReceipts(p.services.shop);
  // The connection pages; tunnel mode is checked against the installed package and polkit.
  p.connectionContext.services = p.services;
  p.connectionContext.state = p.ui->state.get();
  p.connectionContext.front = p.front;
  PolkitExtensionAuthoriser::Options authoriserOptions;
  authoriserOptions.programDirectory =
      (hooks_.programDirectory.isEmpty() ? QCoreApplication::applicationDirPath() : hooks_.programDirectory).toStdString();
  authoriserOptions.socketPath = helmsey::engineEnvironment().tunnelSocket;
  p.connectionContext.authoriser = std::make_shared<PolkitExtensionAuthoriser>(authoriserOptions);
  p.connectionContext.openApprovalWindow = [&p] {
    QQuickWindow* window = p.modalWindows->openContentWindow(
        ModalWindowType::systemExtension, false, QString(),
        QUrl(QStringLiteral("qrc:/qt/qml/Lumora/Info/SystemExtensionTips.qml")), kMainWindowSize);
    if (!window) return;
    window->requestActivate();
    window->raise();
  };
  p.connectionContext.quit = [&p](int code) { p.quitPath->quit(code); };
  SharedInstance<ConnectionContext>::install(&p.connectionContext);

  ShellActions::Hooks shellHooks;
  shellHooks.checkUpdate = [&p](bool manual) { p.update->checkUpdate(manual); };
  shellHooks.openFolder = [&p](const QUrl& folder) { return p.desktop(folder); };
  shellHooks.clearStoredState = [settings = p.services.settings] {
    settings->clearAll();
    copyLogToFile();  // the emptied folder gets a fresh log file
  };
  p.actions = std::make_unique<ShellActions>(*p.ui->state, *p.accountCheck, *p.quitPath, p.services.engine,
                                             logsFolder(), shellHooks, nullptr);
  SharedInstance<ShellActions>::install(p.actions.get());

  ApplicationDelegate::Hooks delegateHooks;
  delegateHooks.trayAvailable = [probe = std::make_shared<TrayProbe>()] { return probe->available(); };
  delegateHooks.darkPanel = isDarkPanel;
  delegateHooks.showAbout = [&p] { p.ui->state->router()->push(Route::about); };
  delegateHooks.toggleConnection = [&p] { p.connect->toggleConnection(false, {}); };
  delegateHooks.checkUpdate = [&p](bool manual) { p.update->checkUpdate(manual); };
  p.delegate = std::make_unique<ApplicationDelegate>(*p.ui->state, *p.quitPath, delegateHooks);
  QObject::connect(&p.instance, &SingleInstance::activationRequested, p.delegate.get(),
                   &ApplicationDelegate::showWindow);

  p.engine = std::make_unique<QQmlApplicationEngine>();
  p.ui->prepare(*p.engine);
  p.engine->setNetworkAccessManagerFactory(&p.remoteImages);
  p.modalWindows->setEngine(p.engine.get());
  p.update->setEngine(p.engine.get());
  // A window that cannot be made (a QML module missing from the system, say) ends the program with
  // its reasons rather than leaving it running without a window.
  QList<QQmlError> loadErrors;
  const auto collect = QObject::connect(p.engine.get(), &QQmlEngine::warnings,
                                        [&loadErrors](const QList<QQmlError>& errors) { loadErrors += errors; });
  p.engine->load(QUrl(QStringLiteral("qrc:/qt/qml/Lumora/Shell/MainWindow.qml")));
  QObject::disconnect(collect);
  const auto roots = p.engine->rootObjects();
  auto* window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
  if (!window) {
    std::cerr << "tarnel: the main window could not be loaded" << (loadErrors.isEmpty() ? "" : ":") << "\n";
    for (const QQmlError& error : std::as_const(loadErrors)) {
      std::cerr << "  " << error.toString().toStdString() << "\n";
    }
    windowFailed_ = true;
    return false;
  }
  p.clipboardWarning = std::make_unique<ClipboardWarning>(*p.engine, p.ui->modalWindows, nullptr);
  SharedInstance<ClipboardWarning>::install(p.clipboardWarning.get());
  p.delegate->attachWindow(window);
  if (hooks_.windowReady) hooks_.windowReady(window);
  // The automatic check, once the window's content first shows.
  QMetaObject::invokeMethod(p.update.get(), [&p] { p.update->checkUpdate(false); }, Qt::QueuedConnection);

  reportEarlierCrash(p.services);
  return true;
}

int Application::exec() { return QCoreApplication::exec(); }

}  // namespace tarnel_app
