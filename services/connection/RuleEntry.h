#pragma once

// One entry of the user's routing lists (direct, proxy, block) as the engine can route it: a
// host name, matched with its subdomains, or a single address. The editor accepts exactly what
// this accepts, and the tunnel configuration takes exactly these entries, so an entry the user
// was allowed to save is never dropped silently when a connection opens.

#include <optional>
#include <string>
#include <string_view>

namespace tarnel {

enum class RuleEntryKind { domain, address };

// The kind of `entry` taken exactly as written (no trimming), none when the engine cannot route
// it. Addresses: IPv4 in plain dotted-quad form, IPv6 in any form the address parser takes
// (shortened with "::" included), but no prefix length, zone or port. Host names: two or more
// labels of letters, digits and hyphens (no hyphen at either end of a label, at most 63
// characters each, 253 in all), or an internationalised name whose IDNA form is one; the last
// label is not all digits, so a malformed address is not taken for a name.
std::optional<RuleEntryKind> ruleEntryKind(std::string_view entry);

// The IDNA (punycode) form of a host name; the entry as written when it has none.
std::string idnaEncoded(const std::string& entry);

}  // namespace tarnel
