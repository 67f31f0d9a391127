// Where the rule lists send traffic, seen from a loopback page that tells the node's source
// address (127.0.0.7) from a direct connection (127.0.0.1); patterns from the server never pass.
#include <gtest/gtest.h>

#include <functional>

#include "tests/engine/EngineTestKit.h"

namespace tarnel::test::engine {
namespace {

using helmsey::CoreManager;
using helmsey::VPNStatus;

enum class Route { node, direct, blocked };

struct Destination {
  const char* host;
  Route route;
};

struct Scenario {
  const char* name;
  bool smart;
  std::function<void(Json&)> rules;
  std::vector<Destination> destinations;
  friend void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }
};

// Server lists that carry patterns: were any of them taken, page.test would go direct or be blocked.
void serverListsWithPatterns(Json& config) {
  config["blockDomains"] = Json::array({"blocked.test", "regexp:page", "keyword:page"});
  config["direct"] = Json::array({"localhost", "regexp:.*", "geosite:cn", "*.test"});
  config["directIPs"] = Json::array({"geoip:private"});
}

class Routing : public testing::TestWithParam<Scenario> {};

TEST_P(Routing, EachDestinationTakesItsRoute) {
  const Scenario& scenario = GetParam();
  LoopbackWorld world;
  const std::string credential = randomUuid();
  const auto node = world.node("b", credential);
  Json config = tunnelConfig(node->port(), "b", credential);
  config["isSmart"] = scenario.smart;
  // Both loopback names resolve to IPv4 here, where the page listens.
  config["dnsStrategy"] = "UseIPv4";
  scenario.rules(config);

  StatusRecorder session;
  CoreManager::startVPN(config, false, false, false, session.callback());
  ASSERT_TRUE(session.waitFor(VPNStatus::connected)) << CoreManager::getLog(helmsey::LogType::core);
  for (const auto& destination : scenario.destinations) {
    for (const Via via : {Via::httpProxy, Via::socksProxy}) {
      SCOPED_TRACE(std::string(destination.host) + (via == Via::httpProxy ? " via HTTP" : " via SOCKS"));
      const Fetch page = fetchThroughEngine(world.pageUrl(destination.host), via, world.ca());
      switch (destination.route) {
        case Route::node:
          EXPECT_TRUE(page.ok) << page.error;
          EXPECT_EQ(page.body, std::string("reached from ") + kNodeSource);
          break;
        case Route::direct:
          EXPECT_TRUE(page.ok) << page.error;
          EXPECT_EQ(page.body, "reached from 127.0.0.1");
          break;
        case Route::blocked:
          EXPECT_FALSE(page.ok);
          EXPECT_EQ(page.body.find("reached from"), std::string::npos);
          break;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Routing,
    testing::Values(
        Scenario{"SmartModeSendsDirectListDirect", true, serverListsWithPatterns,
                 {{"page.test", Route::node},
                  {"blocked.test", Route::blocked},
                  {"localhost", Route::direct},
                  {"127.0.0.1", Route::direct}}},
        Scenario{"GlobalModeSendsDirectListThroughTheNode", false, serverListsWithPatterns,
                 {{"page.test", Route::node},
                  {"blocked.test", Route::blocked},
                  {"localhost", Route::node},
                  {"127.0.0.1", Route::direct}}},
        Scenario{"ProxyListsComeBeforeDirectOnes", true,
                 [](Json& config) {
                   config["direct"] = Json::array({"localhost", "page.test"});
                   config["alway"] = Json::array({"localhost"});
                   config["unlock"] = Json::array({"page.test"});
                 },
                 {{"page.test", Route::node}, {"localhost", Route::node}}},
        Scenario{"BlockComesFirst", true,
                 [](Json& config) {
                   config["blockDomains"] = Json::array({"page.test"});
                   config["alway"] = Json::array({"page.test"});
                   config["blockIPs"] = Json::array({"127.0.0.1/32"});
                 },
                 {{"page.test", Route::blocked}, {"127.0.0.1", Route::blocked}, {"localhost", Route::node}}}),
    [](const testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

TEST(RoutingLog, RefusedServerEntriesAreNamed) {
  LoopbackWorld world;
  Json config = tunnelConfig(9, "b", randomUuid());
  serverListsWithPatterns(config);
  config["isSmart"] = true;
  StatusRecorder session;
  CoreManager::startVPN(config, false, false, false, session.callback());
  ASSERT_TRUE(session.waitFor(VPNStatus::connected));
  const std::string log = CoreManager::getLog(helmsey::LogType::core);
  for (const char* entry : {"blockDomains: regexp:page", "blockDomains: keyword:page", "direct: regexp:.*",
                            "direct: geosite:cn", "direct: *.test", "directIPs: geoip:private"}) {
    EXPECT_NE(log.find(std::string("left out ") + entry), std::string::npos) << entry;
  }
  EXPECT_EQ(log.find("left out direct: localhost"), std::string::npos);
}

}  // namespace
}  // namespace tarnel::test::engine
