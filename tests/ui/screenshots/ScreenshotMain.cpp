// Renders the foundation's widgets in one language into PNG files for review:
//   lumora_screenshots <folder> <en|zh-Hans|zh-Hant>
// Run it under a real display (Xvfb) so text and images draw as users see them.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QHostAddress>
#include <QTcpServer>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTcpSocket>
#include <QTimer>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <unistd.h>

#include "tests/support/TestHome.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/account/AccountContext.h"
#include "ui/account/DeviceListModel.h"
#include "ui/account/UpgradeDeviceModel.h"
#include "ui/account/DeviceManager.h"
#include "ui/account/LoginModel.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/connection/AdvancedSettings.h"
#include "ui/connection/ConnectionContext.h"
#include "ui/controls/AnimationPlayer.h"
#include "ui/controls/ClipboardWarning.h"
#include "ui/shell/AccountMenu.h"
#include "ui/home/AnimationController.h"
#include "ui/home/ConnectManager.h"
#include "ui/home/HomeScreen.h"
#include "ui/info/DownloadManager.h"
#include "ui/info/InfoActions.h"
#include "ui/info/InfoContext.h"
#include "ui/diagnosis/DiagnosisContext.h"
#include "ui/diagnosis/NetworkDiagnosis.h"
#include "ui/info/ModalWindows.h"
#include "ui/info/UpdateManager.h"
#include "ui/shell/LumoraPlugins.h"
#include "tests/ui/screenshots/LocationScenes.h"
#include "ui/location/LocationScreen.h"
#include "tests/ui_support/fakes/FakeStoreBackend.h"
#include "ui/base/AppGlobals.h"
#include "ui/store/StoreContext.h"
#include "ui/store/StoreManager.h"

namespace {

using lumora::test::spin;

struct Scene {
  const char* file;
  const char* scene;
  std::function<void(lumora::UiObjects&, QQuickItem*)> setUp;
  int settleMs = 700;
};

// By object name through the visual tree: pages opened over the root have no QObject parent.
QQuickItem* findItem(QQuickItem* root, const QString& name) {
  for (QQuickItem* child : root->childItems()) {
    if (child->objectName() == name) return child;
    if (auto* found = findItem(child, name)) return found;
  }
  return nullptr;
}

// The shop pages' managers, found through the item tree (pushed pages hang off the route view's
// items, not off its object tree).
std::vector<lumora::StoreManager*> storeManagers(QQuickItem* item) {
  std::vector<lumora::StoreManager*> found;
  for (auto* manager : item->findChildren<lumora::StoreManager*>(Qt::FindDirectChildrenOnly)) found.push_back(manager);
  for (auto* child : item->childItems()) {
    const auto more = storeManagers(child);
    found.insert(found.end(), more.begin(), more.end());
  }
  return found;
}

// The item of that name on the page opened last (an earlier page's may not be gone yet). Pages
// over the root are made by a repeater, so they are found through the visual tree.
QObject* newest(QQuickItem* item, const char* name) {
  QObject* found = item->objectName() == QLatin1String(name) ? item : nullptr;
  for (QQuickItem* child : item->childItems()) {
    if (QObject* inner = newest(child, name)) found = inner;
  }
  return found;
}

// A secondary window's picture: the window of one kind, opened by `open`.
struct WindowScene {
  const char* file;
  lumora::ModalWindowType type;
  std::function<void()> open;
  int settleMs = 2500;
};

// Serves one fixed page to every request, so the URL windows show a page from this machine.
class PageServer : public QTcpServer {
 public:
  explicit PageServer(QByteArray page) : page_(std::move(page)) {
    connect(this, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          socket->readAll();
          socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                        QByteArray::number(page_.size()) + "\r\nConnection: close\r\n\r\n" + page_);
          socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
    listen(QHostAddress::LocalHost);
  }

 private:
  QByteArray page_;
};

void reset(lumora::UiObjects& ui) {
  ui.dialog.setIsShow(false);
  if (ui.toast.isShowing()) {
    // The toast goes the way it always does, only sooner.
    ui.toast.setLifetimeMs(1);
    ui.toast.show(ui.toast.message(), ui.toast.type());
  }
  spin(600);
  ui.toast.setLifetimeMs(60000);
  ui.state->router()->backToRoot();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <folder> <en|zh-Hans|zh-Hant>\n", argv[0]);
    return 2;
  }
  tarnel::test::TestHome home;
  // The web windows need the browser engine, whose sandbox cannot run as root.
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  lumora::ModalWindows::registerLinkSchemes();
  QtWebEngineQuick::initialize();
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString language = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(folder);

  lumora::FakeServices fakes;
  tarnel::Country japan;
  japan.country = "jp";
  japan.name = "Japan";
  fakes.nodes->setCurrentCountry(japan);
  lumora::UiObjects ui(fakes.services(), lumora::AppStateOptions{});
  // The account pages: an unverified member with several devices and two earlier accounts.
  tarnel::Login login;
  login.user.id = "u-1";
  login.user.email = "someone@example-mail.com";
  login.user.email_status = 1;
  login.user.hot = "3";
  login.expired_vip = 1900000000;
  fakes.account->setLoginInfo(login);
  ui.state->setLoginInfo(login);
  fakes.account->script.answer<std::vector<std::string>>("historyAccount", {"ann@mail.test", "bob@mail.test"});
  fakes.account->script.answer<lumora::ServiceError>("login", tarnel::APIErrorInfo::make(-1, "offline"));
  lumora::DeviceManager devices(nullptr);
  lumora::SharedInstance<lumora::DeviceManager>::install(&devices);
  lumora::AccountContext account(fakes.services(), *ui.state, devices, {}, nullptr);
  lumora::SharedInstance<lumora::AccountContext>::install(&account);
  lumora::AccountMenu accountMenu(fakes.services(), *ui.state, {}, nullptr);
  lumora::SharedInstance<lumora::AccountMenu>::install(&accountMenu);
  const auto loginForm = [](QQuickItem* r) { return r->findChild<lumora::LoginModel*>(); };
  // The home page's objects, as the program builds them.
  lumora::AnimationController animation(*ui.state, {}, nullptr);
  lumora::SharedInstance<lumora::AnimationController>::install(&animation);
  lumora::ConnectManager connect(fakes.services(), *ui.state, animation, {});
  lumora::SharedInstance<lumora::ConnectManager>::install(&connect);
  lumora::HomeScreen::Hooks homeHooks;
  homeHooks.vipRemainingTime = [] { return QStringLiteral("12day 3hour"); };
  homeHooks.disclaimerDelay = std::chrono::hours(1);  // its own scene shows it
  lumora::HomeScreen homeScreen(fakes.services(), *ui.state, connect, homeHooks);
  lumora::SharedInstance<lumora::HomeScreen>::install(&homeScreen);
  // The advanced settings and the proxy rules editor, with a few rules held.
  lumora::AdvancedSettings advancedSettings(fakes.services(), *ui.state);
  lumora::SharedInstance<lumora::AdvancedSettings>::install(&advancedSettings);
  tarnel::ProxyRule heldRule;
  heldRule.direct = {"intranet.example.com", "192.168.1.10"};
  heldRule.proxy = {"news.example.org", "2001:db8::1"};
  fakes.status->setProxyRule(heldRule);
  login.max_age = 3600;
  fakes.account->setLoginInfo(login);
  ui.state->setLoginInfo(login);
  tarnel::Live live;
  live.link.show = true;
  live.link.text = {{"en", "Invite friends"}, {"zh", "邀请好友"}};
  ui.state->setLive(live);

  QQuickView view;
  ui.prepare(*view.engine());

  // The pickers of location, node and tag.
  lumora::screenshots::PictureServer pictures;
  lumora::LocationScreen locationScreen(lumora::LocationContext{fakes.services(), ui.state.get()});
  lumora::SharedInstance<lumora::LocationScreen>::install(&locationScreen);

  // The information pages and the update's panel and offer, over the same fakes.
  tarnel::Notices notices;
  notices.notices = {tarnel::Notice(1, "2026-03-01 10:00", "Service maintenance", "", 1, 0),
                     tarnel::Notice(2, "2026-02-14 08:30", "New nodes in Japan", "", 1, 0),
                     tarnel::Notice(3, "2026-01-02 12:00", "Happy new year", "", 0, 0)};
  fakes.notices->script.answer<std::optional<tarnel::Notices>>("notices", notices);
  ui.state->setNoticesReadIds({2});
  lumora::ModalWindows windows(ui.modalWindows, nullptr);
  windows.setEngine(view.engine());
  lumora::InfoContext info;
  info.services = fakes.services();
  info.state = ui.state.get();
  info.windows = &windows;
  lumora::SharedInstance<lumora::InfoContext>::install(&info);
  // The diagnosis: a run that waits in host discovery while "running" is taken.
  lumora::DiagnosisContext diagnosisContext;
  diagnosisContext.services = fakes.services();
  diagnosisContext.state = ui.state.get();
  lumora::SharedInstance<lumora::DiagnosisContext>::install(&diagnosisContext);
  auto discovery = std::make_shared<lumora::FakeGate>();
  fakes.diagnosis->script.gate("discover", discovery);
  const auto tapDiagnosis = [](QQuickItem* r) {
    if (QQuickItem* page = findItem(r, QStringLiteral("networkDiagnosisView"))) {
      if (auto* diagnosis = page->findChild<lumora::NetworkDiagnosis*>()) diagnosis->action();
    }
  };
  lumora::InfoActions actions(info, QStringLiteral("1.2.0"), QStringLiteral("57"), false, nullptr);
  lumora::SharedInstance<lumora::InfoActions>::install(&actions);
  lumora::DownloadManager::Options downloadOptions;
  downloadOptions.cacheDir = QDir::tempPath();
  downloadOptions.fileName = QStringLiteral("screenshot-update.deb");
  double clock = 1000;
  downloadOptions.now = [&clock] { return clock; };
  lumora::DownloadManager download(downloadOptions, nullptr);
  lumora::SharedInstance<lumora::DownloadManager>::install(&download);
  QTcpServer silent;
  silent.listen(QHostAddress::LocalHost);
  lumora::UpdateManager::Options updateOptions;
  updateOptions.buildNumber = 100;
  lumora::UpdateManager update(fakes.services(), ui.dialog, download, updateOptions, nullptr);
  update.setEngine(view.engine());
  lumora::SharedInstance<lumora::UpdateManager>::install(&update);
  tarnel::Other newer;
  newer.newest_version = 101;
  newer.update_version = 101;
  login.other = newer;
  fakes.account->setLoginInfo(login);
  // The shop (a store build through the seam, over the tests' store), coupons and sharing.
  auto store = std::make_shared<lumora::FakeStoreBackend>();
  store->shelve({{"plan.month", "1 Month", "4.99", "$", "USD"},
                 {"plan.year", "12 Months", "39.99", "$", "USD"},
                 {"plan.quarter", "3 Months", "12.99", "$", "USD"}});
  fakes.shop->script.answer<std::optional<tarnel::PaymentPlans>>(
      "paymentPlans", tarnel::PaymentPlans{{{1, "plan.month"}, {12, "plan.year"}, {3, "plan.quarter"}}});
  const std::int64_t dayMs = 86'400'000;
  const std::int64_t nowMs = 1'900'000'000'000;
  fakes.status->setServerTimeMilliseconds(nowMs);
  fakes.shop->script.answer<tarnel::Coupon>(
      "coupons", tarnel::Coupon({tarnel::CouponCard(1, nowMs + 30 * dayMs, 7, 1, 2), tarnel::CouponCard(2, 0, 2.6, 0, 3)},
                                {tarnel::CouponRoll(3, nowMs + 10 * dayMs, 5, 0.8, 0),
                                 tarnel::CouponRoll(4, nowMs + 60 * dayMs, 4, 5, 1)}));
  fakes.account->modifyLoginInfo([](tarnel::Login& l) { l.user.code = "k7pq2x"; });
  fakes.links->script.answer<std::string>("share", "https://site.test/register?code=k7pq2x");
  QTemporaryDir receiptFolder;
  {
    QFile receipt(receiptFolder.filePath(QStringLiteral("receipt")));
    receipt.open(QIODevice::WriteOnly);
    receipt.write("receipt");
  }
  store->setReceipt(receiptFolder.filePath(QStringLiteral("receipt")).toStdString());
  lumora::StoreContext storeContext;
  storeContext.services = fakes.services();
  storeContext.state = ui.state.get();
  storeContext.backend = store;
  storeContext.vipRemainingTime = [] { return QStringLiteral("12day 3hour"); };
  lumora::SharedInstance<lumora::StoreContext>::install(&storeContext);

  // The connection settings page, connected, with the protocols a server offers.
  fakes.status->script.answer<std::vector<tarnel::VPNProtocol>>(
      "availableProtocols", {tarnel::VPNProtocol::VMESS_TLS, tarnel::VPNProtocol::VLESS_TLS, tarnel::VPNProtocol::TROJAN_WS});
  fakes.links->script.answer<std::string>("mobile", "https://dl.tarnel.test/tarnel/app/zl/pc-location.html");
  lumora::ConnectionContext connection;
  connection.services = fakes.services();
  connection.state = ui.state.get();
  lumora::SharedInstance<lumora::ConnectionContext>::install(&connection);
  ui.state->setCurrentLanguage(language);
  view.setSource(QUrl::fromLocalFile(QStringLiteral(LUMORA_SCENES_QML)));
  if (view.status() != QQuickView::Ready) {
    std::fprintf(stderr, "the scenes did not load\n");
    return 1;
  }
  view.show();
  QQuickItem* root = view.rootObject();

  std::vector<lumora::LoadingTicket> held;
  const std::vector<Scene> scenes{
      {"route_root", "route", [](auto& u, auto*) { u.state->router()->setRoot(lumora::Route::main); }},
      {"route_page", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::settings); }},
      {"route_node_page", "route",
       [](auto& u, auto*) { u.state->router()->push(lumora::Route::nodeRoute("jp", "Japan")); }},
      {"route_sliding", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::menu); }, 120},
      {"dialog_two_buttons", "route",
       [](auto&, auto*) {
         lumora::showDialog("Customized DNS tips", "tips_title", true,
                            {{"Cancel", {}, false}, {"Confirm", {}, true}}, {});
       }},
      {"dialog_default", "route",
       [](auto&, auto*) { lumora::showDialog("Customized DNS tips", "tips_title", false, {}, {}); }},
      {"dialog_tunnel_service_not_running", "route",
       [](auto&, auto*) { lumora::showDialog("tunnel service not running", "tips_title", true, {}, {}); }},
      {"dialog_three_buttons", "route",
       [](auto&, auto*) {
         lumora::showDialog("Customized DNS tips", "tips_title", true,
                            {{"Settings", {}, true}, {"Reconnect", {}, true}, {"Cancel", {}, false}}, {});
       }},
      {"toast_info", "route", [](auto&, auto*) { lumora::showToast("Customized DNS tips", lumora::ToastType::info); }},
      {"toast_error", "route", [](auto&, auto*) { lumora::showToast("Reconnect", lumora::ToastType::error); }},
      {"toast_warning", "route", [](auto&, auto*) { lumora::showToast("Settings", lumora::ToastType::warning); }},
      {"toast_success", "route", [](auto&, auto*) { lumora::showToast("Confirm", lumora::ToastType::success); }},
      {"loading", "route", [&held](auto&, auto*) { held.push_back(lumora::showLoading("Loading nodes")); }},
      {"loading_empty", "route",
       [&held](auto&, auto*) {
         held.clear();
         held.push_back(lumora::showLoading(""));
       }},
      {"login", "route",
       [&held](auto& u, auto*) {
         held.clear();
         u.state->router()->setRoot(lumora::Route::login);
       }},
      {"login_suggestions", "route",
       [&](auto&, QQuickItem* r) {
         if (auto* form = loginForm(r)) form->accountFocusChanged();
       }},
      {"login_register", "route",
       [&](auto&, QQuickItem* r) {
         if (auto* form = loginForm(r)) {
           form->setShowHistory(false);
           form->switchType();
         }
       }},
      {"login_register_multiple", "route",
       [&](auto&, QQuickItem* r) {
         if (auto* form = loginForm(r)) form->switchPlan();
       }},
      {"login_reset", "route",
       [&](auto&, QQuickItem* r) {
         if (auto* form = loginForm(r)) {
           form->switchType();
           form->retrievePassword();
         }
       }},
      {"account_menu", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::menu); }},
      // "Open mail app" with no mail program: the dialog closes and a toast says so.
      {"menu_mail_failed", "route",
       [&accountMenu](auto& u, auto*) {
         u.state->router()->push(lumora::Route::menu);
         accountMenu.activate(QStringLiteral("email"));
         u.dialog.press(1);
       }},
      {"verify", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::verify); }},
      {"menu_rows", "menu", [&held](auto&, auto*) { held.clear(); }},
      {"menu_dropdown_open", "menu",
       [](auto&, QQuickItem* r) {
         QMetaObject::invokeMethod(r->findChild<QObject*>("menuScene"), "openList");
       }},
      {"home_disconnected", "route",
       [](auto& u, auto*) {
         u.state->router()->setRoot(lumora::Route::main);
         u.state->setVpnStatus(helmsey::VPNStatus::disconnected);
       },
       1500},
      {"home_connected", "route",
       [&animation](auto& u, auto*) {
         u.state->setVpnStatus(helmsey::VPNStatus::connected);
         u.state->setHasNotices(true);
         animation.start();
         spin(50);
         for (int i = 0; i < 3; ++i) animation.buttonAnimationFinished();
         animation.backgroundAnimationFinished();
       },
       2500},
      {"home_connection_info", "route",
       [](auto&, QQuickItem* r) {
         if (auto* page = r->findChild<QObject*>("mainView")) page->setProperty("connectedHovering", true);
       }},
      {"home_switch_panel", "route",
       [](auto& u, QQuickItem* r) {
         u.state->setSwitchListen(true);
         if (auto* page = r->findChild<QObject*>("mainView")) {
           page->setProperty("connectedHovering", false);
           page->setProperty("switchHovering", true);
         }
       }},
      {"home_disclaimer", "route",
       [](auto&, QQuickItem* r) {
         if (auto* page = r->findChild<QObject*>("mainView")) page->setProperty("switchHovering", false);
         QMetaObject::invokeMethod(r->findChild<QObject*>("mainView"), "showDisclaimer");
       }},
      // Connected, on a desktop where nothing opens the links.
      {"home_browser_check_failed", "route", [&homeScreen](auto&, auto*) { homeScreen.openBrowserCheck(); }},
      {"home_telegram_failed", "route", [&homeScreen](auto&, auto*) { homeScreen.openTelegramProxy(); }},
      {"settings_page", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::settings); }},
      {"settings_invitation", "route",
       [](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::settings);
         spin(500);
         if (auto* row = findItem(r, "rowInvitee")) QMetaObject::invokeMethod(row, "callback");
       }},
      {"settings_close_choices", "route",
       [](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::settings);
         spin(500);
         if (auto* row = findItem(r, "rowCloseEvent")) row->setProperty("showList", true);
       }},
      {"change_password", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::changePWD); }},
      {"device_list", "route",
       [&fakes](auto& u, auto*) {
         tarnel::Live live;
         live.device_count = 3;
         live.other.device_count_list = "2,5,10";
         u.state->setLive(live);
         std::vector<tarnel::Devices> list;
         const char* platforms[] = {"linux", "win32", "darwin", "android"};
         for (int i = 0; i < 4; ++i) {
           tarnel::Devices d;
           d.device_id = i == 0 ? lumora::FakeDeviceService::kThisDevice : "device-" + std::to_string(i);
           d.uid = "u-1";
           d.device_name = i == 2 ? "MacBook-Pro-de-Zoë" : "workstation-" + std::to_string(i);
           d.device_model = i == 1 ? "Dell XPS 13 9310" : "ThinkPad X1";
           d.version = 5;
           d.platform = platforms[i];
           d.created_at = "2024-05-01T10:00:00.000Z";
           d.updated_at = "2024-06-0" + std::to_string(i + 1) + "T08:30:00.000Z";
           list.push_back(d);
         }
         fakes.devices->script.answer<std::optional<std::vector<tarnel::Devices>>>("devices", list);
         u.state->router()->push(lumora::Route::devices);
       },
       1000},
      {"device_rename", "route",
       [](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::devices);
         spin(600);
         if (auto* page = findItem(r, "deviceManagerView")) {
           if (auto* list = page->findChild<lumora::DeviceListModel*>()) list->beginEdit(1);
         }
       }},
      {"device_upgrade", "route",
       [&fakes](auto& u, auto*) {
         tarnel::UpgradeInfo info;
         info.days = "120";
         info.days_lave = "72";
         fakes.devices->script.answer<std::optional<tarnel::UpgradeInfo>>("previewUpgrade", info);
         u.state->router()->push(lumora::Route::upgrade);
       },
       1000},
      {"device_upgrade_warning", "route",
       [](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::upgrade);
         spin(600);
         if (auto* page = findItem(r, "upgradeDeviceView")) {
           if (auto* model = page->findChild<lumora::UpgradeDeviceModel*>()) model->confirm();
         }
       }},
      {"delete_account", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::deleteAccount); }},
      {"feedback_page", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::feedback); }},
      {"about_page", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::about); }},
      {"about_site_failed", "route",
       [](auto& u, auto*) {
         u.state->router()->push(lumora::Route::about);
         lumora::openOnDesktop({}, QUrl(QStringLiteral("https://www.tarnelmacos.io?uid=u-1&token=t0k3n")));
       }},
      {"notify_list", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::notify); }},
      {"notify_empty", "route",
       [&fakes](auto& u, auto*) {
         fakes.notices->script.answer<std::optional<tarnel::Notices>>("notices", tarnel::Notices{});
         u.state->router()->push(lumora::Route::notify);
       }},
      {"advanced_settings", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::advanced); }},
      {"advanced_dns_list", "route",
       [](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::advanced);
         spin(450);
         if (auto* row = findItem(r, "row_dns")) row->setProperty("showList", true);
       }},
      {"advanced_tooltip", "route",
       [](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::advanced);
         spin(450);
         if (auto* row = findItem(r, "row_dnsStrategy")) row->setProperty("showTooltip", true);
       }},
      {"proxy_rules", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::proxyRulues); }},
      {"proxy_rules_invalid", "route",
       [](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::proxyRulues);
         spin(450);
         if (auto* editor = findItem(r, "editor_block")) editor->setProperty("text", "ads.example.com\n*.tracker");
         u.state->router()->back();
       }},
      {"shop_page", "route",
       [](auto& u, auto*) {
         lumora::setAppStoreBuildForTesting(true);
         u.state->router()->push(lumora::Route::shop);
       },
       1200},
      {"shop_other_card", "route",
       [&](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::shop);
         spin(900);
         for (auto* manager : storeManagers(r)) manager->setSelectId(QStringLiteral("plan.month"));
       },
       900},
      {"shop_purchase_success", "route",
       [&](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::shop);
         spin(600);
         const auto managers = storeManagers(r);
         if (!managers.empty()) managers.back()->buy(QStringLiteral("plan.year"));
       },
       900},
      {"coupons_page", "route",
       [](auto& u, auto*) {
         lumora::setAppStoreBuildForTesting(std::nullopt);
         u.state->router()->push(lumora::Route::discount);
       }},
      {"coupons_redeem", "route",
       [](auto& u, auto*) {
         u.state->router()->push(lumora::Route::discount);
         spin(500);
         lumora::showDialog("Are you sure to use it?", "tips_title", true, {{"Confirm", {}, true}}, {});
       }},
      {"coupons_empty", "route",
       [&fakes](auto& u, auto*) {
         fakes.shop->script.answer<tarnel::Coupon>("coupons", tarnel::Coupon());
         u.state->router()->push(lumora::Route::discount);
       }},
      {"share_page", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::share); }, 1000},
      {"share_no_code", "route",
       [&fakes](auto& u, auto*) {
         fakes.account->modifyLoginInfo([](tarnel::Login& l) { l.user.code.clear(); });
         u.state->router()->push(lumora::Route::share);
       },
       1000},
      {"connection_settings", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::connection); }},
      {"connection_settings_info", "route",
       [](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::connection);
         spin(500);
         if (auto* row = newest(r, "tunnelRow")) row->setProperty("infoShown", true);
       }},
      {"connection_settings_reconnect", "route",
       [](auto& u, QQuickItem* r) {
         u.state->setVpnStatus(helmsey::VPNStatus::connected);
         u.state->router()->push(lumora::Route::connection);
         spin(500);
         if (auto* row = newest(r, "globalRow")) QMetaObject::invokeMethod(row, "tapped");
         u.state->router()->back();
       }},
      {"mobile_app", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::mobile); }},
      {"system_extension_tips", "tips", [](auto&, auto*) {}},
      {"diagnosis_idle", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::diagnsis); }},
      {"diagnosis_running", "route",
       [&discovery, &tapDiagnosis](auto& u, QQuickItem* r) {
         discovery->close();
         u.state->router()->push(lumora::Route::diagnsis);
         spin(450);
         tapDiagnosis(r);
       },
       600},
      {"diagnosis_finished", "route",
       [&discovery, &tapDiagnosis](auto& u, QQuickItem* r) {
         discovery->open();
         u.state->router()->push(lumora::Route::diagnsis);
         spin(450);
         tapDiagnosis(r);
       },
       1500},
      {"tools_page", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::tools); }},
      {"location_picker", "route",
       [&](auto& u, auto*) {
         lumora::screenshots::prepareLocationScenes(fakes, *u.state, pictures);
         u.state->router()->setRoot(lumora::Route::main);
         u.state->router()->push(lumora::Route::location);
       },
       1200},
      {"location_picker_tag_area", "route",
       [&](auto& u, auto*) {
         u.state->setSelectedTag(u.state->loginInfo().tags.at(1));
         u.state->setSelectedArea(QStringLiteral("Asia"));
         u.state->router()->push(lumora::Route::location);
       },
       1200},
      {"tag_picker", "route",
       [&](auto& u, auto*) {
         u.state->setSelectedArea(QString());
         u.state->setCurrentTag(u.state->loginInfo().tags.at(0));
         u.state->router()->push(lumora::Route::tag);
       },
       1200},
      {"node_list", "route",
       [&](auto& u, auto*) {
         fakes.nodes->setSelectedNode(tarnel::Node("n3", "v2ray", {}, "JP-Osaka-01", "jp", 0, 2, 0));
         u.state->router()->push(lumora::Route::nodeRoute("jp", "Japan"));
       },
       1200},
      {"node_list_search", "route",
       [&](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::nodeRoute("jp", "Japan"));
         spin(600);
         // The page of the scene before may still be sliding out.
         for (auto* page : lumora::screenshots::itemsNamed(r, "nodesView")) page->setProperty("isFocused", true);
       },
       800},
      {"node_list_keyword", "route",
       [&](auto& u, QQuickItem* r) {
         u.state->router()->push(lumora::Route::nodeRoute("jp", "Japan"));
         spin(600);
         for (auto* field : lumora::screenshots::itemsNamed(r, "searchField")) {
           field->setProperty("text", QStringLiteral("tokyo"));
           QMetaObject::invokeMethod(field, "textEdited");
         }
       },
       800},
      {"home_auto_connected", "route",
       [&](auto& u, auto*) {
         // Automatic location: the connection chose a node by itself; nobody picked one.
         fakes.nodes->setSelectedNode(std::nullopt);
         u.state->setCurrentCountry(std::nullopt);
         fakes.nodes->setConnectionNode(tarnel::Node("n2", "v2ray", {}, "JP-Tokyo-02", "jp", 0, 2, 0));
         u.state->setVpnStatus(helmsey::VPNStatus::disconnected);
         u.state->setVpnStatus(helmsey::VPNStatus::connected);
         animation.start();
         spin(50);
         for (int i = 0; i < 3; ++i) animation.buttonAnimationFinished();
         animation.backgroundAnimationFinished();
       },
       2500},
      {"update_offer", "route", [&update](auto&, auto*) { update.checkUpdate(false); }},
      {"update_offer_manual", "route",
       [&update](auto& u, auto*) {
         u.dialog.close();
         update.checkUpdate(true);
       }},
      {"download_progress", "route",
       [&download, &clock, &silent](auto&, auto*) {
         // A loopback listener that never answers holds the download in its first state.
         download.startDownload(QStringLiteral("https://127.0.0.1:%1/pkg.deb").arg(silent.serverPort()));
         clock += 2;
         download.applyProgress(3 * 1024 * 1024, 7680 * 1024);  // 40 %, 1.50 MB/S
       }},
      {"update_check_while_downloading", "route", [&update](auto&, auto*) { update.checkUpdate(true); }},
      {"download_failed", "route", [&download](auto&, auto*) { download.fail(QStringLiteral("Connection refused")); }},
      {"update_no_installer", "route",
       [&download](auto&, auto*) {
         download.installerMissing(QStringLiteral("/home/user/.cache/io.tarnelmacos/tarnel-update.deb"));
       }},
      {"animation_frame", "animation",
       [](auto&, QQuickItem* r) {
         // A frame from the middle of each animation, still.
         for (auto* player : r->findChildren<lumora::AnimationPlayer*>()) {
           spin(50);
           player->showFrame(player->totalFrames() / 2);
         }
       },
       200},
  };

  int failures = 0;
  for (const auto& scene : scenes) {
    reset(ui);
    spin(450);
    root->setProperty("scene", QString::fromLatin1(scene.scene));
    scene.setUp(ui, root);
    spin(scene.settleMs);
    const QString file = folder + QLatin1Char('/') + QString::fromLatin1(scene.file) + QStringLiteral(".png");
    if (!view.grabWindow().save(file)) {
      std::fprintf(stderr, "could not write %s\n", qPrintable(file));
      ++failures;
    }
  }
  // The secondary windows: a notice's text, a web page from a loopback server, the clipboard warning.
  PageServer pages(QByteArrayLiteral(
      "<!doctype html><html><body style='font-family:sans-serif;margin:24px'>"
      "<h2>Terms of Service</h2><p>These terms govern the use of the service.</p>"
      "<p><a href='systembrowser:https://www.example.com/'>example.com</a></p></body></html>"));
  lumora::ClipboardWarning clipboard(*view.engine(), ui.modalWindows, nullptr);
  reset(ui);
  const std::vector<WindowScene> windowScenes{
      {"window_notice", lumora::ModalWindowType::notice,
       [&windows] {
         windows.openModalHtmlWindow(lumora::ModalWindowType::notice, true, QStringLiteral("Service maintenance"),
                                     QStringLiteral("<h3>Service maintenance</h3><p>On 1 March from 10:00 "
                                                    "to 11:00 some nodes restart. Connections reconnect on "
                                                    "their own.</p>"),
                                     500, 500);
       }},
      {"window_terms", lumora::ModalWindowType::service,
       [&windows, &pages] {
         windows.openModalWindow(lumora::ModalWindowType::service, true, QStringLiteral("Terms of Service"),
                                 QStringLiteral("http://127.0.0.1:%1/terms").arg(pages.serverPort()), 600, 500);
       }},
      {"window_clipboard", lumora::ModalWindowType::clipboard, [&clipboard] { clipboard.open(); }, 700},
  };
  for (const auto& scene : windowScenes) {
    scene.open();
    spin(scene.settleMs);
    auto* window = qobject_cast<QQuickWindow*>(ui.modalWindows.window(scene.type));
    const QString file = folder + QLatin1Char('/') + QString::fromLatin1(scene.file) + QStringLiteral(".png");
    if (window == nullptr || !window->grabWindow().save(file)) {
      std::fprintf(stderr, "could not write %s\n", qPrintable(file));
      ++failures;
    }
    ui.modalWindows.close(scene.type);
    spin(100);
  }

  lumora::SharedInstance<lumora::StoreContext>::uninstall(&storeContext);
  lumora::SharedInstance<lumora::ConnectionContext>::uninstall(&connection);
  discovery->open();
  lumora::SharedInstance<lumora::DiagnosisContext>::uninstall(&diagnosisContext);
  lumora::SharedInstance<lumora::AccountMenu>::uninstall(&accountMenu);
  lumora::SharedInstance<lumora::AccountContext>::uninstall(&account);
  lumora::SharedInstance<lumora::DeviceManager>::uninstall(&devices);
  lumora::SharedInstance<lumora::AdvancedSettings>::uninstall(&advancedSettings);
  lumora::SharedInstance<lumora::HomeScreen>::uninstall(&homeScreen);
  lumora::SharedInstance<lumora::LocationScreen>::uninstall(&locationScreen);
  lumora::SharedInstance<lumora::ConnectManager>::uninstall(&connect);
  lumora::SharedInstance<lumora::AnimationController>::uninstall(&animation);
  std::printf("%zu pictures in %s\n", scenes.size() + windowScenes.size() - static_cast<std::size_t>(failures),
              qPrintable(folder));
  return failures == 0 ? 0 : 1;
}
