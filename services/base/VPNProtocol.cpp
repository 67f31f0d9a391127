#include "services/base/VPNProtocol.h"

#include <cstddef>

namespace tarnel {
namespace {

struct ProtocolRow {
  VPNProtocol protocol;
  std::string_view raw;
  std::string_view name;
  bool direct;
  std::string_view spacing;
};

constexpr std::array<ProtocolRow, 8> kRows{{
    {VPNProtocol::AUTO, "", "Automatic", false, "a"},
    {VPNProtocol::VMESS_TLS, "b", "I", true, "a"},
    {VPNProtocol::VMESS_TURN, "ts", "C", false, "a"},
    {VPNProtocol::VLESS_TLS, "d", "S", true, "a"},
    {VPNProtocol::VLESS_TURN, "e", "W", false, "a"},
    {VPNProtocol::TROJAN_TLS, "f", "Q", true, "a"},
    {VPNProtocol::TROJAN_TURN, "g", "U", false, "a"},
    {VPNProtocol::TROJAN_WS, "c", "K", false, "c"},
}};

const ProtocolRow& row(VPNProtocol protocol) {
  const auto index = static_cast<std::size_t>(protocol);
  return index < kRows.size() ? kRows[index] : kRows[0];
}

}  // namespace

std::string_view rawValue(VPNProtocol protocol) { return row(protocol).raw; }

std::optional<VPNProtocol> vpnProtocolFromRaw(std::string_view raw) {
  for (const auto& r : kRows) {
    if (r.raw == raw) return r.protocol;
  }
  return std::nullopt;
}

std::string_view Name(VPNProtocol protocol) { return row(protocol).name; }

bool isDirect(VPNProtocol protocol) { return row(protocol).direct; }

std::string_view domainSpacing(VPNProtocol protocol) { return row(protocol).spacing; }

}  // namespace tarnel
