#include "app/Application.h"

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
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <memory>
#include <condition_variable>
#include <mutex>

#include "core/EngineEnvironment.h"
#include "core/HttpEngine.h"
#include "platform/BundleInfo.h"
#include "platform/XdgPaths.h"
#include "services/base/Logger.h"
#include "services/common/Store.h"
#include "ui/account/AccountContext.h"
#include "ui/account/DeviceManager.h"
#include "services/network/DeploymentConfig.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/base/Workers.h"
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
#include "ui/info/UpdateManager.h"
#include "ui/shell/AccountCheck.h"
#include "ui/shell/AccountMenu.h"
#include "ui/shell/ApplicationDelegate.h"
#include "ui/shell/QuitPath.h"
#include "ui/shell/ShellActions.h"
#include "ui/shell/SingleInstance.h"
#include "ui/shell/StartupController.h"
#include "ui/store/StoreContext.h"
#include "ui/store/StoreManager.h"

namespace {

using namespace std::chrono_literals;
using namespace lumora;

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

bool openWithDesktop(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace

namespace tarnel_app {

struct Application::Parts {
  SingleInstance instance{SingleInstance::defaultName()};
  Services services;
  std::unique_ptr<UiObjects> ui;
  std::unique_ptr<QuitPath> quitPath;
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
  // The update package to open once the quit path has stopped the VPN; empty for a plain quit.
  QString packageToOpen;
  std::unique_ptr<QQmlApplicationEngine> engine;

  ~Parts() {
    front->detach();  // after the calls under way, before the front goes
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

  copyLogToFile();
  trustDevelopmentService();
  p.services = makeRealServices();
  // An earlier run that ended without stopping may have left the desktop pointed at its dead
  // local proxy: put that back now, off the launch path.
  Workers::run([engine = p.services.engine] { engine->prepare(); });

  AppStateOptions options;
  options.isAppStore = isAppStoreBuild();
  options.front = p.front;
  p.ui = std::make_unique<UiObjects>(p.services, options);

  QuitPath::Actions leaving;
  leaving.exit = [&p](int code) {
    // The settings are written behind; what the user changed last goes to disk before we leave.
    tarnel::Store::flush();
    // The VPN is down by now: the desktop's package installer takes the update from here.
    if (!p.packageToOpen.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(p.packageToOpen));
    QCoreApplication::exit(code);
  };
  leaving.relaunch = [] {
    tarnel::Store::flush();  // the new instance reads what this one changed
    return QProcess::startDetached(QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1));
  };
  leaving.releaseInstance = [&p] { p.instance.release(); };
  p.quitPath = std::make_unique<QuitPath>(p.services.engine, leaving, kStopBound);

  p.animation = std::make_unique<AnimationController>(
      *p.ui->state, [&p] { if (p.delegate) p.delegate->showWindow(); }, nullptr);
  SharedInstance<AnimationController>::install(p.animation.get());
  ConnectManager::Hooks connectHooks;
  connectHooks.isAppStore = options.isAppStore;
  connectHooks.checkLive = [&p](std::function<void()> done) {
    p.accountCheck->checkLive([done = std::move(done)](const ServiceError&) { done(); });
  };
  // The payment page opens in the default browser.
  connectHooks.openPaymentWindow = [](const QUrl& url) { openWithDesktop(url); };
  p.connect = std::make_unique<ConnectManager>(p.services, *p.ui->state, *p.animation, connectHooks);
  SharedInstance<ConnectManager>::install(p.connect.get());
  p.front->attach(p.connect.get());

  p.accountCheck = std::make_unique<AccountCheck>(p.services, *p.ui->state, p.front, openWithDesktop, nullptr);
  SharedInstance<AccountCheck>::install(p.accountCheck.get());

  HomeScreen::Hooks homeHooks;
  homeHooks.checkLive = [&p] { p.accountCheck->checkLive(); };
  homeHooks.vipRemainingTime = [&p] { return p.accountCheck->vipRemainingTime(); };
  homeHooks.openUrl = openWithDesktop;
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
  // Support, privacy and terms open in the desktop's browser (http and https only).
  accountHooks.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  accountHooks.disconnect = [front = p.front] { front->disconnect(); };
  p.accountContext =
      std::make_unique<AccountContext>(p.services, *p.ui->state, *p.deviceManager, accountHooks, nullptr);
  SharedInstance<AccountContext>::install(p.accountContext.get());

  AccountMenu::Hooks menuHooks;
  menuHooks.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  menuHooks.copyText = [](const QString& text) { QGuiApplication::clipboard()->setText(text); };
  p.accountMenu = std::make_unique<AccountMenu>(p.services, *p.ui->state, menuHooks, nullptr);
  SharedInstance<AccountMenu>::install(p.accountMenu.get());
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
  shellHooks.openFolder = [](const QUrl& folder) { return QDesktopServices::openUrl(folder); };
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
  p.engine->load(QUrl(QStringLiteral("qrc:/qt/qml/Lumora/Shell/MainWindow.qml")));
  const auto roots = p.engine->rootObjects();
  auto* window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
  if (!window) return false;
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
