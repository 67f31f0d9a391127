#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services/base/VPNProtocol.h"
#include "services/connection/Config.h"
#include "services/model/Json.h"

namespace tarnel {
namespace {

const std::vector<std::string> kKeys = {"isSmart",      "isTun",    "unlock",   "alway",      "alwayIPs",
                                        "direct",       "directIPs", "blockDomains", "blockIPs", "servers",
                                        "protocol",     "serverName", "dns",    "dnsStrategy"};

Json parsed(const std::string& text) {
  auto value = json::parse(text);
  EXPECT_TRUE(value.has_value()) << text;
  return value.value_or(Json());
}

std::vector<std::string> keysOf(const Json& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
  return keys;
}

Config filledConfig() {
  Config config(true, false, {"netflix.com"}, {"proxy.example", "xn--bcher-kva.example"}, {"8.8.8.8/32"},
                {"direct.example"}, {"10.0.0.0/8", "fd00::/8"}, {"ads.example"}, {"203.0.113.9"}, "1.1.1.1",
                "UseIPv4");
  config.servers = ConfigServer("node.example", 443, "0f0e0d0c-0b0a-0908-0706-050403020100");
  config.protocol = std::string(rawValue(VPNProtocol::TROJAN_WS));
  config.serverName = "hk1-c.example.net";
  return config;
}

TEST(TunnelConfig, FreshConfigEncodesEveryKeyInOrder) {
  const Config config(false, true, {}, {}, {}, {}, {}, {}, {}, "auto", "UseIP");
  const auto text = toJson(config);
  ASSERT_TRUE(text);
  const Json object = parsed(*text);
  EXPECT_EQ(keysOf(object), kKeys);

  EXPECT_EQ(object["isSmart"], false);
  EXPECT_EQ(object["isTun"], true);
  for (const char* list : {"unlock", "alway", "alwayIPs", "direct", "directIPs", "blockDomains", "blockIPs"}) {
    EXPECT_TRUE(object[list].is_array() && object[list].empty()) << list;
  }
  const Json& servers = object["servers"];
  EXPECT_EQ(keysOf(servers), (std::vector<std::string>{"address", "port", "password"}));
  EXPECT_EQ(servers["address"], "");
  EXPECT_TRUE(servers["port"].is_number_integer());
  EXPECT_EQ(servers["port"], 0);
  EXPECT_EQ(servers["password"], "");
  EXPECT_EQ(object["protocol"], "");
  EXPECT_EQ(object["serverName"], "");
  EXPECT_EQ(object["dns"], "auto");
  EXPECT_EQ(object["dnsStrategy"], "UseIP");
}

TEST(TunnelConfig, MapForTheEngineEqualsTheParsedJsonAndKeepsValues) {
  const Config config = filledConfig();
  const Json map = toMap(config);
  const auto text = toJson(config);
  ASSERT_TRUE(text);
  EXPECT_EQ(map, parsed(*text));
  EXPECT_EQ(map.size(), kKeys.size());

  EXPECT_EQ(map["isSmart"], true);
  EXPECT_EQ(map["alway"], Json::array({"proxy.example", "xn--bcher-kva.example"}));
  EXPECT_EQ(map["directIPs"], Json::array({"10.0.0.0/8", "fd00::/8"}));
  EXPECT_EQ(map["servers"]["address"], "node.example");
  EXPECT_EQ(map["servers"]["port"], 443);
  EXPECT_EQ(map["protocol"], "c");
  EXPECT_EQ(map["dnsStrategy"], "UseIPv4");

  const auto back = fromJson<Config>(*text);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, config);
}

TEST(TunnelConfig, DecodingRequiresEveryKeyWithItsType) {
  const auto text = toJson(filledConfig());
  ASSERT_TRUE(text);
  const Json complete = parsed(*text);

  testing::internal::CaptureStdout();
  for (const auto& key : kKeys) {
    Json missing = complete;
    missing.erase(key);
    EXPECT_FALSE(fromJson<Config>(missing.dump())) << "without " << key;

    Json null = complete;
    null[key] = nullptr;
    EXPECT_FALSE(fromJson<Config>(null.dump())) << key << " null";

    // Every key gets a value of some other JSON type.
    Json mistyped = complete;
    mistyped[key] = complete[key].is_string() ? Json(1) : Json("x");
    EXPECT_FALSE(fromJson<Config>(mistyped.dump())) << key << " mistyped";
  }
  for (const char* key : {"address", "port", "password"}) {
    Json missing = complete;
    missing["servers"].erase(key);
    EXPECT_FALSE(fromJson<Config>(missing.dump())) << "servers without " << key;
  }
  Json fractionalPort = complete;
  fractionalPort["servers"]["port"] = 443.5;
  EXPECT_FALSE(fromJson<Config>(fractionalPort.dump()));
  Json listOfNumbers = complete;
  listOfNumbers["blockIPs"] = Json::array({1});
  EXPECT_FALSE(fromJson<Config>(listOfNumbers.dump()));
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("Error decoding JSON: "), std::string::npos);
}

}  // namespace
}  // namespace tarnel
