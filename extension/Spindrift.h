#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/engine/UniqueFd.h"
#include "core/tunnel/TunnelProvider.h"

namespace spindrift {

// The privileged host of the tunnel provider. Callers reach it over a Unix stream socket and
// speak newline-separated JSON:
//
//   in:  {"command":"start","configuration":{ tunnel configuration keys }}
//        {"command":"stop"}
//   out: {"status":"connecting"} {"status":"connected"}
//        {"status":"disconnected"[,"failure":"refused","reason":"..."]}
//        {"error":"not authorised"}   (and the connection is closed)
//
// A caller is known by its peer credentials; only the users it was started for (or those polkit
// authorises) are served. The tunnel belongs to the caller that started it, and ends when that
// caller hangs up. It builds the engine configuration itself and keeps nothing of the caller's.
class Spindrift {
 public:
  struct Options {
    int listenFd = -1;                       // an inherited listening socket (socket activation)
    std::filesystem::path socketPath;        // else: the socket to make
    std::set<uid_t> allowedUsers;
    bool askPolkit = false;                  // others may be authorised by polkit
    helmsey::tunnel::TunnelProvider::Options provider;
  };

  explicit Spindrift(Options options);
  // Serves until SIGTERM or SIGINT; the tunnel is then stopped. Returns the exit code.
  int run();

  static constexpr std::size_t kMaxMessage = 1 << 20;
  static constexpr const char* kPolkitAction = "io.tarnelmacos.ne.connect";

 private:
  struct Client {
    helmsey::engine::UniqueFd fd;
    uid_t uid = 0;
    std::string input;
    std::uint64_t id = 0;
  };

  bool authorised(uid_t uid, pid_t pid) const;
  void accept();
  bool serve(Client& client);  // false: drop the client
  bool handle(Client& client, const std::string& line);
  void onEngineEnded(const std::string& why);
  static void send(const Client& client, const nlohmann::json& message);

  Options options_;
  helmsey::engine::UniqueFd listen_;
  std::vector<Client> clients_;
  std::optional<std::uint64_t> owner_;  // the client whose tunnel runs
  std::uint64_t nextId_ = 1;
  std::optional<helmsey::tunnel::TunnelProvider> provider_;
};

}  // namespace spindrift
