// The calls node selection makes, end to end against the service double: the guest sign-in, the
// node list, the status call's request shape, the node opening and the direct port probes.
#include <algorithm>

#include "services/api/APIManager.h"
#include "services/common/DeviceInfo.h"
#include "tests/api/ApiFixture.h"
#include "tests/models/ModelFixtures.h"

namespace tarnel::test {
namespace {

const WireJson kDeviceKeys = {"agent", "device_id", "device_model", "device_name", "platform"};

WireJson keysOf(const WireJson& object) {
  WireJson keys = WireJson::array();
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  std::sort(keys.begin(), keys.end());
  return keys;
}

TEST_F(ApiTest, GuestSignInNodeListStatusAndNodeOpeningThroughThePipeline) {
  discover();
  api->script("POST", "lite/users", Answer::model(WireJson::parse(kLogin)));
  api->script("POST", "lite/users/u1/nodes", Answer::model({{"nodes", {WireJson::parse(kNode)}}}));
  api->script("GET", "lite/users/u1/device/*", Answer::model(WireJson::parse(kLive)));
  api->script("POST", "connect/node/n1/user/u1",
              Answer::model({{"turn", WireJson::parse(kOpenTrun)}, {"ts", 1}, {"status", 1}, {"max_age", 5},
                             {"message", "ok"}, {"node", WireJson::parse(kOpenNode)}}));
  std::vector<Node> fetched;
  APIManager::bindNodeList({[] { return std::optional<std::string>("JP"); },
                            [] { return std::optional<int64_t>(7); },
                            [&](std::vector<Node> nodes) {
                              fetched = std::move(nodes);
                              return true;
                            }});

  // Nobody signed in: the node opening signs in as a guest and opens nothing this time.
  const auto first = APIManager::openConnect("f", "n1", "", 1);
  ASSERT_FALSE(first.isSuccess());
  EXPECT_EQ(first.error()->errCode, 404);
  EXPECT_EQ(first.error()->errMsg, "");
  const auto signIn = api->requests("POST", "lite/users");
  ASSERT_EQ(signIn.size(), 1u);
  ASSERT_TRUE(signIn[0].body);
  EXPECT_EQ((*signIn[0].body)["passwd"], wire::passwordDigest("fjord"));
  EXPECT_EQ((*signIn[0].body)["email"], "");
  EXPECT_EQ((*signIn[0].body)["force"], 0);
  EXPECT_EQ((*signIn[0].body)["code"], "");
  EXPECT_EQ(keysOf((*signIn[0].body)["device"]), kDeviceKeys);
  EXPECT_EQ(signIn[0].query.at("uid"), "");
  EXPECT_EQ(api->count("POST", "connect/node/*/user/*"), 0u);
  EXPECT_EQ(Global::userId(), "u1");

  EXPECT_EQ(APIManager::getNodes("n7,n8"), nullptr);
  ASSERT_EQ(fetched.size(), 1u);
  EXPECT_EQ(fetched[0].node_id, "n1");
  const auto list = api->requests("POST", "lite/users/u1/nodes");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(*list[0].body, (WireJson{{"country", "JP"}, {"tag", 7}, {"ext_nodes", "n7,n8"}, {"svip", false}}));
  EXPECT_EQ(list[0].query.at("uid"), "u1");

  // The status call's shape: GET on the user's device, decoded as the account status.
  const auto live = APIRequest().perform<std::optional<Live>>("lite/users/u1/device/" + DeviceInfo::ID(),
                                                               HttpMethod::GET);
  ASSERT_TRUE(live.isSuccess());
  ASSERT_TRUE(live.value());
  EXPECT_EQ(live.value()->ports, (std::vector<int64_t>{443, 8443}));

  const auto opened = APIManager::openConnect("f", "n1", "", 1);
  ASSERT_TRUE(opened.isSuccess()) << opened.error()->errMsg;
  ASSERT_TRUE(opened.value());
  EXPECT_EQ(opened.value()->message, "ok");
  const auto open = api->requests("POST", "connect/node/n1/user/u1");
  ASSERT_EQ(open.size(), 1u);
  const WireJson& body = *open[0].body;
  EXPECT_EQ(body["balance"], 1);
  EXPECT_EQ(body["game_mode"], "");
  EXPECT_EQ(body["type"], "f");
  EXPECT_EQ(body["user"], (WireJson{{"id", "u1"}, {"uid", Global::userUID()}, {"uid_rate", Global::userUID()},
                                    {"alterid", 4}, {"email", Global::loginInfo().user.email}}));
  EXPECT_EQ(keysOf(body["device"]), kDeviceKeys);

  const auto all = api->requests(ServiceRequest::Kind::api);
  expectCleanEnvelopes(all);
  for (const auto& r : all) {
    EXPECT_EQ(r.host, ServiceTestBed::kApiDomain);
    EXPECT_EQ(r.sni, ServiceTestBed::kApiDomain);
  }
  APIManager::bindNodeList({});
}

TEST_F(ApiTest, PortProbesGoInTurnOverHostsAndStopAtTheFirstAnswer) {
  const std::string h1 = bed.address(3), h2 = bed.address(4), h3 = bed.address(5);  // only h2 listens
  auto onC = bed.startService(4, 0);
  auto onA = bed.startService(4, 0);
  const int64_t a = onA->port(), c = onC->port(), closed = 1;

  using Ports = std::optional<std::vector<int64_t>>;
  const struct {
    std::string name;
    std::vector<std::string> hosts;
    Ports ports;
    std::vector<int64_t> livePorts;
    std::string expected;  // "h:port" of the winner, or "err:<code>[:<last url>]"
    size_t probesAtC;
  } cases[] = {
      // h1:a, h1:closed, h2:c — h2:a would come next but is never reached.
      {"ports run on across hosts", {h1, h2}, Ports{{a, closed, c}}, {}, h2 + ":" + std::to_string(c), 1},
      {"one host tries two ports", {h2}, Ports{{closed, closed + 1, a}}, {},
       "err:0:https://" + h2 + ":" + std::to_string(closed + 1) + "/test", 0},
      {"one port serves every host twice", {h1, h3, h2}, Ports{{c}}, {}, h2 + ":" + std::to_string(c), 1},
      {"empty ports take the account's", {h2}, Ports{std::vector<int64_t>{}}, {c}, h2 + ":" + std::to_string(c), 1},
      {"no port known", {h2}, std::nullopt, {}, "err:-1", 0},
      {"no host", {}, Ports{{c}}, {}, "err:-1", 0},
      {"a host that cannot stand in a URL", {"bad/host", h2}, Ports{{c}}, {}, "err:-1", 0},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.name);
    onA->clearRequests();
    onC->clearRequests();
    Live live;
    live.ports = cs.livePorts;
    Global::setLive(live);

    const auto result = APIManager::testNodePorts(cs.hosts, ServiceTestBed::kNodeDomain, cs.ports);
    std::string got;
    if (result.isSuccess()) {
      ASSERT_TRUE(result.value());
      ASSERT_EQ(result.value()->size(), 1u);
      got = result.value()->begin()->first + ":" + std::to_string(result.value()->begin()->second);
    } else {
      got = "err:" + std::to_string(result.error()->errCode);
      if (const auto* last = std::get_if<std::shared_ptr<NetworkRequest>>(&result.failureValue())) {
        got += ":" + (*last)->url;
        EXPECT_FALSE(result.error()->errMsg.empty());
      } else {
        EXPECT_EQ(result.error()->errMsg, "");
      }
    }
    EXPECT_EQ(got, cs.expected);
    EXPECT_EQ(onA->requestCount(), 0u) << "no probe after the first answer, and none beyond two per host";
    const auto probes = onC->requests(ServiceRequest::Kind::probe);
    ASSERT_EQ(probes.size(), cs.probesAtC);
    for (const auto& p : probes) {
      EXPECT_EQ(p.target, "/test");
      EXPECT_EQ(p.host, ServiceTestBed::kNodeDomain);
      EXPECT_EQ(p.sni, ServiceTestBed::kNodeDomain);
    }
  }
}

}  // namespace
}  // namespace tarnel::test
