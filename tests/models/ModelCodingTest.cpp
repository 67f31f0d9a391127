// Every answer model against the same strictness table: each required key missing, null or of
// another JSON type fails the whole record; each optional key absent or null is left out on the
// way back; unknown keys are dropped; re-encoding keeps the declaration order.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "services/model/APIErrorInfo.h"
#include "services/model/CouponModels.h"
#include "services/model/DeviceModels.h"
#include "services/model/HttpDnsModels.h"
#include "services/model/LinkModels.h"
#include "services/model/LiveModels.h"
#include "services/model/LoginModels.h"
#include "services/model/NodeModels.h"
#include "services/model/NoticeModels.h"
#include "services/model/OpenModels.h"
#include "services/model/PaymentModels.h"
#include "services/model/ProductModels.h"
#include "services/model/RuleModels.h"
#include "services/model/ServerSettingsModels.h"
#include "services/model/UserModels.h"
#include "tests/models/ModelFixtures.h"

namespace tarnel {
namespace {

using namespace tarnel::test;

struct ModelCase {
  std::string name;
  std::string valid;
  std::set<std::string> optionalKeys;
  // Decodes the text and writes the model back as a JSON value; none when decoding fails.
  std::function<std::optional<Json>(const std::string&)> roundTrip;
};

template <class T>
ModelCase model(std::string name, std::string valid, std::set<std::string> optionalKeys = {}) {
  return {std::move(name), std::move(valid), std::move(optionalKeys), [](const std::string& text) -> std::optional<Json> {
            const auto value = fromJson<T>(text);
            if (!value) return std::nullopt;
            const auto written = toJson(*value);
            if (!written) return Json("toJson failed");
            return json::parse(*written);
          }};
}

// HttpDns writes itself enciphered through toJson; its record coding is the plain form.
ModelCase plainHttpDns() {
  return {"HttpDns", join({R"({"version":"v1","body":)", kHttpDnsBody, "}"}), {},
          [](const std::string& text) -> std::optional<Json> {
            HttpDns value;
            std::string error;
            const auto parsed = json::parse(text);
            if (!parsed || !json::decodeValue(*parsed, value, error)) return std::nullopt;
            return json::encodeValue(value);
          }};
}

const std::vector<ModelCase>& cases() {
  static const std::vector<ModelCase> all = {
      model<User>("User", kUser),
      model<Register>("Register", join({R"({"message":"welcome","user":)", kUser, "}"})),
      model<ConfigText>("ConfigText", R"({"LOGIN_PROMOTER_CODE":"P","APP_STORE_PLAN_DESC":"D"})"),
      model<Login>("Login", kLogin, {"other"}),
      model<Base>("Base", kBase, {"tags", "countries", "user", "emails", "proxy_rule"}),
      model<Other>("Other", kOther, {"update_version", "proxy_version", "device_count_list"}),
      model<Live>("Live", kLive),
      model<Devices>("Devices", kDevice, {"device_desc"}),
      model<DevicesResult>("DevicesResult", join({R"({"devices":[)", kDevice, "]}"})),
      model<UpgradeInfo>("UpgradeInfo", R"({"days":"30","days_less":"10","days_lave":"20"})"),
      model<APIErrorInfo>("APIErrorInfo",
                          join({R"({"errCode":3303,"errMsg":"too many","devices":[)", kDevice,
                                R"(],"timestamp":1700000000123,"uid":"u9"})"}),
                          {"devices", "timestamp", "uid"}),
      model<Share>("Share", R"({"code":"INV42"})"),
      model<ProductDetails>("ProductDetails", R"({"id":"p.month","title":"Month","price":"$9.99","rawPrice":9.99,
        "currencySymbol":"$","originalPrice":12.99})"),
      model<OpenNode>("OpenNode", kOpenNode),
      model<Node>("Node", kNode, {"port_turn", "node_type", "tags", "uptime"}),
      model<Nodes>("Nodes", join({R"({"nodes":[)", kNode, "]}"})),
      model<NodeUpTime>("NodeUpTime", R"({"uptime":{"n1":99,"n2":5}})"),
      model<Country>("Country", kCountry),
      model<Tag>("Tag", kTag),
      model<OpenTrun>("OpenTrun", kOpenTrun),
      model<Open>("Open", join({R"({"turn":)", kOpenTrun, R"(,"ts":1,"status":2,"max_age":3,"message":"ok","node":)",
                                kOpenNode, "}"}),
                  {"turn"}),
      model<ProxyRule>("ProxyRule", kProxyRule),
      model<Domains>("Domains", R"({"direct_domain_g0":["a.cn"],"direct_domain_g1":["b.cn"],"switch_domain":["s"],
        "proxy":["p.com"],"unlock":["u.com"]})"),
      model<PaymentPlansPackages>("PaymentPlansPackages", R"({"time":12,"apple_id":"io.year"})"),
      model<PaymentPlans>("PaymentPlans", R"({"packages":[{"time":1,"apple_id":"io.month"},{"time":12,"apple_id":"io.year"}]})"),
      model<CouponCard>("CouponCard", kCard),
      model<CouponRoll>("CouponRoll", kRoll),
      model<Coupon>("Coupon", join({R"({"cards":[)", kCard, R"(],"rolls":[)", kRoll, "]}"})),
      model<Notice>("Notice", kNotice),
      model<Notices>("Notices", join({R"({"notices":[)", kNotice, "]}"})),
      model<Link>("Link", kLink, {"link"}),
      model<PromoteLink>("PromoteLink", R"({"link":"https://promo/x"})"),
      model<OriginDns>("OriginDns", R"({"version":"v1","body":"00ff"})"),
      model<HttpDnsBodyDns>("HttpDnsBodyDns", kDnsEntry),
      model<HttpDnsBodyUrls>("HttpDnsBodyUrls", kUrls),
      model<HttpDnsBodyClip>("HttpDnsBodyClip", kClip),
      model<HttpDnsBodyNavi>("HttpDnsBodyNavi", kNavi),
      model<HttpDnsBody>("HttpDnsBody", kHttpDnsBody),
      plainHttpDns(),
  };
  return all;
}

Json parsed(const std::string& text) {
  auto value = json::parse(text);
  EXPECT_TRUE(value) << text;
  return value.value_or(Json());
}

// Values of other JSON types than `value` that a strict decoder must refuse in its place.
std::vector<Json> wrongTypes(const Json& value) {
  std::vector<Json> out;
  if (value.is_string()) {
    out = {42, true, Json::array(), Json::object()};
  } else if (value.is_boolean()) {
    out = {1, "true"};
  } else if (value.is_number_integer() || value.is_number_unsigned()) {
    out = {"7", true, 1.5, Json::array()};
  } else if (value.is_number_float()) {
    out = {"1.5", false};
  } else if (value.is_array()) {
    out = {"x", Json::object()};
    if (!value.empty()) {
      Json bad = value;
      bad[0] = wrongTypes(value[0]).front();  // one bad element spoils the list
      out.push_back(bad);
    }
  } else if (value.is_object()) {
    out = {Json::array(), "x"};
    if (!value.empty()) {
      Json bad = value;
      bad.begin().value() = wrongTypes(bad.begin().value()).front();
      out.push_back(bad);
    }
  }
  return out;
}

std::string dumpCompact(const Json& j) { return j.dump(); }

TEST(ModelCoding, ValidObjectsRoundTripInDeclarationOrder) {
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const Json valid = parsed(c.valid);
    const auto written = c.roundTrip(c.valid);
    ASSERT_TRUE(written) << "valid object did not decode";
    // ordered_json compares key order too.
    EXPECT_EQ(*written, valid) << dumpCompact(*written);
  }
}

TEST(ModelCoding, EveryRequiredKeyMissingNullOrMistypedFailsTheRecord) {
  for (const auto& c : cases()) {
    const Json valid = parsed(c.valid);
    for (auto it = valid.begin(); it != valid.end(); ++it) {
      const std::string key = it.key();
      if (c.optionalKeys.count(key)) continue;
      SCOPED_TRACE(c.name + "." + key);
      Json missing = valid;
      missing.erase(key);
      EXPECT_FALSE(c.roundTrip(missing.dump())) << "missing key accepted";
      Json null = valid;
      null[key] = nullptr;
      EXPECT_FALSE(c.roundTrip(null.dump())) << "null accepted";
      for (const Json& wrong : wrongTypes(it.value())) {
        Json mistyped = valid;
        mistyped[key] = wrong;
        EXPECT_FALSE(c.roundTrip(mistyped.dump())) << "accepted " << wrong.dump();
      }
    }
  }
}

TEST(ModelCoding, OptionalKeysAbsentOrNullAreLeftOutButMistypedStillFail) {
  for (const auto& c : cases()) {
    const Json valid = parsed(c.valid);
    for (const auto& key : c.optionalKeys) {
      SCOPED_TRACE(c.name + "." + key);
      ASSERT_TRUE(valid.contains(key)) << "fixture lacks the optional key";
      Json expected = valid;
      expected.erase(key);

      const auto absent = c.roundTrip(expected.dump());
      ASSERT_TRUE(absent) << "absent optional refused";
      EXPECT_EQ(*absent, expected);

      Json null = valid;
      null[key] = nullptr;
      const auto fromNull = c.roundTrip(null.dump());
      ASSERT_TRUE(fromNull) << "null optional refused";
      EXPECT_EQ(*fromNull, expected) << "null must come back as no key at all";

      for (const Json& wrong : wrongTypes(valid[key])) {
        Json mistyped = valid;
        mistyped[key] = wrong;
        EXPECT_FALSE(c.roundTrip(mistyped.dump())) << "accepted " << wrong.dump();
      }
    }
  }
}

TEST(ModelCoding, UnknownKeysAreIgnoredAndNotWrittenBack) {
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const Json valid = parsed(c.valid);
    Json extra = valid;
    extra["unexpected"] = {{"nested", {1, 2, 3}}};
    extra["protocol"] = "spelled the common way";
    const auto written = c.roundTrip(extra.dump());
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, valid);
  }
}

TEST(ModelCoding, TextsThatAreNoObjectFail) {
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    for (const char* text : {"", "null", "[]", "\"x\"", "42", "{", "{}x", "{\"a\":1,}"}) {
      EXPECT_FALSE(c.roundTrip(text)) << text;
    }
    const Json valid = parsed(c.valid);
    EXPECT_FALSE(c.roundTrip(Json::array({valid}).dump())) << "an array holding the object";
  }
}

}  // namespace
}  // namespace tarnel
