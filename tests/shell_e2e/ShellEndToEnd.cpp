// The window as a user meets it on a desktop with a window manager and a tray host: every tray
// action through the real tray menu, taps that must stay on the top page, Escape, and the ways
// out of a program that is connected or connecting (a log-out's SIGTERM, a closed terminal's
// SIGHUP, Ctrl-C's SIGINT), each against the real program.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QWidget>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "core/engine/EnginePaths.h"
#include "services/connection/ConnectionController.h"
#include "services/network/NetworkRequest.h"
#include "tests/e2e/E2EWorld.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/shell_e2e/ForeignWindow.h"
#include "tests/shell_e2e/NodeWorld.h"
#include "tests/shell_e2e/ProgramProcess.h"
#include "tests/shell_e2e/TrayMenu.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"
#include "ui/base/Feedback.h"
#include "ui/base/Workers.h"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;
using tarnel::ConnectionController;

void runFor(int ms) { waitFor([] { return false; }, ms); }

// The quit path waits at most a few seconds for each of its steps; a program that has not left
// after this has hung.
constexpr int kLeaveBoundMs = 60000;

// Runs the event loop until the program asks to leave (QCoreApplication::exit ends every loop);
// the code it left with, or -1 when it did not leave within `ms`.
int runUntilTheProgramLeaves(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, [&loop] { loop.exit(-1); });
  return loop.exec();
}

// Opens the tray menu with a click on the icon and clicks the action at `index` (a language
// through its submenu), as a user does.
bool clickTrayAction(int index, int languageIndex = -1) {
  if (languageIndex < 0) return tray::click(index);
  QWidget* icon = tray::icon();
  if (!icon) return false;
  QTest::mouseClick(icon, Qt::LeftButton);
  QMenu* menu = nullptr;
  if (!waitFor([&] { return (menu = tray::menu()) && menu->isVisible(); })) return false;
  QAction* action = menu->actions().at(index);
  QMenu* languages = action->menu();
  QTest::mouseMove(menu, menu->actionGeometry(action).center());
  menu->setActiveAction(action);
  if (!waitFor([&] { return languages->isVisible(); }, 3000)) {
    languages->popup(menu->mapToGlobal(menu->actionGeometry(action).topRight()));
    if (!waitFor([&] { return languages->isVisible(); })) return false;
  }
  QAction* item = languages->actions().at(languageIndex);
  QTest::mouseClick(languages, Qt::LeftButton, {}, languages->actionGeometry(item).center());
  return true;
}

TEST(ShellEndToEnd, EveryTrayActionWorksInARealTray) {
  AppWorld world;
  ASSERT_TRUE(world.start());
  ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable() && tray::icon() && tray::menu(); }))
      << "no tray host, or no icon in it";
  QQuickWindow* window = world.window();

  // The fixed-size window asks the window manager for no maximise button and function: the
  // functions and decorations of its Motif hints leave maximise out.
  const std::string hints = tarnel::test::commandOutput(
      "xprop -id " + std::to_string(window->winId()) + " _MOTIF_WM_HINTS").value_or("");
  unsigned flags = 0, functions = 0, decorations = 0;
  ASSERT_EQ(std::sscanf(hints.c_str(), "_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = %x, %x, %x", &flags, &functions,
                        &decorations), 3) << hints;
  EXPECT_TRUE((flags & 0x1) && (flags & 0x2)) << hints;
  EXPECT_FALSE(functions & 0x10) << "maximise offered: " << hints;
  EXPECT_FALSE(decorations & 0x40) << "maximise button shown: " << hints;

  // Hide and show: the action rebuilds nothing while it is being delivered.
  ASSERT_TRUE(clickTrayAction(0));
  ASSERT_TRUE(waitFor([&] { return !window->isVisible(); }));
  EXPECT_EQ(tray::menu()->actions().at(0)->text(), localized(QStringLiteral("show")));
  ASSERT_TRUE(clickTrayAction(0));
  ASSERT_TRUE(waitFor([&] { return window->isVisible(); }));
  EXPECT_EQ(tray::menu()->actions().at(0)->text(), localized(QStringLiteral("hide")));

  // Every language, then the current one again: the menu speaks it, and it stays checked.
  for (const auto& [index, code] : std::vector<std::pair<int, QString>>{
           {1, QStringLiteral("zh-Hans")}, {2, QStringLiteral("zh-Hant")}, {0, QStringLiteral("en")}, {0, QStringLiteral("en")}}) {
    ASSERT_TRUE(clickTrayAction(3, index)) << code.toStdString();
    ASSERT_TRUE(waitFor([&] { return world.state().currentLanguage() == code; })) << code.toStdString();
    runFor(100);
    QMenu* menu = tray::menu();
    ASSERT_NE(menu, nullptr) << "the menu does not speak " << code.toStdString();
    EXPECT_EQ(menu->actions().at(0)->text(), localized(QStringLiteral("hide")));
    for (QAction* item : menu->actions().at(3)->menu()->actions()) {
      EXPECT_EQ(item->isChecked(), item->data().toString() == code) << code.toStdString();
    }
  }

  // About opens its page over whatever shows.
  ASSERT_TRUE(clickTrayAction(4));
  ASSERT_TRUE(waitFor([&] { return world.state().router()->topName() == QLatin1String("about"); }));
  // The update check asks the service and keeps the program running.
  ASSERT_TRUE(clickTrayAction(2));
  runFor(300);
  EXPECT_TRUE(window->isVisible());

  // Quit leaves through the quit path.
  ASSERT_TRUE(clickTrayAction(6));
  EXPECT_EQ(runUntilTheProgramLeaves(kLeaveBoundMs), 0);
}

// The visible items under `root` whose objectName starts with `prefix`.
std::vector<QQuickItem*> itemsNamed(QQuickItem* root, const QString& prefix) {
  std::vector<QQuickItem*> found;
  if (!root) return found;
  for (QQuickItem* child : root->childItems()) {
    if (!child->isVisible()) continue;
    if (child->objectName().startsWith(prefix)) found.push_back(child);
    const auto below = itemsNamed(child, prefix);
    found.insert(found.end(), below.begin(), below.end());
  }
  return found;
}

// Any item of the window of that name, shown or not (a closed menu's items hang from no item).
QQuickItem* anyItem(QQuickWindow* window, const QString& name) { return window->findChild<QQuickItem*>(name); }

// What a tap can make act: the mouse areas and tap handlers of an item and of every item shown
// inside it, each watched for its click (a mouse area's "clicked", a handler's "tapped").
class ControlWatch {
 public:
  explicit ControlWatch(QQuickItem* root) { watch(root); }

  // How often the controls acted, in all.
  int acted() const {
    int total = 0;
    for (const auto& control : controls_) total += control.spy->count();
    return total;
  }
  // The nearest names (the control's or an enclosing item's) of the controls that acted.
  std::string whichActed() const {
    std::string names;
    for (const auto& control : controls_) {
      if (control.spy->count() > 0) names += " " + control.name;
    }
    return names;
  }
  // Whether a control lies under the scene point.
  bool covers(const QPointF& point) const {
    return std::any_of(controls_.begin(), controls_.end(), [&](const Control& control) {
      return control.area && control.area->isVisible() &&
             control.area->mapRectToScene(QRectF(0, 0, control.area->width(), control.area->height())).contains(point);
    });
  }

 private:
  struct Control {
    QPointer<QQuickItem> area;
    std::string name;
    std::unique_ptr<QSignalSpy> spy;
  };

  static QMetaMethod signalNamed(QObject* object, const char* name) {
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
      const QMetaMethod method = meta->method(i);
      if (method.methodType() == QMetaMethod::Signal && method.name() == name) return method;
    }
    return {};
  }

  void add(QObject* control, QQuickItem* area, const char* signal) {
    const QMetaMethod method = signalNamed(control, signal);
    if (!method.isValid()) return;
    std::string name;
    for (QQuickItem* item = area; item && name.empty(); item = item->parentItem()) name = item->objectName().toStdString();
    controls_.push_back({area, name.empty() ? "(unnamed)" : name, std::make_unique<QSignalSpy>(control, method)});
  }

  void watch(QQuickItem* item) {
    if (!item || !item->isVisible()) return;
    if (item->inherits("QQuickMouseArea")) add(item, item, "clicked");
    for (QObject* child : item->children()) {
      if (child->inherits("QQuickTapHandler")) add(child, item, "tapped");
    }
    for (QQuickItem* child : item->childItems()) watch(child);
  }

  std::vector<Control> controls_;
};

// The window's context menu: choosing a language switches to it, and choosing the current one
// again leaves it checked.
TEST(ShellEndToEnd, TheContextMenuKeepsTheCurrentLanguageChecked) {
  AppWorld world;
  ASSERT_TRUE(world.start());
  QQuickWindow* window = world.window();
  const auto choose = [&](const QString& code) {
    QTest::mouseClick(window, Qt::RightButton, {}, QPoint(200, 300));
    // The context menu's row that opens the language menu: hovered, as a user does.
    QObject* languages = window->findChild<QObject*>(QStringLiteral("contextMenuLanguageMenu"));
    if (!languages) return false;
    QQuickItem* opener = nullptr;
    if (!waitFor([&] {
          for (QQuickItem* candidate : window->contentItem()->findChildren<QQuickItem*>()) {
            if (candidate->property("subMenu").value<QObject*>() == languages && candidate->isVisible()) {
              opener = candidate;
              return true;
            }
          }
          return false;
        })) {
      return false;
    }
    runFor(200);
    const QPoint openerCentre = opener->mapToScene(QPointF(opener->width() / 2, opener->height() / 2)).toPoint();
    QTest::mouseMove(window, openerCentre);
    QTest::mouseClick(window, Qt::LeftButton, {}, openerCentre);
    QQuickItem* item = anyItem(window, "language_" + code);
    if (!item || !waitFor([&] { return item->isVisible() && item->width() > 0; })) return false;
    runFor(300);
    QTest::mouseClick(window, Qt::LeftButton, {}, item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
    return waitFor([&] { return world.state().currentLanguage() == code; });
  };
  for (const QString& code : {QStringLiteral("zh-Hans"), QStringLiteral("zh-Hans"), QStringLiteral("en"), QStringLiteral("en")}) {
    ASSERT_TRUE(choose(code)) << code.toStdString();
    runFor(300);
    for (const char* other : {"en", "zh-Hans", "zh-Hant"}) {
      QQuickItem* item = anyItem(window, QStringLiteral("language_") + QLatin1String(other));
      ASSERT_NE(item, nullptr);
      EXPECT_EQ(item->property("checked").toBool(), code == QLatin1String(other)) << code.toStdString() << " " << other;
    }
  }
}

TEST(ShellEndToEnd, OnlyTheTopPageTakesTapsAndEscapeGoesBack) {
  setenv("GSETTINGS_BACKEND", "memory", 1);
  // "My rewards" opens a web window; the browser engine's sandbox cannot run as root.
  if (::geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
  AppWorld world;
  ASSERT_TRUE(world.start());
  ASSERT_TRUE(world.signInToHome());
  Router& router = *world.state().router();

  // The routing pill's text sits on its icon's centre line.
  QQuickItem* pillText = world.item(QStringLiteral("routePillText"));
  QQuickItem* pillIcon = world.item(QStringLiteral("routePillGlobalIcon"));
  if (!pillIcon) pillIcon = world.item(QStringLiteral("routePillSmartIcon"));
  ASSERT_TRUE(pillText && pillIcon);
  const auto centreY = [](QQuickItem* item) { return item->mapToScene(QPointF(0, item->height() / 2)).y(); };
  EXPECT_NEAR(centreY(pillText), centreY(pillIcon), 1.0);

  // The account menu, then the share page over it: "My rewards" lies over "sign out".
  router.push(Route::menu);
  ASSERT_TRUE(waitFor([&] { return router.offsetX() == 0 && world.item(QStringLiteral("row_signOut")); }));
  QQuickItem* signOut = world.item(QStringLiteral("row_signOut"));
  const QPointF signOutCentre = signOut->mapToScene(QPointF(signOut->width() / 2, signOut->height() / 2));
  ASSERT_TRUE(world.click(QStringLiteral("row_share")));
  ASSERT_TRUE(waitFor([&] { return router.topName() == QLatin1String("share") && router.offsetX() == 0; }));
  QQuickItem* rewards = world.item(QStringLiteral("shareRewards"));
  ASSERT_NE(rewards, nullptr);
  ASSERT_TRUE(world.click(QStringLiteral("shareRewards")));
  // A tap in the page's blank area where "sign out" lies beneath.
  QTest::mouseClick(world.window(), Qt::LeftButton, {}, signOutCentre.toPoint());
  runFor(1500);
  EXPECT_EQ(router.rootName(), QStringLiteral("main")) << "the tap signed the user out";
  EXPECT_EQ(world.state().loginInfo().user.email, world.account().email);

  // Every button of the layer in front acts alone: it takes the tap, and no control of the pages
  // beneath (the home page's among them) acts as well. A dialog's buttons count as a layer over
  // every page.
  struct FrontButtons {
    std::vector<Route::Kind> pages;  // pushed over the home page, in this order
    QString opener;                  // tapped first to bring up the front layer (the dialog); or none
    QString front;                   // the front layer: the dialog's card, or (empty) the top page
    std::vector<QString> buttons;
  };
  const std::vector<FrontButtons> fronts{
      {{Route::menu}, {}, {}, {"row_share", "row_mobile", "row_discount", "row_settings", "row_help", "row_email", "row_about"}},
      {{Route::menu, Route::share}, {}, {}, {"shareNow", "shareRewards", "shareRules"}},
      {{Route::menu, Route::about}, {}, {}, {"officialRow", "feedbackRow", "termsLink", "privacyLink"}},
      {{Route::notify}, {}, {}, {"readAll"}},
      {{Route::menu}, "row_email", "dialogCard", {"dialogButton_copy to clipboard", "dialogClose"}},
  };
  auto* dialog = SharedInstance<DialogManager>::get();
  const auto settled = [&] { return router.offsetX() == 0 && !world.item(QStringLiteral("loadingCard")); };
  int tapsOverControls = 0;
  for (const FrontButtons& row : fronts) {
    for (const QString& name : row.buttons) {
      const std::string label = name.toStdString();
      dialog->setIsShow(false);
      router.goBackToRoot();
      ASSERT_TRUE(waitFor([&] { return router.depth() == 0 && settled(); })) << label;
      for (const Route::Kind page : row.pages) {
        router.push(page);
        ASSERT_TRUE(waitFor([&] { return router.topName() == Route::nameOf(page) && settled(); })) << label;
      }
      if (!row.opener.isEmpty()) {
        ASSERT_TRUE(world.click(row.opener)) << label;
        ASSERT_TRUE(waitFor([&] { return world.item(row.front) != nullptr; })) << label;
      }
      QQuickItem* button = world.item(name);
      ASSERT_NE(button, nullptr) << label;
      std::vector<std::unique_ptr<ControlWatch>> beneath;
      beneath.push_back(std::make_unique<ControlWatch>(world.item(QStringLiteral("rootPage"))));
      for (const Route& page : router.stack()) {
        if (row.front.isEmpty() && page.name() == router.topName()) continue;
        beneath.push_back(std::make_unique<ControlWatch>(world.item("page_" + page.name())));
      }
      const ControlWatch own(button);
      const QPointF centre = button->mapToScene(QPointF(button->width() / 2, button->height() / 2));
      if (std::any_of(beneath.begin(), beneath.end(), [&](const auto& watch) { return watch->covers(centre); })) {
        ++tapsOverControls;
      }
      QTest::mouseClick(world.window(), Qt::LeftButton, {}, centre.toPoint());
      EXPECT_GT(own.acted(), 0) << label << " did not take its tap";
      for (const auto& watch : beneath) {
        EXPECT_EQ(watch->acted(), 0) << "a tap on " << label << " also reached" << watch->whichActed();
      }
    }
  }
  EXPECT_GE(tapsOverControls, 5) << "too few of the buttons lie over a control beneath";
  dialog->setIsShow(false);
  router.goBackToRoot();
  ASSERT_TRUE(waitFor([&] { return router.depth() == 0 && settled(); }));

  // The settings page over the menu: taps in its blank areas open nothing of the menu beneath.
  router.goBackToRoot();
  ASSERT_TRUE(waitFor([&] { return router.depth() == 0; }));
  router.push(Route::menu);
  ASSERT_TRUE(waitFor([&] { return router.offsetX() == 0 && world.item(QStringLiteral("row_signOut")); }));
  std::vector<QPointF> menuRows;
  for (QQuickItem* row : itemsNamed(world.item(QStringLiteral("page_menu")), QStringLiteral("row_"))) {
    menuRows.push_back(row->mapToScene(QPointF(row->width() / 2, row->height() / 2)));
  }
  ASSERT_GE(menuRows.size(), 3u);
  router.push(Route::settings);
  ASSERT_TRUE(waitFor([&] { return router.topName() == QLatin1String("settings") && router.offsetX() == 0; }));
  std::vector<QRectF> settingsRows;
  for (QQuickItem* row : itemsNamed(world.item(QStringLiteral("page_settings")), QStringLiteral("row"))) {
    settingsRows.push_back(row->mapRectToScene(QRectF(0, 0, row->width(), row->height())));
  }
  ASSERT_FALSE(settingsRows.empty());
  int blankTaps = 0;
  for (const QPointF& point : menuRows) {
    if (std::any_of(settingsRows.begin(), settingsRows.end(), [&](const QRectF& r) { return r.contains(point); })) {
      continue;  // the settings page's own row lies there
    }
    ++blankTaps;
    QTest::mouseClick(world.window(), Qt::LeftButton, {}, point.toPoint());
    runFor(400);
    EXPECT_FALSE(SharedInstance<DialogManager>::get()->isShow()) << "a tap at " << point.y() << " reached the menu";
    EXPECT_EQ(router.topName(), QStringLiteral("settings")) << "a tap at " << point.y() << " reached the menu";
    if (router.topName() != QLatin1String("settings")) {
      router.goBack();
      ASSERT_TRUE(waitFor([&] { return router.topName() == QLatin1String("settings"); }));
    }
    SharedInstance<DialogManager>::get()->setIsShow(false);
  }
  EXPECT_GT(blankTaps, 0) << "no blank area of the settings page lies over a row of the menu";
  EXPECT_EQ(router.rootName(), QStringLiteral("main"));

  // Escape goes back one page at a time.
  // The rewards window took the keyboard; the user comes back to the main window.
  world.window()->requestActivate();
  ASSERT_TRUE(waitFor([&] { return world.window()->isActive() && world.window()->activeFocusItem(); }));
  QTest::keyClick(world.window(), Qt::Key_Escape);
  ASSERT_TRUE(waitFor([&] { return router.depth() == 1; }));
  QTest::keyClick(world.window(), Qt::Key_Escape);
  ASSERT_TRUE(waitFor([&] { return router.depth() == 0; }));

  // Typing in a field, the user switches to another program's window (to copy a code from the
  // mail, say) and back: what is typed after the return goes on in the same field.
  router.push(Route::changePWD);
  ASSERT_TRUE(waitFor([&] { return router.offsetX() == 0 && world.item(QStringLiteral("oldPasswordField")); }));
  ASSERT_TRUE(world.click(QStringLiteral("oldPasswordField")));
  const auto typeKeys = [&](const char* keys) {
    for (const char* key = keys; *key; ++key) QTest::keyClick(world.window(), *key);
  };
  typeKeys("abc");
  ASSERT_EQ(world.text(QStringLiteral("oldPasswordField")), QStringLiteral("abc"));
  {
    ForeignWindow mail;
    ASSERT_TRUE(mail.hasFocus());
    ASSERT_TRUE(waitFor([&] { return !world.window()->isActive(); }));
    ASSERT_TRUE(mail.giveFocusTo(static_cast<std::uint32_t>(world.window()->winId())));
    ASSERT_TRUE(waitFor([&] { return world.window()->isActive(); }));
  }
  typeKeys("def");
  EXPECT_EQ(world.text(QStringLiteral("oldPasswordField")), QStringLiteral("abcdef"));
  // Escape in the field closes its page, and the keyboard, gone with the field, comes back to the
  // window: the next page goes back on Escape too.
  QTest::keyClick(world.window(), Qt::Key_Escape);
  ASSERT_TRUE(waitFor([&] { return router.depth() == 0; }));
  router.push(Route::settings);
  ASSERT_TRUE(waitFor([&] { return router.topName() == QLatin1String("settings") && router.offsetX() == 0; }));
  QTest::keyClick(world.window(), Qt::Key_Escape);
  ASSERT_TRUE(waitFor([&] { return router.depth() == 0; }));
}

// Keys belong to the layer in front, as taps do. Over a page whose field has the keyboard lies
// another page, a dialog or the loading overlay: what is typed there, Tab and Return included,
// changes no field beneath and sends nothing to the service; once the layer goes (Escape takes a
// page or a dialog away, so that layer had the keys), typing goes on in the same field.
TEST(ShellEndToEnd, KeysGoToTheLayerInFrontAndComeBackToTheFieldBeneath) {
  setenv("GSETTINGS_BACKEND", "memory", 1);
  AppWorld world;
  ASSERT_TRUE(world.start());
  ASSERT_TRUE(waitFor([] { return tray::icon() && tray::menu(); }));
  Router& router = *world.state().router();
  QQuickWindow* window = world.window();
  auto* loading = SharedInstance<LoadingManager>::get();
  const auto typeKeys = [&](const char* keys) {
    for (const char* key = keys; *key; ++key) QTest::keyClick(window, *key);
  };
  const auto atRest = [&](const char* top) {
    return waitFor([&] { return router.topName() == QLatin1String(top) && router.offsetX() == 0 && !loading->isShowing(); });
  };
  // The sign-in page is the user's once its own guest sign-in has ended.
  ASSERT_TRUE(waitFor([&] {
    return router.rootName() == "login" && world.item("accountField") && world.service().count("POST", "lite/users") >= 1 &&
           !loading->isShowing();
  }));

  // The change-password form, filled, its last field (whose Return confirms) with the keyboard.
  const auto fillPasswordChange = [&] {
    if (router.rootName() != "main" && !world.signInToHome()) return false;
    SharedInstance<DialogManager>::get()->setIsShow(false);
    router.goBackToRoot();
    if (!waitFor([&] { return router.depth() == 0; })) return false;
    router.push(Route::changePWD);
    return atRest("changePWD") && world.type("oldPasswordField", "old-secret1") &&
           world.type("newPasswordField", "new-secret1") && world.type("confirmPasswordField", "new-secret1");
  };
  const std::vector<QString> passwordForm{"oldPasswordField", "newPasswordField", "confirmPasswordField"};
  std::optional<LoadingTicket> overlay;
  struct FrontLayer {
    const char* name;
    std::function<bool()> fillBeneath;  // the page beneath, with the keyboard in `field`
    QString field;
    std::vector<QString> form;  // the fields beneath, none of which may change
    const char* sends;          // the request that Return in `field` sends
    std::function<bool()> raise;
    std::function<bool()> lower;
  };
  const std::vector<FrontLayer> fronts{
      {"the device list over the sign-in form",
       [&] {
         return world.type("accountField", QString::fromStdString(world.account().email)) &&
                world.type("passwordField", QString::fromStdString(world.account().password));
       },
       "passwordField", {"accountField", "passwordField"}, "lite/users",
       [&] {
         // Every device slot of the account is taken: the device list opens over the form.
         using tarnel::test::WireJson;
         const WireJson other = {{"device_id", "refused-1"}, {"uid", world.account().userId},
                                 {"device_name", "refused-laptop"}, {"device_model", "m"}, {"version", 5},
                                 {"platform", "win32"}, {"created_at", "2024-05-01T10:00:00.000Z"},
                                 {"updated_at", "2024-05-01T10:00:00.000Z"}};
         world.service().enqueue("POST", "lite/users",
                                 tarnel::test::Answer::error(3303, "No free device slot", 400,
                                                             {{"devices", WireJson::array({other})}}));
         return world.click("submitButton") && atRest("devices") &&
                waitFor([&] { return world.text("deviceName") == QStringLiteral("refused-laptop"); }) &&
                world.click("deviceList");
       },
       [&] {
         QTest::keyClick(window, Qt::Key_Escape);
         return waitFor([&] { return router.depth() == 0; });
       }},
      {"About from the tray over the change-password form", fillPasswordChange, "confirmPasswordField", passwordForm,
       "password/change",
       [&] {
         if (!clickTrayAction(4) || !atRest("about")) return false;
         window->requestActivate();
         return true;
       },
       [&] {
         QTest::keyClick(window, Qt::Key_Escape);
         return atRest("changePWD");
       }},
      {"a dialog over the change-password form", fillPasswordChange, "confirmPasswordField", passwordForm,
       "password/change",
       [&] {
         showDialog(QStringLiteral("A notice"), QStringLiteral("tips_title"), true, {}, {});
         return waitFor([&] { return world.item("dialogCard") != nullptr; });
       },
       [&] {
         QTest::keyClick(window, Qt::Key_Escape);
         return waitFor([&] { return !SharedInstance<DialogManager>::get()->isShow(); });
       }},
      {"the loading overlay over the change-password form", fillPasswordChange, "confirmPasswordField", passwordForm,
       "password/change",
       [&] {
         overlay.emplace(showLoading(QString()));
         return waitFor([&] { return world.item("loadingCard") != nullptr; });
       },
       [&] {
         overlay.reset();
         return waitFor([&] { return !loading->isShowing(); });
       }},
  };
  for (const FrontLayer& row : fronts) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(row.fillBeneath());
    const QPointer<QQuickItem> field = world.item(row.field);
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(field->hasActiveFocus()) << "the form beneath has no keyboard to lose";
    ASSERT_TRUE(row.raise());
    ASSERT_TRUE(waitFor([&] { return window->isActive(); }));
    std::map<QString, std::string> before;
    for (const QString& name : row.form) before[name] = world.text(name).toStdString();
    const auto sent = world.service().count("POST", row.sends);

    // Return alone first: in the field beneath it would send the form as it was filled.
    QTest::keyClick(window, Qt::Key_Return);
    runFor(1500);  // a request that Return started would be on its way by now
    EXPECT_EQ(world.service().count("POST", row.sends), sent) << "Return sent the form beneath";
    typeKeys("zz");
    QTest::keyClick(window, Qt::Key_Tab);
    typeKeys("z");
    for (const QString& name : row.form) {
      EXPECT_EQ(world.text(name).toStdString(), before[name]) << name.toStdString() << " took keys typed over it";
    }

    // (A row whose layer is gone already, taken away by what reached the page beneath, leaves
    // the rest of the table to run.)
    if (!row.lower() || !field) {
      ADD_FAILURE() << "the layer in front could not be taken away";
      continue;
    }
    EXPECT_TRUE(field->hasActiveFocus()) << "the keyboard did not come back to the field";
    typeKeys("y");
    EXPECT_EQ(world.text(row.field).toStdString(), before[row.field] + "y");
  }
}

// Review pictures of what the shell changed, in the three languages, written to the folder that
// TARNEL_SCREENSHOTS names (run by hand: --gtest_also_run_disabled_tests).
TEST(ShellEndToEnd, DISABLED_ReviewPictures) {
  const char* folder = std::getenv("TARNEL_SCREENSHOTS");
  ASSERT_NE(folder, nullptr);
  setenv("GSETTINGS_BACKEND", "memory", 1);
  AppWorld world;
  ASSERT_TRUE(world.start());
  ASSERT_TRUE(world.signInToHome());
  ASSERT_TRUE(waitFor([] { return tray::icon() && tray::menu(); }));
  Router& router = *world.state().router();
  QQuickWindow* window = world.window();
  const auto save = [&](const QString& language, const QString& name, bool wholeScreen = false) {
    runFor(700);
    const QString path = QString::fromUtf8(folder) + QLatin1Char('/') + language + QLatin1Char('_') + name + ".png";
    const QImage picture = wholeScreen ? window->screen()->grabWindow(0).toImage() : window->grabWindow();
    EXPECT_TRUE(picture.save(path)) << path.toStdString();
  };
  for (const QString& language : {QStringLiteral("en"), QStringLiteral("zh-Hans"), QStringLiteral("zh-Hant")}) {
    world.state().setCurrentLanguage(language);
    router.goBackToRoot();
    ASSERT_TRUE(waitFor([&] { return router.depth() == 0; }));
    save(language, "home");

    auto* dialog = SharedInstance<DialogManager>::get();
    dialog->show({DialogButton{QStringLiteral("Confirm"), [] {}, true}}, QStringLiteral("tips_title"), true, {}, {},
                 DialogContent::fromText(localized(QStringLiteral("system_extension_reboot"))));
    showToast(localized(QStringLiteral("drag and drop app to applications")), ToastType::error);
    save(language, "notice_and_toast");
    dialog->setIsShow(false);

    router.push(Route::advanced);
    ASSERT_TRUE(waitFor([&] { return router.offsetX() == 0 && world.item(QStringLiteral("row_dns")); }));
    for (const QString& row : {QStringLiteral("row_dns"), QStringLiteral("row_dnsStrategy")}) {
      QQuickItem* item = world.item(row);
      ASSERT_NE(item, nullptr);
      item->setProperty("showList", true);
      save(language, row.mid(4) + "_list");
      item->setProperty("showList", false);
    }

    QTest::mouseClick(tray::icon(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([] { return tray::menu() && tray::menu()->isVisible(); }));
    save(language, "tray_menu", true);
    tray::menu()->hide();
  }
  world.state().setCurrentLanguage(QStringLiteral("en"));
}

// ---- Leaving on a signal, as a separate process ----------------------------------------------

constexpr const char* kChildPhase = "TARNEL_E2E_SIGNAL_PHASE";

// The program itself, run by the scenario below in a process of its own: signs in, connects (or
// only starts connecting), says so with a file, then runs until a signal makes it leave.
TEST(ShellEndToEnd, DISABLED_ProgramThatASignalEnds) {
  const char* dir = std::getenv(kProgramFolder);
  const char* phase = std::getenv(kChildPhase);
  ASSERT_TRUE(dir && phase) << "run by ASignalLeavesThroughTheQuitPath";
  const bool waitForConnected = std::string(phase) == "connected";
  // What the service double's handler uses outlives the double.
  std::atomic<bool> opening{false};
  std::atomic<std::chrono::steady_clock::rep> openedAt{0};  // when the service first saw the request
  std::atomic<bool> released{false};
  AppWorld world;
  ASSERT_TRUE(world.start());
  NodeWorld nodes(world, {{"A"}});
  ASSERT_TRUE(world.signInToHome());
  // Whatever ends the scenario, the held answer goes before the service double stops.
  struct Release {
    std::atomic<bool>& released;
    ~Release() { released = true; }
  } release{released};
  if (!waitForConnected) {
    // The node's opening takes its time: the signal finds the attempt waiting for the service,
    // which answers only once the program has left its event loop.
    world.service().respond("POST", "connect/node/*/user/*", [&](const tarnel::test::ServiceRequest&) {
      std::chrono::steady_clock::rep none = 0;
      openedAt.compare_exchange_strong(none, std::chrono::steady_clock::now().time_since_epoch().count());
      opening = true;
      while (!released) std::this_thread::sleep_for(10ms);
      return tarnel::test::Answer::error(503, "too late", 503);
    });
  }
  ASSERT_TRUE(world.click(QStringLiteral("connectArea")));
  const auto journal = helmsey::engine::systemProxyJournal();
  if (waitForConnected) {
    // The attempt ends connected or failed; its own checks give up on their own time-outs.
    waitFor([&] {
      return (world.text(QStringLiteral("statusText")) == "Connected" &&
              ConnectionController::shared().phase() == ConnectionController::Phase::connected) ||
             ConnectionController::shared().phase() == ConnectionController::Phase::failed;
    }, 120000);
    ASSERT_EQ(ConnectionController::shared().phase(), ConnectionController::Phase::connected);
    ASSERT_EQ(world.text(QStringLiteral("statusText")).toStdString(), "Connected");
    ASSERT_TRUE(std::filesystem::exists(journal));
    ASSERT_EQ(readDesktopSettings(std::filesystem::path(dir) / "db").at("org.gnome.system.proxy mode"), "'manual'");
  } else {
    ASSERT_TRUE(waitFor([&] { return opening.load(); }));
  }
  std::ofstream(std::filesystem::path(dir) / "ready") << "ready";
  EXPECT_EQ(runUntilTheProgramLeaves(kLeaveBoundMs), 0);
  // No worker is left waiting for the service: the attempt was abandoned, not its answer awaited.
  auto idle = std::async(std::launch::async, [] { Workers::pool().waitForDone(); });
  if (waitForConnected) {
    EXPECT_EQ(idle.wait_for(30s), std::future_status::ready) << "a worker is left running";
  } else {
    // A worker that waited for the answer is freed only by the exchange's own time-out, which
    // began before the service saw the request; an abandoned one ends within a second, as often
    // as the engine looks at the abandonment while it waits. The pool is idle a second before
    // that time-out, then, unless the program left too late to tell the two apart.
    const std::chrono::steady_clock::time_point opened{std::chrono::steady_clock::duration(openedAt.load())};
    const auto timeOutLessASecond = opened + std::chrono::seconds(tarnel::NetworkRequest::kTimeout) - 1s;
    if (std::chrono::steady_clock::now() + 1s < timeOutLessASecond) {
      EXPECT_EQ(idle.wait_until(timeOutLessASecond), std::future_status::ready) << "a worker still waits for the service";
    }
  }
  released = true;
  idle.wait();
  EXPECT_FALSE(std::filesystem::exists(journal)) << "the journal is still there";
  EXPECT_TRUE(tarnel::test::engineProcesses().empty()) << "an engine is left";
}

struct SignalCase {
  int number;
  const char* phase;
};

class ASignal : public ::testing::TestWithParam<SignalCase> {};

TEST_P(ASignal, LeavesThroughTheQuitPath) {
  const SignalCase c = GetParam();
  ProgramProcess program;
  program.start("ShellEndToEnd.DISABLED_ProgramThatASignalEnds", {{kChildPhase, c.phase}});
  ASSERT_TRUE(program.waitForFile("ready", std::chrono::seconds(240))) << "the program did not get " << c.phase << ":\n" << program.log();

  ::kill(program.pid(), c.number);
  // The program leaves through the quit path, which waits a few seconds at most, then the
  // scenario's checks and teardown run: only a hang takes as long as this.
  const auto status = program.waitForEnd(180s);
  ASSERT_TRUE(status) << "the program did not leave after signal " << c.number << ":\n" << program.log();
  const std::string output = program.log();
  EXPECT_TRUE(WIFEXITED(*status)) << describeEnd(*status) << ":\n" << output;
  EXPECT_EQ(WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
  EXPECT_EQ(program.desktop(), kDesktopBefore) << "the desktop's proxy was not put back";
}

INSTANTIATE_TEST_SUITE_P(WhileConnected, ASignal,
                         ::testing::Values(SignalCase{SIGTERM, "connected"}, SignalCase{SIGHUP, "connected"},
                                           SignalCase{SIGINT, "connected"}, SignalCase{SIGTERM, "connecting"}),
                         [](const auto& info) {
                           const char* name = info.param.number == SIGTERM  ? "Term"
                                              : info.param.number == SIGHUP ? "Hup"
                                                                            : "Int";
                           return std::string(name) + (std::string(info.param.phase) == "connected" ? "WhileConnected"
                                                                                                     : "WhileConnecting");
                         });

}  // namespace
}  // namespace lumora::test
