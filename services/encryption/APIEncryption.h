#pragma once

#include <string>
#include <string_view>

namespace tarnel {

// The signature of API and host-discovery requests ("vomel-secret-sign").
class APIEncryption {
 public:
  APIEncryption() = delete;

  // HMAC-SHA1 of "darwin:" + the input under the built-in signing key: 40 lowercase hex digits.
  static std::string signRequest(std::string_view input);
};

}  // namespace tarnel
