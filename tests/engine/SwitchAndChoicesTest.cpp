// The switch listener, the DNS choices and the ports the engine holds.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <set>

#include "core/DNSServer.h"
#include "core/EngineEnvironment.h"
#include "core/SwitchManager.h"
#include "core/engine/EngineLog.h"
#include "tests/engine/EngineTestKit.h"

namespace tarnel::test::engine {
namespace {

using helmsey::CoreManager;
using helmsey::SwitchManager;

Json switchOptions(std::uint16_t nodePort, const std::string& password, Json unlock) {
  return Json{{"unlock", std::move(unlock)},
              {"servers", {{"address", "127.0.0.1"}, {"port", nodePort}, {"password", password}}},
              {"protocol", "f"},
              {"serverName", kNodeName},
              {"dns", "auto"}};
}

class Switch : public testing::Test {
 protected:
  void SetUp() override {
    auto environment = helmsey::engineEnvironment();
    environment.switchListenAddress = "127.0.0.1";
    helmsey::setEngineEnvironment(environment);
  }
  void TearDown() override { SwitchManager::shared().stopListen(); }

  Fetch throughSwitch(const std::string& host) {
    return fetch(world_.pageUrl(host), Via::httpProxy, CoreManager::switchPort(), world_.ca());
  }

  LoopbackWorld world_;
};

// The listener is open to the LAN: services bound to this machine's loopback must stay out of
// its reach, by address and by name.
TEST_F(Switch, SwitchDomainsGoThroughTheNodeAndThisMachineIsRefused) {
  const std::string password = LoopbackWorld::credentialFor("f");
  const auto node = world_.node("f", password);
  ASSERT_TRUE(SwitchManager::shared().startListen(switchOptions(node->port(), password, Json::array({"page.test"}))))
      << helmsey::engine::coreLog().text();
  EXPECT_EQ(SwitchManager::shared().listenAddress(), "127.0.0.1");

  const Fetch switchDomain = throughSwitch("page.test");
  EXPECT_TRUE(switchDomain.ok) << switchDomain.error;
  EXPECT_EQ(switchDomain.body, std::string("reached from ") + kNodeSource);
  for (const char* local : {"127.0.0.1", "localhost"}) {
    const Fetch refused = throughSwitch(local);
    EXPECT_FALSE(refused.ok) << local << " answered through the switch listener: " << refused.body;
    EXPECT_EQ(refused.body.find("reached from"), std::string::npos) << local;
  }

  SwitchManager::shared().stopListen();
  EXPECT_TRUE(engineChildren().empty());
  EXPECT_FALSE(throughSwitch("page.test").ok);
}

TEST_F(Switch, StartingAgainReplacesTheListener) {
  const std::string password = LoopbackWorld::credentialFor("f");
  const auto node = world_.node("f", password);
  ASSERT_TRUE(SwitchManager::shared().startListen(switchOptions(node->port(), password, Json::array())));
  const auto first = engineChildren();
  ASSERT_EQ(first.size(), 1u);
  ASSERT_TRUE(SwitchManager::shared().startListen(switchOptions(node->port(), password, Json::array({"page.test"}))));
  EXPECT_TRUE(processGone(first.front()));
  EXPECT_EQ(engineChildren().size(), 1u);
  EXPECT_EQ(throughSwitch("page.test").body, std::string("reached from ") + kNodeSource);
}

TEST_F(Switch, UnusableOptionsStartNothing) {
  Json unknownProtocol = switchOptions(9, "pw", Json::array());
  unknownProtocol["protocol"] = "zz";
  for (const Json& options : std::vector<Json>{Json::object(), unknownProtocol, switchOptions(9, "", Json::array())}) {
    EXPECT_FALSE(SwitchManager::shared().startListen(options)) << options.dump();
    EXPECT_TRUE(engineChildren().empty());
  }
}

TEST(EnginePorts, ChosenOnceDistinctAndHeldAgainstOtherPrograms) {
  const std::uint16_t ports[] = {CoreManager::httpPort(), CoreManager::socksPort(), CoreManager::switchPort()};
  EXPECT_EQ(std::set<std::uint16_t>(std::begin(ports), std::end(ports)).size(), 3u);
  EXPECT_EQ(CoreManager::httpPort(), ports[0]);
  EXPECT_EQ(CoreManager::socksPort(), ports[1]);
  EXPECT_EQ(CoreManager::switchPort(), ports[2]);
  for (const std::uint16_t port : ports) {
    ASSERT_NE(port, 0);
    // A program that binds the usual way (no SO_REUSEPORT) cannot take it from us.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_NE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << port;
    ::close(fd);
  }
}

TEST(DnsChoices, AutoFirstAndEveryRawValueDistinctAndRoundTrips) {
  const auto& cases = helmsey::DNSServer::allCases();
  ASSERT_FALSE(cases.empty());
  EXPECT_EQ(cases.front().rawValue(), "auto");
  std::set<std::string_view> raws;
  for (const auto& server : cases) {
    EXPECT_TRUE(raws.insert(server.rawValue()).second) << server.rawValue();
    EXPECT_EQ(helmsey::DNSServer::fromRawValue(server.rawValue()), server);
  }
  for (const char* unknown : {"", "Auto", "AUTO", "1.1.1.1 "}) {
    EXPECT_FALSE(helmsey::DNSServer::fromRawValue(unknown).has_value()) << unknown;
  }
}

TEST(DnsChoices, EveryChoiceStartsTheEngine) {
  LoopbackWorld world;
  for (const auto& server : helmsey::DNSServer::allCases()) {
    Json config = tunnelConfig(9, "b", randomUuid());
    config["dns"] = std::string(server.rawValue());
    StatusRecorder session;
    CoreManager::startVPN(config, false, false, false, session.callback());
    EXPECT_TRUE(session.waitFor(helmsey::VPNStatus::connected)) << server.rawValue();
  }
  StatusRecorder stop;
  CoreManager::stopVPN(stop.callback());
  EXPECT_TRUE(stop.waitFor(helmsey::VPNStatus::disconnected));
}

TEST(EngineVersion, ComesFromTheEngineAndIsEmptyWithoutOne) {
  EXPECT_TRUE(std::regex_match(CoreManager::coreVersion(), std::regex(R"(\d+\.\d+\.\d+)"))) << CoreManager::coreVersion();
  TempDir dir;
  auto environment = helmsey::engineEnvironment();
  environment.v2rayProgram = dir.path() / "no-engine-here";
  helmsey::setEngineEnvironment(environment);
  EXPECT_EQ(CoreManager::coreVersion(), "");
}

TEST(CoreLog, KeepsTheNewestWholeLinesWithinItsBound) {
  helmsey::engine::LogBuffer log(1024);
  for (int i = 0; i < 1000; ++i) log.append("line " + std::to_string(i) + "\n");
  const std::string text = log.text();
  EXPECT_LE(text.size(), 1024u);
  EXPECT_EQ(text.rfind("line 999\n"), text.size() - 9);
  EXPECT_EQ(text.rfind("line ", 0), 0u) << "the first line kept is cut";
  log.append(std::string(3000, 'x'));  // one line longer than the bound
  EXPECT_EQ(log.text().size(), 1024u);
}

}  // namespace
}  // namespace tarnel::test::engine
