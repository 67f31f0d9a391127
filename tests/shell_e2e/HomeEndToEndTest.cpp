// The home screen of the real program through real nodes: the user's click, the status line,
// a page through the program's local proxy, the fallback past a broken node, an engine that dies
// under the connection, the node an automatic connection uses, and a page at rest that draws
// nothing.
#include <gtest/gtest.h>

#include <signal.h>

#include "services/connection/ConnectionController.h"
#include "tests/e2e/E2EWorld.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/shell_e2e/NodeWorld.h"

namespace lumora::test {
namespace {

using tarnel::ConnectionController;
using tarnel::test::engineProcesses;

// Lets the program run for `ms` (the connect switch ignores a second click within a second).
void runFor(int ms) { waitFor([] { return false; }, ms); }

bool libraryConnected() { return ConnectionController::shared().phase() == ConnectionController::Phase::connected; }

struct ProgramHome {
  explicit ProgramHome(std::vector<NodeWorld::Setup> setups) {
    // No desktop's proxy settings are touched outside this test's own session.
    setenv("GSETTINGS_BACKEND", "memory", 1);
    started = world.start();
    if (started) nodes = std::make_unique<NodeWorld>(world, std::move(setups));
  }
  ~ProgramHome() {
    // Whatever assertion ended the scenario, the engine goes with it.
    ConnectionController::shared().disconnect();
    nodes.reset();
  }
  // Connects with a click and waits until the attempt has passed its page check.
  bool clickConnectAndWait() {
    if (!world.click("connectArea")) {
      ADD_FAILURE() << "no connect button";
      return false;
    }
    return waitFor([&] { return world.text("statusText") == "Connected" && libraryConnected(); }, 60000);
  }

  AppWorld world;
  bool started = false;
  std::unique_ptr<NodeWorld> nodes;
};

TEST(HomeEndToEnd, ClickConnectsAPageComesThroughTheNodeAndClickDisconnectsLeavingNoEngine) {
  ProgramHome home({{"A"}});
  ASSERT_TRUE(home.started);
  ASSERT_TRUE(home.world.signInToHome());
  EXPECT_EQ(home.world.text("statusText"), "Disconnected");
  EXPECT_EQ(home.world.item("connectedIcon"), nullptr);

  ASSERT_TRUE(home.clickConnectAndWait()) << home.world.text("statusText").toStdString();
  EXPECT_NE(home.world.item("connectedIcon"), nullptr);
  const auto page = NodeWorld::fetchThroughProgram(home.nodes->pageUrl("after"));
  ASSERT_TRUE(page.isSuccess()) << page.error()->localizedDescription();
  // The page saw the node's own source address: the request went through the node.
  EXPECT_EQ(NodeWorld::bodyOf(page), home.nodes->sourceOf(0));
  EXPECT_EQ(engineProcesses().size(), 1u);
  EXPECT_EQ(home.world.service().requests("POST", "connect/node/A/user/*").size(), 1u);

  runFor(1100);
  ASSERT_TRUE(home.world.click("connectArea"));
  ASSERT_TRUE(waitFor([&] { return home.world.text("statusText") == "Disconnected"; }))
      << home.world.text("statusText").toStdString();
  EXPECT_TRUE(waitFor([] { return engineProcesses().empty(); }));
  EXPECT_EQ(home.world.item("connectedIcon"), nullptr);
  EXPECT_FALSE(NodeWorld::fetchThroughProgram(home.nodes->pageUrl("gone")).isSuccess());
  // A stop the user asked for tells nothing.
  EXPECT_EQ(home.world.item("dialogCard"), nullptr);
}

TEST(HomeEndToEnd, ABrokenFirstNodeIsReleasedAndTheSecondCarriesTheTraffic) {
  ProgramHome home({{"A", true}, {"B"}});
  ASSERT_TRUE(home.started);
  ASSERT_TRUE(home.world.signInToHome());

  ASSERT_TRUE(home.clickConnectAndWait()) << home.world.text("statusText").toStdString();
  auto& service = home.world.service();
  EXPECT_EQ(service.requests("POST", "connect/node/A/user/*").size(), 1u);
  EXPECT_EQ(service.requests("POST", "connect/node/B/user/*").size(), 1u);
  EXPECT_EQ(service.requests("PUT", "connect/node/A/user/*").size(), 1u);
  const auto page = NodeWorld::fetchThroughProgram(home.nodes->pageUrl("after"));
  ASSERT_TRUE(page.isSuccess());
  EXPECT_EQ(NodeWorld::bodyOf(page), home.nodes->sourceOf(1));
  EXPECT_EQ(engineProcesses().size(), 1u);
  EXPECT_NE(home.world.item("connectedIcon"), nullptr);
  EXPECT_EQ(home.world.item("dialogCard"), nullptr);
}

TEST(HomeEndToEnd, AKilledEngineTurnsTheHomeScreenToDisconnectedQuietly) {
  ProgramHome home({{"A"}});
  ASSERT_TRUE(home.started);
  ASSERT_TRUE(home.world.signInToHome());
  ASSERT_TRUE(home.clickConnectAndWait());
  const auto engines = engineProcesses();
  ASSERT_EQ(engines.size(), 1u);

  ASSERT_EQ(::kill(engines[0], SIGKILL), 0);
  ASSERT_TRUE(waitFor([&] { return home.world.text("statusText") == "Disconnected"; }))
      << home.world.text("statusText").toStdString();
  EXPECT_EQ(home.world.item("connectedIcon"), nullptr);
  EXPECT_TRUE(engineProcesses().empty());
  // The engine's end is no failure of an attempt: no dialog.
  runFor(500);
  EXPECT_EQ(home.world.item("dialogCard"), nullptr);
  EXPECT_EQ(home.world.text("statusText"), "Disconnected");
}

// The button's or the background's animation once it has come to rest on `name`.
bool restsOn(const ProgramHome& home, const char* player, const char* name) {
  QQuickItem* item = home.world.item(QString::fromUtf8(player));
  return item && item->property("animationName").toString() == QLatin1String(name) &&
         !item->property("isAmimationPlaying").toBool();
}

// Frames the window drew within `ms`.
int framesDuring(const ProgramHome& home, int ms) {
  int frames = 0;
  const auto counting = QObject::connect(home.world.window(), &QQuickWindow::frameSwapped, [&] { ++frames; });
  runFor(ms);
  QObject::disconnect(counting);
  return frames;
}

TEST(HomeEndToEnd, TheHomePageFollowsTheConnectionsOwnNodeAndEndAndRestsWithoutDrawing) {
  ProgramHome home({{"A"}});
  ASSERT_TRUE(home.started);
  ASSERT_TRUE(home.world.signInToHome());
  EXPECT_EQ(home.world.text("locationName"), "Auto");
  EXPECT_TRUE(waitFor([&] { return restsOn(home, "buttonAnimation", "ani_no") && restsOn(home, "backgroundAnimation", "bg_black"); }))
      << home.world.item("buttonAnimation")->property("animationName").toString().toStdString();

  // An automatic connection: the library chose node A, and the row names it.
  ASSERT_TRUE(home.clickConnectAndWait()) << home.world.text("statusText").toStdString();
  EXPECT_EQ(home.world.text("locationName"), "Node A");
  ASSERT_TRUE(waitFor([&] { return restsOn(home, "buttonAnimation", "ani_yes") && restsOn(home, "backgroundAnimation", "bg_blue"); }))
      << home.world.item("buttonAnimation")->property("animationName").toString().toStdString();
  // At rest, with the pointer over the window since the click, nothing is drawn; nor when hidden.
  EXPECT_EQ(framesDuring(home, 2500), 0) << "the connected page went on drawing";
  home.world.window()->hide();
  EXPECT_EQ(framesDuring(home, 1000), 0);
  home.world.window()->show();
  ASSERT_TRUE(waitFor([&] { return home.world.window()->isExposed(); }));

  // The engine dies: nobody asked for the stop, and the button and background close all the same.
  const auto engines = engineProcesses();
  ASSERT_EQ(engines.size(), 1u);
  ASSERT_EQ(::kill(engines[0], SIGKILL), 0);
  ASSERT_TRUE(waitFor([&] { return home.world.text("statusText") == "Disconnected"; }));
  EXPECT_TRUE(waitFor([&] { return restsOn(home, "buttonAnimation", "ani_no") && restsOn(home, "backgroundAnimation", "bg_black"); }))
      << home.world.item("buttonAnimation")->property("animationName").toString().toStdString() << " "
      << home.world.item("backgroundAnimation")->property("animationName").toString().toStdString();
  EXPECT_EQ(framesDuring(home, 2500), 0) << "the disconnected page went on drawing";
}

}  // namespace
}  // namespace lumora::test
