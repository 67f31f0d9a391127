// The whole road of a connect on loopback: node list and node opening from the service double,
// port probes against real v2ray nodes, the real engine, the availability check through the
// engine's HTTP proxy, the fallback to the next node, and disconnect in every phase.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <thread>
#include <vector>

#include "services/network/NetworkRequest.h"
#include "tests/e2e/E2EWorld.h"

namespace tarnel::test {
namespace {

using List = std::vector<std::string>;

// GET `url` through the engine's local HTTP proxy.
NetworkResult fetchThroughEngine(const std::string& url) {
  const std::string proxy = "http://127.0.0.1:" + std::to_string(helmsey::CoreManager::httpPort());
  return NetworkRequest(url, HttpMethod::GET, std::nullopt, std::nullopt, std::nullopt, proxy, std::nullopt).request();
}

TEST(ConnectEndToEnd, StepsInOrderAndAPageLoadsThroughTheNode) {
  E2EWorld world({{"A"}});
  world.controller().openConnection();
  ASSERT_TRUE(world.events().waitFor("connect_success")) << ::testing::PrintToString(world.events().events());
  EXPECT_EQ(world.events().events(), (List{"connecting", "open_node", "check_port", "open_connect", "connected",
                                         "check_availability", "connected", "connect_success"}));

  const auto page = fetchThroughEngine(world.pageUrl("after"));
  ASSERT_TRUE(page.isSuccess()) << page.error()->localizedDescription();
  const auto& body = page.response()->data.value();
  // The page saw the node's own source address: the request went through the node.
  EXPECT_EQ(std::string(body.begin(), body.end()), world.nodeSource());

  const auto opened = world.service().requests("POST", "connect/node/A/user/*");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].path, std::string("connect/node/A/user/") + E2EWorld::kUserId);
  EXPECT_EQ(opened[0].body->at("type"), "d");
  EXPECT_EQ(world.engineCount(), 1u);
}

TEST(ConnectEndToEnd, BrokenFirstNodeIsLoggedReleasedAndTheSecondConnects) {
  E2EWorld world({{"A", true}, {"B"}});
  world.controller().openConnection();
  ASSERT_TRUE(world.events().waitFor("connect_success")) << ::testing::PrintToString(world.events().events());

  ASSERT_TRUE(world.logs().waitForUploads(3, 30s));
  const auto records = world.logs().accepted("ERROR_NODE_USABILITY");
  ASSERT_EQ(records.size(), 3u);
  const List pages = {world.pageUrl("search"), world.pageUrl("video-one"), world.pageUrl("video-two")};
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].record["node_id"], "A");
    EXPECT_EQ(records[i].record["protocol"], "d");
    EXPECT_EQ(records[i].record["node_ip"], "127.0.0.1");
    EXPECT_EQ(records[i].record["testUrl"], pages[i]);
  }
  const auto released = world.service().requests("PUT", "connect/node/*/user/*");
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(released[0].path, std::string("connect/node/A/user/") + E2EWorld::kUserId);
  EXPECT_EQ(released[0].body->at("type"), "d");
  EXPECT_EQ(world.nodes().currentNode()->node_id, "B");

  const auto page = fetchThroughEngine(world.pageUrl("after"));
  ASSERT_TRUE(page.isSuccess());
  EXPECT_EQ(world.engineCount(), 1u);
}

// --- disconnect in each phase -------------------------------------------------------------------

struct PhaseCase {
  const char* name;
  const char* phase;  // "probe", "start", "check", "connected"
};

void PrintTo(const PhaseCase& c, std::ostream* os) { *os << c.name; }

class DisconnectEndToEnd : public testing::TestWithParam<PhaseCase> {};

TEST_P(DisconnectEndToEnd, LeavesNoEngineProcessAndEndsDisconnected) {
  const std::string phase = GetParam().phase;
  E2EWorld world({{"A"}});
  if (phase == "probe") world.probeGate().close();
  if (phase == "check") world.pageGate().close();
  if (phase == "start") world.holdEngineStart();

  std::thread attempt([&] { world.controller().openConnection(); });
  // Whatever assertion ends the test early, the attempt is released and joined first.
  struct ReleaseAttempt {
    E2EWorld& world;
    std::thread& attempt;
    ~ReleaseAttempt() {
      if (!attempt.joinable()) return;
      world.probeGate().open();
      world.pageGate().open();
      world.releaseEngineStart();
      world.controller().disconnect();
      attempt.join();
    }
  } release{world, attempt};
  if (phase == "probe") {
    ASSERT_TRUE(world.probeGate().waitForVisits(1));
  } else if (phase == "start") {
    ASSERT_TRUE(world.waitForEngine());
  } else if (phase == "check") {
    ASSERT_TRUE(world.pageGate().waitForVisits(1));
  } else {
    ASSERT_TRUE(world.events().waitFor("connect_success"));
  }

  world.controller().disconnect();
  EXPECT_TRUE(waitForNoEngine(1s));
  ASSERT_FALSE(world.events().events().empty());
  EXPECT_EQ(world.events().events().back(), "disconnected")
      << ::testing::PrintToString(world.events().events());

  world.probeGate().open();
  world.pageGate().open();
  world.releaseEngineStart();  // an engine still there would start now
  attempt.join();
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(engineProcesses().empty());
  const auto events = world.events().events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "connect_success"), phase == "connected" ? 1 : 0);
  EXPECT_EQ(world.controller().phase(), ConnectionController::Phase::idle);
  EXPECT_FALSE(world.nodes().isConnecting());
}

INSTANTIATE_TEST_SUITE_P(Table, DisconnectEndToEnd,
                         testing::Values(PhaseCase{"probing_ports", "probe"}, PhaseCase{"engine_starting", "start"},
                                         PhaseCase{"checking_pages", "check"}, PhaseCase{"connected", "connected"}),
                         [](const testing::TestParamInfo<PhaseCase>& info) { return std::string(info.param.name); });

// Wherever the disconnect falls, nothing of the attempt is left running and the last status is
// disconnected.
TEST(DisconnectEndToEnd, AtAnyMomentOfTheAttempt) {
  E2EWorld world({{"A"}});
  for (const auto delay : {0ms, 3ms, 10ms, 25ms, 50ms, 100ms, 200ms, 400ms}) {
    world.events().clear();
    std::thread attempt([&] { world.controller().openConnection(); });
    if (!world.events().waitFor("connecting")) {
      world.controller().disconnect();
      attempt.join();
      FAIL() << "no connecting status after " << delay.count() << " ms";
    }
    std::this_thread::sleep_for(delay);
    world.controller().disconnect();
    attempt.join();
    EXPECT_TRUE(waitForNoEngine(1s)) << delay.count() << " ms";
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(engineProcesses().empty()) << delay.count() << " ms";
    const auto events = world.events().events();
    const auto lastStatus = std::find_if(events.rbegin(), events.rend(), [](const std::string& e) {
      return e == "connecting" || e == "connected" || e == "disconnecting" || e == "disconnected";
    });
    ASSERT_NE(lastStatus, events.rend()) << delay.count() << " ms";
    EXPECT_EQ(*lastStatus, "disconnected") << delay.count() << " ms: " << ::testing::PrintToString(events);
  }
}

TEST(EngineEndToEnd, KillingTheEngineAfterConnectedReportsDisconnected) {
  E2EWorld world({{"A"}});
  world.controller().openConnection();
  ASSERT_TRUE(world.events().waitFor("connect_success"));
  const auto engines = engineProcesses();
  ASSERT_EQ(engines.size(), 1u);
  world.events().clear();
  ASSERT_EQ(::kill(engines[0], SIGKILL), 0);
  ASSERT_TRUE(world.events().waitFor("disconnected"));
  ASSERT_TRUE(world.events().waitFor("failed 10001"));
  EXPECT_EQ(world.events().events(), (List{"disconnected", "failed 10001"}));
  EXPECT_EQ(world.controller().phase(), ConnectionController::Phase::idle);
}

}  // namespace
}  // namespace tarnel::test
