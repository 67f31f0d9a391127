#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "core/VPNStatus.h"
#include "core/engine/ChildProcess.h"
#include "core/engine/CommandLineProxy.h"
#include "core/engine/PortReservation.h"
#include "core/engine/SystemProxy.h"
#include "core/engine/UniqueFd.h"
#include "core/engine/V2rayConfig.h"

namespace helmsey::engine {

using StatusCallback = std::function<void(VPNStatus)>;

// The supervisor of the proxy engine process: one thread of its own that owns the child, reads
// its output, watches it, and delivers every status. Requests from other threads are queued
// and handled on that thread in order.
//
// Phases, and what moves between them (the one place a phase changes is enter()):
//
//   idle ──start──▶ launching ──child listens──▶ connected
//                      │  ▲                          │
//        exit/timeout  │  └──backoff elapsed── backingOff ◀── exit, reconnect flag, budget left
//                      ▼                             │
//                    idle ◀── exit without reconnect or budget spent, stop, cancel, new start
//
// Statuses go to the callback of the connection they belong to: connecting, connected,
// connecting again while a crashed child is restarted, and disconnected when the connection ends
// by itself or is cancelled. A stop hands its single disconnected to the stop's own callback
// instead, so a late status of the old connection can never be taken for one of the next.
class Engine {
 public:
  static Engine& shared();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Each start is numbered when asked for, from 1 up; the number is the connection's.
  std::uint64_t start(Json configuration, bool reconnect, bool systemProxy, bool commandLineProxy,
                      StatusCallback callback);
  // A start that is asked for only while `after` is still the newest start: 0 (and nothing
  // asked) once another start came since.
  std::uint64_t startAfter(std::uint64_t after, Json configuration, bool reconnect, bool systemProxy,
                           bool commandLineProxy, StatusCallback callback);
  void stop(StatusCallback callback);
  // Ends connection `connection` only while it is the one the engine runs; a newer one stays.
  // `callback` hears disconnected either way, once `connection` no longer runs.
  void stopConnection(std::uint64_t connection, StatusCallback callback);
  void cancel();
  // The number of the newest start asked for; 0 before the first.
  std::uint64_t newestConnection() const;

  VPNStatus status() const;
  // Why the newest connection ended (see CoreManager::startFailure).
  StartFailure startFailure() const { return startFailure_.load(); }
  // Waits until what an earlier run left behind has been put back (the engine thread does it
  // first); false when `timeout` passed first.
  bool waitUntilRecovered(std::chrono::milliseconds timeout) const;
  bool tunnelMode() const { return tunnelMode_.load(); }
  void setTunnelMode(bool on) { tunnelMode_.store(on); }
  Endpoint httpEndpoint() const { return {kLoopback, httpPort_.port()}; }
  Endpoint socksEndpoint() const { return {kLoopback, socksPort_.port()}; }

  // How long a child may take to listen, how soon and how often a crashed one is restarted.
  static constexpr auto kStartTimeout = std::chrono::seconds(10);
  // Readiness is checked whenever the child writes output (it reports its start) and otherwise
  // on a short back-off, for a build that says nothing: the gap doubles from the first to the
  // last value.
  static constexpr auto kFirstReadyCheck = std::chrono::milliseconds(1);
  static constexpr auto kLastReadyCheck = std::chrono::milliseconds(32);
  static constexpr auto kRestartDelay = std::chrono::seconds(1);
  static constexpr int kRestartLimit = 3;
  static constexpr auto kRestartWindow = std::chrono::seconds(60);
  static constexpr auto kStopGrace = std::chrono::seconds(2);
  // Spindrift starts its own engine and capture within its own timeout; this one covers both.
  static constexpr auto kTunnelStartTimeout = std::chrono::seconds(20);
  static constexpr auto kTunnelStopGrace = std::chrono::seconds(5);

 private:
  static constexpr const char* kLoopback = "127.0.0.1";
  using Clock = std::chrono::steady_clock;

  struct Start {
    std::uint64_t id = 0;
    Json configuration;
    bool reconnect;
    bool systemProxy;
    bool commandLineProxy;
    StatusCallback callback;
  };
  struct Stop {
    StatusCallback callback;
    std::uint64_t only = 0;  // 0: whatever runs
  };
  struct Cancel {};
  using Command = std::variant<Start, Stop, Cancel>;

  enum class Phase { idle, launching, connected, backingOff };
  static const char* phaseName(Phase phase);

  struct Session {
    std::uint64_t id = 0;
    std::string configText;
    bool tunnel = false;  // carried by Spindrift's capture, not by local proxies
    Json tunnelConfiguration;
    bool reconnect = false;
    bool wantsSystemProxy = false;
    bool wantsCommandLineProxy = false;
    StatusCallback callback;
    std::deque<Clock::time_point> restarts;  // within the restart window
    bool restarting = false;                 // the child now launching replaces a crashed one
    bool systemProxySet = false;
    bool commandLineProxySet = false;
  };

  Engine();
  void enqueue(Command command);
  void enqueueLocked(Command command);
  void wake();
  void loop();
  void handle(Command& command);
  void onStart(Start& request);
  void onStop(Stop& request);
  void onCancel();
  void onChildExit();
  void onTick();
  void onListening();
  void launch();
  void launchTunnel();
  void onTunnelReadable();
  void onTunnelEnded(bool refused);
  void closeTunnel();
  void endSession(bool tellSession, StartFailure failure = StartFailure::none);
  void cleanUpAfterSession();
  void recoverFromEarlierRun();
  bool restartAllowed();
  void enter(Phase next, std::string_view why);
  void publish(VPNStatus status);
  void deliver(const StatusCallback& callback, VPNStatus status);
  void flushOutbox();
  void drainOutput();
  void shutdown();

  PortReservation httpPort_{kLoopback};
  PortReservation socksPort_{kLoopback};
  SystemProxy systemProxy_;
  CommandLineProxy commandLineProxy_;

  mutable std::mutex mutex_;
  std::deque<Command> commands_;
  bool quitting_ = false;
  // Requests taken and handled, and the status the newest one implies until it is handled.
  std::uint64_t enqueued_ = 0;
  std::uint64_t handled_ = 0;
  std::uint64_t newestStart_ = 0;
  VPNStatus requested_ = VPNStatus::disconnected;
  UniqueFd wake_;
  std::atomic<VPNStatus> published_{VPNStatus::disconnected};
  std::atomic<bool> tunnelMode_{false};
  std::atomic<StartFailure> startFailure_{StartFailure::none};
  bool recovered_ = false;  // guarded by mutex_
  mutable std::condition_variable recoveredChanged_;

  // Owned by the engine thread.
  Phase phase_ = Phase::idle;
  std::optional<Session> session_;
  std::unique_ptr<ChildProcess> child_;
  bool outputOpen_ = false;
  // The connection to Spindrift while tunnel mode runs, and what it sent that is not a line yet.
  UniqueFd tunnel_;
  std::string tunnelInput_;
  std::string partialOutput_;
  std::string lastOutputLine_;
  Clock::time_point deadline_{};
  Clock::time_point nextReadyCheck_{};
  Clock::duration readyCheckGap_{};
  bool outputArrived_ = false;
  std::vector<std::pair<StatusCallback, VPNStatus>> outbox_;

  std::thread thread_;
};

}  // namespace helmsey::engine
