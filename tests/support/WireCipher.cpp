#include "tests/support/WireCipher.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <stdexcept>

namespace tarnel::test::wire {
namespace {

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

CipherContext makeContext(std::string_view key, bool encrypt) {
  if (key.size() != 16) throw std::invalid_argument("AES-128 needs a 16-byte key");
  CipherContext ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr,
                                reinterpret_cast<const unsigned char*>(key.data()), nullptr,
                                encrypt ? 1 : 0) != 1) {
    throw std::runtime_error("cannot set up AES-128-ECB");
  }
  // OpenSSL's block padding is PKCS#7, which for 16-byte blocks is PKCS#5 as the client writes it.
  EVP_CIPHER_CTX_set_padding(ctx.get(), 1);
  return ctx;
}

std::optional<std::string> runCipher(EVP_CIPHER_CTX* ctx, std::string_view input) {
  std::string out(input.size() + 16, '\0');
  int written = 0;
  int tail = 0;
  auto* dst = reinterpret_cast<unsigned char*>(out.data());
  if (EVP_CipherUpdate(ctx, dst, &written, reinterpret_cast<const unsigned char*>(input.data()),
                       static_cast<int>(input.size())) != 1) {
    return std::nullopt;
  }
  if (EVP_CipherFinal_ex(ctx, dst + written, &tail) != 1) return std::nullopt;
  out.resize(static_cast<size_t>(written + tail));
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string toHex(std::string_view bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0x0f]);
  }
  return out;
}

std::optional<std::string> fromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = hexValue(hex[i]);
    const int lo = hexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return out;
}

bool isLowerHex(std::string_view text) {
  return !text.empty() && text.size() % 2 == 0 &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::string encipher(std::string_view plain, std::string_view key) {
  auto ctx = makeContext(key, true);
  auto out = runCipher(ctx.get(), plain);
  if (!out) throw std::runtime_error("AES-128-ECB encryption failed");
  return toHex(*out);
}

std::optional<std::string> decipher(std::string_view hex, std::string_view key) {
  const auto bytes = fromHex(hex);
  if (!bytes || bytes->empty() || bytes->size() % 16 != 0) return std::nullopt;
  auto ctx = makeContext(key, false);
  return runCipher(ctx.get(), *bytes);
}

std::string sign(std::string_view timestamp) {
  const std::string message = std::string(kPlatform) + ":" + std::string(timestamp);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (HMAC(EVP_sha1(), kSigningKey.data(), static_cast<int>(kSigningKey.size()),
           reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest,
           &length) == nullptr) {
    throw std::runtime_error("HMAC-SHA1 failed");
  }
  return toHex(std::string_view(reinterpret_cast<const char*>(digest), length));
}

std::map<std::string, std::string> signatureHeaders(int64_t timestampMs) {
  const std::string stamp = std::to_string(timestampMs);
  return {{std::string(kPublicHeader), std::string(kPlatform)},
          {std::string(kTimespanHeader), stamp},
          {std::string(kSignHeader), sign(stamp)}};
}

std::string sha256Hex(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 failed");
  }
  return toHex(std::string_view(reinterpret_cast<const char*>(digest), length));
}

std::string passwordDigest(std::string_view password) {
  std::string hex = sha256Hex(password);
  std::transform(hex.begin(), hex.end(), hex.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return hex;
}

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::vector<std::pair<std::string, std::string>> parseQuery(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> pairs;
  if (text.empty()) return pairs;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find('&', start), text.size());
    const std::string_view piece = text.substr(start, end - start);
    const size_t eq = piece.find('=');
    if (eq == std::string_view::npos) {
      pairs.emplace_back(std::string(piece), std::string());
    } else {
      pairs.emplace_back(std::string(piece.substr(0, eq)), std::string(piece.substr(eq + 1)));
    }
    start = end + 1;
  }
  return pairs;
}

WireJson discoveryBody() {
  return WireJson{
      {"apicdn", ""},
      {"cdndl", ""},
      {"dns", WireJson::array()},
      {"urls",
       {{"apiReserve1", ""},
        {"apiReserve2", ""},
        {"officialSite", ""},
        {"officials", WireJson::array()},
        {"share", ""},
        {"custom", ""},
        {"route_list", ""},
        {"pay_cdn2", WireJson::array()}}},
      {"clip", {{"interval", 0}, {"size", WireJson::array()}, {"enabled", "0"}, {"app_version", 0}}},
      {"cs", "support@tarnel.test"},
      {"navi", {{"ver", 0}, {"zh", ""}, {"en", ""}, {"hk", ""}}},
  };
}

WireJson discoveryBody(const std::string& apiHostName, const std::vector<std::string>& addresses) {
  WireJson body = discoveryBody();
  body["dns"].push_back({{"host", apiHostName}, {"ip", addresses}});
  return body;
}

std::string discoveryAnswer(const WireJson& body, const std::string& version,
                            DiscoveryLayers layers) {
  WireJson document{{"version", version}};
  document["body"] =
      layers.bodyEnciphered ? WireJson(encipher(body.dump(), kDiscoveryBodyKey)) : body;
  const std::string text = document.dump();
  return layers.outerEnciphered ? encipher(text, kApiKey) : text;
}

}  // namespace tarnel::test::wire
