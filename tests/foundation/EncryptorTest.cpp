#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include "services/encryption/Encryptor.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"
#include "tests/support/WireCipher.h"

namespace tarnel {
namespace {

using test::commandOutput;
using test::shellQuote;
using test::wire::toHex;

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// The cipher text the openssl tool makes of `plain` under the key text (taken as raw bytes).
std::string opensslCipherHex(const test::TempDir& dir, std::string_view keyText, std::string_view plain) {
  const auto input = dir.write("plain.bin", plain);
  const auto out = commandOutput("openssl enc -aes-128-ecb -K " + toHex(keyText) + " -in " + shellQuote(input.string()));
  EXPECT_TRUE(out.has_value()) << "openssl enc failed";
  return out ? toHex(*out) : std::string();
}

struct KeyCase {
  const char* name;
  const Encryptor& encryptor;
  std::string_view keyText;
};

std::vector<KeyCase> bothKeys() {
  return {{"shared", sharedEncryptor(), "5a3e91c07d24b68f"}, {"dnsBody", dnsBodyEncryptor(), "Wp3sNc8GhJ2dLq6Z"}};
}

const std::vector<std::string> kPlainTexts = {
    "",
    "fifteen bytes!!",     // 15
    "sixteen bytes!!!",    // 16
    "seventeen bytes!!",   // 17
    "héllo wörld — 你好 🇯🇵 👩‍👩‍👧",
    R"({"user_id":"42","lang":"zh-Hans"})",
};

TEST(Encryptor, CipherTextsEqualTheOpensslToolsForBothKeys) {
  test::TempDir dir;
  for (const auto& key : bothKeys()) {
    for (const auto& plain : kPlainTexts) {
      SCOPED_TRACE(std::string(key.name) + " / \"" + plain + "\"");
      const auto sealed = key.encryptor.encrypt(plain);
      ASSERT_TRUE(sealed.has_value());
      EXPECT_EQ(*sealed, opensslCipherHex(dir, key.keyText, plain));
      EXPECT_EQ(sealed->size(), 32 * (plain.size() / 16 + 1));
      EXPECT_EQ(key.encryptor.decrypt(*sealed), plain);
      EXPECT_EQ(key.encryptor.encrypt(plain), sealed) << "the cipher must be deterministic";
    }
  }
  EXPECT_NE(sharedEncryptor().encrypt("same text"), dnsBodyEncryptor().encrypt("same text"));
}

TEST(Encryptor, KeyIsTheKeyTextsBytesUnchanged) {
  EXPECT_EQ(sharedEncryptor().key(), std::vector<std::uint8_t>({'5', 'a', '3', 'e', '9', '1', 'c', '0', '7', 'd', '2',
                                                                '4', 'b', '6', '8', 'f'}));
  EXPECT_EQ(dnsBodyEncryptor().key().size(), 16u);
}

TEST(Encryptor, ReadsUpperCaseAndCipherTextsThatLostTheirLeadingZero) {
  const auto sealed = sharedEncryptor().encrypt("Grüße aus Zürich");
  ASSERT_TRUE(sealed);
  EXPECT_EQ(sharedEncryptor().decrypt(upper(*sealed)), "Grüße aus Zürich");

  // Find a text whose cipher text starts with "0", then drop that digit.
  std::string plain;
  std::string cipher;
  for (int i = 0; i < 1000 && (cipher.empty() || cipher[0] != '0'); ++i) {
    plain = "value-" + std::to_string(i);
    cipher = sharedEncryptor().encrypt(plain).value_or("");
  }
  ASSERT_EQ(cipher[0], '0');
  EXPECT_EQ(sharedEncryptor().decrypt(cipher.substr(1)), plain);
  EXPECT_EQ(sharedEncryptor().decrypt(upper(cipher.substr(1))), plain);
}

struct RefusedCase {
  std::string cipherText;
  const char* level;  // expected log tag, or nullptr for no line at all
  const char* message;
};

TEST(Encryptor, TextThatIsNotACipherTextIsRefusedWithItsLogLine) {
  test::TempDir dir;
  // Well-formed cipher, padding fine, but the plain bytes are not UTF-8: refused without a line.
  const std::string notUtf8 = opensslCipherHex(dir, "5a3e91c07d24b68f", "\xff\xfe\xfd");
  const std::vector<RefusedCase> cases = {
      {R"({"code":0,"data":{}})", "[Warning]", "value isn't hexString"},
      {"not hex at all", "[Warning]", "value isn't hexString"},
      {"0g", "[Warning]", "value isn't hexString"},
      {"+f", "[Warning]", "value isn't hexString"},
      {"00", "[Error]", "decrypt error: "},
      {std::string(30, 'a'), "[Error]", "decrypt error: "},                       // not whole blocks
      {"00112233445566778899aabbccddeeff", "[Error]", "decrypt error: "},         // bad padding
      {notUtf8, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cipherText);
    testing::internal::CaptureStdout();
    const auto result = sharedEncryptor().decrypt(c.cipherText);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, std::nullopt);
    if (c.level == nullptr) {
      EXPECT_EQ(out, "");
      continue;
    }
    EXPECT_EQ(out.rfind(std::string(c.level) + " Encryptor.cpp:", 0), 0u) << out;
    EXPECT_NE(out.find(std::string(" - ") + c.message), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  }
}

TEST(Encryptor, KeyOfAnInvalidLengthFailsWithTheEncryptLine) {
  const Encryptor shortKey("only-ten-b");
  testing::internal::CaptureStdout();
  const auto sealed = shortKey.encrypt("text");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(sealed, std::nullopt);
  EXPECT_EQ(out.rfind("[Error] Encryptor.cpp:", 0), 0u) << out;
  EXPECT_NE(out.find(" - encrypt error: "), std::string::npos) << out;
}

TEST(Encryptor, SharedInstancesServeManyThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 200; ++i) {
        const std::string plain = "thread " + std::to_string(t) + " item " + std::to_string(i);
        const Encryptor& encryptor = (i % 2 == 0) ? sharedEncryptor() : dnsBodyEncryptor();
        const auto sealed = encryptor.encrypt(plain);
        if (!sealed || encryptor.decrypt(*sealed) != plain) ++failures[static_cast<std::size_t>(t)];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(8, 0));
}

}  // namespace
}  // namespace tarnel
