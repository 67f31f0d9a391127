// The doubles' own wire kit, held against the openssl command line so that the doubles and the
// client cannot agree on a mistake.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"
#include "tests/support/WireCipher.h"

namespace tarnel::test {
namespace {

std::string run(const std::string& command) {
  std::string out;
  EXPECT_EQ(runCommand(command, &out), 0) << command << "\n" << out;
  out.erase(std::remove_if(out.begin(), out.end(), [](unsigned char c) { return std::isspace(c); }),
            out.end());
  return out;
}

// AES-128-ECB by the command line, hex out.
std::string opensslEncipher(const TempDir& dir, const std::string& plain, std::string_view key) {
  const auto in = dir.write("plain.bin", plain);
  return run("openssl enc -aes-128-ecb -K " + wire::toHex(key) + " -in " + in.string() +
             " | od -An -v -tx1");
}

std::string opensslDecipher(const TempDir& dir, const std::string& hex, std::string_view key) {
  const auto in = dir.write("cipher.hex", hex);
  const auto outPath = dir.path() / "plain.out";
  std::string log;
  EXPECT_EQ(runCommand("xxd -r -p " + in.string() + " | openssl enc -d -aes-128-ecb -K " +
                           wire::toHex(key) + " -out " + outPath.string() + " 2>&1",
                       &log),
            0)
      << log;
  std::ifstream file(outPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

TEST(WireCipher, AgreesWithOpensslUnderBothKeys) {
  TempDir dir;
  const std::string texts[] = {
      "",
      "fifteen bytes!!",   // 15 bytes: one block
      "sixteen bytes!!!",  // 16 bytes: a whole block of padding follows
      "lang=en&appId=7&version=1.0.0&uid=&device_id=0123456789abcdef0123456789abcdef",
      "{\"email\":\"\",\"passwd\":\"X\",\"device\":{\"platform\":\"darwin\"}}",
      "Grüße, 你好",
  };
  for (const auto key : {wire::kApiKey, wire::kDiscoveryBodyKey}) {
    for (const auto& text : texts) {
      SCOPED_TRACE(std::string(key) + " / " + text);
      const std::string ours = wire::encipher(text, key);
      EXPECT_EQ(ours, opensslEncipher(dir, text, key));
      EXPECT_EQ(ours.size(), 32 * (text.size() / 16 + 1));
      EXPECT_TRUE(wire::isLowerHex(ours));
      EXPECT_EQ(wire::decipher(ours, key), text);
      EXPECT_EQ(wire::decipher(upper(ours), key), text);
      EXPECT_EQ(opensslDecipher(dir, ours, key), text);
    }
  }
  EXPECT_NE(wire::encipher("same text", wire::kApiKey),
            wire::encipher("same text", wire::kDiscoveryBodyKey));
}

TEST(WireCipher, RefusesTextsThatAreNotCipherTexts) {
  const std::string whole = wire::encipher("sixteen bytes!!!");  // two blocks
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"JSON", "{\"errCode\":1}"},
      {"empty", ""},
      {"one byte", "00"},
      {"odd length", whole.substr(1)},
      {"not hexadecimal", std::string(32, 'g')},
      {"padding block cut off", whole.substr(0, 32)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wire::decipher(c.text), std::nullopt) << c.name;
  }
}

TEST(WireCipher, SignatureIsTheHmacSha1OfPlatformAndStamp) {
  for (const std::string stamp : {"0", "1700000000123", "-5", ""}) {
    const std::string expected =
        run("printf '%s' " + shellQuote("darwin:" + stamp) + " | openssl dgst -sha1 -hmac " +
            shellQuote(std::string(wire::kSigningKey)) + " | sed 's/^.*= *//'");
    EXPECT_EQ(wire::sign(stamp), expected) << stamp;
    EXPECT_EQ(expected.size(), 40u);
  }
  const auto headers = wire::signatureHeaders(1700000000123);
  EXPECT_EQ(headers.at("vomel-secret-public"), "darwin");
  EXPECT_EQ(headers.at("vomel-secret-timespan"), "1700000000123");
  EXPECT_EQ(headers.at("vomel-secret-sign"), wire::sign("1700000000123"));
}

TEST(WireCipher, PasswordDigestIsUpperCaseSha256) {
  for (const std::string password : {"fjord", "", "pässwörd"}) {
    const std::string expected =
        run("printf '%s' " + shellQuote(password) + " | openssl dgst -sha256 | sed 's/^.*= *//'");
    EXPECT_EQ(wire::sha256Hex(password), expected);
    EXPECT_EQ(wire::passwordDigest(password), upper(expected));
  }
}

TEST(WireCipher, DiscoveryAnswerHasTheRequestedLayers) {
  TempDir dir;
  WireJson body = wire::discoveryBody("api.test", {"127.0.0.2", "not-an-address"});
  body["apicdn"] = "cdn.test";
  body["urls"]["pay_cdn2"] = {"pay1.test", "pay2.test"};
  for (const bool outer : {true, false}) {
    for (const bool inner : {true, false}) {
      SCOPED_TRACE(std::string("outer ") + (outer ? "enciphered" : "plain") + ", body " +
                   (inner ? "enciphered" : "plain"));
      const std::string answer = wire::discoveryAnswer(body, "42", {outer, inner});
      const std::string json = outer ? opensslDecipher(dir, answer, wire::kApiKey) : answer;
      const auto document = WireJson::parse(json);
      EXPECT_EQ(document.at("version"), "42");
      const auto& carried = document.at("body");
      if (inner) {
        ASSERT_TRUE(carried.is_string());
        EXPECT_EQ(WireJson::parse(opensslDecipher(dir, carried.get<std::string>(),
                                                  wire::kDiscoveryBodyKey)),
                  body);
      } else {
        EXPECT_EQ(carried, body);
      }
    }
  }
}

TEST(WireCipher, QueryTextSplitsAtAmpersandsAndFirstEquals) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  const struct {
    std::string text;
    Pairs pairs;
  } cases[] = {
      {"", {}},
      {"lang=en&uid=&fetch=7", {{"lang", "en"}, {"uid", ""}, {"fetch", "7"}}},
      {"email=a=b@c.test", {{"email", "a=b@c.test"}}},
      {"flag", {{"flag", ""}}},
  };
  for (const auto& c : cases) EXPECT_EQ(wire::parseQuery(c.text), c.pairs) << c.text;
}

}  // namespace
}  // namespace tarnel::test
