// The signed, enciphered request path against the service double: envelope, clock correction,
// failover with the shared budget, the failure records and the judging of every kind of answer.
#include <chrono>
#include <functional>
#include <thread>

#include "services/model/NodeModels.h"
#include "tests/api/ApiFixture.h"

namespace tarnel::test {
namespace {

WireJson recordJson(const LogUpload& upload, const std::string& key) {
  return WireJson::parse(upload.record.value(key, ""), nullptr, false);
}

TEST_F(ApiTest, RejectedTimeStampCorrectsTheClockAndResendsTheSameSecret) {
  discover();
  api->script("GET", "lite/ping", Answer::model({{"ok", true}}));
  const struct {
    std::string name;
    std::function<void()> arrange;
    size_t attempts;
    int64_t errCode;  // 0: success
    int64_t offsetMs;  // expected server clock offset, within a few seconds
  } cases[] = {
      {"server clock an hour ahead", [&] { api->setClockOffset(1h); }, 2, 0, 3'600'000},
      {"one rejection with the server time", [&] { api->setMode(ServiceDouble::Mode::rejectTimestamp, 1); }, 2, 0, 0},
      {"rejection without a time", [&] { api->enqueue("GET", "lite/ping", Answer::error(4000, "t", 403)); }, 1,
       4000, 0},
      {"rejection with time 0",
       [&] { api->enqueue("GET", "lite/ping", Answer::error(4000, "t", 403, {{"timestamp", 0}})); }, 1, 4000, 0},
      {"server that keeps rejecting", [&] { api->setMode(ServiceDouble::Mode::rejectTimestamp); }, 3, 4000, 0},
      {"403 with another code", [&] { api->enqueue("GET", "lite/ping", Answer::error(4001, "s", 403)); }, 1, 4001,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Global::setServerTimeOffset(0);
    api->clearRequests();
    c.arrange();

    const auto result = APIRequest().perform<bool>("lite/ping", HttpMethod::GET);
    api->setMode(ServiceDouble::Mode::normal);
    api->setClockOffset(0ms);

    const auto seen = api->requests("GET", "lite/ping");
    ASSERT_EQ(seen.size(), c.attempts);
    EXPECT_EQ(result.isSuccess(), c.errCode == 0);
    if (c.errCode != 0) {
      EXPECT_EQ(result.error()->errCode, c.errCode);
    }
    EXPECT_NEAR(static_cast<double>(Global::serverTimeOffset()), static_cast<double>(c.offsetMs), 5000.0);
    for (size_t i = 1; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].secret, seen[0].secret) << "one secret per call";
      // Each resend is stamped and signed afresh on the corrected clock: never before the time the
      // double answered the attempt before it (its clock on that arrival). Two stamps may be the
      // same millisecond when the clocks agree, so the signs alone tell nothing.
      ASSERT_TRUE(seen[i].timestamp.has_value());
      EXPECT_GE(*seen[i].timestamp, seen[i - 1].receivedAtMs) << "attempt " << i << " kept an old time stamp";
      expectCleanEnvelopes({seen[i]});
    }
    if (c.errCode == 0) {
      expectCleanEnvelopes({seen.back()});
    }
  }
  EXPECT_EQ(apiRecords(), 0u) << "a rejected time stamp is not a transport failure";
}

TEST_F(ApiTest, TransportFailureMovesToTheNextHostAndSpendsTheSharedBudget) {
  auto second = bed.startService(3);
  discover({api->address(), second->address()});
  for (auto* s : {api.get(), second.get()}) {
    s->script("GET", "lite/ping", Answer::model({{"ok", true}}));
    s->script("GET", "lite/nodes", Answer::model({{"nodes", WireJson::array()}}));
  }
  ASSERT_EQ(DNS::shared().dnsApi().size(), 2u);
  const auto backToFirstHost = [] {
    if (DNS::shared().apiIndex() != 0) DNS::shared().nextHost();
    DNS::shared().setRetryCount(2);
  };

  const struct {
    ServiceDouble::Mode mode;
    std::string errCode;  // empty: a negative engine code
  } failures[] = {{ServiceDouble::Mode::status525, "525"}, {ServiceDouble::Mode::drop, ""}};
  for (const auto& f : failures) {
    SCOPED_TRACE(f.errCode.empty() ? "dropped connection" : "525");
    backToFirstHost();
    api->clearRequests();
    second->clearRequests();
    const size_t recordsBefore = apiRecords();
    api->setMode(f.mode, 1);

    const auto result = APIRequest().perform<bool>("lite/ping", HttpMethod::GET);
    ASSERT_TRUE(result.isSuccess());
    EXPECT_EQ(result.value(), true);
    ASSERT_EQ(api->requests("GET", "lite/ping").size(), 1u);
    const auto moved = second->requests("GET", "lite/ping");
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].secret, api->requests("GET", "lite/ping")[0].secret);
    EXPECT_EQ(moved[0].host, ServiceTestBed::kApiDomain);
    expectCleanEnvelopes(moved);
    EXPECT_EQ(DNS::shared().retryCount(), 1);
    EXPECT_EQ(DNS::shared().apiIndex(), 1);

    const auto records = bed.logs()->accepted("ERROR_API");
    ASSERT_EQ(records.size(), recordsBefore + 1);
    const auto& r = records.back().record;
    EXPECT_EQ(r["baseUrl"], "https://" + api->address() + "/v6");
    EXPECT_EQ(r["path"], "lite/ping");
    EXPECT_EQ(r["method"], "GET");
    EXPECT_EQ(r["request"], "null");
    EXPECT_NE(r["err_msg"], "");
    if (f.errCode.empty()) {
      EXPECT_EQ(r["err_code"].get<std::string>().rfind('-', 0), 0u) << r["err_code"];
    } else {
      EXPECT_EQ(r["err_code"], f.errCode);
    }
  }

  // Both hosts down: a budget of two gives two attempts, an empty one a single attempt.
  backToFirstHost();
  api->setMode(ServiceDouble::Mode::drop);
  second->setMode(ServiceDouble::Mode::drop);
  for (const size_t attempts : {2u, 1u}) {
    api->clearRequests();
    second->clearRequests();
    const size_t recordsBefore = apiRecords();
    const auto result = APIRequest().perform<bool>("lite/ping", HttpMethod::GET);
    ASSERT_FALSE(result.isSuccess());
    EXPECT_EQ(result.error()->errCode, -1);
    EXPECT_EQ(result.error()->errMsg, "network error.");
    EXPECT_EQ(result.response(), nullptr);
    EXPECT_EQ(api->requestCount() + second->requestCount(), attempts);
    EXPECT_EQ(apiRecords(), recordsBefore + attempts);
  }

  // An answer that reaches model decoding gives every call its budget back.
  api->setMode(ServiceDouble::Mode::normal);
  second->setMode(ServiceDouble::Mode::normal);
  EXPECT_TRUE(APIRequest().perform<std::optional<Nodes>>("lite/nodes", HttpMethod::GET).isSuccess());
  EXPECT_EQ(DNS::shared().retryCount(), 2);
}

TEST_F(ApiTest, FailoverFromAnAddressToANamedHostSendsThatHostsOwnName) {
  // Only "localhost" names loopback without a resolver: its double needs 443 on 127.0.0.1.
  std::unique_ptr<ServiceDouble> named;
  for (int i = 0; i < 300 && !named; ++i) {
    try {
      named = std::make_unique<ServiceDouble>(bed.leaf(), "127.0.0.1", 443, "localhost");
    } catch (const std::runtime_error&) {
      std::this_thread::sleep_for(100ms);
    }
  }
  ASSERT_TRUE(named) << "127.0.0.1:443 stayed busy";
  WireJson body = wire::discoveryBody(ServiceTestBed::kApiDomain, {api->address()});
  body["urls"]["apiReserve2"] = "localhost";
  api->setDiscovery(body);
  DNS::setDeploymentForTesting({{{ServiceTestBed::endpoint(*api)}}, ServiceTestBed::kSiteName});
  ASSERT_TRUE(DNS::shared().initDNS());
  ASSERT_EQ(DNS::shared().dnsApi(), (std::vector<DNS::API>{{api->address(), "api.test"}, {"localhost", "localhost"}}));

  named->script("GET", "lite/ping", Answer::model({{"ok", true}}));
  api->setMode(ServiceDouble::Mode::drop, 1);
  EXPECT_TRUE(APIRequest().perform<bool>("lite/ping", HttpMethod::GET).isSuccess());

  EXPECT_EQ(api->requests("GET", "lite/ping").at(0).host, "api.test");
  const auto seen = named->requests("GET", "lite/ping");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].host, "localhost") << "the Host header of the address must not follow the request";
  EXPECT_EQ(seen[0].sni, "localhost");
  expectCleanEnvelopes(seen);
}

TEST_F(ApiTest, ErrorMessageLineFollowsTheLanguage) {
  discover();
  const struct {
    std::string language;
    std::string sent;
    std::string shown;
  } cases[] = {
      {"en", "A", "A"},
      {"en", "节点已满\nnode is full", "node is full"},
      {"zh-Hans", "节点已满\nnode is full", "节点已满"},
      {"zh-Hant", "节点已满\nnode is full", "节点已满"},
      {"en", "\nB", "\nB"},
      {"en", "节点已满\n\nnode is full\n", "node is full"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.language + " " + c.sent);
    Global::setLanguage(c.language);
    api->enqueue("GET", "lite/message", Answer::error(3301, c.sent, 400));
    const auto result = APIRequest().perform<std::optional<Nodes>>("lite/message", HttpMethod::GET);
    ASSERT_FALSE(result.isSuccess());
    EXPECT_EQ(result.error()->errCode, 3301);
    EXPECT_EQ(result.error()->errMsg, c.shown);
    ASSERT_NE(result.response(), nullptr);
    EXPECT_EQ(result.response()->statusCode, 400);
  }
}

// One line per result type: "ok:<value>", "ok:none", or "err:<code>:<message>[:answer]".
template <class T>
std::string describe(const APIResult<T>& r, const std::function<std::string(const typename APIResult<T>::Value&)>& show) {
  if (r.isSuccess()) return r.value() ? "ok:" + show(*r.value()) : "ok:none";
  return "err:" + std::to_string(r.error()->errCode) + ":" + r.error()->errMsg + (r.response() ? ":answer" : "");
}

TEST_F(ApiTest, EveryKindOfAnswerIsJudgedByTheResultType) {
  discover();
  const auto nodes = [](const Nodes& n) { return "nodes:" + std::to_string(n.nodes.size()); };
  const auto run = [&] {
    std::vector<std::string> got;
    got.push_back(describe<std::optional<Nodes>>(
        APIRequest().perform<std::optional<Nodes>>("lite/kind", HttpMethod::GET), nodes));
    got.push_back(describe<Nodes>(APIRequest().perform<Nodes>("lite/kind", HttpMethod::GET), nodes));
    got.push_back(describe<std::shared_ptr<HttpResponse>>(
        APIRequest().perform<std::shared_ptr<HttpResponse>>("lite/kind", HttpMethod::GET),
        [](const std::shared_ptr<HttpResponse>& a) { return "status " + std::to_string(a->statusCode); }));
    got.push_back(describe<bool>(APIRequest().perform<bool>("lite/kind", HttpMethod::GET),
                                 [](bool b) { return std::string(b ? "true" : "false"); }));
    got.push_back(describe<std::string>(APIRequest().perform<std::string>("lite/kind", HttpMethod::GET),
                                        [](const std::string& s) { return s; }));
    return got;
  };
  const std::string model500 = "err:500:response turn to model error:answer";
  const std::string garbage = "<html><body>502 upstream went away</body></html>";
  const struct {
    std::string name;
    Answer answer;
    std::vector<std::string> expected;  // optional model, model, raw, bool, text
  } cases[] = {
      {"204 without body", Answer::empty(204), {"ok:none", "ok:none", "ok:none", "ok:none", "ok:none"}},
      {"400 without body", Answer::empty(400),
       std::vector<std::string>(5, "err:400:empty response:answer")},
      {"404 with a page", Answer::garbage(404),
       {"err:-1:network error.", "err:-1:network error.", "ok:status 404", "ok:false", "ok:" + garbage}},
      {"null", Answer::model(nullptr), {"ok:none", model500, "ok:status 200", "ok:true", "ok:null"}},
      {"model sent plain", Answer::model({{"nodes", WireJson::array()}}).plain(),
       {"ok:nodes:0", "ok:nodes:0", "ok:status 200", "ok:true", "ok:{\"nodes\":[]}"}},
      {"another shape", Answer::model({{"other", 1}}), {model500, model500, "ok:status 200", "ok:true", "ok:{\"other\":1}"}},
      {"error object", Answer::error(3305, "满\nfull", 400), std::vector<std::string>(5, "err:3305:full:answer")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    api->script("GET", "lite/kind", c.answer);
    DNS::shared().setRetryCount(0);
    EXPECT_EQ(run(), c.expected);
    // Only an answer that reaches model decoding (status below 400, not an error) restores it.
    const bool restores = c.answer.status < 400 && c.answer.kind != Answer::Kind::empty;
    EXPECT_EQ(DNS::shared().retryCount(), restores ? 1 : 0);
  }
}

TEST_F(ApiTest, FailureRecordsShowTheBodyWithoutSecrets) {
  discover();
  api->setMode(ServiceDouble::Mode::drop);
  const struct {
    std::string name;
    std::optional<Json> body;
    std::string sentText;  // what the double deciphered; empty: no body was sent
    WireJson recorded;
  } cases[] = {
      {"no body", std::nullopt, "", nullptr},
      {"empty body", Json::object(), "{}", WireJson::object()},
      {"sign-in body",
       Json{{"force", 0}, {"email", "a@b.test"}, {"passwd", "ABC"}, {"old_passwd", "DEF"}, {"code", ""}},
       R"({"force":0,"email":"a@b.test","passwd":"ABC","old_passwd":"DEF","code":""})",
       {{"force", 0}, {"email", "a@b.test"}, {"code", ""}}},
      {"reset code", Json{{"email", "a@b.test"}, {"passwd", "ABC"}, {"vcode", "1111"}},
       R"({"email":"a@b.test","passwd":"ABC","vcode":"1111"})", {{"email", "a@b.test"}}},
      {"node credential at depth",
       Json{{"node", {{"uid", "c-1"}, {"uid_rate", "c-2"}, {"id", 4}}},
            {"list", Json::array({Json{{"uid", "c-3"}, {"name", "n"}}, Json{{"deep", {{"vcode", "9"}}}}})}},
       R"({"node":{"uid":"c-1","uid_rate":"c-2","id":4},"list":[{"uid":"c-3","name":"n"},{"deep":{"vcode":"9"}}]})",
       {{"node", {{"id", 4}}}, {"list", WireJson::array({WireJson{{"name", "n"}}, WireJson{{"deep", WireJson::object()}}})}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DNS::shared().setRetryCount(1);
    api->clearRequests();
    const auto result = APIRequest().perform<bool>("lite/users", HttpMethod::POST, c.body);
    EXPECT_EQ(result.error()->errCode, -1);
    const auto sent = api->requests("POST", "lite/users");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bodyText.value_or(""), c.sentText);
    EXPECT_EQ(recordJson(bed.logs()->accepted("ERROR_API").back(), "request"), c.recorded);
  }
}

// The request's base URL is built as discovery's helper builds it: an IPv6 host in brackets, a
// host that would change the address's meaning gives no URL and no request.
TEST_F(ApiTest, ApiHostsEnterTheUrlInTheHelpersForm) {
  const struct {
    std::string host;
    std::string baseUrl;
  } cases[] = {
      {"::1", "https://[::1]/v6"},
      {"api.test/x", ""},
      {"a@api.test", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    discover({c.host});
    EXPECT_EQ(DNS::shared().apiBaseUrl(), c.baseUrl);
    DNS::shared().setRetryCount(1);
    const auto before = apiRecords();
    const auto result = APIRequest().perform<bool>("lite/ping", HttpMethod::GET);
    ASSERT_FALSE(result.isSuccess());
    EXPECT_EQ(result.error()->errCode, -1);
    const auto records = bed.logs()->accepted("ERROR_API");
    ASSERT_EQ(records.size(), before + 1);
    EXPECT_EQ(records.back().record["baseUrl"], c.baseUrl);
    EXPECT_EQ(api->requestCount(), 0u);
  }
}

TEST_F(ApiTest, WithoutAnyApiHostACallFailsAtOnce) {
  // No discovery has run: the host list is empty.
  const auto result = APIRequest().perform<std::optional<Nodes>>("lite/nodes", HttpMethod::GET);
  ASSERT_FALSE(result.isSuccess());
  EXPECT_EQ(result.error()->errCode, -1);
  EXPECT_EQ(api->requestCount(), 0u);
  const auto records = bed.logs()->accepted("ERROR_API");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].record["baseUrl"], "");
}

TEST_F(ApiTest, CommonParametersTravelInTheSecretAndTheCallsOwnWin) {
  discover();
  Global::setUserId("u-77");
  api->script("GET", "lite/ping", Answer::model({{"ok", true}}));
  ASSERT_TRUE(APIRequest()
                  .perform<bool>("lite/ping", HttpMethod::GET, std::nullopt, Json{{"lang", "xx"}, {"fetch", 7}})
                  .isSuccess());
  const auto seen = api->requests("GET", "lite/ping");
  ASSERT_EQ(seen.size(), 1u);
  expectCleanEnvelopes(seen);
  EXPECT_EQ(seen[0].queryText.rfind("lang=xx&appId=", 0), 0u) << seen[0].queryText;
  EXPECT_EQ(seen[0].query.at("uid"), "u-77");
  EXPECT_EQ(seen[0].query.at("fetch"), "7");
  EXPECT_EQ(seen[0].query.at("device_id").size(), 32u);
  EXPECT_EQ(seen[0].query.count("version"), 1u);
  EXPECT_TRUE(seen[0].rawBody.empty());
  EXPECT_EQ(seen[0].host, ServiceTestBed::kApiDomain);
  EXPECT_EQ(seen[0].sni, ServiceTestBed::kApiDomain);
}

}  // namespace
}  // namespace tarnel::test
