#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace helmsey {

// The DNS choices offered to the user. The raw values are stored in the user's settings and
// handed back to the engine unchanged, so they never change once released; "auto" (the system's
// resolver) comes first and is the default.
class DNSServer {
 public:
  enum Value { automatic, cloudflare, google, quad9, alidns, dnspod };

  constexpr DNSServer(Value value) : value_(value) {}  // NOLINT: behaves like the enumeration

  static const std::array<DNSServer, 6>& allCases();
  static std::optional<DNSServer> fromRawValue(std::string_view raw);

  std::string_view rawValue() const;
  constexpr Value value() const { return value_; }
  constexpr bool operator==(const DNSServer&) const = default;

 private:
  Value value_;
};

}  // namespace helmsey
