#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "services/log/PrimaryDns.h"
#include "tests/support/TestHome.h"

namespace tarnel {
namespace {

void plant(const std::filesystem::path& root, const std::string& relative, const std::string& text) {
  const auto path = root / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

using Servers = std::optional<std::vector<std::string>>;

TEST(PrimaryDns, ReadsTheResolverOfTheSystem) {
  const std::string stub = "# managed by resolved\nnameserver 127.0.0.53\noptions edns0 trust-ad\nsearch lan\n";
  struct Case {
    const char* what;
    std::optional<std::string> resolved;  // resolved's upstream list, when resolved runs
    std::optional<std::string> resolvConf;
    Servers expected;
  };
  const Case cases[] = {
      {"plain resolv.conf, order kept", std::nullopt, "nameserver 192.168.1.1\nnameserver 2001:db8::53\n",
       std::vector<std::string>{"192.168.1.1", "2001:db8::53"}},
      {"resolved's upstream list wins over its stub", "nameserver 9.9.9.9\nnameserver 1.1.1.1\nsearch .\n", stub,
       std::vector<std::string>{"9.9.9.9", "1.1.1.1"}},
      {"resolved runs without servers", "# no servers known\nsearch .\n", stub, std::nullopt},
      {"comments, blanks, tabs and junk", std::nullopt,
       "# nameserver 10.0.0.1\n; nameserver 10.0.0.2\n\n  nameserver\t10.0.0.3  # office\n"
       "nameserver not-an-address\nnameserver\nnameservers 10.0.0.4\nNAMESERVER 10.0.0.5\n"
       "nameserver fe80::1%eth0\nnameserver 10.0.0.6;lan\n",
       std::vector<std::string>{"10.0.0.3", "fe80::1%eth0", "10.0.0.6"}},
      {"no line ending at the end", std::nullopt, "nameserver 8.8.4.4", std::vector<std::string>{"8.8.4.4"}},
      {"CRLF line endings", std::nullopt, "nameserver 8.8.8.8\r\nnameserver 8.8.4.4\r\n",
       std::vector<std::string>{"8.8.8.8", "8.8.4.4"}},
      {"empty resolv.conf", std::nullopt, "", std::nullopt},
      {"no resolver files at all", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir root;
    if (c.resolved) plant(root.path(), "run/systemd/resolve/resolv.conf", *c.resolved);
    if (c.resolvConf) plant(root.path(), "etc/resolv.conf", *c.resolvConf);
    EXPECT_EQ(primaryDNSServers(root.path()), c.expected);
  }
}

TEST(PrimaryDns, UnreadableResolverGivesNone) {
  test::TempDir root;
  // A directory where the file should be cannot be read as one.
  std::filesystem::create_directories(root.path() / "etc/resolv.conf");
  EXPECT_EQ(primaryDNSServers(root.path()), std::nullopt);
}

}  // namespace
}  // namespace tarnel
