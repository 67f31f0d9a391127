// The HTTP path end to end against loopback servers: NetworkRequest → HttpClient → engine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "services/network/HttpClient.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/LoopbackProxy.h"
#include "tests/transport/TransportFixture.h"

namespace tarnel::test {
namespace {

using std::chrono::steady_clock;

std::string text(const std::optional<std::vector<std::uint8_t>>& bytes) {
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
}

TEST_F(TransportTest, AcceptsStatusesFrom200To524AndNamesTheRefusedOnes) {
  auto api = server();
  api->setHandler(statusFromPath);
  struct Row {
    int status;
    bool accepted;
  };
  for (const Row row : {Row{200, true}, Row{301, true}, Row{404, true}, Row{500, true}, Row{524, true},
                        Row{525, false}, Row{530, false}}) {
    SCOPED_TRACE(row.status);
    const auto result = get(api->url() + "/status/" + std::to_string(row.status))->request();
    ASSERT_EQ(result.isSuccess(), row.accepted);
    if (row.accepted) {
      EXPECT_EQ(result.response()->statusCode, row.status);
      EXPECT_EQ(result.response()->statusMessage, "Reason " + std::to_string(row.status));
      EXPECT_EQ(text(result.response()->data), "body " + std::to_string(row.status));
    } else {
      EXPECT_EQ(result.error()->domain, "Reason " + std::to_string(row.status));
      EXPECT_EQ(result.error()->code, row.status);
    }
  }
}

TEST_F(TransportTest, AStatusBelow200NeverCountsAsSuccess) {
  // HTTP/1.1 treats 1xx as interim: an answer that stops there is a failed exchange.
  auto api = server();
  api->setHandler(statusFromPath);
  const auto result = get(api->url() + "/status/199")->request();
  ASSERT_FALSE(result.isSuccess());
  EXPECT_LT(result.error()->code, 0);
  EXPECT_FALSE(result.error()->localizedDescription().empty());

  // A narrowed set refuses what the default accepts.
  auto probe = get(api->url() + "/status/404");
  probe->acceptableStatusCodes = {200};
  const auto refused = probe->request();
  ASSERT_FALSE(refused.isSuccess());
  EXPECT_EQ(refused.error()->code, 404);
  EXPECT_EQ(refused.error()->domain, "Reason 404");
}

TEST_F(TransportTest, BodyHeadersAndQueryReachTheServerAsSent) {
  auto api = server();
  struct Row {
    HttpMethod method;
    std::optional<std::string> body;
    std::optional<std::string> expectedBody;  // none: no Content-Length at all
  };
  const std::vector<Row> rows = {
      {HttpMethod::GET, "ignored for GET", std::nullopt},
      {HttpMethod::POST, "{\"a\":\"\xC3\xA9\"}", "{\"a\":\"\xC3\xA9\"}"},
      {HttpMethod::PUT, "put body", "put body"},
      {HttpMethod::DELETE, "delete body", "delete body"},
      {HttpMethod::POST, std::nullopt, ""},
      {HttpMethod::DELETE, std::nullopt, std::nullopt},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(std::string(rawValue(row.method)) + " row " + std::to_string(i));
    Json query = Json::object();
    query["secret"] = "a b&c=d/é";
    query["n"] = 5;
    NetworkRequest request(api->url() + "/v6/items", row.method, row.body, query,
                           std::map<std::string, std::string>{{"X-Sign", "abc"}, {"Content-Type", "application/json"}},
                           std::nullopt, std::nullopt);
    const auto result = request.request();
    ASSERT_TRUE(result.isSuccess()) << result.error()->debugDescription();
    const auto received = api->requests().at(i);
    EXPECT_EQ(received.method, rawValue(row.method));
    EXPECT_EQ(received.path, "/v6/items");
    EXPECT_EQ(received.queryItems(), (std::map<std::string, std::string>{{"secret", "a b&c=d/é"}, {"n", "5"}}));
    EXPECT_EQ(received.header("X-Sign"), "abc");
    EXPECT_EQ(received.header("Content-Type"), "application/json");
    EXPECT_EQ(received.header("Expect"), std::nullopt);
    if (row.expectedBody) {
      EXPECT_EQ(received.header("Content-Length"), std::to_string(row.expectedBody->size()));
      EXPECT_EQ(received.body, *row.expectedBody);
    } else {
      EXPECT_EQ(received.header("Content-Length"), std::nullopt);
      EXPECT_EQ(received.body, "");
    }
  }
}

TEST_F(TransportTest, ClientAndCallValuesMergeAndTheAnswerIsFullyMapped) {
  auto api = server();
  CannedReply reply = CannedReply::text(201, "created", "Created Here");
  reply.headers = {{"X-Reply", "yes"}, {"Set-Cookie", "a=1"}, {"Set-Cookie", "b=2"}};
  api->setReply(reply);

  const HttpClient client(api->url(), 5, "", "", {{"X-Client", "c"}, {"X-Both", "client"}},
                          Json{{"fixed", "1"}, {"both", "client"}});
  const auto response = client.post("/v6/path", std::vector<std::uint8_t>{'x', 0, 'y'},
                                    {{"extra", "2"}, {"both", "call"}}, {{"X-Call", "d"}, {"x-both", "call"}});
  ASSERT_EQ(response->statusCode, 201);
  EXPECT_EQ(response->statusMessage, "Created Here");
  EXPECT_EQ(text(response->data), "created");
  EXPECT_EQ(response->host, "127.0.0.1");
  EXPECT_EQ(response->path, "/v6/path");
  EXPECT_EQ(response->port, api->port());
  EXPECT_GE(response->time, 0);
  EXPECT_EQ(response->headerFields.at("X-Reply"), "yes");
  EXPECT_EQ(response->headerFields.at("Set-Cookie"), "a=1, b=2");

  const auto received = api->requests().at(0);
  EXPECT_EQ(received.queryItems(),
            (std::map<std::string, std::string>{{"fixed", "1"}, {"extra", "2"}, {"both", "call"}}));
  EXPECT_EQ(received.header("X-Client"), "c");
  EXPECT_EQ(received.header("X-Call"), "d");
  EXPECT_EQ(received.header("X-Both"), "call");
  EXPECT_EQ(received.body, std::string("x\0y", 3));
}

TEST_F(TransportTest, AnAddressWithAHostHeaderSpeaksTlsForTheHostName) {
  auto api = server();
  const std::string byAddress = "https://127.0.0.1:" + std::to_string(api->port()) + "/test";

  // Named in the Host header: SNI and the certificate check use the name, the address is used to connect.
  const auto named = get(byAddress, std::map<std::string, std::string>{{"Host", "api.test"}})->request();
  ASSERT_TRUE(named.isSuccess()) << named.error()->debugDescription();
  EXPECT_EQ(named.response()->host, "127.0.0.1");
  ASSERT_EQ(api->requests().size(), 1u);
  EXPECT_EQ(api->requests()[0].sni, "api.test");
  EXPECT_EQ(api->requests()[0].header("Host"), "api.test");

  // A name the certificate does not carry is refused before any request is sent.
  const auto wrong = get(byAddress, std::map<std::string, std::string>{{"Host", "other.test"}})->request();
  ASSERT_FALSE(wrong.isSuccess());
  EXPECT_LT(wrong.error()->code, 0);
  EXPECT_EQ(api->requests().size(), 1u);

  // Without a Host header the address itself is verified and no SNI is sent.
  const auto plain = get(byAddress)->request();
  ASSERT_TRUE(plain.isSuccess()) << plain.error()->debugDescription();
  EXPECT_EQ(api->requests().at(1).sni, "");
}

TEST_F(TransportTest, VerificationIsNeverSkipped) {
  auto api = server();
  helmsey::HttpEngine::clearExtraCertificateAuthority();
  const auto untrusted = get(api->url() + "/test")->request();
  ASSERT_FALSE(untrusted.isSuccess());
  EXPECT_LT(untrusted.error()->code, 0);
  EXPECT_TRUE(api->requests().empty());

  // A certificate that names neither the address nor the Host name fails even when trusted.
  ASSERT_TRUE(helmsey::HttpEngine::setExtraCertificateAuthority(ca_->certificatePath()));
  LoopbackHttpServer elsewhere(ca_->issue("elsewhere", {"elsewhere.test"}, {}));
  const auto mismatch = get(elsewhere.url() + "/test")->request();
  ASSERT_FALSE(mismatch.isSuccess());
  EXPECT_TRUE(elsewhere.requests().empty());
}

TEST_F(TransportTest, TheGivenProxyCarriesTheRequestAndTheEnvironmentsDoesNot) {
  auto api = server();
  LoopbackConnectProxy given;
  LoopbackConnectProxy fromEnvironment;
  for (const char* name : {"https_proxy", "HTTPS_PROXY", "http_proxy", "all_proxy", "ALL_PROXY"}) {
    setenv(name, fromEnvironment.url().c_str(), 1);
  }

  NetworkRequest viaProxy(api->url() + "/through", HttpMethod::GET, std::nullopt, std::nullopt,
                          std::map<std::string, std::string>{{"Host", "api.test"}}, given.url(), std::nullopt);
  const auto proxied = viaProxy.request();
  ASSERT_TRUE(proxied.isSuccess()) << proxied.error()->debugDescription();
  ASSERT_EQ(given.tunnels().size(), 1u);
  // The tunnel goes to the address; the name only travels inside TLS.
  EXPECT_EQ(given.tunnels()[0].target, "127.0.0.1:" + std::to_string(api->port()));
  EXPECT_GT(given.tunnels()[0].bytesToTarget, 0u);
  EXPECT_EQ(api->requests().at(0).sni, "api.test");

  const auto direct = get(api->url() + "/direct")->request();
  ASSERT_TRUE(direct.isSuccess()) << direct.error()->debugDescription();
  EXPECT_TRUE(fromEnvironment.tunnels().empty());
  EXPECT_EQ(given.tunnels().size(), 1u);
  EXPECT_EQ(api->requests().at(1).path, "/direct");
}

TEST_F(TransportTest, TheGivenInterfaceAddressIsTheSource) {
  auto api = server();
  NetworkRequest request(api->url() + "/from", HttpMethod::GET, std::nullopt, std::nullopt, std::nullopt,
                         std::nullopt, "127.0.0.5");
  const auto result = request.request();
  ASSERT_TRUE(result.isSuccess()) << result.error()->debugDescription();
  EXPECT_EQ(api->requests().at(0).peerAddress, "127.0.0.5");

  // A server on another loopback address is reached there.
  auto second = server("127.0.0.2");
  ASSERT_TRUE(get(second->url() + "/other")->request().isSuccess());
  EXPECT_EQ(second->requests().size(), 1u);
}

TEST_F(TransportTest, AHangingServerFailsWithinTheTimeOut) {
  auto api = server();
  api->setReply(CannedReply::hang());
  const auto started = steady_clock::now();
  const auto result = get(api->url() + "/hang")->request();
  const auto elapsed = steady_clock::now() - started;
  ASSERT_FALSE(result.isSuccess());
  EXPECT_LT(result.error()->code, 0);
  EXPECT_FALSE(result.error()->domain.empty());
  // One time-out, not one per phase of the exchange.
  EXPECT_LT(elapsed, std::chrono::seconds(2 * NetworkRequest::kTimeout));
  EXPECT_GE(elapsed, std::chrono::seconds(NetworkRequest::kTimeout) - std::chrono::milliseconds(200));
}

TEST_F(TransportTest, RefusedAndDroppedConnectionsFailAtOnce) {
  std::uint16_t closedPort = 0;
  {
    LoopbackListener probe("127.0.0.1", 0);
    closedPort = probe.port();
  }
  auto dropping = server();
  dropping->setReply(CannedReply::drop());
  for (const std::string& url : {"https://127.0.0.1:" + std::to_string(closedPort) + "/x", dropping->url() + "/x",
                                 std::string("not a url")}) {
    SCOPED_TRACE(url);
    const auto started = steady_clock::now();
    const auto result = get(url)->request();
    ASSERT_FALSE(result.isSuccess());
    EXPECT_LT(result.error()->code, 0);
    // A failed exchange keeps the engine's text as its description.
    EXPECT_EQ(result.error()->localizedDescription(), result.error()->domain);
    // Before the time-out that a request waiting on a dead connection would end with.
    EXPECT_LT(steady_clock::now() - started, std::chrono::seconds(NetworkRequest::kTimeout));
  }
}

TEST_F(TransportTest, UnsendableHeadersFailAsValuesWithoutReachingTheServer) {
  auto api = server();
  struct Row {
    const char* name;
    std::map<std::string, std::string> headers;
  };
  const std::vector<Row> rows = {
      {"not UTF-8 (the engine makes no client)", {{"X-Bad", "\xFF\xFE"}}},
      {"a line break", {{"X-Bad", "ok\r\nX-Injected: yes"}}},
      {"a colon in the name", {{"X-Bad: x", "ok"}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = get(api->url() + "/x", row.headers)->request();
    ASSERT_FALSE(result.isSuccess());
    EXPECT_LT(result.error()->code, 0);
  }
  // Per call, too: the client is fine but the call's headers cannot be written.
  const HttpClient client(api->url(), 5, "", "", {}, Json::object());
  ASSERT_NE(client.client, nullptr);
  EXPECT_LT(client.get("/x", {}, {{"X-Bad", "\xC0"}})->statusCode, 0);
  EXPECT_TRUE(api->requests().empty());
}

}  // namespace
}  // namespace tarnel::test
