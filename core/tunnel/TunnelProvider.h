#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/ChildProcess.h"
#include "core/engine/PortReservation.h"
#include "core/engine/V2rayConfig.h"
#include "core/tunnel/CaptureRules.h"

namespace helmsey::tunnel {

// Carries the whole machine's traffic through the node: the proxy engine with a transparent
// inbound, and the capture that steers every outgoing TCP and UDP packet (DNS included, IPv4
// and IPv6) into it. The capture is there only while the engine is: it is removed on stop, when
// the engine ends, and, after a crash of the process that owned it, when the next provider is
// made.
//
// Not thread-safe: one owner drives it from its own loop (watchFds, then service).
class TunnelProvider {
 public:
  struct Options {
    std::filesystem::path stateDirectory;           // the capture's journal; must outlive us
    std::filesystem::path v2rayProgram = "v2ray";
    std::optional<std::filesystem::path> extraCa;   // trusted by outbound TLS besides the system's
    // The system user the engine runs as, holding only the network administration capability
    // its transparent inbound and marked connections need. Empty: this process's own user.
    std::string engineUser;
  };

  explicit TunnelProvider(Options options);
  ~TunnelProvider();
  TunnelProvider(const TunnelProvider&) = delete;
  TunnelProvider& operator=(const TunnelProvider&) = delete;

  // Starts from the tunnel configuration dictionary and returns once traffic is captured, or
  // fails with `error` (nothing is then left in place). A running tunnel is stopped first.
  // It waits for name lookups and the engine: its owner calls it beside its own loop.
  bool start(const engine::Json& configuration, std::string& error);
  // Asks a start that looks up the node or waits for the engine to give up (it then fails);
  // safe from another thread. allowStart() clears it, before the next start.
  void cancelStart() { cancelled_.store(true); }
  void allowStart() { cancelled_.store(false); }
  // Ends the tunnel; false when its capture could not be removed (it is then left to
  // retryRemoval(), and its journal stays).
  bool stop();
  bool running() const { return child_ != nullptr; }
  // A capture whose removal has not yet succeeded.
  bool captureLeft() const { return rules_.pending(); }
  bool retryRemoval() { return rules_.remove(); }

  // The descriptors to wait on while running; call service() when one is readable. service()
  // returns false, with `why`, when the engine ended (the capture is then removed).
  std::vector<int> watchFds() const;
  bool service(std::string& why);

  static constexpr auto kStartTimeout = std::chrono::seconds(10);

 private:
  void drainOutput();
  bool tearDown();

  Options options_;
  CaptureRules rules_;
  std::optional<engine::PortReservation> port_;  // made per start, as the engine's user
  std::unique_ptr<engine::ChildProcess> child_;
  bool outputOpen_ = false;
  std::atomic<bool> cancelled_{false};
  std::string lastLine_;
  std::string partial_;
};

}  // namespace helmsey::tunnel
