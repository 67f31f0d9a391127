#pragma once

#include <optional>
#include <string>

namespace tarnel {

// A host as it stands between "https://" and a port or path: an IPv6 address goes in brackets.
// None for a text that cannot stand there (empty, or holding anything that would change the
// address's meaning, such as "/", "?", "#", "@" or white space).
std::optional<std::string> urlHost(const std::string& host);

// "https://" + urlHost(host) + rest; the empty text (no URL: a request over it fails at once)
// when the host cannot stand in a URL.
std::string httpsUrl(const std::string& host, const std::string& rest);

}  // namespace tarnel
