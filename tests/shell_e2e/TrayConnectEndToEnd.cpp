// A connect made from the tray while the window is put away, on a desktop with a window manager
// and a tray host, through a real node: the window comes forward once the connection is up.
#include <gtest/gtest.h>

#include <QSystemTrayIcon>

#include <vector>

#include "services/connection/ConnectionController.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/shell_e2e/NodeWorld.h"
#include "tests/shell_e2e/TrayMenu.h"

namespace lumora::test {
namespace {

using helmsey::VPNStatus;
using tarnel::ConnectionController;

void runFor(int ms) { waitFor([] { return false; }, ms); }

bool libraryConnected() { return ConnectionController::shared().phase() == ConnectionController::Phase::connected; }

TEST(TrayConnect, AConnectWhileTheWindowIsInTheTrayBringsItForwardOnceConnected) {
  // No desktop's proxy settings are touched outside this test's own session.
  setenv("GSETTINGS_BACKEND", "memory", 1);
  AppWorld world;
  ASSERT_TRUE(world.start());
  NodeWorld nodes(world, {{"A"}});
  ASSERT_TRUE(world.signInToHome());
  ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable() && tray::icon() && tray::menu(); }))
      << "no tray host, or no icon in it";
  QQuickWindow* window = world.window();
  struct Leave {
    ~Leave() { ConnectionController::shared().disconnect(); }  // whatever ended the scenario
  } leave;

  // Into the tray: the program knows its window is no longer in front.
  ASSERT_TRUE(tray::click(tray::kShowOrHide));
  ASSERT_TRUE(waitFor([&] { return !window->isVisible(); }));
  EXPECT_TRUE(world.state().background());

  // Each time the window shows, the status it showed at.
  std::vector<VPNStatus> shownAt;
  QObject::connect(window, &QWindow::visibleChanged, window, [&](bool visible) {
    if (visible) shownAt.push_back(world.state().vpnStatus());
  });
  ASSERT_TRUE(tray::click(tray::kConnect));
  ASSERT_TRUE(waitFor([&] { return libraryConnected(); }, 60000)) << "the tray's connect did not connect";
  ASSERT_TRUE(waitFor([&] { return window->isVisible() && window->isExposed(); }, 60000))
      << "connected, and the window stays in the tray";
  EXPECT_EQ(shownAt, std::vector<VPNStatus>{VPNStatus::connected}) << "shown before the connection was up";
  EXPECT_TRUE(waitFor([&] { return window->isActive() && !world.state().background(); }))
      << "shown, but not in front";
  EXPECT_EQ(tray::menu()->actions().at(tray::kShowOrHide)->text(), localized(QStringLiteral("hide")));

  // Once: the page comes to rest with the connection, and back in the tray nothing brings the
  // window up again.
  const auto restsOn = [&](const char* player, const char* name) {
    QQuickItem* item = world.item(QString::fromUtf8(player));
    return item && item->property("animationName").toString() == QLatin1String(name) &&
           !item->property("isAmimationPlaying").toBool();
  };
  EXPECT_TRUE(waitFor([&] { return restsOn("buttonAnimation", "ani_yes") && restsOn("backgroundAnimation", "bg_blue"); }));
  ASSERT_TRUE(tray::click(tray::kShowOrHide));
  ASSERT_TRUE(waitFor([&] { return !window->isVisible(); }));
  runFor(1500);
  EXPECT_FALSE(window->isVisible()) << "brought forward again";
  EXPECT_EQ(shownAt.size(), 1u);
  EXPECT_EQ(world.state().vpnStatus(), VPNStatus::connected);
}

}  // namespace
}  // namespace lumora::test
