#include "services/encryption/Encryptor.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <climits>
#include <memory>

#include "services/base/Logger.h"
#include "services/encryption/Hex.h"
#include "services/encryption/Utf8.h"

namespace tarnel {
namespace {

constexpr std::string_view kSharedKeyText = "5a3e91c07d24b68f";
constexpr std::string_view kDnsBodyKeyText = "Wp3sNc8GhJ2dLq6Z";

struct CipherContextDeleter {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

// The reason OpenSSL gives for the last failure on this thread (its queue is emptied, so a
// later call never reports a stale reason).
std::string openSslError(std::string_view fallback) {
  std::string reason;
  while (const unsigned long code = ERR_get_error()) {
    if (reason.empty()) {
      char buffer[256];
      ERR_error_string_n(code, buffer, sizeof buffer);
      reason = buffer;
    }
  }
  return reason.empty() ? std::string(fallback) : reason;
}

const EVP_CIPHER* cipherForKey(std::size_t keyBytes) {
  switch (keyBytes) {
    case 16: return EVP_aes_128_ecb();
    case 24: return EVP_aes_192_ecb();
    case 32: return EVP_aes_256_ecb();
    default: return nullptr;
  }
}

// Runs the whole text through AES-ECB with PKCS#5 padding; on failure fills `error`.
std::optional<std::vector<std::uint8_t>> runCipher(const std::vector<std::uint8_t>& key, bool encrypt,
                                                   const std::uint8_t* data, std::size_t size,
                                                   std::string& error) {
  const EVP_CIPHER* cipher = cipherForKey(key.size());
  if (cipher == nullptr) {
    error = "invalid key size " + std::to_string(key.size()) + " (16, 24 or 32 bytes expected)";
    return std::nullopt;
  }
  if (size > static_cast<std::size_t>(INT_MAX) - 32) {
    error = "input too long";
    return std::nullopt;
  }
  CipherContext ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), nullptr, encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 1) != 1) {
    error = openSslError("cipher set-up failed");
    return std::nullopt;
  }
  std::vector<std::uint8_t> out(size + 16);
  int written = 0;
  static const std::uint8_t kNothing = 0;
  if (EVP_CipherUpdate(ctx.get(), out.data(), &written, size == 0 ? &kNothing : data, static_cast<int>(size)) != 1) {
    error = openSslError("cipher update failed");
    return std::nullopt;
  }
  int tail = 0;
  if (EVP_CipherFinal_ex(ctx.get(), out.data() + written, &tail) != 1) {
    error = openSslError(encrypt ? "cipher final block failed" : "wrong final block length or bad padding");
    return std::nullopt;
  }
  out.resize(static_cast<std::size_t>(written) + static_cast<std::size_t>(tail));
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Pairs of hexadecimal digits, either case; a text of odd length reads as if it began with "0".
std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2 + 1);
  std::size_t i = 0;
  if (text.size() % 2 == 1) {
    const int low = hexDigit(text[0]);
    if (low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(low));
    i = 1;
  }
  for (; i < text.size(); i += 2) {
    const int high = hexDigit(text[i]);
    const int low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

}  // namespace

Encryptor::Encryptor(std::string_view keyText) : key_(keyText.begin(), keyText.end()) {}

std::optional<std::string> Encryptor::encrypt(std::string_view text) const {
  std::string error;
  const auto sealed =
      runCipher(key_, true, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), error);
  if (!sealed) {
    Logger::log(LogLevel::error, "encrypt error: ", error);
    return std::nullopt;
  }
  return detail::lowercaseHex(*sealed);
}

std::optional<std::string> Encryptor::decrypt(std::string_view cipherText) const {
  const auto bytes = fromHex(cipherText);
  if (!bytes) {
    Logger::log(LogLevel::warning, "value isn't hexString");
    return std::nullopt;
  }
  std::string error;
  const auto opened = runCipher(key_, false, bytes->data(), bytes->size(), error);
  if (!opened) {
    Logger::log(LogLevel::error, "decrypt error: ", error);
    return std::nullopt;
  }
  std::string text(opened->begin(), opened->end());
  if (!detail::isValidUtf8(text)) return std::nullopt;
  return text;
}

const Encryptor& sharedEncryptor() {
  static const Encryptor instance(kSharedKeyText);
  return instance;
}

const Encryptor& dnsBodyEncryptor() {
  static const Encryptor instance(kDnsBodyKeyText);
  return instance;
}

}  // namespace tarnel
