#pragma once

// Keeps Global's network type naming the kind of link the computer is online through: "WiFi",
// "Ethernet", or the system's word for another kind of interface. Nothing in the library reads
// it; it is offered to the library's users and to the logs.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/NetworkPath.h"

namespace tarnel {

class NetworkMonitor {
 public:
  // Starts watching (once: a second call while running changes nothing). When the interfaces
  // cannot be listed it prints "Unable to get network interfaces." and starts nothing.
  // Every satisfied path then sets the network type; an unsatisfied one leaves it as it was.
  static void startMonitor();
  // Stops watching and joins the watcher; for an orderly shutdown (also run at process exit).
  static void stopMonitor();

  // Test seam: where the interface kinds are read (the sysfs net folder). Takes effect at the
  // next start.
  static void setSysfsRoot(std::filesystem::path root);

  // The network type a path gives: the kind of the last interface of `interfaces` (in their
  // order) that the path carries; none for an unsatisfied path or when none matches.
  static std::optional<std::string> networkType(const platform::NetworkPath& path,
                                                const std::vector<platform::NetworkInterface>& interfaces);
  // "IEEE80211" → "WiFi", "Ethernet" → "Ethernet", any other kind as it is.
  static std::string displayName(std::string_view interfaceType);

  NetworkMonitor() = delete;
};

}  // namespace tarnel
