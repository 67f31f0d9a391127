#include "services/common/NetworkMonitor.h"

#include <cstdio>
#include <mutex>

#include "services/common/Global.h"

namespace tarnel {
namespace {

void printLine(const std::string& line) {
  const std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

struct MonitorState {
  std::mutex mutex;
  std::filesystem::path sysfsRoot = platform::kSysfsNetRoot;
  platform::NetworkPathMonitor monitor;  // its destructor joins the watcher at process exit
};

MonitorState& state() {
  // The watcher writes Global: make sure Global's state exists first, so it is destroyed last.
  static MonitorState* instance = [] {
    (void)Global::networkType();
    static MonitorState s;
    return &s;
  }();
  return *instance;
}

}  // namespace

std::string NetworkMonitor::displayName(std::string_view interfaceType) {
  if (interfaceType == platform::kInterfaceTypeIEEE80211) return "WiFi";
  if (interfaceType == platform::kInterfaceTypeEthernet) return "Ethernet";
  return std::string(interfaceType);
}

std::optional<std::string> NetworkMonitor::networkType(const platform::NetworkPath& path,
                                                       const std::vector<platform::NetworkInterface>& interfaces) {
  if (!path.satisfied) return std::nullopt;
  std::optional<std::string> type;
  for (const auto& interface : interfaces) {
    if (interface.name.empty() || interface.type.empty()) continue;
    for (const auto& available : path.availableInterfaces) {
      if (available == interface.name) type = displayName(interface.type);
    }
  }
  return type;
}

void NetworkMonitor::setSysfsRoot(std::filesystem::path root) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.sysfsRoot = std::move(root);
}

void NetworkMonitor::startMonitor() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  if (s.monitor.running()) return;
  const std::filesystem::path root = s.sysfsRoot;
  if (!platform::networkInterfaces(root)) {
    printLine("Unable to get network interfaces.");
    return;
  }
  const bool started = s.monitor.start([root](const platform::NetworkPath& path) {
    if (!path.satisfied) return;
    // The kinds are read at each change, so an interface that appeared after the start counts too.
    const auto interfaces = platform::networkInterfaces(root);
    if (!interfaces) return;
    if (auto type = networkType(path, *interfaces)) Global::setNetworkType(std::move(*type));
  });
  if (!started) printLine("Unable to get network interfaces.");
}

void NetworkMonitor::stopMonitor() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.monitor.stop();
}

}  // namespace tarnel
