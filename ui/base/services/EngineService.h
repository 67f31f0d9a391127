#pragma once

// The core framework's engine as the shell, home, tools and diagnosis pages call it directly:
// status, trial starts and stops, local ports, logs, the switch listener's address, the DNS
// choices and crash capture. Connecting for the user goes through ConnectionService instead.
// Status callbacks come on the engine's own thread; the caller re-posts them.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/LogType.h"
#include "core/VPNStatus.h"
#include "services/connection/Config.h"

namespace lumora {

class EngineService {
 public:
  using StatusCallback = std::function<void(helmsey::VPNStatus)>;

  virtual ~EngineService() = default;

  virtual helmsey::VPNStatus status() = 0;
  // Starts a tunnel from `config`; returns at once. `callback` hears every status of it.
  virtual void startVPN(const tarnel::Config& config, bool reconnect, bool systemProxy, bool commandLineProxy,
                        StatusCallback callback) = 0;
  // Ends the tunnel, if any; `callback` hears disconnected once it is down.
  virtual void stopVPN(StatusCallback callback) = 0;

  // For a client that shares the engine with the user's connection (the diagnosis' trials):
  // every start is numbered when asked for (from 1; 0: none yet); the newest start's number.
  virtual std::uint64_t newestConnection() = 0;
  // Starts only while `after` is still the newest start: the new number, or 0 when someone else
  // started since (nothing is started then and `callback` hears nothing).
  virtual std::uint64_t startVPNAfter(std::uint64_t after, const tarnel::Config& config, bool reconnect,
                                      bool systemProxy, bool commandLineProxy, StatusCallback callback) = 0;
  // Ends connection `connection` only while the engine runs it; a newer one is left alone.
  // `callback` hears disconnected once `connection` no longer runs.
  virtual void stopVPN(std::uint64_t connection, StatusCallback callback) = 0;

  virtual std::uint16_t httpPort() = 0;
  virtual std::uint16_t socksPort() = 0;
  virtual std::uint16_t switchPort() = 0;
  // The LAN address consoles enter as their proxy; empty when there is none.
  virtual std::string switchListenAddress() = 0;

  virtual bool isTun() = 0;
  virtual void setIsTun(bool on) = 0;
  // The engine's recent output (core) or the crash report of this launch (crash); may be empty.
  virtual std::string getLog(helmsey::LogType type) = 0;

  // The DNS choices in their fixed order ("auto" first).
  virtual std::vector<std::string> dnsServers() = 0;

  // Installs crash capture (once per process), then hands an earlier launch's crash lines, if
  // any, to `action` on the calling thread.
  // Puts back what a run that ended without stopping (a crash, kill -9, a reboot) left changed:
  // the desktop's proxy settings and the shell proxy file. Blocks until done; the program calls
  // it once at launch, off the GUI thread, after it knows it is the only instance.
  virtual void prepare() = 0;
  virtual void registerCrashHandle() = 0;
  virtual void crashHandle(const std::function<void(std::optional<std::vector<std::string>>)>& action) = 0;
};

}  // namespace lumora
