#pragma once

// What the desktop offers in place of a path monitor and an interface list: rtnetlink events
// for the usable links, sysfs for the kind of each interface.

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// The platform library hides everything its headers do not declare.
#pragma GCC visibility push(default)
namespace platform {

// Interface-type texts for the two kinds the library names itself; every other kind is
// described by the kernel's own word for it (a device type such as "Bridge", or a link type
// such as "ppp" or "none").
inline constexpr std::string_view kInterfaceTypeIEEE80211 = "IEEE80211";
inline constexpr std::string_view kInterfaceTypeEthernet = "Ethernet";

inline constexpr const char* kSysfsNetRoot = "/sys/class/net";

struct NetworkInterface {
  std::string name;  // "eth0", "wlp2s0"
  std::string type;
  bool operator==(const NetworkInterface&) const = default;
};

// The kind of the interface whose sysfs folder is `interfaceDir`: wireless (a "wireless" or
// "phy80211" entry, or device type wlan) → IEEE80211; a device type (bridge, vlan, bond, wwan…)
// → its name; link type ARPHRD_ETHER → Ethernet; otherwise the link type's name.
std::string interfaceType(const std::filesystem::path& interfaceDir);

// Every interface under the sysfs root except loopback, in interface-index order; none when the
// root cannot be read.
std::optional<std::vector<NetworkInterface>> networkInterfaces(const std::filesystem::path& sysfsRoot = kSysfsNetRoot);

struct NetworkPath {
  bool satisfied = false;                        // some usable interface exists
  std::vector<std::string> availableInterfaces;  // up, carrying, with an address beyond the link
  bool operator==(const NetworkPath&) const = default;
};

// Watches the links and addresses of the current network namespace through rtnetlink (no
// polling) and reports the path once at start and again whenever it changes, on its own thread.
class NetworkPathMonitor {
 public:
  using Handler = std::function<void(const NetworkPath&)>;

  NetworkPathMonitor() = default;
  ~NetworkPathMonitor();
  NetworkPathMonitor(const NetworkPathMonitor&) = delete;
  NetworkPathMonitor& operator=(const NetworkPathMonitor&) = delete;

  // False when rtnetlink cannot be opened. A second start while running changes nothing.
  bool start(Handler handler);
  // Wakes the thread and joins it; never call it from the handler.
  void stop();
  bool running() const;

  // The path as it is now (one rtnetlink dump); none when rtnetlink cannot be read.
  static std::optional<NetworkPath> currentPath();

 private:
  void run(Handler handler);

  mutable std::mutex mutex_;
  int eventSocket_ = -1;
  int wakeFd_ = -1;
  std::thread thread_;
};

}  // namespace platform
#pragma GCC visibility pop
