// Account, status, settings, node and error models: what their values mean once decoded.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "services/model/APIErrorInfo.h"
#include "services/model/CouponModels.h"
#include "services/model/DeviceModels.h"
#include "services/model/HttpDnsModels.h"
#include "services/model/LiveModels.h"
#include "services/model/LoginModels.h"
#include "services/model/NodeModels.h"
#include "services/model/NoticeModels.h"
#include "services/model/OpenModels.h"
#include "services/model/PaymentModels.h"
#include "services/model/ProductModels.h"
#include "tests/models/ModelFixtures.h"

namespace tarnel {
namespace {

using namespace tarnel::test;

Json object(const std::string& text) {
  auto value = json::parse(text);
  EXPECT_TRUE(value) << text;
  return value.value_or(Json::object());
}

template <class T>
Json encoded(const T& value) {
  auto text = toJson(value);
  EXPECT_TRUE(text);
  return json::parse(text.value_or("{}")).value_or(Json());
}

TEST(AccountModels, DecodedValuesLandInTheirFields) {
  const auto login = fromJson<Login>(kLogin);
  ASSERT_TRUE(login);
  EXPECT_EQ(login->user.id, "u1");
  EXPECT_EQ(login->user.alterid, 4);
  EXPECT_EQ(login->user.expired_svip, 300);
  EXPECT_EQ(login->max_age, 5);
  EXPECT_EQ(login->expired_vip, 1700000000);
  EXPECT_EQ(login->expired_svip, 2);
  ASSERT_EQ(login->tags.size(), 1u);
  EXPECT_EQ(login->tags[0].icon_new, "https://x/i.png");
  ASSERT_EQ(login->countries.size(), 1u);
  EXPECT_EQ(login->countries[0].tags, (std::vector<std::int64_t>{7, 8}));
  ASSERT_TRUE(login->other);
  EXPECT_EQ(login->other->update_version, 6);
  EXPECT_EQ(login->other->protocal_priority_vless, "v");
  EXPECT_EQ(login->other->lite_update_interval, 6);
  EXPECT_EQ(login->other->load_refresh_interval, 3);
  EXPECT_EQ(login->other->device_count_list, "3,5,10");
  EXPECT_EQ(login->config_text.LOGIN_PROMOTER_CODE, "PROMO");
  EXPECT_EQ(login->config_text.APP_STORE_PLAN_DESC, "desc");

  const auto live = fromJson<Live>(kLive);
  ASSERT_TRUE(live);
  EXPECT_EQ(live->max_age, 9);
  EXPECT_EQ(live->ports, (std::vector<std::int64_t>{443, 8443}));
  EXPECT_EQ(live->ports_trojan, (std::vector<std::int64_t>{443}));
  EXPECT_EQ(live->device_count, 5);
  EXPECT_EQ(live->link.text.at("zh"), "公告");
  EXPECT_EQ(live->link.link, "https://x/news");
  EXPECT_EQ(live->other.node_updated_at, "n1");

  const auto node = fromJson<Node>(kNode);
  ASSERT_TRUE(node);
  EXPECT_EQ(node->protocal, "v");
  EXPECT_EQ(node->port_turn, 1);
  EXPECT_EQ(node->enabled, 2);
  EXPECT_EQ(node->node_type, 3);
  EXPECT_EQ(node->uptime, 99);

  const auto open = fromJson<Open>(join({R"({"ts":1,"status":2,"max_age":3,"message":"ok","node":)", kOpenNode, "}"}));
  ASSERT_TRUE(open);
  EXPECT_FALSE(open->turn);
  EXPECT_EQ(open->node.domain, "d.example");
  EXPECT_EQ(open->node.port, 443);
}

TEST(AccountModels, UserFlagsFollowStatusAndDeviceMode) {
  struct Case {
    std::int64_t email_status;
    std::string hot;
    bool guest, verified, multiple;
  };
  const Case cases[] = {
      {0, "3", true, false, true},   {1, "1", false, false, false}, {2, "3", false, true, true},
      {-1, "03", false, false, false}, {2, " 3", false, true, false}, {0, "3 ", true, false, false},
      {3, "", false, false, false},
  };
  for (const auto& c : cases) {
    Json user = object(kUser);
    user["email_status"] = c.email_status;
    user["hot"] = c.hot;
    const auto decoded = fromJson<User>(user.dump());
    ASSERT_TRUE(decoded);
    SCOPED_TRACE(user.dump());
    EXPECT_EQ(decoded->isGuest(), c.guest);
    EXPECT_EQ(decoded->verifyed(), c.verified);
    EXPECT_EQ(decoded->isMultipleDevices(), c.multiple);
    // Derived flags are never written.
    const Json back = encoded(*decoded);
    EXPECT_EQ(back.size(), 17u);
    EXPECT_FALSE(back.contains("isGuest") || back.contains("verifyed") || back.contains("isMultipleDevices"));
  }
  EXPECT_TRUE(User{}.isGuest()) << "the empty account record reads as a guest";
}

TEST(AccountModels, DefaultsDifferFromWhatDecodingGives) {
  // Made without arguments: optionals present with their defaults.
  const Login login;
  EXPECT_EQ(login.max_age, 0);
  ASSERT_TRUE(login.other);
  EXPECT_EQ(login.other->update_version, 0);
  EXPECT_EQ(login.other->proxy_version, "");
  EXPECT_EQ(login.other->device_count_list, "");
  const Json written = encoded(login);
  EXPECT_TRUE(written.contains("other"));
  EXPECT_TRUE(written["other"].contains("proxy_version"));

  const Live live;
  EXPECT_EQ(live.max_age, -1);
  EXPECT_EQ(live.device_count, 3);
  EXPECT_EQ(live.link.link, "");
  EXPECT_FALSE(live.link.show);

  const UpgradeInfo upgrade;
  EXPECT_EQ(encoded(upgrade), object(R"({"days":"0","days_less":"0","days_lave":"0"})"));
  EXPECT_EQ(encoded(Base{}), object(R"({"tags":[],"countries":[],"user":)" + encoded(User{}).dump() +
                                   R"(,"emails":[],"proxy_rule":{"direct":[],"proxy":[],"block":[]}})"));
  EXPECT_EQ(HttpDnsBody{}.cs, kDefaultCustomerServiceEmail);
  EXPECT_FALSE(HttpDnsBody{}.cs.empty());

  // Decoded without the optional keys: absent, not the defaults.
  Json other = object(kOther);
  other.erase("update_version");
  other.erase("proxy_version");
  other.erase("device_count_list");
  const auto decodedOther = fromJson<Other>(other.dump());
  ASSERT_TRUE(decodedOther);
  EXPECT_FALSE(decodedOther->update_version);
  EXPECT_FALSE(decodedOther->proxy_version);
  EXPECT_FALSE(decodedOther->device_count_list);

  Json link = object(kLink);
  link.erase("link");
  const auto noLink = fromJson<Link>(link.dump());
  ASSERT_TRUE(noLink);
  EXPECT_FALSE(noLink->link) << "a missing link is no value, not the empty text";
  link["link"] = "";
  const auto emptyLink = fromJson<Link>(link.dump());
  ASSERT_TRUE(emptyLink);
  EXPECT_EQ(emptyLink->link, "") << "an empty string stays a value";
  EXPECT_TRUE(encoded(*emptyLink).contains("link"));

  const auto emptyBase = fromJson<Base>("{}");
  ASSERT_TRUE(emptyBase);
  EXPECT_FALSE(emptyBase->tags || emptyBase->countries || emptyBase->user || emptyBase->emails ||
               emptyBase->proxy_rule);
  EXPECT_EQ(encoded(*emptyBase), Json::object());
  const auto emptyTags = fromJson<Base>(R"({"tags":[]})");
  ASSERT_TRUE(emptyTags && emptyTags->tags);
  EXPECT_TRUE(emptyTags->tags->empty());
}

TEST(AccountModels, ANestedFailureFailsTheWholeAnswer) {
  Json otherWithoutRetry = object(kOther);
  otherWithoutRetry.erase("node_retry");
  Json login = object(kLogin);
  login["other"] = otherWithoutRetry;
  Json live = object(kLive);
  live["other"] = otherWithoutRetry;
  Json liveWithoutOther = object(kLive);
  liveWithoutOther.erase("other");
  Json registerWithoutSvip = object(join({R"({"message":"m","user":)", kUser, "}"}));
  registerWithoutSvip["user"].erase("visibility_svip");
  Json nodes = object(join({R"({"nodes":[)", kNode, ",", kNode, "]}"}));
  nodes["nodes"][1]["enabled"] = "2";
  Json openTurnWithoutPorts =
      object(join({R"({"turn":)", kOpenTrun, R"(,"ts":1,"status":2,"max_age":3,"message":"ok","node":)", kOpenNode, "}"}));
  openTurnWithoutPorts["turn"].erase("ports");
  Json openNodeWithoutDomain = openTurnWithoutPorts;
  openNodeWithoutDomain.erase("turn");
  openNodeWithoutDomain["node"].erase("domain");
  Json errorWithBadDevice = object(join({R"({"errCode":3303,"errMsg":"x","devices":[)", kDevice, "]}"}));
  errorWithBadDevice["devices"][0].erase("updated_at");
  Json plans = object(R"({"packages":[{"time":1,"apple_id":"a"},{"time":"12","apple_id":"b"}]})");
  Json notices = object(join({R"({"notices":[)", kNotice, ",", kNotice, "]}"}));
  notices["notices"][1].erase("auto_pop_up");

  EXPECT_FALSE(fromJson<Login>(login.dump()));
  EXPECT_FALSE(fromJson<Live>(live.dump()));
  EXPECT_FALSE(fromJson<Live>(liveWithoutOther.dump())) << "other is required in a status answer";
  EXPECT_FALSE(fromJson<Register>(registerWithoutSvip.dump()));
  EXPECT_FALSE(fromJson<Nodes>(nodes.dump()));
  EXPECT_FALSE(fromJson<Open>(openTurnWithoutPorts.dump()));
  EXPECT_FALSE(fromJson<Open>(openNodeWithoutDomain.dump()));
  EXPECT_FALSE(fromJson<APIErrorInfo>(errorWithBadDevice.dump()));
  EXPECT_FALSE(fromJson<PaymentPlans>(plans.dump()));
  EXPECT_FALSE(fromJson<Notices>(notices.dump()));
}

TEST(AccountModels, NodesBuiltByHandAndSparseNodes) {
  const Node made("n9", "t", {"v"}, "Osaka", "JP", 1, 2, 3);
  EXPECT_EQ(encoded(made), object(R"({"node_id":"n9","protocal":"t","unsupported":["v"],"name":"Osaka",
    "country":"JP","port_turn":1,"enabled":2,"node_type":3,"tags":[],"uptime":0})"));

  const char* sparse = R"({"node_id":"n1","protocal":"v","unsupported":[],"name":"A","country":"JP","enabled":2})";
  for (const char* text : {sparse, R"({"node_id":"n1","protocal":"v","unsupported":[],"name":"A","country":"JP",
        "enabled":2,"port_turn":null,"node_type":null,"tags":null,"uptime":null})"}) {
    const auto node = fromJson<Node>(text);
    ASSERT_TRUE(node) << text;
    EXPECT_FALSE(node->port_turn || node->node_type || node->tags || node->uptime);
    EXPECT_EQ(encoded(*node), object(sparse));
  }
  EXPECT_FALSE(fromJson<Node>(R"({"node_id":"n1","protocol":"v","unsupported":[],"name":"A","country":"JP",
    "enabled":2})"));

  const auto upTime = fromJson<NodeUpTime>(R"({"uptime":{}})");
  ASSERT_TRUE(upTime);
  EXPECT_TRUE(upTime->uptime.empty());
}

TEST(AccountModels, FetchMaskNamesTheStaleParts) {
  const Other base = *fromJson<Other>(kOther);
  auto with = [&](auto change) {
    Other o = base;
    change(o);
    return o;
  };
  Other noProxy = with([](Other& o) { o.proxy_version.reset(); });
  struct Case {
    const char* what;
    Other fresh;
    std::optional<Other> stored;
    std::int64_t mask;
  };
  const Case cases[] = {
      {"nothing changed", base, base, 0},
      {"no stored settings, fresh proxy version absent", noProxy, std::nullopt, 7},
      {"no stored settings, fresh proxy version present", base, std::nullopt, 23},
      {"country", with([](Other& o) { o.country_version = "c2"; }), base, 1},
      {"tag", with([](Other& o) { o.tag_version = "t2"; }), base, 2},
      {"user", with([](Other& o) { o.user_version = "u2"; }), base, 4},
      {"proxy", with([](Other& o) { o.proxy_version = "pv2"; }), base, 16},
      {"proxy absent on both sides", noProxy, noProxy, 0},
      {"proxy absent only in the fresh answer", noProxy, base, 16},
      {"proxy absent only in the stored one", base, noProxy, 16},
      {"absent differs from the empty text", noProxy, with([](Other& o) { o.proxy_version = ""; }), 16},
      {"case matters", with([](Other& o) { o.tag_version = "T1"; }), base, 2},
      {"spaces matter", with([](Other& o) { o.country_version = "c1 "; }), base, 1},
      {"everything", with([](Other& o) {
         o.country_version = "x";
         o.tag_version = "x";
         o.user_version = "x";
         o.proxy_version = "x";
       }),
       base, 23},
      {"other stamps are not compared", with([](Other& o) {
         o.app_domain_version = "d9";
         o.node_updated_at = "n9";
         o.notice_version = "x";
       }),
       base, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fetchMask(c.fresh, c.stored), c.mask) << c.what;
  }
}

TEST(ErrorValue, DecodesTheServerAnswerAndEncodesOwnFailures) {
  const auto refused = fromJson<APIErrorInfo>(R"({"errCode":3303,"errMsg":"too many devices","devices":[]})");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->errCode, APIErrorCode::serverTooManyDevices);
  ASSERT_TRUE(refused->devices);
  EXPECT_TRUE(refused->devices->empty());
  EXPECT_FALSE(refused->timestamp) << "absent, not the constructor's 0";
  EXPECT_FALSE(refused->uid);
  EXPECT_EQ(encoded(*refused), object(R"({"errCode":3303,"errMsg":"too many devices","devices":[]})"));

  const auto clock = fromJson<APIErrorInfo>(R"({"errCode":4000,"errMsg":"","timestamp":null,"uid":null})");
  ASSERT_TRUE(clock);
  EXPECT_FALSE(clock->timestamp);
  EXPECT_FALSE(clock->uid);

  const auto cancelled = APIErrorInfo::make(APIErrorCode::cancelled, APIErrorText::cancelled);
  EXPECT_EQ(encoded(*cancelled), object(R"({"errCode":10008,"errMsg":"vpn_cancel","timestamp":0})"));
  EXPECT_EQ(encoded(APIErrorInfo(APIErrorCode::modelError, std::string(APIErrorText::modelError))),
            object(R"({"errCode":500,"errMsg":"response turn to model error","timestamp":0})"));

  for (const char* bad : {R"({"errCode":1})", R"({"errCode":"1","errMsg":"x"})", R"({"errCode":1,"errMsg":null})",
                          R"({"errCode":1,"errMsg":"x","timestamp":"5"})", R"({"errCode":1,"errMsg":"x","uid":5})"}) {
    EXPECT_FALSE(fromJson<APIErrorInfo>(bad)) << bad;
  }
}

TEST(ErrorValue, FailedDecodesAreSilentOnlyForTheErrorValue) {
  const char* notAnError = R"({"max_age":1})";
  testing::internal::CaptureStdout();
  EXPECT_FALSE(fromJson<APIErrorInfo>(notAnError));
  EXPECT_FALSE(fromJson<APIErrorInfo>("not json"));
  EXPECT_FALSE(fromJson<User>(""));
  const std::string silent = testing::internal::GetCapturedStdout();
  EXPECT_EQ(silent, "");

  testing::internal::CaptureStdout();
  EXPECT_FALSE(fromJson<Live>(notAnError));
  const std::string logged = testing::internal::GetCapturedStdout();
  EXPECT_NE(logged.find("[Error]"), std::string::npos) << logged;
  EXPECT_NE(logged.find("Error decoding JSON: "), std::string::npos) << logged;
  EXPECT_NE(logged.find("expired"), std::string::npos) << "the reason names the key: " << logged;
}

TEST(NumberCoding, WholeNumbersWhereTheServerMayWriteThemAsReals) {
  struct Case {
    const char* time;
    std::optional<std::int64_t> expected;
  };
  const Case cases[] = {
      {"12", 12},        {"12.0", 12},   {"1e3", 1000},  {"-0.0", 0},         {"-12", -12},
      {"12.5", {}},      {"\"12\"", {}}, {"true", {}},   {"9.3e18", {}},      {"-9.3e18", {}},
      {"9223372036854775807", INT64_MAX}, {"9223372036854775808", {}}, {"-9223372036854775808", INT64_MIN},
      {"1e400", {}},
  };
  for (const auto& c : cases) {
    const std::string text = std::string(R"({"time":)") + c.time + R"(,"apple_id":"a"})";
    const auto plan = fromJson<PaymentPlansPackages>(text);
    ASSERT_EQ(plan.has_value(), c.expected.has_value()) << text;
    if (plan) {
      EXPECT_EQ(plan->time, *c.expected) << text;
    }
  }
  const auto card = fromJson<CouponCard>(R"({"id":11.0,"expired":1.7e12,"num":2,"type":1.0,"unit":3.0})");
  ASSERT_TRUE(card);
  EXPECT_EQ(card->id, 11);
  EXPECT_EQ(card->expired, 1700000000000);
  EXPECT_DOUBLE_EQ(card->num, 2.0);
  EXPECT_EQ(encoded(*card), object(R"({"id":11,"expired":1700000000000,"num":2.0,"type":1,"unit":3})"));

  // Every other integer key reads whole-valued reals too, and still refuses fractions, booleans
  // and texts.
  const auto notice =
      fromJson<Notice>(R"({"id":9.0,"notice_at":"x","title":"T","summary":"S","type":1e0,"auto_pop_up":0.0})");
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice->id, 9);
  const auto node = fromJson<OpenNode>(R"({"server":"s","host":"h","domain":"d","port":443.0})");
  ASSERT_TRUE(node);
  EXPECT_EQ(node->port, 443);
  for (const char* port : {"443.5", "true", "\"443\"", "1e300", "-1.5"}) {
    EXPECT_FALSE(fromJson<OpenNode>(std::string(R"({"server":"s","host":"h","domain":"d","port":)") + port + "}"))
        << port;
  }

  // Reals take integers as well.
  const auto product = fromJson<ProductDetails>(
      R"({"id":"p","title":"t","price":"$12","rawPrice":12,"currencySymbol":"$","originalPrice":20})");
  ASSERT_TRUE(product);
  EXPECT_DOUBLE_EQ(product->rawPrice, 12.0);
  EXPECT_DOUBLE_EQ(product->originalPrice, 20.0);
}

TEST(NumberCoding, NonFiniteRealsAreNotWrittenAsNull) {
  for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()}) {
    const ProductDetails product{"p", "Plan", "$1", bad, "$", 1.0};
    testing::internal::CaptureStdout();
    EXPECT_FALSE(toJson(product)) << bad;
    EXPECT_EQ(toMap(product), Json::object()) << bad;
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Error encoding JSON: "), std::string::npos) << log;

    const Coupon coupon({CouponCard(1, 0, bad, 1, 1)}, {});
    EXPECT_FALSE(toJson(coupon)) << bad;
  }
  // A finite extreme is still written, and reads back.
  const ProductDetails large{"p", "Plan", "$1", std::numeric_limits<double>::max(), "$", -0.0};
  const auto text = toJson(large);
  ASSERT_TRUE(text);
  const auto back = fromJson<ProductDetails>(*text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->rawPrice, std::numeric_limits<double>::max());
}

}  // namespace
}  // namespace tarnel
