#include "services/encryption/APIEncryption.h"

#include "services/encryption/StringExtension.h"

namespace tarnel {
namespace {

// Used as its 36 UTF-8 bytes, hyphens included: it only looks like a UUID.
constexpr std::string_view kSigningKey = "4b1d7e20-93ac-5f68-b2e4-0c9a7d13e85f";
constexpr std::string_view kPlatform = "darwin";

}  // namespace

std::string APIEncryption::signRequest(std::string_view input) {
  std::string message;
  message.reserve(kPlatform.size() + 1 + input.size());
  message.append(kPlatform).append(":").append(input);
  return hmac(message, CryptoAlgorithm::SHA1, kSigningKey);
}

}  // namespace tarnel
