#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarnel {

// The DNS servers the system resolves with, in the order the system lists them; none when no
// server is configured or the configuration cannot be read. When systemd-resolved runs, its list
// of upstream servers is the answer (the stub address that /etc/resolv.conf then names says
// nothing about the network); otherwise the "nameserver" lines of /etc/resolv.conf. `root` is
// the file-system root the two files are read below, "/" outside tests.
std::optional<std::vector<std::string>> primaryDNSServers(const std::filesystem::path& root = "/");

}  // namespace tarnel
