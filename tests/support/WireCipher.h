#pragma once

// The service's wire format as the loopback doubles speak it: the text cipher, the request
// signature and the host-discovery document. Written on OpenSSL and nlohmann directly, apart from
// the client's own code, so that a fault on either side shows up as a disagreement.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace tarnel::test {

using WireJson = nlohmann::ordered_json;

namespace wire {

// Key texts of the two cipher instances; their UTF-8 bytes are the AES-128 keys as they stand.
inline constexpr std::string_view kApiKey = "5a3e91c07d24b68f";
inline constexpr std::string_view kDiscoveryBodyKey = "Wp3sNc8GhJ2dLq6Z";
// HMAC key of the request signature, used as its 36 bytes (hyphens included).
inline constexpr std::string_view kSigningKey = "4b1d7e20-93ac-5f68-b2e4-0c9a7d13e85f";
inline constexpr std::string_view kPlatform = "darwin";

inline constexpr std::string_view kPublicHeader = "vomel-secret-public";
inline constexpr std::string_view kTimespanHeader = "vomel-secret-timespan";
inline constexpr std::string_view kSignHeader = "vomel-secret-sign";

// AES-128-ECB with PKCS#5 padding, written as lowercase hexadecimal.
std::string encipher(std::string_view plain, std::string_view key = kApiKey);

// The reverse: hexadecimal of either case, whole 16-byte blocks, valid padding; nullopt otherwise.
std::optional<std::string> decipher(std::string_view hex, std::string_view key = kApiKey);

// True for an even-length text of the digits 0-9 and the letters a-f only (the form the client
// writes); the empty text is not.
bool isLowerHex(std::string_view text);

std::string toHex(std::string_view bytes);
std::optional<std::string> fromHex(std::string_view hex);

// HMAC-SHA1 of "darwin:" + timestamp under the signing key, lowercase hexadecimal (40 characters).
std::string sign(std::string_view timestamp);

// The three signing headers of a request sent at `timestampMs`.
std::map<std::string, std::string> signatureHeaders(int64_t timestampMs);

// Lowercase hexadecimal SHA-256 of the text's bytes; the password form on the wire is its upper case.
std::string sha256Hex(std::string_view text);
std::string passwordDigest(std::string_view password);

// Milliseconds since 1970 on the system clock.
int64_t nowMs();

// The deciphered `secret`: "key=value" pairs joined by "&", nothing escaped. Each piece splits at
// its first "="; a piece without one gives the key with an empty value.
std::vector<std::pair<std::string, std::string>> parseQuery(std::string_view text);

// Host-discovery document. A body with every key the client requires, each empty (or 0), with the
// customer-service address filled in; tests change what they need.
WireJson discoveryBody();

// A body that names one API host with its addresses (and nothing else to probe).
WireJson discoveryBody(const std::string& apiHostName, const std::vector<std::string>& addresses);

struct DiscoveryLayers {
  bool outerEnciphered = true;  // the whole answer under the API key
  bool bodyEnciphered = true;   // "body" as a cipher text under the discovery-body key, else an object
};

// The answer text served at "/v6/get6": {"version", "body"} in the chosen layers.
std::string discoveryAnswer(const WireJson& body, const std::string& version = "1",
                            DiscoveryLayers layers = {});

}  // namespace wire
}  // namespace tarnel::test
