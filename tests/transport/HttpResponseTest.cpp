// The answer object: its wire form, its text value and how the engine's answer maps onto it.
#include <gtest/gtest.h>

#include "services/encryption/Encryptor.h"
#include "services/network/HttpClient.h"
#include "services/network/HttpResponse.h"

namespace tarnel {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(HttpResponse, EncodesTimeAsMillisecondTextAndLeavesBodyAndHeadersOut) {
  const HttpResponse response(503, "Service Unavailable", bytes("secret body"), 125, "api.test", "/v6/test", 443,
                              {{"X-A", "1"}});
  const Json encoded = json::encodeValue(response);
  EXPECT_EQ(encoded, Json::parse(R"({"statusCode":503,"statusMessage":"Service Unavailable","time":"125 ms",
                                     "host":"api.test","path":"/v6/test","port":443})"));
  std::vector<std::string> keys;
  for (auto it = encoded.begin(); it != encoded.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"statusCode", "statusMessage", "time", "host", "path", "port"}));

  // In a list of shared answers, a missing one is null.
  const std::vector<std::shared_ptr<HttpResponse>> list = {std::make_shared<HttpResponse>(response), nullptr};
  EXPECT_EQ(json::encodeValue(list)[1], Json(nullptr));
  EXPECT_EQ(json::encodeValue(list)[0]["time"], "125 ms");
}

TEST(HttpResponse, DecodingWantsEveryKeyButData) {
  const std::string base = R"("statusCode":200,"statusMessage":"OK","time":7,"host":"h","path":"/p","port":8443)";
  struct Row {
    std::string json;
    bool decodes;
    std::optional<std::string> data;
  };
  const std::vector<Row> rows = {
      {"{" + base + "}", true, std::nullopt},
      {"{" + base + R"(,"data":null})", true, std::nullopt},
      {"{" + base + R"(,"data":"aGVsbG8="})", true, "hello"},
      {"{" + base + R"(,"data":""})", true, ""},
      {"{" + base + R"(,"data":"aGVsbG8"})", false, std::nullopt},     // unpadded
      {"{" + base + R"(,"data":"aGV$bG8="})", false, std::nullopt},    // not base64
      {"{" + base + R"(,"data":12})", false, std::nullopt},
      {R"({"statusCode":200,"statusMessage":"OK","time":"7 ms","host":"h","path":"/p","port":1})", false, {}},
      {R"({"statusCode":200,"statusMessage":"OK","host":"h","path":"/p","port":1})", false, {}},
      {R"({"statusCode":200,"statusMessage":null,"time":7,"host":"h","path":"/p","port":1})", false, {}},
      {R"({"statusCode":"200","statusMessage":"OK","time":7,"host":"h","path":"/p","port":1})", false, {}},
      {R"([1,2])", false, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.json);
    const auto decoded = fromJson<HttpResponse>(row.json);
    ASSERT_EQ(decoded.has_value(), row.decodes);
    if (!decoded) continue;
    EXPECT_EQ(decoded->statusCode, 200);
    EXPECT_EQ(decoded->time, 7);
    EXPECT_EQ(decoded->port, 8443);
    EXPECT_TRUE(decoded->headerFields.empty());
    if (row.data) {
      ASSERT_TRUE(decoded->data.has_value());
      EXPECT_EQ(std::string(decoded->data->begin(), decoded->data->end()), *row.data);
    } else {
      EXPECT_FALSE(decoded->data.has_value());
    }
  }
}

TEST(HttpResponse, ValueIsTheBodyDecipheredWhenItDeciphers) {
  const std::string plain = R"({"ok":true,"name":"é"})";
  const auto cipher = sharedEncryptor().encrypt(plain);
  ASSERT_TRUE(cipher.has_value());
  const auto other = dnsBodyEncryptor().encrypt(plain);
  ASSERT_TRUE(other.has_value());

  auto with = [](std::optional<std::vector<std::uint8_t>> data) {
    HttpResponse response;
    response.data = std::move(data);
    return response.value();
  };
  EXPECT_EQ(with(bytes(*cipher)), plain);
  EXPECT_EQ(with(bytes(plain)), plain);
  EXPECT_EQ(with(bytes("")), "");
  EXPECT_EQ(with(std::nullopt), std::nullopt);
  EXPECT_EQ(with(bytes("\xFF\xFE")), std::nullopt);
  // Under the other key it does not decipher into this text.
  EXPECT_NE(with(bytes(*other)), plain);
}

TEST(HttpMethod, RawValuesAreTheExactCaseNames) {
  for (const auto method : {HttpMethod::GET, HttpMethod::PUT, HttpMethod::POST, HttpMethod::DELETE}) {
    EXPECT_EQ(httpMethodFromRaw(rawValue(method)), method);
  }
  EXPECT_EQ(rawValue(HttpMethod::DELETE), "DELETE");
  for (const char* raw : {"post", "Get", "", "PATCH", "GET "}) EXPECT_EQ(httpMethodFromRaw(raw), std::nullopt) << raw;
}

TEST(HttpClientMapping, PortHeadersAndBodyOfTheEngineAnswer) {
  struct Row {
    std::string port;
    std::int64_t expected;
  };
  for (const Row& row : {Row{"443", 443}, Row{"+8080", 8080}, Row{"-1", -1}, Row{"", 0}, Row{"abc", 0},
                         Row{"12ab", 0}, Row{"+-1", 0}, Row{"+", 0}, Row{"99999999999999999999", 0}}) {
    helmsey::LibXrayHttpResponse answer;
    answer.port = row.port;
    EXPECT_EQ(HttpClient::makeResponse(answer)->port, row.expected) << '"' << row.port << '"';
  }

  helmsey::LibXrayHttpResponse answer;
  answer.statusCode = 204;
  answer.status = "No Content";
  answer.time = 31;
  answer.host = "h";
  answer.path = "/p";
  answer.header = R"({"A":"1","B":"2"})";
  const auto mapped = HttpClient::makeResponse(answer);
  EXPECT_EQ(mapped->statusCode, 204);
  EXPECT_EQ(mapped->statusMessage, "No Content");
  EXPECT_EQ(mapped->time, 31);
  EXPECT_EQ(mapped->headerFields, (std::map<std::string, std::string>{{"A", "1"}, {"B", "2"}}));
  EXPECT_FALSE(mapped->data.has_value());
  EXPECT_EQ(mapped->value(), std::nullopt);

  struct HeaderRow {
    std::string text;
    bool printed;
  };
  for (const HeaderRow& row : {HeaderRow{R"({"A":1})", false}, HeaderRow{R"(["A"])", false},
                               HeaderRow{"not json", true}, HeaderRow{"", true}}) {
    answer.header = row.text;
    testing::internal::CaptureStdout();
    const auto response = HttpClient::makeResponse(answer);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(response->headerFields.empty()) << row.text;
    EXPECT_EQ(out.find("Error converting JSON string to dictionary: ") == 0, row.printed) << row.text << out;
  }
}

TEST(HttpClientMapping, DictionariesThatCannotBeWrittenBecomeTheEmptyText) {
  testing::internal::CaptureStdout();
  const std::string bad = jsonText(Json{{"k", "\xFF"}});
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(bad, "");
  EXPECT_EQ(out.rfind("Error converting dictionary to JSON: ", 0), 0u) << out;

  const std::string good = jsonText(Json{{"k", "v"}, {"n", 2}});
  EXPECT_EQ(Json::parse(good), (Json{{"k", "v"}, {"n", 2}}));
  EXPECT_EQ(dictionary(jsonText(Json{{"a", "1"}})), (std::map<std::string, std::string>{{"a", "1"}}));
}

}  // namespace
}  // namespace tarnel
