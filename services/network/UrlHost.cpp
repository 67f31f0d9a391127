#include "services/network/UrlHost.h"

#include <algorithm>
#include <cctype>

namespace tarnel {

std::optional<std::string> urlHost(const std::string& host) {
  if (host.empty()) return std::nullopt;
  const bool allowed = std::all_of(host.begin(), host.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == ':' || c == '%';
  });
  if (!allowed) return std::nullopt;
  if (host.find(':') != std::string::npos) return "[" + host + "]";
  return host;
}

std::string httpsUrl(const std::string& host, const std::string& rest) {
  const auto inUrl = urlHost(host);
  return inUrl ? "https://" + *inUrl + rest : std::string();
}

}  // namespace tarnel
