// The service double, driven by bare libcurl requests built with the wire kit.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <functional>
#include <set>
#include <thread>

#include "tests/doubles/Fetch.h"
#include "tests/support/ServiceDouble.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"

namespace tarnel::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kQuery = "lang=en&appId=7&version=1.0.0&uid=u1&device_id=d1";

struct ApiCall {
  explicit ApiCall(std::string method, std::string path, std::string query = kQuery,
                   std::optional<WireJson> body = std::nullopt)
      : method(std::move(method)), path(std::move(path)), query(std::move(query)),
        body(std::move(body)) {}

  std::string method;
  std::string path;
  std::string query;
  std::optional<WireJson> body;
  std::optional<int64_t> stamp;  // the double's clock when absent
  std::map<std::string, std::optional<std::string>> headerChanges;  // nullopt removes
  std::optional<std::string> secret;   // instead of the enciphered query
  std::optional<std::string> rawBody;  // instead of the enciphered body
};

class ServiceDoubleTest : public ::testing::Test {
 protected:
  Fetched callApi(const ApiCall& call) const {
    FetchRequest request;
    request.method = call.method;
    request.url = service->baseUrl() + "/v6/" + call.path +
                  "?secret=" + call.secret.value_or(wire::encipher(call.query));
    for (const auto& [name, value] : wire::signatureHeaders(call.stamp.value_or(service->nowMs()))) {
      request.headers[name] = value;
    }
    request.headers["Content-Type"] = "application/json";
    request.headers["user-agent"] = "";
    for (const auto& [name, value] : call.headerChanges) {
      if (value) {
        request.headers[name] = *value;
      } else {
        request.headers.erase(name);
      }
    }
    if (call.rawBody) {
      request.body = call.rawBody;
    } else if (call.body) {
      request.body = wire::encipher(call.body->dump());
    }
    return fetch(request, ca.certificatePath());
  }

  Fetched get(const std::string& path) const {
    return fetch({"GET", service->baseUrl() + path, {}, std::nullopt, std::nullopt},
                 ca.certificatePath());
  }

  // The answer body deciphered and parsed; null when it is neither.
  static WireJson answerJson(const Fetched& fetched) {
    const auto text = wire::decipher(fetched.body);
    if (!text) return nullptr;
    auto parsed = WireJson::parse(*text, nullptr, false);
    return parsed.is_discarded() ? WireJson(nullptr) : parsed;
  }

  TempDir dir;
  TestCA ca{dir.path()};
  TestCA::Leaf leaf = ca.issue("api", {"api.test"}, {"127.0.0.1", "127.0.0.2"});
  std::unique_ptr<ServiceDouble> service = std::make_unique<ServiceDouble>(leaf, "127.0.0.2");
};

TEST_F(ServiceDoubleTest, AcceptsSignedRequestsAndRecordsThemDeciphered) {
  const WireJson login{{"token", "t"}, {"user", {{"id", "u1"}}}};
  service->script("POST", "lite/users", Answer::model(login));
  service->script("GET", "lite/users/u1/data", Answer::model({{"tags", WireJson::array()}}));
  service->script("PUT", "card/12", Answer::empty(204));
  service->script("DELETE", "users/u1", Answer::model(nullptr));

  const struct {
    std::string method;
    std::string path;
    std::string query;
    std::optional<WireJson> body;
    int status;
  } cases[] = {
      {"POST", "lite/users", kQuery, WireJson{{"force", 0}, {"email", ""}, {"passwd", "X"}}, 200},
      {"GET", "lite/users/u1/data", std::string(kQuery) + "&fetch=7", std::nullopt, 200},
      {"PUT", "card/12", kQuery, WireJson{{"user", {{"id", "u1"}}}}, 204},
      {"DELETE", "users/u1", kQuery, WireJson::object(), 200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method + " " + c.path);
    const ApiCall call(c.method, c.path, c.query, c.body);
    const auto answer = callApi(call);
    ASSERT_EQ(answer.code, CURLE_OK) << answer.error;
    EXPECT_EQ(answer.status, c.status);

    const auto seen = service->requests(c.method, c.path);
    ASSERT_EQ(seen.size(), 1u);
    const auto& r = seen.front();
    EXPECT_TRUE(r.faults.empty()) << r.faults.front();
    EXPECT_EQ(r.kind, ServiceRequest::Kind::api);
    EXPECT_EQ(r.target, "/v6/" + c.path);
    EXPECT_EQ(r.secret, wire::encipher(c.query));
    EXPECT_EQ(r.queryText, c.query);
    EXPECT_EQ(r.query.at("uid"), "u1");
    EXPECT_EQ(r.query.at("lang"), "en");
    EXPECT_EQ(r.body, c.body);
    EXPECT_EQ(r.headers.at("vomel-secret-public"), "darwin");
    EXPECT_EQ(r.host, service->authority());
    EXPECT_EQ(r.sni, "");  // none for an address
    EXPECT_EQ(r.localAddress, "127.0.0.2");
    EXPECT_EQ(r.answeredStatus, c.status);
  }
  EXPECT_EQ(answerJson(callApi(ApiCall("POST", "lite/users", kQuery, WireJson::object()))), login);
  EXPECT_EQ(service->requests("GET", "lite/users/u1/data").front().query.at("fetch"), "7");
  EXPECT_EQ(service->requestCount(), 5u);
}

TEST_F(ServiceDoubleTest, RefusesEnvelopesAsTheServiceDoes) {
  service->script("POST", "lite/users", Answer::model({{"ok", true}}));
  const int64_t now = service->nowMs();
  std::string upperSecret = wire::encipher(kQuery);
  std::transform(upperSecret.begin(), upperSecret.end(), upperSecret.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
  const struct {
    const char* name;
    std::function<void(ApiCall&)> change;
    int status;
    int errCode;  // 0: the scripted answer
    const char* fault;
  } cases[] = {
      {"signature of another stamp",
       [&](ApiCall& c) {
         c.stamp = now;
         c.headerChanges["vomel-secret-sign"] = wire::sign(std::to_string(now - 1));
       },
       403, 4001, "vomel-secret-sign"},
      {"no public header", [](ApiCall& c) { c.headerChanges["vomel-secret-public"] = std::nullopt; },
       403, 4001, "vomel-secret-public"},
      {"other platform", [](ApiCall& c) { c.headerChanges["vomel-secret-public"] = "linux"; }, 403,
       4001, "vomel-secret-public"},
      {"stamp in seconds", [&](ApiCall& c) { c.stamp = now / 1000; }, 403, 4000,
       "stale time stamp"},
      {"stamp ten minutes ahead", [&](ApiCall& c) { c.stamp = now + 600'000; }, 403, 4000,
       "stale time stamp"},
      {"stamp ten minutes behind", [&](ApiCall& c) { c.stamp = now - 600'000; }, 403, 4000,
       "stale time stamp"},
      {"secret that does not decipher", [](ApiCall& c) { c.secret = "abcd"; }, 400, 4002,
       "secret does not"},
      {"secret as plain text", [](ApiCall& c) { c.secret = "lang=en"; }, 400, 4002,
       "secret does not"},
      {"body as plain JSON", [](ApiCall& c) { c.rawBody = "{\"a\":1}"; }, 400, 4002,
       "body does not"},
      {"enciphered body that is not JSON", [](ApiCall& c) { c.rawBody = wire::encipher("a=1"); },
       400, 4002, "body is not JSON"},
      {"upper-case secret", [&](ApiCall& c) { c.secret = upperSecret; }, 200, 0,
       "secret is not lowercase"},
      {"form content type", [](ApiCall& c) { c.headerChanges["Content-Type"] = "text/plain"; },
       200, 0, "Content-Type"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ApiCall call("POST", "lite/users", kQuery, WireJson::object());
    c.change(call);
    service->clearRequests();
    const auto answer = callApi(call);
    ASSERT_EQ(answer.code, CURLE_OK) << answer.error;
    EXPECT_EQ(answer.status, c.status);
    const auto json = answerJson(answer);
    if (c.errCode != 0) {
      EXPECT_EQ(json.value("errCode", 0), c.errCode);
      EXPECT_TRUE(json.at("errMsg").is_string());
    } else {
      EXPECT_EQ(json, (WireJson{{"ok", true}}));
    }
    if (c.errCode == 4000) {
      // The service's time, for the client to correct its clock with.
      const int64_t stamp = json.at("timestamp").get<int64_t>();
      EXPECT_LE(now, stamp);
      EXPECT_LE(stamp, service->nowMs());
    } else {
      EXPECT_FALSE(json.contains("timestamp"));
    }
    const auto seen = service->requests();
    ASSERT_EQ(seen.size(), 1u);
    const auto& faults = seen.front().faults;
    ASSERT_FALSE(faults.empty());
    EXPECT_TRUE(std::any_of(faults.begin(), faults.end(),
                            [&](const std::string& f) { return f.rfind(c.fault, 0) == 0; }))
        << faults.front();
  }
}

TEST_F(ServiceDoubleTest, ClockOffsetShiftsTheAcceptedWindow) {
  service->script("GET", "notice/list", Answer::model({{"notices", WireJson::array()}}));
  service->setClockOffset(1h);
  ApiCall call("GET", "notice/list");
  call.stamp = wire::nowMs();
  const auto refused = callApi(call);
  EXPECT_EQ(refused.status, 403);
  const auto rejection = answerJson(refused);
  ASSERT_EQ(rejection.value("errCode", 0), 4000);
  const int64_t serverTime = rejection.at("timestamp").get<int64_t>();
  EXPECT_GT(serverTime - wire::nowMs(), (1h - 1min) / 1ms);

  // A client that takes the service's time resends the same secret with a new stamp.
  call.stamp = serverTime;
  EXPECT_EQ(callApi(call).status, 200);
  const auto seen = service->requests("GET", "notice/list");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].secret, seen[1].secret);
  EXPECT_NE(seen[0].timestamp, seen[1].timestamp);
  EXPECT_TRUE(seen[1].faults.empty());

  service->setTimestampTolerance(2h);
  call.stamp = wire::nowMs();
  EXPECT_EQ(callApi(call).status, 200);
}

TEST_F(ServiceDoubleTest, ModesOverrideEveryAnswerForTheirCount) {
  service->script("GET", "app/domains", Answer::model({{"proxy", WireJson::array()}}));
  const ApiCall call("GET", "app/domains");
  const struct {
    ServiceDouble::Mode mode;
    int count;
    long status;  // 0: no answer at all
  } cases[] = {
      {ServiceDouble::Mode::status525, 2, 525},
      {ServiceDouble::Mode::rejectTimestamp, 1, 403},
      {ServiceDouble::Mode::garbage, 1, 200},
      {ServiceDouble::Mode::drop, 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    service->clearRequests();
    service->setMode(c.mode, c.count);
    for (int i = 0; i < c.count; ++i) {
      const auto answer = callApi(call);
      EXPECT_EQ(answer.status, c.status);
      if (c.status == 0) {
        EXPECT_NE(answer.code, CURLE_OK);
      } else if (c.mode == ServiceDouble::Mode::garbage) {
        EXPECT_FALSE(wire::fromHex(answer.body));
        EXPECT_TRUE(WireJson::parse(answer.body, nullptr, false).is_discarded());
      } else if (c.mode == ServiceDouble::Mode::rejectTimestamp) {
        EXPECT_EQ(answerJson(answer).value("errCode", 0), 4000);
        EXPECT_TRUE(answerJson(answer).at("timestamp").is_number_integer());
      }
    }
    const auto back = callApi(call);
    EXPECT_EQ(back.status, 200);
    EXPECT_EQ(answerJson(back), (WireJson{{"proxy", WireJson::array()}}));

    const auto seen = service->requests();
    ASSERT_EQ(seen.size(), static_cast<size_t>(c.count) + 1);
    EXPECT_EQ(seen.front().answeredStatus, c.status);
    EXPECT_TRUE(seen.front().faults.empty());  // recorded deciphered even when not answered
    EXPECT_EQ(seen.front().queryText, kQuery);
  }

  // A standing mode reaches discovery and probes too: the whole host is down.
  service->setMode(ServiceDouble::Mode::drop);
  EXPECT_NE(get("/v6/get6").code, CURLE_OK);
  EXPECT_NE(get("/test").code, CURLE_OK);
  EXPECT_NE(callApi(call).code, CURLE_OK);
  service->setMode(ServiceDouble::Mode::normal);
  EXPECT_EQ(get("/test").status, 200);
}

TEST_F(ServiceDoubleTest, ScriptsPreferExactPathsAndOneTimeAnswers) {
  service->script("GET", "lite/users/*/data", Answer::model("pattern"));
  service->script("GET", "lite/users/u1/data", Answer::model("exact"));
  service->enqueue("GET", "lite/users/*/data", Answer::model("first"));
  service->enqueue("GET", "lite/users/*/data", Answer::error(404, "gone", 404));
  service->script("GET", "notice/7", Answer::textBody("<p>notice</p>"));
  service->script("GET", "notice/8", Answer::model({{"a", 1}}).plain());
  service->script("POST", "lite/users/*/nodes",
                  Answer::error(3301, "节点不可用\nnode unavailable", 400,
                                {{"devices", WireJson::array()}}));

  const struct {
    std::string method;
    std::string path;
    long status;
    WireJson json;  // deciphered answer
  } cases[] = {
      {"GET", "lite/users/u1/data", 200, "exact"},
      {"GET", "lite/users/u2/data", 200, "first"},
      {"GET", "lite/users/u1/data", 200, "exact"},
      {"GET", "lite/users/u2/data", 404, {{"errCode", 404}, {"errMsg", "gone"}}},
      {"GET", "lite/users//data", 200, "pattern"},
      {"GET", "lite/users/u2/data", 200, "pattern"},
      {"POST", "lite/users/u1/data", 404, {{"errCode", 404}, {"errMsg", "not found"}}},
      {"GET", "lite/users/u1/data/more", 404, {{"errCode", 404}, {"errMsg", "not found"}}},
      {"POST",
       "lite/users//nodes",
       400,
       {{"errCode", 3301}, {"errMsg", "节点不可用\nnode unavailable"}, {"devices", WireJson::array()}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method + " " + c.path);
    ApiCall call(c.method, c.path);
    if (c.method == "POST") call.body = WireJson::object();
    const auto answer = callApi(call);
    EXPECT_EQ(answer.status, c.status);
    EXPECT_EQ(answerJson(answer), c.json);
  }
  EXPECT_EQ(service->count("GET", "lite/users/*/data"), 6u);
  EXPECT_EQ(service->count("GET", "lite/users/u2/data"), 3u);

  EXPECT_EQ(wire::decipher(callApi(ApiCall("GET", "notice/7")).body), "<p>notice</p>");
  EXPECT_EQ(callApi(ApiCall("GET", "notice/8")).body, "{\"a\":1}");
}

TEST_F(ServiceDoubleTest, ServesDiscoveryInEachLayeringAndTheProbes) {
  // Unscripted, the document names this double under its domain.
  const auto initial = get("/v6/get6");
  ASSERT_EQ(initial.status, 200);
  const auto document = WireJson::parse(wire::decipher(initial.body).value_or("null"));
  const auto body = WireJson::parse(
      wire::decipher(document.at("body").get<std::string>(), wire::kDiscoveryBodyKey).value());
  ASSERT_EQ(body.at("dns").size(), 1u);
  EXPECT_EQ(body.at("dns")[0].at("host"), "api.test");
  EXPECT_EQ(body.at("dns")[0].at("ip"), WireJson::array({"127.0.0.2"}));

  WireJson custom = wire::discoveryBody("api.test", {"127.0.0.3"});
  custom["urls"]["apiReserve2"] = "r.test";
  for (const bool outer : {true, false}) {
    for (const bool inner : {true, false}) {
      service->setDiscovery(custom, {outer, inner}, "9");
      const auto answer = get("/v6/get6");
      EXPECT_EQ(answer.status, 200);
      EXPECT_EQ(answer.body, wire::discoveryAnswer(custom, "9", {outer, inner}));
      EXPECT_EQ(wire::fromHex(answer.body).has_value(), outer);
    }
  }
  // Reached by name, the request carries the name in SNI and Host.
  const std::string port = std::to_string(service->port());
  const auto byName = fetch({"GET", "https://api.test:" + port + "/v6/get6", {}, std::nullopt,
                             "api.test:" + port + ":127.0.0.2"},
                            ca.certificatePath());
  EXPECT_EQ(byName.status, 200) << byName.error;
  const auto named = service->requests(ServiceRequest::Kind::discovery).back();
  EXPECT_EQ(named.sni, "api.test");
  EXPECT_EQ(named.host, "api.test:" + port);

  service->setDiscoveryAnswer(Answer::empty(404));
  EXPECT_EQ(get("/v6/get6").status, 404);

  for (const std::string path : {"/v6/test", "/v5-web/test", "/test"}) {
    const auto probe = get(path);
    EXPECT_EQ(probe.status, 200) << path;
    EXPECT_EQ(probe.body, "ok") << path;
  }
  service->setProbeAnswer("/v5-web/test", Answer::empty(503));
  EXPECT_EQ(get("/v5-web/test").status, 503);
  EXPECT_EQ(get("/elsewhere").status, 404);

  EXPECT_EQ(service->requests(ServiceRequest::Kind::discovery).size(), 7u);
  EXPECT_EQ(service->requests(ServiceRequest::Kind::probe).size(), 4u);
  EXPECT_EQ(service->requests(ServiceRequest::Kind::other).size(), 1u);
  EXPECT_TRUE(service->requests(ServiceRequest::Kind::api).empty());
}

TEST_F(ServiceDoubleTest, AnswersConcurrentRequestsEachOnce) {
  constexpr int kThreads = 6;
  constexpr int kEach = 8;
  for (int i = 0; i < kThreads * kEach; ++i) {
    service->enqueue("GET", "card/list", Answer::model(i));
  }
  std::mutex mutex;
  std::multiset<int> got;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        const auto answer = callApi(ApiCall("GET", "card/list"));
        const auto json = answerJson(answer);
        if (answer.status != 200 || !json.is_number_integer()) {
          ++failures;
          continue;
        }
        std::lock_guard lock(mutex);
        got.insert(json.get<int>());
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  ASSERT_EQ(got.size(), static_cast<size_t>(kThreads * kEach));
  EXPECT_EQ(std::set<int>(got.begin(), got.end()).size(), got.size());  // none given twice
  EXPECT_TRUE(service->waitForRequests(kThreads * kEach, 30s));
  EXPECT_EQ(callApi(ApiCall("GET", "card/list")).status, 404);  // the queue is used up
}

TEST_F(ServiceDoubleTest, ListensOnLoopbackOnlyAndStopsRefusing) {
  for (const std::string address : {"0.0.0.0", "10.0.0.1", "::", "api.test"}) {
    EXPECT_THROW((ServiceDouble{leaf, address}), std::runtime_error) << address;
  }
  const int port = service->port();
  // A fixed port already taken is an error, not a second server sharing its connections.
  EXPECT_THROW((ServiceDouble{leaf, "127.0.0.2", port}), std::runtime_error);
  service->stop();
  EXPECT_EQ(get("/test").code, CURLE_COULDNT_CONNECT);
  service->start();
  EXPECT_EQ(service->port(), port);
  EXPECT_EQ(get("/test").status, 200);
}

}  // namespace
}  // namespace tarnel::test
