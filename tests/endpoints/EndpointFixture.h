#pragma once

// What the endpoint tests share: a signed-in account talking to the service double through real
// host discovery, answers written as the service writes them, and the checks every request of
// the API envelope must pass.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "services/api/APIManager.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/model/Json.h"
#include "tests/support/ApiTestBed.h"
#include "tests/support/ServiceDouble.h"
#include "tests/support/WireCipher.h"

namespace tarnel::test {

inline constexpr const char* kUserId = "u-7";
inline constexpr const char* kEmail = "me@example.test";

// Server settings with every key the client requires; an object `patch` is merged in (a null
// member removes the key, which is how an absent proxy version is written).
inline WireJson wireOther(const WireJson& patch = WireJson::object()) {
  WireJson other = {{"version", 3},
                    {"newest_version", 5},
                    {"update_version", 6},
                    {"marquee_version", "m"},
                    {"disconnect_timeout", 30},
                    {"reconnect_after", 5},
                    {"card_version", 2},
                    {"turn_node", false},
                    {"protocal_priority", {"b", "ts"}},
                    {"tag_version", "t1"},
                    {"protocal_version", "p1"},
                    {"country_version", "c1"},
                    {"app_domain_version", "d1"},
                    {"placard_version", "pl"},
                    {"protocal_priority_trojan", {"ts"}},
                    {"protocal_priority_vless", "d"},
                    {"node_updated_at", "n1"},
                    {"available_protocols", {"b", "ts"}},
                    {"config_text_version", "ct"},
                    {"notice_version", "nv"},
                    {"lite_update_interval", 6},
                    {"load_refresh_interval", 3},
                    {"node_retry", 2},
                    {"user_version", "u1"},
                    {"proxy_version", "pv1"},
                    {"device_count_list", "3,5,10"}};
  if (patch.is_object()) other.merge_patch(patch);
  return other;
}

inline WireJson wireUser(const std::string& id, const std::string& email, std::int64_t emailStatus = 2) {
  return {{"id", id},         {"grp_id", "g"},       {"uid", "uid-" + id},  {"uid_rate", "1"},
          {"alterid", 4},     {"email", email},      {"email_status", emailStatus},
          {"expired", 10},    {"expired_vip", 20},   {"expired_svip", 30},  {"code", "OWN"},
          {"pcode", ""},      {"mobile", ""},        {"country_code", ""},  {"promoter", 0},
          {"hot", "1"},       {"visibility_svip", 0}};
}

// A sign-in answer for `userId`.
inline WireJson wireLogin(const std::string& userId, const std::string& email = "", std::int64_t emailStatus = 0) {
  return {{"user", wireUser(userId, email, emailStatus)},
          {"max_age", 5},
          {"expired", 1},
          {"expired_vip", 2},
          {"expired_svip", 3},
          {"card_version", 0},
          {"email_status", emailStatus},
          {"hot", "1"},
          {"tags", WireJson::array()},
          {"countries", WireJson::array()},
          {"other", wireOther()},
          {"message", "m"},
          {"config_text", {{"LOGIN_PROMOTER_CODE", ""}, {"APP_STORE_PLAN_DESC", ""}}}};
}

inline WireJson wireLink(std::int64_t id) {
  return {{"show", true}, {"text", {{"en", "News"}}}, {"updated_at", 1700000000}, {"id", id}, {"link", ""}};
}

// A status answer; `patch` is merged into the whole answer, `otherPatch` into its settings.
inline WireJson wireLive(const WireJson& otherPatch = WireJson::object(), const WireJson& patch = WireJson::object()) {
  WireJson live = {{"max_age", 90},       {"expired", 1000},     {"expired_vip", 2000}, {"expired_svip", 3000},
                   {"email_status", 2},   {"hot", "3"},          {"other", wireOther(otherPatch)},
                   {"grp_id", "g"},       {"ports", {443, 8443}}, {"ports_trojan", {443}},
                   {"op", ""},            {"message", "status says hi"}, {"link", wireLink(41)},
                   {"device_count", 5}};
  if (patch.is_object()) live.merge_patch(patch);
  return live;
}

inline WireJson wireCountry(const std::string& code, std::vector<std::int64_t> tags = {}) {
  return {{"country", code}, {"name", code + " land"}, {"tags", tags}, {"sort", 1}};
}

inline WireJson wireTag(std::int64_t id) {
  return {{"id", id}, {"tag", "tag" + std::to_string(id)}, {"icon", ""}, {"icon_new", ""}, {"vip", 0}};
}

inline WireJson wireDomains(const std::string& mark) {
  return {{"direct_domain_g0", {mark + ".g0"}}, {"direct_domain_g1", {mark + ".g1"}}, {"switch_domain", {mark + ".sw"}},
          {"proxy", {mark + ".proxy"}},         {"unlock", {mark + ".unlock"}}};
}

inline WireJson wireNode(const std::string& id, const std::string& country = "JP") {
  return {{"node_id", id}, {"protocal", "b"}, {"unsupported", WireJson::array()}, {"name", "Node " + id},
          {"country", country}, {"port_turn", 0}, {"enabled", 2}, {"node_type", 1}};
}

// The device description every identifying body carries, as the double should receive it.
inline WireJson expectedDevice() {
  WireJson device = WireJson::object();
  for (const auto& [key, value] : DeviceInfo::parameters()) device[key] = value;
  return device;
}

// Keys of a JSON object, sorted.
inline std::vector<std::string> keysOf(const WireJson& object) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  std::sort(keys.begin(), keys.end());
  return keys;
}

// One request as a table row expects it.
struct ExpectedRequest {
  std::string method;
  std::string path;
  std::map<std::string, std::string> query;  // beyond the five common parameters
  std::optional<WireJson> body;              // none: no body at all
};

// The envelope is sound, the common query holds the signed-in user, and method, path, extra
// query and body are exactly as expected.
inline void expectRequest(const ServiceRequest& seen, const ExpectedRequest& expected, const std::string& uid) {
  EXPECT_TRUE(seen.faults.empty()) << ::testing::PrintToString(seen.faults);
  EXPECT_EQ(seen.kind, ServiceRequest::Kind::api);
  EXPECT_EQ(seen.method, expected.method);
  EXPECT_EQ(seen.path, expected.path);
  std::map<std::string, std::string> query = seen.query;
  for (const char* common : {"lang", "appId", "version", "uid", "device_id"}) {
    EXPECT_TRUE(query.contains(common)) << common;
  }
  EXPECT_EQ(query["uid"], uid);
  EXPECT_EQ(query["device_id"], DeviceInfo::ID());
  for (const char* common : {"lang", "appId", "version", "uid", "device_id"}) {
    if (!expected.query.contains(common)) query.erase(common);
  }
  EXPECT_EQ(query, expected.query);
  if (expected.body) {
    ASSERT_TRUE(seen.body.has_value()) << "no body";
    EXPECT_EQ(*seen.body, *expected.body);
  } else {
    EXPECT_FALSE(seen.bodyText.has_value()) << *seen.bodyText;
  }
}

// `answer` for every method and every path of up to six segments, in place of every script.
inline void answerEverything(ServiceDouble& service, const Answer& answer) {
  service.clearScripts();
  std::string pattern = "*";
  for (int segments = 1; segments <= 6; ++segments, pattern += "/*") {
    for (const char* method : {"GET", "PUT", "POST", "DELETE"}) service.script(method, pattern, answer);
  }
}

// A signed-in account (kUserId, kEmail) before every test.
class EndpointTest : public ::testing::Test {
 protected:
  void SetUp() override { ApiTestBed::signIn(kUserId, kEmail); }

  ServiceDouble& service() { return api.service(); }

  ApiTestBed api;
};

}  // namespace tarnel::test
