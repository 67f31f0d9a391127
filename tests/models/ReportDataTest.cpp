#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <locale>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/CoreManager.h"
#include "services/common/AppInfo.h"
#include "services/common/DeviceInfo.h"
#include "services/connection/Config.h"
#include "services/log/PrimaryDns.h"
#include "services/log/ReportData.h"
#include "services/model/Json.h"
#include "services/model/TextFormat.h"
#include "tests/support/TestHome.h"

namespace tarnel {
namespace {

using Keys = std::vector<std::string>;

Keys keysOf(const Json& object) {
  Keys keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
  return keys;
}

void useZone(const char* zone) {
  ::setenv("TZ", zone, 1);
  ::tzset();
}

// 2023-11-14 22:13:20 UTC.
const auto kInstant = std::chrono::system_clock::time_point(std::chrono::seconds(1700000000));

ReportSources signedInSources() {
  ReportSources sources;
  sources.app.versionName = "2.4.1_241";
  sources.app.build = "241";
  sources.app.appId = "mac-7";
  sources.app.agent = "store-a";
  sources.deviceId = "0123456789abcdef0123456789abcdef";
  sources.deviceName = "desk";
  sources.deviceModel = "ThinkPad X1_macOS_6.1.0";
  sources.systemVersion = "6.1.0";
  sources.networkType = "WiFi";
  sources.userId = "u-42";
  sources.login.user.email = "ada@example.com";
  sources.login.user.visibility_svip = 1;
  // The user record carries expiry times of its own; the report takes the sign-in answer's.
  sources.login.user.expired = 1;
  sources.login.user.expired_vip = 2;
  sources.login.user.expired_svip = 3;
  sources.login.expired = 1700000000;
  sources.login.expired_vip = 1800000000;
  sources.login.expired_svip = 1900000000;
  sources.coreVersion = "4.34.0";
  sources.dnsServers = std::vector<std::string>{"192.168.1.1", "2001:db8::1"};
  sources.now = kInstant;
  return sources;
}

TEST(ReportData, GatherTakesTheSnapshotOfTheLibrary) {
  struct Case {
    const char* what;
    std::function<ReportSources()> sources;
    std::function<void(const ReportData&)> check;
  };
  const Case cases[] = {
      {"nobody signed in, nothing known yet",
       [] { return ReportSources(); },
       [](const ReportData& r) {
         EXPECT_EQ(r.user.id, "");
         EXPECT_EQ(r.user.mail, "");
         EXPECT_EQ(r.user.expired, 0);
         EXPECT_EQ(r.user.expired_vip, 0);
         EXPECT_EQ(r.user.expired_svip, 0);
         EXPECT_EQ(r.user.visibility_svip, 0);
         EXPECT_EQ(r.network.type, "Unknown");
         EXPECT_EQ(r.network.dns, "");
         EXPECT_EQ(r.app.protocol_setup, "Automatic");
         EXPECT_EQ(r.app.protocol_used, "Automatic");
       }},
      {"signed in with two DNS servers; an attempt chose a protocol for AUTO",
       [] {
         auto s = signedInSources();
         s.protocolUsed = VPNProtocol::TROJAN_WS;
         return s;
       },
       [](const ReportData& r) {
         EXPECT_EQ(r.ver, "2.4.1_241");
         EXPECT_EQ(r.device.id, "0123456789abcdef0123456789abcdef");
         EXPECT_EQ(r.device.name, "desk");
         EXPECT_EQ(r.device.model, "ThinkPad X1_macOS_6.1.0");
         EXPECT_EQ(r.device.platform, "darwin");
         EXPECT_EQ(r.network.type, "WiFi");
         EXPECT_EQ(r.network.dns, "192.168.1.1,2001:db8::1");
         EXPECT_EQ(r.user.id, "u-42");
         EXPECT_EQ(r.user.mail, "ada@example.com");
         EXPECT_EQ(r.user.expired, 1700000000);
         EXPECT_EQ(r.user.expired_vip, 1800000000);
         EXPECT_EQ(r.user.expired_svip, 1900000000);
         EXPECT_EQ(r.user.agent, "store-a");
         EXPECT_EQ(r.user.visibility_svip, 1);
         EXPECT_EQ(r.app.id, "mac-7");
         EXPECT_EQ(r.app.ver, "241");
         EXPECT_EQ(r.app.coreVer, "4.34.0");
         EXPECT_EQ(r.app.protocol_setup, "Automatic");
         EXPECT_EQ(r.app.protocol_used, "K");
       }},
      {"the user chose a protocol",
       [] {
         auto s = signedInSources();
         s.protocolSetup = s.protocolUsed = VPNProtocol::VLESS_TLS;
         s.dnsServers = std::vector<std::string>{"9.9.9.9"};
         return s;
       },
       [](const ReportData& r) {
         EXPECT_EQ(r.app.protocol_setup, "S");
         EXPECT_EQ(r.app.protocol_used, "S");
         EXPECT_EQ(r.network.dns, "9.9.9.9");
       }},
      {"DNS configured but empty",
       [] {
         auto s = signedInSources();
         s.dnsServers = std::vector<std::string>{};
         return s;
       },
       [](const ReportData& r) { EXPECT_EQ(r.network.dns, ""); }},
  };
  useZone("UTC");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto sources = c.sources();
    const auto report = ReportData::gather(sources);
    c.check(report);
    // What a test produces starts empty, whatever the library knows.
    EXPECT_EQ(report.app.route, "global");
    EXPECT_EQ(report.app.whitelist, "[]");
    EXPECT_EQ(report.app.runningModel, "");
    EXPECT_TRUE(report.app.httpdns.empty() && report.app.api.empty() && report.app.nodes.empty());
    EXPECT_TRUE(report.network.tests.empty());
    EXPECT_EQ(report.core, "");
    EXPECT_EQ(report.extra, "");
    EXPECT_EQ(report.soft.size(), 1u);
    EXPECT_EQ(report.soft.at("os").at("name"), "darwin");
    EXPECT_EQ(report.soft.at("os").at("ver"), sources.systemVersion);
  }
}

TEST(ReportData, GatherFromTheRunningLibraryOfAFreshInstallation) {
  useZone("UTC");
  const auto before = Date::format(std::chrono::system_clock::now(), "yyyy-MM-dd HH:mm:ss");
  const auto report = ReportData::gather(ReportSources::current(VPNProtocol::AUTO, VPNProtocol::VMESS_TURN));
  const auto after = Date::format(std::chrono::system_clock::now(), "yyyy-MM-dd HH:mm:ss");

  EXPECT_TRUE(std::regex_match(report.device.id, std::regex("[0-9a-f]{32}"))) << report.device.id;
  EXPECT_EQ(report.device.id, DeviceInfo::ID());  // made once and kept
  EXPECT_EQ(report.ver, AppInfo().versionName);
  EXPECT_EQ(report.app.ver, AppInfo().build);
  EXPECT_EQ(report.app.coreVer, helmsey::CoreManager::coreVersion());
  EXPECT_EQ(report.soft.at("os").at("ver"), DeviceInfo::System());
  EXPECT_EQ(report.network.type, "Unknown");
  EXPECT_EQ(report.user.id, "");
  EXPECT_EQ(report.user.mail, "");
  EXPECT_EQ(report.user.expired_vip, 0);
  EXPECT_EQ(report.app.protocol_setup, "Automatic");
  EXPECT_EQ(report.app.protocol_used, "C");
  EXPECT_LE(before, report.created_at);
  EXPECT_LE(report.created_at, after);
}

TEST(ReportData, CreatedAtIsTheLocalTimeOfTheUser) {
  const struct {
    const char* zone;
    const char* expected;
  } cases[] = {
      {"UTC", "2023-11-14 22:13:20"},
      {"UTC-8", "2023-11-15 06:13:20"},  // POSIX sign: eight hours east
      {"UTC+5", "2023-11-14 17:13:20"},
      {"Asia/Kolkata", "2023-11-15 03:43:20"},
  };
  for (const auto& c : cases) {
    useZone(c.zone);
    ReportSources sources;
    sources.now = kInstant;
    EXPECT_EQ(ReportData::gather(sources).created_at, c.expected) << c.zone;
  }
}

TEST(ReportData, FreshReportBodyHasEveryKeyInOrder) {
  useZone("UTC");
  const auto report = ReportData::gather(signedInSources());
  const Json body = toMap(report);
  const auto text = toJson(report);
  ASSERT_TRUE(text);
  EXPECT_EQ(body, json::parse(*text).value_or(Json()));

  EXPECT_EQ(keysOf(body), (Keys{"ver", "created_at", "device", "soft", "network", "user", "app", "core", "extra"}));
  EXPECT_EQ(keysOf(body["device"]), (Keys{"id", "name", "model", "platform"}));
  EXPECT_EQ(keysOf(body["network"]), (Keys{"type", "dns", "tests"}));
  EXPECT_EQ(keysOf(body["user"]),
            (Keys{"id", "mail", "expired", "expired_vip", "expired_svip", "agent", "visibility_svip"}));
  EXPECT_EQ(keysOf(body["app"]), (Keys{"id", "ver", "coreVer", "route", "runningModel", "whitelist", "protocol_setup",
                                       "protocol_used", "httpdns", "api", "nodes"}));

  EXPECT_EQ(body["soft"], Json::parse(R"({"os":{"name":"darwin","ver":"6.1.0"}})"));
  EXPECT_EQ(body["app"]["route"], "global");
  EXPECT_EQ(body["app"]["whitelist"], "[]");  // a text, not an array
  EXPECT_EQ(body["app"]["runningModel"], "");
  EXPECT_EQ(body["core"], "");
  EXPECT_EQ(body["extra"], "");
  EXPECT_EQ(body["network"]["dns"], "192.168.1.1,2001:db8::1");
  EXPECT_EQ(body["network"]["tests"], Json::array());
  EXPECT_EQ(body["app"]["nodes"], Json::array());
  EXPECT_TRUE(body["user"]["expired_vip"].is_number_integer());
}

TEST(ReportData, NodesAndAnswersInTheBody) {
  useZone("UTC");
  auto report = ReportData::gather(signedInSources());
  auto answer = std::make_shared<HttpResponse>(200, "OK", std::vector<std::uint8_t>{'o', 'k'}, 125, "node.example",
                                               "/test", 8443, std::map<std::string, std::string>{{"a", "b"}});
  report.app.nodes.emplace_back("n1", "Tokyo 1", "f", "JP", std::vector<std::int64_t>{3, 9}, "host.example",
                                "203.0.113.5", "node.example", std::nullopt, 443, 0, ReportResponses{answer},
                                ReportResponses{}, ReportResponses{});
  report.app.nodes.emplace_back("n2", "Relay", "g", "SG", std::vector<std::int64_t>{}, "", "", "",
                                OpenTrun{"relay1.example,relay2.example", 30000, {30000, 30001}}, 0, 30000,
                                ReportResponses{}, ReportResponses{}, ReportResponses{});
  report.network.tests.emplace_back("https://www.example.com", "87 ms", 200, "");
  report.app.runningModel = "Tunnel";

  const Json body = toMap(report);
  const Json& nodes = body["app"]["nodes"];
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(keysOf(nodes[0]), (Keys{"id", "name", "protocol", "region", "tag", "host", "server", "domain", "port",
                                    "port_turn", "port_test", "open", "test"}));
  EXPECT_EQ(nodes[0]["protocol"], "f");
  EXPECT_EQ(nodes[0]["tag"], Json::array({3, 9}));
  ASSERT_EQ(nodes[0]["port_test"].size(), 1u);
  const Json& probe = nodes[0]["port_test"][0];
  EXPECT_EQ(keysOf(probe), (Keys{"statusCode", "statusMessage", "time", "host", "path", "port"}));
  EXPECT_EQ(probe["time"], "125 ms");

  ASSERT_TRUE(nodes[1].contains("turn"));
  EXPECT_EQ(nodes[1]["turn"], Json::parse(R"({"server":"relay1.example,relay2.example","port":30000,"ports":[30000,30001]})"));
  EXPECT_EQ(body["network"]["tests"], Json::parse(R"([{"url":"https://www.example.com","time":"87 ms","code":200,"msg":""}])"));
  EXPECT_EQ(body["app"]["runningModel"], "Tunnel");
}

// Walks every member of every record and checks that the report no longer decodes without it;
// only a node's relay may be missing. `soft` is a dictionary, whose entries are not required keys.
void expectEveryKeyRequired(const Json& complete, Json& current, const std::string& path) {
  if (current.is_array()) {
    for (std::size_t i = 0; i < current.size(); ++i) {
      expectEveryKeyRequired(complete, current[i], path + "/" + std::to_string(i));
    }
    return;
  }
  if (!current.is_object()) return;
  for (const auto& key : keysOf(current)) {
    Json removed = std::move(current[key]);
    current.erase(key);
    const bool decodes = fromJson<ReportData>(complete.dump()).has_value();
    EXPECT_EQ(decodes, key == "turn") << path << "/" << key;
    current[key] = std::move(removed);
    if (path.empty() && key == "soft") continue;
    expectEveryKeyRequired(complete, current[key], path + "/" + key);
  }
}

TEST(ReportData, DecodingRequiresEveryKeyButTheRelay) {
  useZone("UTC");
  auto report = ReportData::gather(signedInSources());
  report.app.nodes.emplace_back("n2", "Relay", "g", "SG", std::vector<std::int64_t>{1}, "h", "s", "d",
                                OpenTrun{"relay.example", 30000, {30000}}, 1, 30000, ReportResponses{},
                                ReportResponses{}, ReportResponses{});
  report.network.tests.emplace_back("https://a.example", "1 ms", -1, "unknown error");
  const auto text = toJson(report);
  ASSERT_TRUE(text);

  const auto back = fromJson<ReportData>(*text);
  ASSERT_TRUE(back);
  EXPECT_EQ(toJson(*back), text);

  Json complete = json::parse(*text).value();
  testing::internal::CaptureStdout();  // the decoding errors, and any failure reported meanwhile
  expectEveryKeyRequired(complete, complete, "");
  Json mistyped = complete;
  mistyped["user"]["expired"] = "1700000000";
  EXPECT_FALSE(fromJson<ReportData>(mistyped.dump()));
  mistyped = complete;
  mistyped["soft"]["os"]["ver"] = 6;
  EXPECT_FALSE(fromJson<ReportData>(mistyped.dump()));
  const std::string log = testing::internal::GetCapturedStdout();
  if (HasFailure()) std::cout << log;
}

// Numbers and dates keep the same text under a locale that writes decimal commas and groups
// thousands with points.
void expectTextsIndependentOfLocale() {
  useZone("UTC");
  auto sources = signedInSources();
  const auto report = ReportData::gather(sources);
  EXPECT_EQ(report.created_at, "2023-11-14 22:13:20");
  const auto text = toJson(report);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("\"expired\": 1700000000"), std::string::npos) << *text;

  Config config(true, false, {}, {}, {}, {}, {}, {}, {}, "auto", "UseIP");
  config.servers = ConfigServer("node.example", 65535, "p");
  EXPECT_EQ(toMap(config)["servers"]["port"], 65535);
  EXPECT_NE(toJson(config).value_or("").find("\"port\": 65535"), std::string::npos);

  test::TempDir root;
  std::filesystem::create_directories(root.path() / "etc");
  std::ofstream(root.path() / "etc/resolv.conf") << "nameserver 10.1.2.3\nnameserver fd00::1\n";
  EXPECT_EQ(primaryDNSServers(root.path()), (std::vector<std::string>{"10.1.2.3", "fd00::1"}));
}

TEST(ReportData, TextsUnderTheGermanSystemLocale) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  try {
    std::locale::global(std::locale("de_DE.UTF-8"));
  } catch (const std::runtime_error&) {
    GTEST_SKIP() << "C++ locale de_DE.UTF-8 is not available";
  }
  expectTextsIndependentOfLocale();
  std::locale::global(std::locale::classic());
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace tarnel
