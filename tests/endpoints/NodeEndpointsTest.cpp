// Node operations: the node list after a guest sign-in, opening and releasing a node, the classic
// list, the direct port probes and the user's proxy rules.
#include <gtest/gtest.h>

#include "services/connection/NodeController.h"
#include "services/connection/NodeService.h"
#include "tests/endpoints/EndpointFixture.h"

namespace tarnel::test {
namespace {

using NodeEndpointsTest = EndpointTest;

WireJson expectedNodeUser() {
  const Login login = Global::loginInfo();
  return {{"id", kUserId},
          {"uid", Global::userUID()},
          {"uid_rate", Global::userUID()},
          {"alterid", login.user.alterid},
          {"email", kEmail}};
}

WireJson wireOpen() {
  return {{"ts", 1},
          {"status", 1},
          {"max_age", 5},
          {"message", "ok"},
          {"node", {{"server", "1.2.3.4"}, {"host", "h.test"}, {"domain", "node.test"}, {"port", 443}}}};
}

TEST_F(NodeEndpointsTest, EachOperationSendsItsMethodPathQueryAndBody) {
  Global::modifyLoginInfo([](Login& login) { login.user.alterid = 6; });
  const WireJson device = expectedDevice();
  const WireJson user = expectedNodeUser();
  ASSERT_EQ(user["uid"].get<std::string>().size(), 36u);

  service().script("POST", "connect/node/n-3/user/u-7", Answer::model(wireOpen()));
  service().script("PUT", "connect/node/n-3/user/u-7", Answer::model(wireOpen()));
  service().script("GET", "lite/users/u-7/classic/nodes", Answer::model({{"nodes", {wireNode("c1"), wireNode("c2")}}}));
  service().script("GET", "lite/users/u-7/classic/uptime", Answer::model({{"uptime", {{"c1", 99}, {"c2", 7}}}}));
  service().script("POST", "lite/users/u-7/proxy_rules", Answer::empty(204));

  const auto opened = APIManager::openNode("ts", "n-3");
  ASSERT_TRUE(opened.isSuccess());
  ASSERT_TRUE(opened.value() && *opened.value());
  EXPECT_EQ((*opened.value())->statusCode, 200);
  APIManager::connectNode("ts", "n-3");
  const auto classic = APIManager::getClassicNodes();
  ASSERT_EQ(classic.size(), 2u);
  EXPECT_EQ(classic[1].node_id, "c2");
  const auto uptime = APIManager::getClassicUptime("JP");
  ASSERT_TRUE(uptime.has_value());
  EXPECT_EQ(uptime->uptime.at("c1"), 99);
  ProxyRule rule;
  rule.direct = {"a.test", "10.0.0.0/8"};
  rule.proxy = {"b.test"};
  ASSERT_TRUE(APIManager::saveProxyRules(rule));
  APIManager::waitForBackgroundTasks();

  const std::vector<ExpectedRequest> expected = {
      {"POST", "connect/node/n-3/user/u-7", {},
       WireJson{{"balance", 1}, {"user", user}, {"game_mode", ""}, {"type", "ts"}, {"device", device}}},
      {"PUT", "connect/node/n-3/user/u-7", {},
       WireJson{{"user", user}, {"game_mode", ""}, {"type", "ts"}, {"device", device}}},
      {"GET", "lite/users/u-7/classic/nodes", {{"device_id", DeviceInfo::ID()}}, std::nullopt},
      {"GET", "lite/users/u-7/classic/uptime", {{"country", "JP"}}, std::nullopt},
      // Each list as the JSON text of the list.
      {"POST", "lite/users/u-7/proxy_rules", {},
       WireJson{{"direct", R"(["a.test","10.0.0.0/8"])"}, {"proxy", R"(["b.test"])"}, {"block", "[]"}}},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.method + " " + e.path);
    expectRequest(api.only(e.method, e.path), e, kUserId);
  }
}

TEST_F(NodeEndpointsTest, SavedRulesAreFollowedByAStatusCheck) {
  service().script("GET", "lite/users/u-7/device/*", Answer::model(wireLive()));
  service().script("GET", "data/link/41", Answer::model({{"link", "https://promo.test/41"}}));
  for (const auto& [name, answer, saved] : std::vector<std::tuple<std::string, Answer, bool>>{
           {"refused", Answer::error(3001, "too many rules", 400), false},
           {"error page", Answer::textBody("<html>oops</html>", 500).plain(), false},
           {"accepted", Answer::empty(204), true}}) {
    SCOPED_TRACE(name);
    service().clearRequests();
    service().script("POST", "lite/users/u-7/proxy_rules", answer);
    EXPECT_EQ(APIManager::saveProxyRules(ProxyRule{}), saved);
    APIManager::waitForBackgroundTasks();
    EXPECT_EQ(service().count("GET", "lite/users/u-7/device/*"), saved ? 1u : 0u);
    EXPECT_EQ(Global::live().max_age, saved ? 90 : -1);
  }
}

TEST_F(NodeEndpointsTest, FailuresBecomeEmptyOutcomes) {
  for (const auto& [name, answer] : std::vector<std::pair<std::string, Answer>>{
           {"service error", Answer::error(3301, "node gone", 400)},
           {"error page", Answer::textBody("<html>bad gateway</html>", 502).plain()},
           {"undecodable", Answer::model({{"unexpected", 1}})}}) {
    SCOPED_TRACE(name);
    answerEverything(service(), answer);
    service().clearRequests();
    EXPECT_TRUE(APIManager::getClassicNodes().empty());
    EXPECT_FALSE(APIManager::getClassicUptime("JP").has_value());
    // The release is sent and its failure leaves nothing behind.
    APIManager::connectNode("ts", "n-3");
    EXPECT_EQ(service().count("PUT", "connect/node/n-3/user/u-7"), 1u);
  }
}

TEST_F(NodeEndpointsTest, WithoutUserNodeOpeningSignsInAsGuestAndTheNextCallOpens) {
  ApiTestBed::signIn("", "", 0);
  service().script("POST", "lite/users", Answer::model(wireLogin("g-1")));
  service().script("POST", "connect/node/n-3/user/g-1", Answer::model(wireOpen()));

  const auto first = APIManager::openNode("b", "n-3");
  ASSERT_FALSE(first.isSuccess());
  EXPECT_EQ(first.error()->errCode, 404);
  EXPECT_EQ(first.error()->errMsg, "");
  EXPECT_EQ(service().count("POST", "connect/node/*/user/*"), 0u);
  EXPECT_EQ(Global::userId(), "g-1");

  EXPECT_TRUE(APIManager::openNode("b", "n-3").isSuccess());
  EXPECT_EQ(service().count("POST", "connect/node/n-3/user/g-1"), 1u);
}

TEST_F(NodeEndpointsTest, NodeListAfterItsGuestSignInAsksOnceMore) {
  std::vector<std::vector<Node>> handedOver;
  APIManager::bindNodeList({{}, {}, [&](std::vector<Node> nodes) {
                              handedOver.push_back(std::move(nodes));
                              return true;
                            }});
  service().script("POST", "lite/users/g-1/nodes", Answer::model({{"nodes", {wireNode("n1")}}}));

  // The sign-in is refused: nobody to ask for, 404 and no list request.
  ApiTestBed::signIn("", "", 0);
  service().enqueue("POST", "lite/users", Answer::error(3001, "closed", 400));
  const auto refused = APIManager::getNodes("");
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(refused->errCode, 404);
  EXPECT_EQ(refused->errMsg, "");
  EXPECT_EQ(service().count("POST", "lite/users/*/nodes"), 0u);
  EXPECT_TRUE(handedOver.empty());

  // The sign-in succeeds: the same call goes on as the guest.
  service().enqueue("POST", "lite/users", Answer::model(wireLogin("g-1")));
  EXPECT_EQ(APIManager::getNodes("x1"), nullptr);
  const auto list = api.only("POST", "lite/users/g-1/nodes");
  expectRequest(list,
                {"POST", "lite/users/g-1/nodes", {},
                 WireJson{{"country", ""}, {"tag", ""}, {"ext_nodes", "x1"}, {"svip", false}}},
                "g-1");
  ASSERT_EQ(handedOver.size(), 1u);
  ASSERT_EQ(handedOver[0].size(), 1u);
  EXPECT_EQ(handedOver[0][0].node_id, "n1");
  APIManager::bindNodeList({});
}

// The node list must reach a living node selection, or the call is no success: with none ever
// attached, with one attached, and after that one is gone (its binding must not reach it).
TEST_F(NodeEndpointsTest, NodeListWithoutNodeSelectionIsAFailure) {
  const std::string path = std::string("lite/users/") + kUserId + "/nodes";
  service().script("POST", path, Answer::model({{"nodes", {wireNode("n1"), wireNode("n2")}}}));
  APIManager::bindNodeList({});
  const auto unbound = APIManager::getNodes("");
  ASSERT_NE(unbound, nullptr);
  EXPECT_EQ(unbound->errCode, APIErrorCode::noNodeListReceiver);
  EXPECT_EQ(service().count("POST", path), 0u) << "a list nobody receives is not asked for";

  {
    NodeController controller(makeAPINodeService());
    controller.setCurrentCountry(Country{"JP", "Japan", {}, 1});
    EXPECT_EQ(APIManager::getNodes(""), nullptr);
    EXPECT_EQ(controller.nodes().size(), 2u);
    EXPECT_EQ((*api.only("POST", path).body)["country"], "JP");
  }

  service().clearRequests();
  const auto gone = APIManager::getNodes("");
  ASSERT_NE(gone, nullptr);
  EXPECT_EQ(gone->errCode, APIErrorCode::noNodeListReceiver);
  APIManager::bindNodeList({});
}

// Direct port probes against doubles on several loopback addresses.
class PortProbeTest : public NodeEndpointsTest {
 protected:
  std::unique_ptr<ServiceDouble> probeDouble(int host, int port, Answer answer) {
    auto node = api.bed().startService(host, port, ServiceTestBed::kNodeDomain);
    node->setProbeAnswer("/test", std::move(answer));
    return node;
  }

  struct Attempt {
    std::string host;
    std::int64_t port;
    std::int64_t status;  // 0: any transport failure (a negative code)
  };

  static void expectAttempts(const std::vector<std::shared_ptr<HttpResponse>>& got, const std::vector<Attempt>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE(i);
      ASSERT_NE(got[i], nullptr);
      EXPECT_EQ(got[i]->host, want[i].host);
      EXPECT_EQ(got[i]->port, want[i].port);
      EXPECT_EQ(got[i]->path, "test");
      EXPECT_GE(got[i]->time, 0);
      if (want[i].status == 0) {
        EXPECT_LT(got[i]->statusCode, 0);
        EXPECT_FALSE(got[i]->statusMessage.empty());
        EXPECT_FALSE(got[i]->data.has_value());
      } else {
        EXPECT_EQ(got[i]->statusCode, want[i].status);
      }
    }
  }
};

TEST_F(PortProbeTest, HostsAreWalkedPortByPortUntilTheFirst200) {
  const std::string a = api.bed().address(5);
  const std::string b = api.bed().address(6);
  const std::string dead = api.bed().address(7);
  auto a1 = probeDouble(5, 0, Answer::textBody("busy", 503).plain());
  const int p1 = a1->port();
  auto a2 = probeDouble(5, 0, Answer::empty(204));
  const int p2 = a2->port();
  auto b1 = probeDouble(6, p1, Answer::textBody("ok").plain());
  auto b2 = probeDouble(6, p2, Answer::textBody("ok").plain());

  // Only the second host answers 200, on the first port; 503 and 204 do not count.
  expectAttempts(APIManager::testAllPort({a, b}, ServiceTestBed::kNodeDomain, {p1, p2}),
                 {{a, p1, 503}, {a, p2, 204}, {b, p1, 200}});
  EXPECT_EQ(b2->requestCount(), 0u);
  const auto probe = a1->requests(ServiceRequest::Kind::probe);
  ASSERT_EQ(probe.size(), 1u);
  EXPECT_EQ(probe[0].method, "GET");
  EXPECT_EQ(probe[0].target, "/test");
  EXPECT_EQ(probe[0].host, ServiceTestBed::kNodeDomain);
  EXPECT_TRUE(probe[0].secret.empty()) << "a probe is not signed";

  // A host where nothing listens is a failed attempt with the transport's code and text.
  expectAttempts(APIManager::testAllPort({dead, b}, ServiceTestBed::kNodeDomain, {p1}), {{dead, p1, 0}, {b, p1, 200}});

  // Nothing answers 200: one failed attempt per pair.
  expectAttempts(APIManager::testAllPort({a}, ServiceTestBed::kNodeDomain, {p1, p2}), {{a, p1, 503}, {a, p2, 204}});
}

TEST_F(PortProbeTest, WithoutPortsTheLastStatusPortsAreProbed) {
  const std::string a = api.bed().address(5);
  auto a1 = probeDouble(5, 0, Answer::textBody("ok").plain());
  const int port = a1->port();

  // Neither given nor known: nothing is sent.
  EXPECT_TRUE(APIManager::testAllPort({a}, ServiceTestBed::kNodeDomain, {}).empty());
  EXPECT_TRUE(APIManager::testAllPort({}, ServiceTestBed::kNodeDomain, {port}).empty());
  EXPECT_EQ(a1->requestCount(), 0u);

  Live live;
  live.ports = {port};
  Global::setLive(live);
  expectAttempts(APIManager::testAllPort({a}, ServiceTestBed::kNodeDomain, {}), {{a, port, 200}});
  EXPECT_EQ(a1->requestCount(), 1u);
}

TEST_F(PortProbeTest, AHostTextThatWouldLeaveTheHostIsNeverSent) {
  auto a1 = probeDouble(5, 0, Answer::textBody("ok").plain());
  const std::string a = api.bed().address(5);
  const std::string sneaky = a + ":" + std::to_string(a1->port()) + "/x?";
  const auto got = APIManager::testAllPort({sneaky, a}, ServiceTestBed::kNodeDomain, {a1->port()});
  expectAttempts(got, {{sneaky, a1->port(), 0}, {a, a1->port(), 200}});
  EXPECT_EQ(a1->requestCount(), 1u);
}

}  // namespace
}  // namespace tarnel::test
