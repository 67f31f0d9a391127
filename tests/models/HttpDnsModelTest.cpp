// The host-discovery answer in its enciphered and plain forms. The test enciphers with its own
// OpenSSL calls, as the discovery service would.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "services/encryption/Encryptor.h"
#include "services/model/HttpDnsModels.h"
#include "tests/models/ModelFixtures.h"

namespace tarnel {
namespace {

using namespace tarnel::test;

constexpr const char* kOuterKey = "5a3e91c07d24b68f";
constexpr const char* kBodyKey = "Wp3sNc8GhJ2dLq6Z";

// AES-128-ECB with PKCS#5 padding, as lowercase hexadecimal.
std::string encipher(const std::string& plain, const char* key) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  EXPECT_EQ(EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr,
                               reinterpret_cast<const unsigned char*>(key), nullptr),
            1);
  std::vector<unsigned char> out(plain.size() + 16);
  int n = 0;
  int tail = 0;
  EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &n, reinterpret_cast<const unsigned char*>(plain.data()),
                              static_cast<int>(plain.size())),
            1);
  EXPECT_EQ(EVP_EncryptFinal_ex(ctx.get(), out.data() + n, &tail), 1);
  out.resize(static_cast<std::size_t>(n + tail));
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : out) {
    hex.push_back(digits[byte >> 4]);
    hex.push_back(digits[byte & 15]);
  }
  return hex;
}

std::string decipher(const std::string& hex, const char* key) {
  std::vector<unsigned char> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, reinterpret_cast<const unsigned char*>(key), nullptr);
  std::vector<unsigned char> out(bytes.size() + 16);
  int n = 0;
  int tail = 0;
  EXPECT_EQ(EVP_DecryptUpdate(ctx.get(), out.data(), &n, bytes.data(), static_cast<int>(bytes.size())), 1);
  EXPECT_EQ(EVP_DecryptFinal_ex(ctx.get(), out.data() + n, &tail), 1);
  return std::string(out.begin(), out.begin() + n + tail);
}

std::string originDns(const std::string& version, const std::string& body) {
  Json origin = Json::object();
  origin["version"] = version;
  origin["body"] = body;
  return origin.dump(2);
}

void expectTheFixtureBody(const HttpDnsBody& body) {
  EXPECT_EQ(body.apicdn, "cdn.example");
  EXPECT_EQ(body.cdndl, "dl.example");
  ASSERT_EQ(body.dns.size(), 1u);
  EXPECT_EQ(body.dns[0].host, "api.example");
  EXPECT_EQ(body.dns[0].ip, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(body.urls.apiReserve2, "r2.example");
  EXPECT_EQ(body.urls.officials, std::vector<std::string>{"o1.example"});
  EXPECT_EQ(body.urls.pay_cdn2, std::vector<std::string>{"pay.example"});
  EXPECT_EQ(body.clip.enabled, "1");
  EXPECT_EQ(body.clip.size, (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(body.cs, "help@example.org");
  EXPECT_EQ(body.navi.hk, "導航");
  EXPECT_EQ(body.navi.ver, 1);
}

TEST(HostDiscoveryAnswer, BothLayersOfTheWireForm) {
  const std::string inner = originDns("v7", encipher(kHttpDnsBody, kBodyKey));
  const std::string wire = encipher(inner, kOuterKey);

  // The outer layer comes off with the shared cipher; what is left is what the cache keeps.
  const auto cached = sharedEncryptor().decrypt(wire);
  ASSERT_TRUE(cached);
  EXPECT_EQ(*cached, inner);

  testing::internal::CaptureStdout();
  const auto answer = fromJson<HttpDns>(*cached);
  const std::string log = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(answer);
  EXPECT_EQ(log, "") << "the enciphered form reads without complaint";
  EXPECT_EQ(answer->version, "v7");
  expectTheFixtureBody(answer->body);

  // Upper-case hexadecimal in the body reads the same.
  std::string upper = encipher(kHttpDnsBody, kBodyKey);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const auto fromUpper = fromJson<HttpDns>(originDns("v7", upper));
  ASSERT_TRUE(fromUpper);
  expectTheFixtureBody(fromUpper->body);
}

TEST(HostDiscoveryAnswer, PlainFormAfterOneLoggedAttempt) {
  const std::string plain = join({R"({"version":"v3","body":)", kHttpDnsBody, "}"});
  testing::internal::CaptureStdout();
  const auto answer = fromJson<HttpDns>(plain);
  const std::string log = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->version, "v3");
  expectTheFixtureBody(answer->body);
  EXPECT_NE(log.find("Error decoding JSON: "), std::string::npos);
  EXPECT_EQ(log.find("Error decoding JSON: "), log.rfind("Error decoding JSON: ")) << "exactly one failure: " << log;
}

TEST(HostDiscoveryAnswer, AnswersThatReadInNeitherForm) {
  Json boolEnabled = json::parse(kHttpDnsBody).value();
  boolEnabled["clip"]["enabled"] = true;
  Json textVer = json::parse(kHttpDnsBody).value();
  textVer["navi"]["ver"] = "1";
  Json noRouteList = json::parse(kHttpDnsBody).value();
  noRouteList["urls"].erase("route_list");

  const std::string cases[] = {
      originDns("v1", encipher(boolEnabled.dump(), kBodyKey)),
      originDns("v1", encipher(textVer.dump(), kBodyKey)),
      originDns("v1", encipher(noRouteList.dump(), kBodyKey)),
      originDns("v1", encipher(kHttpDnsBody, kOuterKey)),  // the other key
      originDns("v1", "not hexadecimal"),
      originDns("v1", encipher("not json", kBodyKey)),
      join({R"({"version":"v1","body":)", boolEnabled.dump(), "}"}),
      join({R"({"version":1,"body":)", kHttpDnsBody, "}"}),
      join({R"({"body":)", kHttpDnsBody, "}"}),
      encipher(originDns("v1", encipher(kHttpDnsBody, kBodyKey)), kOuterKey),  // outer layer still on
      "",
      "null",
  };
  for (const auto& text : cases) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(fromJson<HttpDns>(text)) << text;
    const std::string log = testing::internal::GetCapturedStdout();
    if (!text.empty()) {
      EXPECT_NE(log.find("[Error]"), std::string::npos) << text;
    }
  }
}

TEST(HostDiscoveryAnswer, WritesTheEncipheredFormAndReadsItBack) {
  HttpDns answer;
  answer.version = "v9";
  std::string error;
  ASSERT_TRUE(json::decodeValue(json::parse(kHttpDnsBody).value(), answer.body, error)) << error;
  answer.body.dns.push_back(HttpDnsBodyDns{"empty.example", {}});

  const auto text = toJson(answer);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find('\n'), std::string::npos) << "pretty-printed";
  const Json written = json::parse(*text).value();
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written.begin().key(), "version");
  EXPECT_EQ(written["version"], "v9");
  ASSERT_TRUE(written["body"].is_string());
  const std::string cipher = written["body"].get<std::string>();
  EXPECT_FALSE(cipher.empty());
  EXPECT_EQ(cipher.size() % 32, 0u);
  EXPECT_EQ(cipher.find_first_not_of("0123456789abcdef"), std::string::npos) << "lowercase hexadecimal";

  // The body deciphers under the body key to the body's own JSON.
  const auto body = json::parse(decipher(cipher, kBodyKey));
  ASSERT_TRUE(body);
  EXPECT_EQ(*body, json::encodeValue(answer.body));

  const auto back = fromJson<HttpDns>(*text);
  ASSERT_TRUE(back);
  EXPECT_EQ(json::encodeValue(*back), json::encodeValue(answer));
  ASSERT_EQ(back->body.dns.size(), 2u);
  EXPECT_TRUE(back->body.dns[1].ip.empty());

  const Json map = toMap(answer);
  EXPECT_EQ(map["version"], "v9");
  EXPECT_TRUE(map["body"].is_string()) << "the dictionary holds the enciphered body, not a nested one";

  // Its record coding is the plain form, which reads back directly.
  const std::string plain = json::encodeValue(answer).dump();
  const auto fromPlain = fromJson<HttpDns>(plain);
  ASSERT_TRUE(fromPlain);
  EXPECT_EQ(json::encodeValue(*fromPlain), json::encodeValue(answer));
}

}  // namespace
}  // namespace tarnel
