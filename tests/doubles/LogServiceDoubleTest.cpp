// The log service double, driven by bare libcurl uploads.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/doubles/Fetch.h"
#include "tests/support/LogServiceDouble.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"

namespace tarnel::test {
namespace {

using namespace std::chrono_literals;

WireJson uploadBody(const std::string& topic, const WireJson& record) {
  return {{"__topic__", topic}, {"__logs__", WireJson::array({record})}};
}

class LogServiceDoubleTest : public ::testing::Test {
 protected:
  Fetched upload(const std::string& store, const std::string& body,
                 std::map<std::string, std::string> headers = {}, const std::string& method = "POST",
                 const std::string& path = "") const {
    FetchRequest request;
    request.method = method;
    request.url = logs->baseUrl() + (path.empty() ? "/logstores/" + store + "/track" : path);
    request.headers = {{"Host", "logs.test"},
                       {"x-log-apiversion", "0.6.0"},
                       {"x-log-bodyrawsize", std::to_string(body.size())}};
    for (auto& [name, value] : headers) request.headers[name] = value;
    request.body = body;
    return fetch(request, ca.certificatePath());
  }

  TempDir dir;
  TestCA ca{dir.path()};
  std::unique_ptr<LogServiceDouble> logs = std::make_unique<LogServiceDouble>(
      ca.issue("logs", {"logs.test"}, {"127.0.0.1", "127.0.0.3"}), "127.0.0.3");
};

TEST_F(LogServiceDoubleTest, KeepsWellFormedUploadsByTopic) {
  const struct {
    std::string store;
    std::string topic;
    WireJson record;
  } sent[] = {
      {"k-mac", "ERROR_API", {{"path", "lite/users"}, {"err_code", "-1"}}},
      {"feedback", "FEEDBACK_PC", {{"content", "slow"}, {"email", "a@b.test"}}},
      {"event-tracking", "HOME_CONNECT", {{"msg", "{}"}, {"value", "你好"}}},
      {"k-mac", "ERROR_API", WireJson::object()},
  };
  for (const auto& s : sent) {
    const auto answer = upload(s.store, uploadBody(s.topic, s.record).dump());
    ASSERT_EQ(answer.code, CURLE_OK) << answer.error;
    EXPECT_EQ(answer.status, 200);
  }
  ASSERT_TRUE(logs->waitForUploads(4, 30s));
  const auto errors = logs->accepted("ERROR_API");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].store, "k-mac");
  EXPECT_EQ(errors[0].record, sent[0].record);
  EXPECT_EQ(errors[0].host, "logs.test");
  EXPECT_TRUE(errors[0].faults.empty());
  EXPECT_EQ(logs->accepted("HOME_CONNECT").at(0).record.at("value"), "你好");
  EXPECT_EQ(logs->accepted("FEEDBACK_PC").at(0).store, "feedback");
  EXPECT_EQ(logs->accepted().size(), 4u);
}

TEST_F(LogServiceDoubleTest, RefusesMalformedUploads) {
  const std::string good = uploadBody("DEBUG", {{"a", "b"}}).dump();
  const struct {
    const char* name;
    std::string body;
    std::map<std::string, std::string> headers;
    std::string method;
    std::string path;
    long status;
    const char* fault;
  } cases[] = {
      {"other path", good, {}, "POST", "/logstore/k-mac/track", 400, "path"},
      {"no store", good, {}, "POST", "/logstores//track", 400, "path"},
      {"nested store", good, {}, "POST", "/logstores/a/b/track", 400, "path"},
      {"other api version", good, {{"x-log-apiversion", "0.5.0"}}, "POST", "", 400,
       "x-log-apiversion"},
      {"size off by one", good, {{"x-log-bodyrawsize", std::to_string(good.size() + 1)}}, "POST",
       "", 400, "x-log-bodyrawsize"},
      {"not JSON", "__topic__=DEBUG", {}, "POST", "", 400, "body is not"},
      {"no topic", WireJson{{"__logs__", WireJson::array({WireJson{{"a", "b"}}})}}.dump(), {}, "POST", "", 400,
       "__topic__"},
      {"two records",
       WireJson{{"__topic__", "DEBUG"}, {"__logs__", WireJson::array({WireJson{{"a", "b"}}, WireJson{{"c", "d"}}})}}
           .dump(),
       {}, "POST", "", 400, "__logs__"},
      {"record as list", WireJson{{"__topic__", "DEBUG"}, {"__logs__", WireJson::array({WireJson::array()})}}.dump(),
       {}, "POST", "", 400, "the record"},
      {"number in record", uploadBody("DEBUG", {{"ts", 1.5}}).dump(), {}, "POST", "", 400,
       "record member ts"},
      {"extra key", WireJson{{"__topic__", "DEBUG"}, {"__logs__", WireJson::array({WireJson{{"a", "b"}}})}, {"x", 1}}
                        .dump(),
       {}, "POST", "", 400, "unexpected body key"},
      {"PUT", good, {}, "PUT", "", 405, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    logs->clear();
    const auto answer = upload("k-mac", c.body, c.headers, c.method, c.path);
    ASSERT_EQ(answer.code, CURLE_OK) << answer.error;
    EXPECT_EQ(answer.status, c.status);
    const auto seen = logs->uploads();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].answeredStatus, c.status);
    const auto& faults = seen[0].faults;
    if (*c.fault != '\0') {
      EXPECT_TRUE(std::any_of(faults.begin(), faults.end(), [&](const std::string& f) {
        return f.find(c.fault) != std::string::npos;
      })) << (faults.empty() ? "no fault" : faults.front());
    }
    EXPECT_TRUE(logs->accepted().empty());
  }
}

TEST_F(LogServiceDoubleTest, GoesDownAndComesBackOnTheSamePort) {
  const std::string body = uploadBody("ERROR_HTTPDNS", {{"path", "/v6/get6"}}).dump();
  const int port = logs->port();

  logs->setState(LogServiceDouble::State::failing);
  EXPECT_EQ(upload("k-mac", body).status, 500);
  ASSERT_EQ(logs->uploads().size(), 1u);
  EXPECT_EQ(logs->uploads()[0].topic, "ERROR_HTTPDNS");  // seen, though not kept
  EXPECT_TRUE(logs->accepted().empty());

  logs->setState(LogServiceDouble::State::refusing);
  EXPECT_EQ(upload("k-mac", body).code, CURLE_COULDNT_CONNECT);
  EXPECT_EQ(logs->uploads().size(), 1u);

  logs->setState(LogServiceDouble::State::up);
  EXPECT_EQ(logs->port(), port);
  EXPECT_EQ(upload("k-mac", body).status, 200);
  EXPECT_EQ(logs->accepted("ERROR_HTTPDNS").size(), 1u);
}

}  // namespace
}  // namespace tarnel::test
