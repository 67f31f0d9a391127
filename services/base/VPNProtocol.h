#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tarnel {

// The tunnel protocol variants a node can offer. The raw value is the short code that the
// service, the stored settings and the tunnel configuration use; AUTO (the empty code) leaves
// the choice to the node controller.
enum class VPNProtocol { AUTO, VMESS_TLS, VMESS_TURN, VLESS_TLS, VLESS_TURN, TROJAN_TLS, TROJAN_TURN, TROJAN_WS };

// Every case in declaration order.
inline constexpr std::array<VPNProtocol, 8> kAllVPNProtocols{
    VPNProtocol::AUTO,       VPNProtocol::VMESS_TLS,  VPNProtocol::VMESS_TURN,  VPNProtocol::VLESS_TLS,
    VPNProtocol::VLESS_TURN, VPNProtocol::TROJAN_TLS, VPNProtocol::TROJAN_TURN, VPNProtocol::TROJAN_WS,
};

// "" for AUTO, then "b", "ts", "d", "e", "f", "g", "c".
std::string_view rawValue(VPNProtocol protocol);

// The case whose code equals `raw` exactly (case-sensitive), or none.
std::optional<VPNProtocol> vpnProtocolFromRaw(std::string_view raw);

// Display name: the localisation key "Automatic" for AUTO, otherwise one capital letter shown as is.
std::string_view Name(VPNProtocol protocol);

// True for the three variants that reach the node directly over TLS.
bool isDirect(VPNProtocol protocol);

// Label between a node's host part and its domain in a host name (host "-" label "." domain):
// "c" for TROJAN_WS, "a" for every other case.
std::string_view domainSpacing(VPNProtocol protocol);

}  // namespace tarnel
