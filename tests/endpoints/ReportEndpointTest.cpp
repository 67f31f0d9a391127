// The network diagnosis report as the service receives it.
#include <gtest/gtest.h>

#include "services/log/ReportData.h"
#include "tests/endpoints/EndpointFixture.h"

namespace tarnel::test {
namespace {

using ReportEndpointTest = EndpointTest;

constexpr const char* kCheckPath = "lite/users/u-7/check";

ReportData sampleReport() {
  ReportSources sources;
  sources.now = std::chrono::system_clock::now();
  sources.deviceId = DeviceInfo::ID();
  sources.deviceName = "Desk";
  sources.deviceModel = "Desk_macOS_1.2.3";
  sources.systemVersion = "1.2.3";
  sources.networkType = "WiFi";
  sources.userId = kUserId;
  sources.login = Global::loginInfo();
  sources.protocolSetup = VPNProtocol::AUTO;
  sources.protocolUsed = VPNProtocol::TROJAN_WS;
  sources.coreVersion = "4.34.0";
  sources.dnsServers = std::vector<std::string>{"10.0.0.53", "fd00::53"};
  ReportData report = ReportData::gather(sources);

  report.network.tests.emplace_back("https://site.test", "12 ms", 200, "");
  report.app.runningModel = "Listen";
  report.app.api.push_back(std::make_shared<HttpResponse>(200, "OK", std::nullopt, 5, "api.test", "v6/test", 443,
                                                          std::map<std::string, std::string>{}));
  report.app.nodes.emplace_back("n1", "Tokyo 1", "ts", "JP", std::vector<std::int64_t>{7}, "h1.test", "1.2.3.4",
                                "node.test", std::nullopt, 443, 0, ReportResponses{}, ReportResponses{},
                                ReportResponses{});
  report.app.nodes.emplace_back("n2", "Osaka 2", "b", "JP", std::vector<std::int64_t>{}, "h2.test", "5.6.7.8",
                                "node.test", OpenTrun{"9.9.9.9", 8443, {8443, 9443}}, 443, 8443,
                                ReportResponses{}, ReportResponses{}, ReportResponses{});
  report.core = "core log line";
  report.extra = "";
  return report;
}

TEST_F(ReportEndpointTest, ReportArrivesWithItsKeys) {
  service().script("POST", kCheckPath, Answer::empty(204));
  ASSERT_EQ(APIManager::sendReport(sampleReport()), nullptr);

  const auto seen = api.only("POST", kCheckPath);
  expectRequest(seen, {"POST", kCheckPath, {}, seen.body}, kUserId);
  ASSERT_TRUE(seen.body.has_value());
  const WireJson& body = *seen.body;
  using Keys = std::vector<std::string>;
  EXPECT_EQ(keysOf(body), (Keys{"app", "core", "created_at", "device", "extra", "network", "soft", "user", "ver"}));
  EXPECT_EQ(keysOf(body["device"]), (Keys{"id", "model", "name", "platform"}));
  EXPECT_EQ(keysOf(body["network"]), (Keys{"dns", "tests", "type"}));
  EXPECT_EQ(keysOf(body["user"]),
            (Keys{"agent", "expired", "expired_svip", "expired_vip", "id", "mail", "visibility_svip"}));
  EXPECT_EQ(keysOf(body["app"]), (Keys{"api", "coreVer", "httpdns", "id", "nodes", "protocol_setup", "protocol_used",
                                       "route", "runningModel", "ver", "whitelist"}));
  EXPECT_EQ(keysOf(body["network"]["tests"][0]), (Keys{"code", "msg", "time", "url"}));

  EXPECT_EQ(body["device"]["id"], DeviceInfo::ID());
  EXPECT_EQ(body["device"]["platform"], "darwin");
  EXPECT_EQ(body["soft"], (WireJson{{"os", {{"name", "darwin"}, {"ver", "1.2.3"}}}}));
  EXPECT_EQ(body["network"]["type"], "WiFi");
  EXPECT_EQ(body["network"]["dns"], "10.0.0.53,fd00::53");
  EXPECT_EQ(body["network"]["tests"][0]["code"], 200);
  EXPECT_EQ(body["user"]["id"], kUserId);
  EXPECT_EQ(body["user"]["mail"], kEmail);
  EXPECT_EQ(body["app"]["route"], "global");
  EXPECT_EQ(body["app"]["whitelist"], "[]");
  EXPECT_EQ(body["app"]["runningModel"], "Listen");
  EXPECT_EQ(body["app"]["coreVer"], "4.34.0");
  EXPECT_EQ(body["app"]["protocol_setup"], "Automatic");
  EXPECT_NE(body["app"]["protocol_used"], "Automatic");
  EXPECT_EQ(body["app"]["api"][0]["statusCode"], 200);
  EXPECT_EQ(body["app"]["api"][0]["host"], "api.test");
  EXPECT_EQ(body["core"], "core log line");
  EXPECT_EQ(body["extra"], "");
  // A node without a relay has no "turn" key; one with a relay has the relay entry.
  const WireJson& nodes = body["app"]["nodes"];
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_FALSE(nodes[0].contains("turn"));
  EXPECT_EQ(nodes[0]["protocol"], "ts");
  EXPECT_EQ(nodes[0]["tag"], WireJson::array({7}));
  EXPECT_EQ(nodes[1]["turn"], (WireJson{{"server", "9.9.9.9"}, {"port", 8443}, {"ports", {8443, 9443}}}));
  EXPECT_EQ(nodes[1]["port_turn"], 8443);
}

TEST_F(ReportEndpointTest, AReportThatCannotBeWrittenStillGoesOutEmpty) {
  service().script("POST", kCheckPath, Answer::empty(204));
  ReportData report = sampleReport();
  report.core = std::string("broken \xff\xfe log");
  ASSERT_EQ(APIManager::sendReport(report), nullptr);
  const auto seen = api.only("POST", kCheckPath);
  ASSERT_TRUE(seen.body.has_value());
  EXPECT_EQ(*seen.body, WireJson::object());
}

TEST_F(ReportEndpointTest, RefusalsAndErrorPagesAreReported) {
  for (const auto& [name, answer, code] : std::vector<std::tuple<std::string, Answer, std::int64_t>>{
           {"refused", Answer::error(3001, "too often", 400), 3001},
           {"error page", Answer::textBody("<html>502</html>", 502).plain(), -1},
           {"received", Answer::model({{"ok", 1}}), 0}}) {
    SCOPED_TRACE(name);
    service().script("POST", kCheckPath, answer);
    const auto error = APIManager::sendReport(sampleReport());
    if (code == 0) {
      EXPECT_EQ(error, nullptr);
    } else {
      ASSERT_NE(error, nullptr);
      EXPECT_EQ(error->errCode, code);
    }
  }
}

TEST_F(ReportEndpointTest, WithoutUserTheFirstReportSignsInAsGuestAndTheNextIsSent) {
  ApiTestBed::signIn("", "", 0);
  service().script("POST", "lite/users", Answer::model(wireLogin("g-2")));
  service().script("POST", "lite/users/g-2/check", Answer::empty(204));

  const auto first = APIManager::sendReport(sampleReport());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->errCode, 404);
  EXPECT_EQ(first->errMsg, "");
  EXPECT_EQ(service().count("POST", "lite/users/*/check"), 0u);
  EXPECT_EQ(service().count("POST", "lite/users"), 1u);

  EXPECT_EQ(APIManager::sendReport(sampleReport()), nullptr);
  EXPECT_EQ(service().count("POST", "lite/users/g-2/check"), 1u);
}

}  // namespace
}  // namespace tarnel::test
