// Renders the foundation's widgets in one language into PNG files for review:
//   lumora_screenshots <folder> <en|zh-Hans|zh-Hant>
// Run it under a real display (Xvfb) so text and images draw as users see them.
#include <QDir>
#include <QHostAddress>
#include <QTcpServer>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

#include "tests/support/TestHome.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/account/AccountContext.h"
#include "ui/account/DeviceManager.h"
#include "ui/account/LoginModel.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/controls/AnimationPlayer.h"
#include "ui/shell/AccountMenu.h"
#include "ui/home/AnimationController.h"
#include "ui/home/ConnectManager.h"
#include "ui/home/HomeScreen.h"
#include "ui/info/DownloadManager.h"
#include "ui/info/InfoActions.h"
#include "ui/info/InfoContext.h"
#include "ui/info/ModalWindows.h"
#include "ui/info/UpdateManager.h"
#include "ui/shell/LumoraPlugins.h"
#include "tests/ui/screenshots/LocationScenes.h"
#include "ui/location/LocationScreen.h"

namespace {

using lumora::test::spin;

struct Scene {
  const char* file;
  const char* scene;
  std::function<void(lumora::UiObjects&, QQuickItem*)> setUp;
  int settleMs = 700;
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
  lumora::InfoContext info;
  info.services = fakes.services();
  info.state = ui.state.get();
  info.windows = &windows;
  lumora::SharedInstance<lumora::InfoContext>::install(&info);
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
      {"about_page", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::about); }},
      {"notify_list", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::notify); }},
      {"notify_empty", "route",
       [&fakes](auto& u, auto*) {
         fakes.notices->script.answer<std::optional<tarnel::Notices>>("notices", tarnel::Notices{});
         u.state->router()->push(lumora::Route::notify);
       }},
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
      {"download_failed", "route", [&download](auto&, auto*) { download.fail(QStringLiteral("Connection refused")); }},
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
  lumora::SharedInstance<lumora::AccountMenu>::uninstall(&accountMenu);
  lumora::SharedInstance<lumora::AccountContext>::uninstall(&account);
  lumora::SharedInstance<lumora::DeviceManager>::uninstall(&devices);
  lumora::SharedInstance<lumora::HomeScreen>::uninstall(&homeScreen);
  lumora::SharedInstance<lumora::LocationScreen>::uninstall(&locationScreen);
  lumora::SharedInstance<lumora::ConnectManager>::uninstall(&connect);
  lumora::SharedInstance<lumora::AnimationController>::uninstall(&animation);
  std::printf("%zu pictures in %s\n", scenes.size() - static_cast<std::size_t>(failures), qPrintable(folder));
  return failures == 0 ? 0 : 1;
}
