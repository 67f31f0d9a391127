#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "services/encryption/APIEncryption.h"
#include "services/encryption/StringExtension.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"
#include "tests/support/WireCipher.h"

namespace tarnel {
namespace {

using test::commandOutput;
using test::shellQuote;
using test::wire::toHex;

// The digest the openssl tool prints ("<hex> *<file>" with -r).
std::string opensslDigest(const test::TempDir& dir, const std::string& options, std::string_view message) {
  const auto input = dir.write("message.bin", message);
  const auto out = commandOutput("openssl dgst " + options + " -r " + shellQuote(input.string()));
  EXPECT_TRUE(out.has_value()) << "openssl dgst " << options;
  return out ? out->substr(0, out->find(' ')) : std::string();
}

struct AlgorithmCase {
  CryptoAlgorithm algorithm;
  const char* opensslName;
  std::size_t hexLength;
};

const std::vector<AlgorithmCase> kAlgorithms = {
    {CryptoAlgorithm::MD5, "-md5", 32},       {CryptoAlgorithm::SHA1, "-sha1", 40},
    {CryptoAlgorithm::SHA224, "-sha224", 56}, {CryptoAlgorithm::SHA256, "-sha256", 64},
    {CryptoAlgorithm::SHA384, "-sha384", 96}, {CryptoAlgorithm::SHA512, "-sha512", 128},
};

const std::vector<std::string> kMessages = {"", "darwin:1700000000123", "Ünïcödé ✓ 漢字", std::string(300, 'm')};
const std::vector<std::string> kKeys = {"4b1d7e20-93ac-5f68-b2e4-0c9a7d13e85f", "k", "ключ",
                                        std::string(200, 'K')};  // longer than any block

TEST(Digests, HmacEqualsTheOpensslToolForEveryAlgorithm) {
  test::TempDir dir;
  for (const auto& a : kAlgorithms) {
    EXPECT_EQ(digestLength(a.algorithm) * 2, a.hexLength);
    for (const auto& key : kKeys) {
      for (const auto& message : kMessages) {
        SCOPED_TRACE(std::string(a.opensslName) + " key=" + key.substr(0, 12) + " message=" + message.substr(0, 12));
        const std::string ours = hmac(message, a.algorithm, key);
        EXPECT_EQ(ours.size(), a.hexLength);
        EXPECT_EQ(ours, opensslDigest(dir, std::string(a.opensslName) + " -mac HMAC -macopt hexkey:" + toHex(key),
                                      message));
      }
    }
  }
}

TEST(Digests, Sha256AndMd5EqualTheOpensslTool) {
  test::TempDir dir;
  EXPECT_EQ(sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(md5(""), "d41d8cd98f00b204e9800998ecf8427e");
  for (const auto& message : kMessages) {
    SCOPED_TRACE(message.substr(0, 12));
    EXPECT_EQ(sha256(message), opensslDigest(dir, "-sha256", message));
    EXPECT_EQ(md5(message), opensslDigest(dir, "-md5", message));
  }
}

TEST(Digests, RequestSignatureIsHmacSha1OfThePrefixedTimeStamp) {
  test::TempDir dir;
  const std::string keyHex = toHex("4b1d7e20-93ac-5f68-b2e4-0c9a7d13e85f");
  for (const std::string stamp : {"1700000000123", "", "0", "with space:and colon"}) {
    SCOPED_TRACE(stamp);
    const std::string signature = APIEncryption::signRequest(stamp);
    EXPECT_EQ(signature.size(), 40u);
    EXPECT_EQ(signature, opensslDigest(dir, "-sha1 -mac HMAC -macopt hexkey:" + keyHex, "darwin:" + stamp));
  }
  EXPECT_NE(APIEncryption::signRequest("1"), APIEncryption::signRequest("2"));
}

struct SliceCase {
  std::string text;
  std::size_t start;
  std::optional<std::size_t> end;
  std::string expected;
};

TEST(Substring, CountsCharactersAsTheUserSeesThem) {
  const std::string family = "\U0001F469\u200D\U0001F469\u200D\U0001F467";  // one emoji, five code points
  const std::string flagJP = "\U0001F1EF\U0001F1F5";
  const std::string flagFR = "\U0001F1EB\U0001F1F7";
  const std::string eAcute = "e\u0301";          // e + combining acute
  const std::string heartEmoji = "\u2764\uFE0F";  // heart + emoji presentation selector
  const std::string hangul = "\u1100\u1161\u11A8";  // one syllable from three jamo
  const std::vector<SliceCase> cases = {
      {"abcdefg", 2, 5, "cde"},
      {"abcdefg", 1, std::nullopt, "bcdefg"},
      {"abcdefg", 0, 7, "abcdefg"},
      {"abcdefg", 3, 3, ""},
      {"", 0, std::nullopt, ""},
      {family + "x", 1, std::nullopt, "x"},
      {"a" + family + "b", 1, 2, family},
      {flagJP + flagFR, 1, std::nullopt, flagFR},
      {flagJP + flagFR + "!", 0, 1, flagJP},
      {eAcute + "cole", 1, std::nullopt, "cole"},
      {"caf" + eAcute + "!", 3, 4, eAcute},
      {heartEmoji + "ok", 1, std::nullopt, "ok"},
      {hangul + "z", 1, std::nullopt, "z"},
      {"a\r\nb", 1, 2, "\r\n"},
      {"日本語テキスト", 2, 4, "語テ"},
      // Outside the documented limits: clamped, never a crash.
      {"abc", 5, std::nullopt, ""},
      {"abc", 1, 99, "bc"},
      {"abc", 2, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " [" + std::to_string(c.start) + ", " + (c.end ? std::to_string(*c.end) : "none") + ")");
    EXPECT_EQ(substring(c.text, c.start, c.end), c.expected);
  }
}

struct CheckCase {
  std::string text;
  bool domain;
  bool ipv4;
  bool ipv6;
};

TEST(TextChecks, WholeTextPatterns) {
  const std::vector<CheckCase> cases = {
      // text                                    domain  ipv4   ipv6
      {"ab.cd", true, false, false},
      {"a-1.bc.de", true, false, false},
      {"-x.yz", true, false, false},
      {"example.com", true, false, false},
      {"EXAMPLE.CO.UK", true, false, false},
      {"a.b.cd", false, false, false},
      {"a1.b2.cd", false, false, false},
      {"localhost", false, false, false},
      {"under_score.com", false, false, false},
      {"example.com.", false, false, false},
      {".com", false, false, false},
      {"exämple.com", false, false, false},
      {"example.com\n", false, false, false},
      {"1.2.3.4", false, true, false},
      {"0.0.0.0", false, true, false},
      {"255.255.255.255", false, true, false},
      {"01.1.1.1", false, true, false},
      {"010.001.000.001", false, true, false},
      {"256.1.1.1", false, false, false},
      {"1.2.3", false, false, false},
      {"1.2.3.4.5", false, false, false},
      {"1.2.3.4\n", false, false, false},
      {" 1.2.3.4", false, false, false},
      {"0001.2.3.4", false, false, false},
      {"1:2:3:4:5:6:7:8", false, false, true},
      {"ABCD:0:0:0:0:0:0:ffff", false, false, true},
      {"fe80:0000:0000:0000:0202:b3ff:fe1e:8329", false, false, true},
      {"1::8", false, false, false},
      {"::1", false, false, false},
      {"1:2:3:4:5:6:1.2.3.4", false, false, false},
      {"fe80:0:0:0:0:0:0:1%eth0", false, false, false},
      {"[1:2:3:4:5:6:7:8]", false, false, false},
      {"12345:2:3:4:5:6:7:8", false, false, false},
      {"1:2:3:4:5:6:7:8\n", false, false, false},
      {"", false, false, false},
      {std::string("1.2.3.4\0", 8), false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    EXPECT_EQ(isDomain(c.text), c.domain);
    EXPECT_EQ(isIPV4(c.text), c.ipv4);
    EXPECT_EQ(isIPV6(c.text), c.ipv6);
    EXPECT_EQ(isIP(c.text), c.ipv4 || c.ipv6);
  }
}

TEST(TextChecks, LongInputIsAnsweredWithoutExhaustingTheStack) {
  const std::string longLabel(2'000'000, 'a');
  EXPECT_TRUE(isDomain(longLabel + ".com"));
  EXPECT_FALSE(isDomain(longLabel));
  EXPECT_FALSE(isIP(longLabel));
  std::string manyLabels;
  for (int i = 0; i < 200'000; ++i) manyLabels += ".ab";
  EXPECT_TRUE(isDomain("x" + manyLabels));
  EXPECT_EQ(substring(longLabel + "z", 2'000'000), "z");
}

}  // namespace
}  // namespace tarnel
