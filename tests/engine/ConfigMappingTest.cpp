// The engine configuration made from a tunnel configuration, checked by structure and by the
// proxy engine's own configuration test.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/engine/V2rayConfig.h"
#include "tests/engine/EngineTestKit.h"
#include "tests/support/ChildProcess.h"

namespace tarnel::test::engine {
namespace {

namespace core = helmsey::engine;

const core::Endpoint kHttp{"127.0.0.1", 20001};
const core::Endpoint kSocks{"127.0.0.1", 20002};

core::TunnelSettings settingsFor(const Json& dictionary) {
  std::string error;
  auto settings = core::readTunnelSettings(dictionary, error);
  EXPECT_TRUE(settings.has_value()) << error;
  return settings.value_or(core::TunnelSettings{});
}

struct ProtocolShape {
  const char* code;
  const char* outbound;
  const char* network;
};

class OutboundShape : public testing::TestWithParam<ProtocolShape> {};

TEST_P(OutboundShape, OneTlsOutboundTowardsTheServerWithTheCredentialInItsPlace) {
  const ProtocolShape& shape = GetParam();
  const std::string credential = std::string(shape.outbound) == "trojan" ? "pw-1" : randomUuid();
  Json dictionary = tunnelConfig(8443, shape.code, credential);
  dictionary["servers"]["address"] = "relay.example";
  const auto config = core::buildTunnelConfig(settingsFor(dictionary), kHttp, kSocks, "/ca/test.crt").config;

  const Json& proxy = config["outbounds"][0];
  EXPECT_EQ(proxy["tag"], "proxy");
  EXPECT_EQ(proxy["protocol"], shape.outbound);
  const Json& server = proxy["protocol"] == "trojan" ? proxy["settings"]["servers"][0] : proxy["settings"]["vnext"][0];
  EXPECT_EQ(server["address"], "relay.example");
  EXPECT_EQ(server["port"], 8443);
  if (proxy["protocol"] == "trojan") {
    EXPECT_EQ(server["password"], credential);
  } else {
    EXPECT_EQ(server["users"][0]["id"], credential);
  }
  const Json& stream = proxy["streamSettings"];
  EXPECT_EQ(stream["network"], shape.network);
  EXPECT_EQ(stream["security"], "tls");
  EXPECT_EQ(stream["tlsSettings"]["serverName"], kNodeName);
  EXPECT_EQ(stream["tlsSettings"]["allowInsecure"], false);
  EXPECT_EQ(stream["tlsSettings"]["certificates"][0]["usage"], "verify");
  EXPECT_EQ(stream["tlsSettings"]["certificates"][0]["certificateFile"], "/ca/test.crt");
  if (std::string(shape.network) == "ws") {
    EXPECT_EQ(stream["wsSettings"]["headers"]["Host"], kNodeName);
  }

  EXPECT_EQ(config["inbounds"][0]["protocol"], "http");
  EXPECT_EQ(config["inbounds"][0]["listen"], "127.0.0.1");
  EXPECT_EQ(config["inbounds"][0]["port"], kHttp.port);
  EXPECT_EQ(config["inbounds"][1]["protocol"], "socks");
  EXPECT_EQ(config["inbounds"][1]["port"], kSocks.port);
}

INSTANTIATE_TEST_SUITE_P(Codes, OutboundShape,
                         testing::Values(ProtocolShape{"b", "vmess", "tcp"}, ProtocolShape{"ts", "vmess", "tcp"},
                                         ProtocolShape{"d", "vless", "tcp"}, ProtocolShape{"e", "vless", "tcp"},
                                         ProtocolShape{"f", "trojan", "tcp"}, ProtocolShape{"g", "trojan", "tcp"},
                                         ProtocolShape{"c", "trojan", "ws"}),
                         [](const testing::TestParamInfo<ProtocolShape>& info) { return std::string(info.param.code); });

// (outbound tag, "domain" or "ip", entries) for every rule, in order.
std::vector<std::tuple<std::string, std::string, Json>> rulesOf(const Json& config) {
  std::vector<std::tuple<std::string, std::string, Json>> rules;
  for (const auto& rule : config["routing"]["rules"]) {
    const bool domains = rule.contains("domain");
    rules.emplace_back(rule["outboundTag"], domains ? "domain" : "ip", domains ? rule["domain"] : rule["ip"]);
  }
  return rules;
}

Json listsConfig(bool smart) {
  Json dictionary = tunnelConfig(443, "b", randomUuid());
  dictionary["isSmart"] = smart;
  dictionary["blockDomains"] = Json::array({"ads.example"});
  dictionary["blockIPs"] = Json::array({"203.0.113.9"});
  dictionary["directIPs"] = Json::array({"198.51.100.7"});
  dictionary["alway"] = Json::array({"always.example"});
  dictionary["unlock"] = Json::array({"Video.Example"});
  dictionary["alwayIPs"] = Json::array({"192.0.2.0/24"});
  dictionary["direct"] = Json::array({"home.example"});
  return dictionary;
}

TEST(RoutingRules, RulesComeInTheirOrderAndTheDirectListOnlyInSmartMode) {
  for (const bool smart : {true, false}) {
    SCOPED_TRACE(smart ? "smart" : "global");
    const auto config = core::buildTunnelConfig(settingsFor(listsConfig(smart)), kHttp, kSocks, std::nullopt).config;
    const auto rules = rulesOf(config);
    ASSERT_EQ(rules.size(), smart ? 6u : 5u);
    EXPECT_EQ(rules[0], std::make_tuple(std::string("block"), std::string("domain"), Json::array({"domain:ads.example"})));
    EXPECT_EQ(rules[1], std::make_tuple(std::string("block"), std::string("ip"), Json::array({"203.0.113.9"})));
    EXPECT_EQ(std::get<0>(rules[2]), "direct");
    const Json& directIps = std::get<2>(rules[2]);
    EXPECT_EQ(directIps[0], "198.51.100.7") << "the API hosts' addresses lead the direct addresses";
    for (const char* range : {"10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16", "127.0.0.0/8", "fc00::/7"}) {
      EXPECT_NE(std::find(directIps.begin(), directIps.end(), range), directIps.end()) << range;
    }
    EXPECT_EQ(rules[3], std::make_tuple(std::string("proxy"), std::string("domain"),
                                        Json::array({"domain:always.example", "domain:video.example"})));
    EXPECT_EQ(rules[4], std::make_tuple(std::string("proxy"), std::string("ip"), Json::array({"192.0.2.0/24"})));
    if (smart) {
      EXPECT_EQ(rules[5], std::make_tuple(std::string("direct"), std::string("domain"), Json::array({"domain:home.example"})));
    }
    EXPECT_EQ(config["outbounds"][0]["tag"], "proxy") << "what no rule names goes through the proxy";
    EXPECT_EQ(config["routing"]["domainStrategy"], "AsIs");
  }
}

TEST(RoutingRules, DnsChoiceAndStrategyReachTheEngine) {
  struct Case {
    const char* dns;
    const char* strategy;
    const char* server;
  };
  for (const Case c : {Case{"auto", "UseIP", "localhost"}, Case{"8.8.8.8", "UseIPv4", "8.8.8.8"},
                       Case{"223.5.5.5", "UseIPv6", "223.5.5.5"}, Case{"2001:db8::53", "UseIP", "2001:db8::53"}}) {
    Json dictionary = tunnelConfig(443, "b", randomUuid());
    dictionary["dns"] = c.dns;
    dictionary["dnsStrategy"] = c.strategy;
    const auto config = core::buildTunnelConfig(settingsFor(dictionary), kHttp, kSocks, std::nullopt).config;
    EXPECT_EQ(config["dns"]["servers"], Json::array({c.server})) << c.dns;
    EXPECT_EQ(config["outbounds"][1]["tag"], "direct");
    EXPECT_EQ(config["outbounds"][1]["settings"]["domainStrategy"], c.strategy);
  }
}

TEST(RuleEntries, OnlyPlainHostNamesBecomeDomainRules) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
      {"example.com", "domain:example.com"},
      {"Sub.Example.COM.", "domain:sub.example.com"},
      {"xn--fiqs8s.xn--55qx5d", "domain:xn--fiqs8s.xn--55qx5d"},
      {"localhost", "domain:localhost"},
      {"a-b.c9.io", "domain:a-b.c9.io"},
      {"regexp:.*", std::nullopt},
      {"geosite:cn", std::nullopt},
      {"domain:example.com", std::nullopt},
      {"full:example.com", std::nullopt},
      {"keyword:google", std::nullopt},
      {"*.example.com", std::nullopt},
      {".example.com", std::nullopt},
      {"-bad.example", std::nullopt},
      {"bad-.example", std::nullopt},
      {"a..b", std::nullopt},
      {"under_score.example", std::nullopt},
      {"space .example", std::nullopt},
      {"", std::nullopt},
      {std::string(64, 'a') + ".example", std::nullopt},
      {std::string(63, 'a') + ".example", "domain:" + std::string(63, 'a') + ".example"},
  };
  for (const auto& [entry, rule] : cases) EXPECT_EQ(core::domainRule(entry), rule) << entry;
}

TEST(RuleEntries, OnlyAddressesAndBlocksBecomeAddressRules) {
  for (const char* good : {"1.2.3.4", "10.0.0.0/8", "0.0.0.0/0", "::1", "2001:db8::/32", "2001:db8::1/128"}) {
    EXPECT_EQ(core::addressRule(good), std::string(good)) << good;
  }
  for (const char* bad : {"geoip:cn", "geoip:private", "1.2.3.4/33", "1.2.3", "::/129", "1.2.3.4/", "1.2.3.4/-1",
                          "1.2.3.4/8x", "example.com", "ext:geoip.dat:cn", "",
                          // IPv4-mapped IPv6: the engine refuses these, and with them the whole
                          // configuration.
                          "::ffff:0:0/96", "::ffff:1.2.3.4", "::ffff:10.0.0.0/104", "0:0:0:0:0:ffff:c000:0201/128"}) {
    EXPECT_FALSE(core::addressRule(bad).has_value()) << bad;
  }
}

TEST(RuleEntries, RefusedEntriesAreListedWithTheirList) {
  Json dictionary = listsConfig(true);
  dictionary["unlock"].push_back("regexp:.*");
  dictionary["blockIPs"].push_back("geoip:cn");
  const auto result = core::buildTunnelConfig(settingsFor(dictionary), kHttp, kSocks, std::nullopt);
  EXPECT_EQ(result.refused, (std::vector<std::string>{"blockIPs: geoip:cn", "unlock: regexp:.*"}));
  EXPECT_EQ(result.config.dump().find("regexp"), std::string::npos);
  EXPECT_EQ(result.config.dump().find("geoip"), std::string::npos);
}

// The switch listener: nothing that only this machine may reach goes through it, names are
// resolved before the address rules, private ranges stay direct and the switch domains proxied.
TEST(SwitchRules, LoopbackLocalhostLinkLocalAndOwnAddressesAreRefusedFirst) {
  std::string error;
  const auto settings = core::readSwitchSettings(
      Json{{"unlock", Json::array({"game.example"})},
           {"servers", {{"address", "127.0.0.1"}, {"port", 443}, {"password", "pw"}}},
           {"protocol", "f"},
           {"serverName", kNodeName},
           {"dns", "auto"}},
      error);
  ASSERT_TRUE(settings) << error;
  const auto config =
      core::buildSwitchConfig(*settings, {"192.0.2.10", 20003}, std::nullopt, {"192.0.2.10", "2001:db8::10", "bad"})
          .config;
  const auto rules = rulesOf(config);
  ASSERT_EQ(rules.size(), 4u);
  EXPECT_EQ(rules[0], std::make_tuple(std::string("block"), std::string("domain"),
                                      Json::array({"full:localhost", "domain:localhost"})));
  EXPECT_EQ(std::get<0>(rules[1]), "block");
  const Json& closed = std::get<2>(rules[1]);
  for (const char* range : {"127.0.0.0/8", "::1/128", "169.254.0.0/16", "fe80::/10", "192.0.2.10", "2001:db8::10"}) {
    EXPECT_NE(std::find(closed.begin(), closed.end(), range), closed.end()) << range;
  }
  EXPECT_EQ(std::find(closed.begin(), closed.end(), "bad"), closed.end());
  EXPECT_EQ(std::get<0>(rules[2]), "direct");
  EXPECT_EQ(rules[3], std::make_tuple(std::string("proxy"), std::string("domain"), Json::array({"domain:game.example"})));
  EXPECT_EQ(config["routing"]["domainStrategy"], "IPOnDemand");

  TempDir dir;
  const auto file = dir.path() / "switch.json";
  std::ofstream(file) << config.dump();
  std::string output;
  EXPECT_EQ(runCommand("v2ray -test -config '" + file.string() + "' 2>&1", &output), 0) << output;
}

// An IPv4-mapped prefix from the service is left out, so the engine still takes the rest.
TEST(EngineAcceptance, MappedPrefixInTheRuleListsLeavesTheConfigurationUsable) {
  TempDir dir;
  Json dictionary = listsConfig(true);
  dictionary["blockIPs"].push_back("::ffff:0:0/96");
  dictionary["directIPs"].push_back("::ffff:192.0.2.1");
  const auto result = core::buildTunnelConfig(settingsFor(dictionary), kHttp, kSocks, std::nullopt);
  EXPECT_EQ(result.refused, (std::vector<std::string>{"blockIPs: ::ffff:0:0/96", "directIPs: ::ffff:192.0.2.1"}));
  const auto file = dir.path() / "config.json";
  std::ofstream(file) << result.config.dump();
  std::string output;
  EXPECT_EQ(runCommand("v2ray -test -config '" + file.string() + "' 2>&1", &output), 0) << output;
}

// The proxy engine itself accepts what we generate, for every protocol and both modes.
TEST(EngineAcceptance, GeneratedConfigurationsPassTheEnginesOwnTest) {
  TempDir dir;
  TestCA ca(dir.path());
  for (const char* code : {"b", "ts", "d", "e", "f", "g", "c"}) {
    for (const bool smart : {true, false}) {
      Json dictionary = listsConfig(smart);
      dictionary["protocol"] = code;
      if (LoopbackWorld::kindFor(code) == V2rayNode::Kind::trojan ||
          LoopbackWorld::kindFor(code) == V2rayNode::Kind::trojanWebSocket) {
        dictionary["servers"]["password"] = "any password";
      }
      const auto config =
          core::buildTunnelConfig(settingsFor(dictionary), kHttp, kSocks, ca.certificatePath()).config;
      const auto file = dir.path() / "config.json";
      std::ofstream(file) << config.dump();
      std::string output;
      EXPECT_EQ(runCommand("v2ray -test -config '" + file.string() + "' 2>&1", &output), 0)
          << code << (smart ? " smart" : " global") << "\n" << output;
    }
  }
}

// The configuration reaches the engine through a pipe: the credential is in no file and on no
// command line.
TEST(EngineAcceptance, CredentialNeverReachesDiskOrCommandLine) {
  LoopbackWorld world;
  const std::string credential = randomUuid();
  StatusRecorder session;
  helmsey::CoreManager::startVPN(tunnelConfig(9, "d", credential), false, false, false, session.callback());
  ASSERT_TRUE(session.waitFor(helmsey::VPNStatus::connected));
  const auto children = engineChildren();
  ASSERT_EQ(children.size(), 1u);
  std::ifstream cmdline("/proc/" + std::to_string(children.front()) + "/cmdline");
  std::stringstream words;
  words << cmdline.rdbuf();
  EXPECT_EQ(words.str().find(credential), std::string::npos);

  const char* root = std::getenv("TARNEL_TEST_ROOT");
  ASSERT_NE(root, nullptr);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find(credential), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace tarnel::test::engine
