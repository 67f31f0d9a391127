#pragma once

// Connecting and disconnecting through the library's connection control, and the game-console
// listener. The callbacks arrive on the library's own threads, one at a time and in order; the
// user interface re-posts them to its GUI thread and never waits in them for disconnect().

#include <functional>
#include <memory>
#include <string>

#include "core/VPNStatus.h"
#include "services/connection/ConnectStep.h"
#include "ui/base/services/ServiceTypes.h"

namespace lumora {

// The user's connection settings, handed over before each connect.
struct ConnectionSettings {
  bool smartRoute = false;
  bool tunnel = false;
  bool autoReconnect = true;
  bool checkConnection = true;
  bool enableSystemProxy = true;
  bool enableCmdProxy = false;
  std::string dnsServer = "auto";
  std::string strategy = "UseIP";

  bool operator==(const ConnectionSettings&) const = default;
};

struct ConnectionCallbacks {
  std::function<void(tarnel::ConnectStep)> onStep;
  std::function<void(helmsey::VPNStatus)> onStatus;
  std::function<void(ServiceError)> onFailed;
};

class ConnectionService {
 public:
  virtual ~ConnectionService() = default;

  // Replaces the three callbacks (an empty function: that kind is not reported).
  virtual void setCallbacks(ConnectionCallbacks callbacks) = 0;
  // Takes effect at the next openConnection().
  virtual void configure(const ConnectionSettings& settings) = 0;
  // Runs one connection attempt; blocks until the configuration reached the engine or the
  // attempt failed. Outcomes come through the callbacks.
  virtual void openConnection() = 0;
  // Cancels the attempt or ends the connection; blocks until no engine of ours runs.
  virtual void disconnect() = 0;
  // The game-console listener for the node in use; false when it did not start.
  virtual bool startSwitchListen() = 0;
  virtual void stopSwitchListen() = 0;
};

}  // namespace lumora
