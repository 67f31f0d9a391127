#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace helmsey {

// What the engine takes from its surroundings. Production runs with the defaults; tests point
// the engine at their own loopback world through setEngineEnvironment before the first start.
struct EngineEnvironment {
  // The proxy engine program; a name without a slash is looked up on PATH at each start.
  std::filesystem::path v2rayProgram = "v2ray";
  // A certificate authority that outbound TLS trusts in addition to the system's.
  std::optional<std::filesystem::path> extraCaCertificate;
  // The address the switch listener binds; none means the LAN address of the default route.
  std::optional<std::string> switchListenAddress;
  // Spindrift's socket, through which tunnel mode is started.
  std::filesystem::path tunnelSocket = "/run/io.tarnelmacos.ne.sock";
};

void setEngineEnvironment(EngineEnvironment environment);
EngineEnvironment engineEnvironment();

}  // namespace helmsey
