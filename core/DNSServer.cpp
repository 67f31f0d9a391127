#include "core/DNSServer.h"

#include <utility>

namespace helmsey {
namespace {

constexpr std::array<std::pair<DNSServer::Value, std::string_view>, 6> kRawValues{{
    {DNSServer::automatic, "auto"},
    {DNSServer::cloudflare, "1.1.1.1"},
    {DNSServer::google, "8.8.8.8"},
    {DNSServer::quad9, "9.9.9.9"},
    {DNSServer::alidns, "223.5.5.5"},
    {DNSServer::dnspod, "119.29.29.29"},
}};

}  // namespace

const std::array<DNSServer, 6>& DNSServer::allCases() {
  static const std::array<DNSServer, 6> cases{automatic, cloudflare, google, quad9, alidns, dnspod};
  return cases;
}

std::optional<DNSServer> DNSServer::fromRawValue(std::string_view raw) {
  for (const auto& [value, text] : kRawValues) {
    if (text == raw) return DNSServer(value);
  }
  return std::nullopt;
}

std::string_view DNSServer::rawValue() const {
  for (const auto& [value, text] : kRawValues) {
    if (value == value_) return text;
  }
  return {};
}

}  // namespace helmsey
