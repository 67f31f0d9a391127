#pragma once

#include <sys/types.h>

#include <systemd/sd-event.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/engine/ChildProcess.h"
#include "core/engine/UniqueFd.h"
#include "core/tunnel/TunnelProvider.h"

namespace spindrift {

// Ends an event source's life with its owner.
struct EventSourceRelease {
  void operator()(sd_event_source* source) const { sd_event_source_disable_unref(source); }
};
using EventSource = std::unique_ptr<sd_event_source, EventSourceRelease>;
struct EventLoopRelease {
  void operator()(sd_event* loop) const { sd_event_unref(loop); }
};
using EventLoop = std::unique_ptr<sd_event, EventLoopRelease>;

// The privileged host of the tunnel provider. Callers reach it over a Unix stream socket and
// speak newline-separated JSON:
//
//   in:  {"command":"start","configuration":{ tunnel configuration keys }}
//        {"command":"stop"}
//   out: {"status":"connecting"} {"status":"connected"}
//        {"status":"disconnected"[,"failure":"refused"|"busy"|"capture left","reason":"..."]}
//        {"error":"not authorised"}   (and the connection is closed)
//        {"error":"not the owner"}    (a stop of another user's tunnel)
//
// A caller is known by its peer credentials; only the users it was started for (or those polkit
// authorises) are served. The tunnel belongs to the user, and the connection, that started it:
// it ends when that connection hangs up, only that user or root stops it, and a start by another
// user while it runs answers busy. It builds the engine configuration itself and keeps nothing
// of the caller's.
//
// One loop serves everything and never waits: authorisation (pkcheck) is a child it watches, a
// start (name lookup, the engine's start) runs on a thread beside it, callers' sockets are
// non-blocking with bounded output, and the engine's end is acted on as soon as it happens.
class Spindrift {
 public:
  struct Options {
    int listenFd = -1;                       // an inherited listening socket (socket activation)
    std::filesystem::path socketPath;        // else: the socket to make
    std::set<uid_t> allowedUsers;
    bool askPolkit = false;                  // others may be authorised by polkit
    std::string pkcheckProgram = "pkcheck";
    helmsey::tunnel::TunnelProvider::Options provider;
    std::size_t maxConnections = 64;         // overall
    std::size_t maxConnectionsPerUser = 8;
    std::size_t maxOutput = 64 * 1024;       // answers waiting for a caller that does not read
  };

  explicit Spindrift(Options options);
  ~Spindrift();
  Spindrift(const Spindrift&) = delete;
  Spindrift& operator=(const Spindrift&) = delete;

  // Serves until SIGTERM or SIGINT; the tunnel is then stopped. Returns the exit code.
  int run();

  static constexpr std::size_t kMaxMessage = 1 << 20;
  static constexpr const char* kPolkitAction = "io.tarnelmacos.ne.connect";

 private:
  struct Client {
    Spindrift* host = nullptr;
    std::uint64_t id = 0;
    helmsey::engine::UniqueFd fd;
    uid_t uid = 0;
    pid_t pid = 0;
    bool authorised = false;
    bool closing = false;  // dropped once its output is written
    bool gone = false;     // dropped at the end of the current event
    std::string input;
    std::string output;
    EventSource io;
    std::unique_ptr<helmsey::engine::ChildProcess> pkcheck;
    EventSource pkcheckExit;
    EventSource pkcheckTimeout;
  };

  // A start running beside the loop; the provider is its thread's until it has been joined.
  struct PendingStart {
    std::uint64_t client = 0;
    uid_t uid = 0;
    std::thread thread;
    helmsey::engine::UniqueFd done;  // readable once the thread has finished
    EventSource doneSource;
    bool succeeded = false;
    std::string error;
    std::vector<std::uint64_t> stopRequests;  // callers that asked for a stop meanwhile
  };

  bool listen();
  void onAcceptable();
  void admit(helmsey::engine::UniqueFd fd);
  void beginAuthorisation(Client& client);
  void onAuthorised(Client& client, bool granted);
  void onClientEvent(Client& client, std::uint32_t events);
  void serveInput(Client& client);
  void handle(Client& client, const std::string& line);
  void handleStart(Client& client, const nlohmann::ordered_json& message);
  void handleStop(Client& client);
  void onStartFinished();
  void onEngineEvent();
  void watchEngine();
  void endTunnel(const std::string& why, std::optional<std::uint64_t> askedBy);
  void armRemovalRetry();
  void onRemovalRetry();

  void queue(Client& client, const nlohmann::json& message);
  void flush(Client& client);
  void updateEvents(Client& client);
  Client* find(std::uint64_t id);
  void reap();
  void drop(Client& client);

  Options options_;
  EventLoop loop_;
  helmsey::engine::UniqueFd listen_;
  helmsey::engine::UniqueFd spare_;  // given up to accept (and close) a caller when descriptors run out
  EventSource listenSource_;
  EventSource listenPause_;
  std::vector<EventSource> signals_;
  std::map<std::uint64_t, std::unique_ptr<Client>> clients_;
  std::uint64_t nextId_ = 1;
  std::optional<helmsey::tunnel::TunnelProvider> provider_;
  std::unique_ptr<PendingStart> starting_;
  // The running tunnel's owner: its connection and its user.
  std::optional<std::uint64_t> ownerClient_;
  uid_t ownerUid_ = 0;
  std::vector<EventSource> engineSources_;
  EventSource removalRetry_;
};

}  // namespace spindrift
