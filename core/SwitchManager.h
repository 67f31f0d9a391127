#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

namespace helmsey {

namespace engine {
class ChildProcess;
class PortReservation;
}  // namespace engine

// The switch listener: an HTTP proxy on the LAN address for game consoles, carried by a proxy
// engine process of its own. The switch domains go through the node, everything else direct.
class SwitchManager {
 public:
  static SwitchManager& shared();
  ~SwitchManager();
  SwitchManager(const SwitchManager&) = delete;
  SwitchManager& operator=(const SwitchManager&) = delete;

  // Starts (or restarts) the listener from the switch-listen dictionary ("unlock", "servers",
  // "protocol", "serverName", "dns"); blocks until it listens or fails. True when it runs.
  bool startListen(const nlohmann::ordered_json& options);
  void stopListen();

  // The address consoles enter as their proxy server: the LAN address of the default route,
  // or empty when there is none.
  std::string listenAddress() const;
  // The listener's port, chosen once per process.
  std::uint16_t port() const;

 private:
  SwitchManager();
  void stopLocked();

  std::unique_ptr<engine::PortReservation> reservation_;
  mutable std::mutex mutex_;
  std::unique_ptr<engine::ChildProcess> child_;
  std::thread drain_;  // moves the child's output into the core log until it ends
};

}  // namespace helmsey
