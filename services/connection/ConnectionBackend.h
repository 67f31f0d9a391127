#pragma once

// What the connection state machine drives outside the service library: the core framework's
// VPN engine and switch listener, and the cloud log. One real implementation over CoreManager,
// SwitchManager and CloudLog; tests put an engine of their own in its place.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/VPNStatus.h"
#include "services/log/LogTopic.h"
#include "services/model/Json.h"

namespace tarnel {

class ConnectionBackend {
 public:
  using StatusCallback = std::function<void(helmsey::VPNStatus)>;

  virtual ~ConnectionBackend() = default;

  // Starts a connection; returns at once. `callback` hears every status of that connection on
  // the engine's thread, and nothing more once the connection was stopped with stopVPN.
  virtual void startVPN(const Json& configuration, bool reconnect, bool systemProxy, bool commandLineProxy,
                        StatusCallback callback) = 0;
  // Ends the connection, if any; `callback` hears disconnected once the engine is gone.
  virtual void stopVPN(StatusCallback callback) = 0;
  // Cancels a start or ends the connection; the connection's callback hears disconnected.
  virtual void cancelVPN() = 0;
  // Why the newest connection ended (none, the engine refused it, or the system proxy could not
  // be set); read when its callback hears disconnected, on the engine's thread.
  virtual helmsey::StartFailure startFailure() = 0;
  // Port of the engine's local HTTP proxy on 127.0.0.1.
  virtual std::uint16_t httpPort() = 0;

  virtual bool startSwitchListen(const Json& options) = 0;
  virtual void stopSwitchListen() = 0;

  virtual void log(const std::map<std::string, std::string>& fields, LogTopic topic) = 0;
};

// The real one: CoreManager, SwitchManager, CloudLog.
std::unique_ptr<ConnectionBackend> makeCoreConnectionBackend();

}  // namespace tarnel
