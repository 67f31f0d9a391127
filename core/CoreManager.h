#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/LogType.h"
#include "core/VPNStatus.h"

namespace helmsey {

using VPNStatusCallback = std::function<void(VPNStatus)>;

// The VPN engine: local HTTP and SOCKS proxies on 127.0.0.1 carried by a supervised proxy
// engine process. Every member is static; the engine lives until the process ends, and when it
// ends the engine process is stopped and the desktop's proxy settings are put back.
class CoreManager {
 public:
  CoreManager() = delete;

  // Starts a connection from the tunnel configuration dictionary (the keys of the tunnel
  // configuration: "isSmart", "isTun", the rule lists, "servers", "protocol", "serverName", "dns",
  // "dnsStrategy"). Returns at once. `callback` then gets, on the engine's own thread, every
  // status of this connection: connecting, then connected once the proxies listen, or
  // disconnected when the start fails, is cancelled, or the engine ends; with `reconnect`, a
  // crashed engine is restarted (connecting, connected again) a few times before it gives up.
  // `systemProxy` points the desktop's proxy at the local proxies while connected;
  // `commandLineProxy` writes an environment file that shells can source.
  // A running connection is ended first (its callback hears disconnected).
  static void startVPN(const nlohmann::ordered_json& configuration, bool reconnect, bool systemProxy,
                       bool commandLineProxy, VPNStatusCallback callback);

  // Ends the connection, if any, and calls `callback` once with disconnected, on the engine's
  // thread, when the engine process is gone and the desktop's settings are back. The stopped
  // connection's own callback hears nothing more.
  static void stopVPN(VPNStatusCallback callback);

  // Every start is numbered when asked for, counting up from 1; 0: none yet. The number of the
  // newest start asked for.
  static std::uint64_t newestConnection();
  // A start like startVPN, asked for only while `after` is still the newest start's number (no
  // one else started since): the new connection's number, or 0 when another start came first
  // (nothing is started then and `callback` hears nothing). For a client that shares the engine
  // and must never replace a connection it did not make.
  static std::uint64_t startVPNAfter(std::uint64_t after, const nlohmann::ordered_json& configuration, bool reconnect,
                                     bool systemProxy, bool commandLineProxy, VPNStatusCallback callback);
  // Ends connection `connection` only while it is the one the engine runs; a newer connection
  // is left alone. `callback` hears disconnected once, when `connection` no longer runs.
  static void stopVPN(std::uint64_t connection, VPNStatusCallback callback);

  // Makes the engine; the application calls it at launch. What an earlier run that died left
  // behind (the desktop's proxy pointed at its dead port, the shell proxy file) is put back
  // before it returns. The engine is made by the first call of any member, so a process that
  // may not be the user's only client (a second launch) must call none before it knows.
  static void prepare();

  // Why the newest connection ended, read when its callback hears disconnected: the engine
  // refused it, or the desktop's proxy could not be set (the connection is then ended, since
  // the desktop would not use it); none for any other end.
  static StartFailure startFailure();

  static VPNStatus status();
  // Writing disconnected cancels a start (or ends the connection): the engine process is killed
  // and the connection's callback hears disconnected. Other values change nothing.
  static void setStatus(VPNStatus status);

  static std::uint16_t httpPort();
  static std::uint16_t socksPort();
  static std::uint16_t switchPort();

  static bool isTun();
  static void setIsTun(bool on);

  // The proxy engine's version ("4.34.0"), or empty when it cannot be asked.
  static std::string coreVersion();
  // The engine's recent output and notes (core), or the crash report of this launch (crash).
  static std::string getLog(LogType type);
};

}  // namespace helmsey
