#include "services/log/PrimaryDns.h"

#include <arpa/inet.h>

#include <fstream>
#include <sstream>
#include <system_error>

namespace tarnel {
namespace {

// resolved writes its upstream servers here while it runs; /run does not outlive a boot.
constexpr const char* kResolvedConf = "run/systemd/resolve/resolv.conf";
constexpr const char* kResolvConf = "etc/resolv.conf";

bool isAddress(const std::string& text) {
  unsigned char buffer[16];
  if (inet_pton(AF_INET, text.c_str(), buffer) == 1) return true;
  // A link-local IPv6 server may carry its interface as "%scope".
  const std::string address = text.substr(0, text.find('%'));
  return inet_pton(AF_INET6, address.c_str(), buffer) == 1;
}

std::optional<std::string> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return content.str();
}

// The "nameserver" addresses of resolv.conf text, in order; comment lines and addresses that are
// not IPv4 or IPv6 are skipped.
std::vector<std::string> nameserversOfResolvConf(const std::string& text) {
  std::vector<std::string> servers;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string keyword;
    std::string address;
    if (!(words >> keyword) || keyword != "nameserver") continue;
    if (!(words >> address)) continue;
    // A comment may follow the address on the same line.
    if (const auto comment = address.find_first_of("#;"); comment != std::string::npos) address.resize(comment);
    if (isAddress(address)) servers.push_back(address);
  }
  return servers;
}

}  // namespace

std::optional<std::vector<std::string>> primaryDNSServers(const std::filesystem::path& root) {
  std::error_code error;
  const auto resolved = root / kResolvedConf;
  const auto path = std::filesystem::is_regular_file(resolved, error) ? resolved : root / kResolvConf;
  const auto text = readFile(path);
  if (!text) return std::nullopt;
  auto servers = nameserversOfResolvConf(*text);
  if (servers.empty()) return std::nullopt;
  return servers;
}

}  // namespace tarnel
