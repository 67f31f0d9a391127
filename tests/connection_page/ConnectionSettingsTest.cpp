// The connection settings page: working copies, the leave matrix and the reconnect question.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/connection_page/ConnectionWorld.h"

namespace lumora::test {
namespace {

using tarnel::VPNProtocol;

bool wrote(const std::vector<std::string>& writes, const std::string& key) {
  return std::find(writes.begin(), writes.end(), key) != writes.end();
}

TEST(ConnectionSettingsPage, LeavingWithoutChangesWritesNothingAndAsksNothing) {
  // Changing a setting and changing it back counts as no change, even while connected.
  for (const bool connected : {false, true}) {
    SCOPED_TRACE(connected ? "connected" : "disconnected");
    ConnectionWorld world;
    world.state().setVpnStatus(connected ? helmsey::VPNStatus::connected : helmsey::VPNStatus::disconnected);
    ConnectionPage& page = world.open();
    page.chooseSmartRoute(false);
    page.chooseProtocol(QStringLiteral("d"));
    page.chooseSmartRoute(true);
    page.chooseProtocol(QString());
    const auto before = world.writes();

    EXPECT_TRUE(world.goBack());
    EXPECT_FALSE(world.ui.dialog.isShow());
    EXPECT_EQ(world.writes(), before);
    EXPECT_TRUE(world.front->calls().empty());
  }
}

TEST(ConnectionSettingsPage, ChangesWhileDisconnectedAreWrittenOnLeavingWithoutADialog) {
  ConnectionWorld world;
  world.fakes.status->script.answer<std::vector<VPNProtocol>>("availableProtocols",
                                                              {VPNProtocol::VLESS_TLS, VPNProtocol::TROJAN_WS});
  ConnectionPage& page = world.open();
  page.chooseSmartRoute(false);
  page.chooseProtocol(QStringLiteral("c"));
  // Nothing reaches the app state while the page is open.
  EXPECT_TRUE(world.state().smartRoute());
  EXPECT_EQ(world.state().connectProtocol(), VPNProtocol::AUTO);

  EXPECT_TRUE(world.goBack());
  EXPECT_FALSE(world.ui.dialog.isShow());
  EXPECT_FALSE(world.state().smartRoute());
  EXPECT_EQ(world.state().connectProtocol(), VPNProtocol::TROJAN_WS);
  EXPECT_EQ(world.fakes.nodes->currentProtocol(), VPNProtocol::TROJAN_WS);
  EXPECT_TRUE(wrote(world.writes(), "SMART_ROUTE"));
  EXPECT_TRUE(world.front->calls().empty());
}

TEST(ConnectionSettingsPage, ChangesWhileConnectedAskFirstAndEachAnswerApplies) {
  struct Case {
    const char* button;
    bool reconnects;
  };
  for (const Case& c : {Case{"Reconnect", true}, Case{"Not Now", false}}) {
    SCOPED_TRACE(c.button);
    ConnectionWorld world;
    world.state().setVpnStatus(helmsey::VPNStatus::connected);
    world.router().push(Route(Route::menu));  // the page opens from the menu, two deep
    ConnectionPage& page = world.open();
    ASSERT_EQ(world.router().depth(), 2);
    page.chooseProtocol(QStringLiteral("d"));

    world.router().back();
    ASSERT_TRUE(world.dialogShows("setting change tips"));
    // The page stays and nothing is applied while the question is open.
    spin(Router::kSlideMs + 100);
    EXPECT_EQ(world.router().depth(), 2);
    EXPECT_EQ(world.state().connectProtocol(), VPNProtocol::AUTO);
    ASSERT_EQ(world.buttonIndex("Reconnect"), 0);
    ASSERT_EQ(world.buttonIndex("Not Now"), 1);
    EXPECT_TRUE(world.ui.dialog.buttons()[0].isLight);
    EXPECT_FALSE(world.ui.dialog.buttons()[1].isLight);

    world.ui.dialog.press(world.buttonIndex(c.button));
    EXPECT_FALSE(world.ui.dialog.isShow());
    EXPECT_EQ(world.state().connectProtocol(), VPNProtocol::VLESS_TLS);
    // Reconnect goes back to the home page; Not Now one page back, to the menu.
    const int depth = c.reconnects ? 0 : 1;
    EXPECT_TRUE(waitFor([&] { return world.router().depth() == depth; }));
    if (c.reconnects) {
      EXPECT_TRUE(waitFor([&] { return world.front->calls().size() == 2; }));
      EXPECT_EQ(world.front->calls(), (std::vector<std::string>{"disconnect", "toggle"}));
    } else {
      spin(100);
      EXPECT_TRUE(world.front->calls().empty());
    }
  }
}

TEST(ConnectionSettingsPage, ReconnectKeepsTheSwitchListenerAndCloseKeepsThePage) {
  ConnectionWorld world;
  world.state().setVpnStatus(helmsey::VPNStatus::connected);
  world.state().setSwitchListen(true);
  ConnectionPage& page = world.open();
  page.chooseSmartRoute(false);

  // The close button: the page stays, nothing applied; asking again shows the question again.
  world.router().back();
  ASSERT_TRUE(world.dialogShows("setting change tips"));
  world.ui.dialog.close();
  spin(Router::kSlideMs + 100);
  EXPECT_EQ(world.router().depth(), 1);
  EXPECT_TRUE(world.state().smartRoute());

  world.router().back();
  ASSERT_TRUE(world.dialogShows("setting change tips"));
  world.ui.dialog.press(world.buttonIndex("Reconnect"));
  EXPECT_FALSE(world.state().smartRoute());
  EXPECT_TRUE(waitFor([&] { return world.front->calls().size() == 3; }));
  EXPECT_EQ(world.front->calls(), (std::vector<std::string>{"needSwitch", "disconnect", "toggle"}));
}

TEST(ConnectionSettingsPage, ProtocolRowsAreAutomaticThenEachOfferedProtocolOnce) {
  ConnectionWorld world;
  // A code that names no protocol arrives as automatic; a protocol may be offered twice.
  world.fakes.status->script.answer<std::vector<VPNProtocol>>(
      "availableProtocols", {VPNProtocol::TROJAN_TLS, VPNProtocol::AUTO, VPNProtocol::VMESS_TLS, VPNProtocol::TROJAN_TLS});
  world.state().setConnectProtocol(VPNProtocol::VMESS_TLS);
  ConnectionPage& page = world.open();
  EXPECT_EQ(page.protocols(),
            (std::vector<VPNProtocol>{VPNProtocol::AUTO, VPNProtocol::TROJAN_TLS, VPNProtocol::VMESS_TLS}));
  const QVariantList rows = page.protocolList();
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[0].toMap().value("icon").toString(), QStringLiteral("ic_connect_Automatic"));
  EXPECT_EQ(rows[0].toMap().value("raw").toString(), QString());
  // The working copy starts from the app state.
  EXPECT_EQ(page.connectProtocol(), QStringLiteral("b"));
  // A code that is no protocol changes nothing.
  page.chooseProtocol(QStringLiteral("zz"));
  EXPECT_EQ(page.protocol(), VPNProtocol::VMESS_TLS);
}

TEST(ConnectionSettingsPage, StoreBuildsChooseTunnelModeWithoutActivation) {
  StoreBuild store(true);
  ConnectionWorld world;
  ConnectionPage& page = world.open();
  page.chooseTunnelMode();
  EXPECT_TRUE(page.tunnelMode());
  spin(50);
  EXPECT_EQ(world.authoriser->script.calls().size(), 0u);

  EXPECT_TRUE(world.goBack());
  EXPECT_TRUE(world.state().tunnelMode());
  EXPECT_TRUE(wrote(world.writes(), "TUNNELMODE"));
}

}  // namespace
}  // namespace lumora::test
