// The network-type monitor: interface kinds from a planted sysfs tree, the choice among the
// interfaces of a path, and the watcher reacting to a link that appears in a private network
// namespace.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/NetworkPath.h"
#include "services/common/Global.h"
#include "services/common/NetworkMonitor.h"
#include "tests/support/TestHome.h"

namespace platform {
void PrintTo(const NetworkInterface& i, std::ostream* os) { *os << i.name << " (" << i.type << ")"; }
}  // namespace platform

namespace tarnel::test {
namespace {

namespace fs = std::filesystem;

struct Planted {
  std::string name;
  int ifindex;
  int type;               // ARPHRD_*
  std::string devtype;    // uevent DEVTYPE, empty for none
  bool wirelessFolder = false;
  bool phyLink = false;
};

void plant(const fs::path& root, const Planted& p) {
  const fs::path dir = root / p.name;
  fs::create_directories(dir);
  std::ofstream(dir / "type") << p.type << "\n";
  std::ofstream(dir / "ifindex") << p.ifindex << "\n";
  std::ofstream uevent(dir / "uevent");
  if (!p.devtype.empty()) uevent << "DEVTYPE=" << p.devtype << "\n";
  uevent << "INTERFACE=" << p.name << "\nIFINDEX=" << p.ifindex << "\n";
  if (p.wirelessFolder) fs::create_directories(dir / "wireless");
  if (p.phyLink) fs::create_directory_symlink("../../ieee80211/phy0", dir / "phy80211");
}

TEST(NetworkInterfaces, KindsComeFromTheSysfsTree) {
  TempDir dir;
  struct Row {
    Planted planted;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {{"enp3s0", 2, 1, ""}, "Ethernet"},
      {{"wlan0", 3, 1, "", true}, "IEEE80211"},
      {{"wlp2s0", 4, 1, "", false, true}, "IEEE80211"},
      {{"wlx0", 5, 1, "wlan"}, "IEEE80211"},
      {{"br0", 6, 1, "bridge"}, "Bridge"},
      {{"eth0.7", 7, 1, "vlan"}, "VLAN"},
      {{"wwan0", 8, 65534, "wwan"}, "WWAN"},
      {{"wg0", 9, 65534, "wireguard"}, "wireguard"},
      {{"ppp0", 10, 512, ""}, "ppp"},
      {{"tun0", 11, 65534, ""}, "none"},
      {{"odd0", 12, 4242, ""}, "4242"},
  };
  // Planted in reverse, so the order below can only come from the interface indexes.
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) plant(dir.path(), it->planted);
  plant(dir.path(), {"lo", 1, 772, ""});

  for (const auto& row : rows) {
    EXPECT_EQ(platform::interfaceType(dir.path() / row.planted.name), row.expected) << row.planted.name;
  }
  const auto listed = platform::networkInterfaces(dir.path());
  ASSERT_TRUE(listed.has_value());
  ASSERT_EQ(listed->size(), rows.size()) << "loopback is not a network interface";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ((*listed)[i], (platform::NetworkInterface{rows[i].planted.name, rows[i].expected}));
  }
  EXPECT_FALSE(platform::networkInterfaces(dir.path() / "missing").has_value());
}

TEST(NetworkMonitor, TheLastInterfaceOfTheListThatThePathCarriesNamesTheType) {
  const std::vector<platform::NetworkInterface> interfaces = {
      {"eth0", "Ethernet"}, {"wlan0", "IEEE80211"}, {"br0", "Bridge"}, {"", "Ethernet"}, {"x0", ""}};
  struct Row {
    const char* name;
    platform::NetworkPath path;
    std::optional<std::string> expected;
  };
  const std::vector<Row> rows = {
      {"wired only", {true, {"eth0"}}, "Ethernet"},
      {"wireless only", {true, {"wlan0"}}, "WiFi"},
      {"both: the later in the list wins", {true, {"wlan0", "eth0"}}, "WiFi"},
      {"another kind keeps its own word", {true, {"br0", "eth0"}}, "Bridge"},
      {"unsatisfied", {false, {"eth0"}}, std::nullopt},
      {"no interface of the list", {true, {"tun0"}}, std::nullopt},
      {"nameless and kindless entries never match", {true, {"", "x0"}}, std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(NetworkMonitor::networkType(row.path, interfaces), row.expected) << row.name;
  }
  EXPECT_EQ(NetworkMonitor::displayName("IEEE80211"), "WiFi");
  EXPECT_EQ(NetworkMonitor::displayName("Ethernet"), "Ethernet");
}

TEST(NetworkMonitor, WithoutAnInterfaceListNothingStarts) {
  TempDir dir;
  NetworkMonitor::setSysfsRoot(dir.path() / "missing");
  testing::internal::CaptureStdout();
  NetworkMonitor::startMonitor();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Unable to get network interfaces.\n"), std::string::npos) << out;
  EXPECT_EQ(Global::networkType(), "Unknown");
  NetworkMonitor::stopMonitor();
}

// Runs `body` in a forked child inside a network namespace of its own; the child's exit status
// says how it went and what it wrote to the pipe says why.
struct ChildOutcome {
  int status = -1;
  std::string message;
};

template <class Body>
ChildOutcome inNetworkNamespace(Body body) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {-1, "pipe failed"};
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    std::string message;
    int status = 0;
    if (unshare(CLONE_NEWNET) != 0) {
      message = std::string("cannot make a network namespace: ") + std::strerror(errno);
      status = 77;
    } else {
      status = body(message) ? 0 : 1;
    }
    [[maybe_unused]] const auto n = write(pipeFds[1], message.data(), message.size());
    _exit(status);
  }
  close(pipeFds[1]);
  ChildOutcome outcome;
  char buffer[1024];
  ssize_t n = 0;
  while ((n = read(pipeFds[0], buffer, sizeof(buffer))) > 0) outcome.message.append(buffer, static_cast<std::size_t>(n));
  close(pipeFds[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  outcome.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return outcome;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

TEST(NetworkMonitor, ALinkThatComesUpSetsTheTypeAndGoingDownKeepsIt) {
  TempDir sysfs;
  plant(sysfs.path(), {"lo", 1, 772, ""});
  const auto outcome = inNetworkNamespace([&](std::string& why) {
    // The kinds come from the planted tree; the links and addresses are the namespace's own.
    NetworkMonitor::setSysfsRoot(sysfs.path());
    NetworkMonitor::startMonitor();
    NetworkMonitor::startMonitor();  // a second start changes nothing
    const bool linkMade = std::system("ip link add tnl0 type dummy 2>/dev/null") == 0 ||
                          std::system("ip link add tnl0 type veth peer name tnl1 2>/dev/null") == 0;
    if (!linkMade) {
      why = "cannot create a dummy or veth link here";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (Global::networkType() != "Unknown") {
      why = "a link that is down set the type to " + Global::networkType();
      return false;
    }
    // Planted after the start: an interface that appears later is still classified.
    plant(sysfs.path(), {"tnl0", 5, 1, "", true});
    [[maybe_unused]] const int noSuchLink = std::system("ip link set tnl1 up 2>/dev/null");
    if (std::system("ip addr add 10.250.0.1/24 dev tnl0 && ip link set tnl0 up") != 0) {
      why = "cannot bring the link up";
      return false;
    }
    if (!waitFor([] { return Global::networkType() == "WiFi"; }, std::chrono::seconds(30))) {
      why = "the type did not follow the link: " + Global::networkType();
      return false;
    }
    if (std::system("ip link set tnl0 down") != 0) {
      why = "cannot take the link down";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (Global::networkType() != "WiFi") {
      why = "an unsatisfied path changed the type to " + Global::networkType();
      return false;
    }
    NetworkMonitor::stopMonitor();
    return true;
  });
  if (outcome.status == 77) GTEST_SKIP() << outcome.message;
  EXPECT_EQ(outcome.status, 0) << outcome.message;
}

}  // namespace
}  // namespace tarnel::test
