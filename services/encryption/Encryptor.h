#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel {

// The text cipher shared with the service: AES in ECB mode with PKCS#5 padding under a fixed
// key, cipher texts written as lowercase hexadecimal (read back in either case). The key is the
// UTF-8 bytes of the key text exactly as given, so a 16-character text makes AES-128.
//
// Both operations are safe from any thread at once: each call builds its own cipher context
// and the key never changes after construction. Failures are logged and give none.
class Encryptor {
 public:
  explicit Encryptor(std::string_view keyText);

  const std::vector<std::uint8_t>& key() const { return key_; }

  // Lowercase hexadecimal cipher text of the UTF-8 text, or none on a cipher error.
  std::optional<std::string> encrypt(std::string_view text) const;

  // Plain text of a hexadecimal cipher text, or none when the text is not hexadecimal, the
  // cipher refuses it, or the deciphered bytes are not UTF-8.
  std::optional<std::string> decrypt(std::string_view cipherText) const;

 private:
  std::vector<std::uint8_t> key_;
};

// The instance for API queries and bodies, API answers, stored settings texts and the outer
// layer of the host-discovery answer. Created on first use.
const Encryptor& sharedEncryptor();

// The instance for the body of the host-discovery answer, and nothing else.
const Encryptor& dnsBodyEncryptor();

}  // namespace tarnel
