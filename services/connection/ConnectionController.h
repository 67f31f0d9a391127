#pragma once

// The connection state machine: opens a node through NodeController, probes its ports, hands the
// tunnel configuration to the engine, proves with public pages that traffic flows, falls back to
// the next node when it does not, and disconnects. It reports only through its step, status and
// failure callbacks.
//
// States (phase()) and the events that move between them; every transition happens under one
// mutex through enterLocked(), which logs it with its reason, and each one may queue reports
// (failures by their APIErrorCode):
//
//   idle/failed --openConnection--> opening        status connecting, step open_node
//   opening  --node opened-->        opening        step check_port (a failed probe: open_node again)
//   opening  --port found-->         starting       step open_connect, engine started
//   opening  --node step failed-->   failed         failure (the node step's error, or noServer)
//   starting --engine connected-->   checking       status connected (check on; else connected)
//   starting --engine disconnected-> idle           status disconnected
//   starting --engine refused, or the system proxy could not be set-->
//                                    failed         status disconnected, failure engineFailed
//   starting --engine userCanceled-> failed         status disconnected, failure cancelled
//   checking --page answered-->      connected      status connected, step connect_success
//   checking --three pages failed--> fallingBack    node released, engine stopped, then a new
//                                                    attempt (opening) on the next choice
//   any      --disconnect-->         disconnecting  engine stopped when one may run, then idle
//                                                    with status disconnected
//   connected/checking/failed --engine status-->    the status is passed on, with failure abandoned
//
// Each attempt has a number. Results that arrive for an older attempt (a late node answer, a
// late engine status, a late page) change nothing; results of the current attempt that arrive
// after disconnect() end it with the silent failure abandoned. The engine is never started for an
// attempt that disconnect() has ended, and a fallback starts the next engine only once the old
// one has stopped. A disconnect() that is overtaken by a newer openConnection() (while it
// releases the node) leaves that attempt, its node and its engine alone.
//
// Callbacks are delivered in the order of the transitions that made them, one at a time, on a
// thread of the controller's own, never while a lock is held. A callback may call the setters
// and openConnection(); it must not wait for disconnect() to return (which waits for the engine,
// whose statuses would then queue behind the callback).
//
// The operations block the calling thread (openConnection until the configuration is handed to
// the engine or the attempt failed; disconnect until the engine has stopped) and are safe on any
// thread. Reports made before they return have been delivered when they return, unless they are
// called from a callback.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/VPNStatus.h"
#include "services/base/ConnectStep.h"
#include "services/connection/Config.h"
#include "services/connection/ConnectionBackend.h"
#include "services/connection/NodeController.h"
#include "services/model/APIErrorInfo.h"
#include "services/network/BackgroundTasks.h"

namespace tarnel {

class ConnectionController {
 public:
  using StepCallback = std::function<void(ConnectStep)>;
  using StatusCallback = std::function<void(helmsey::VPNStatus)>;
  using FailedCallback = std::function<void(std::shared_ptr<APIErrorInfo>)>;

  enum class Phase { idle, opening, starting, checking, connected, failed, fallingBack, disconnecting };
  // The phase's name, as the log writes it.
  static const char* phaseName(Phase phase);

  // The user's connection settings, copied into each attempt when it starts.
  struct Settings {
    bool isTun = false;
    bool isSmart = false;
    bool isCheckConection = true;
    bool reconnect = true;
    bool systemProxy = true;
    bool cmdProxy = false;
    std::string dns = "auto";
    std::string dnsStrategy = "UseIP";
  };

  // Pause after a test page that did not answer.
  static constexpr std::chrono::milliseconds kPagePause{500};
  // How long disconnect() waits for the engine to confirm that it stopped.
  static constexpr std::chrono::seconds kStopTimeout{15};

  // The process-wide controller over NodeController::shared() and the real engine.
  static ConnectionController& shared();

  ConnectionController(NodeController& nodes, std::unique_ptr<ConnectionBackend> backend);
  // Ends the controller's own threads; an engine connection it started is left to the engine.
  ~ConnectionController();
  ConnectionController(const ConnectionController&) = delete;
  ConnectionController& operator=(const ConnectionController&) = delete;

  // Builder setters: each keeps its value and returns the controller. The settings take effect at
  // the next attempt, the callbacks at once.
  ConnectionController& onStep(StepCallback callback);
  ConnectionController& onStatus(StatusCallback callback);
  ConnectionController& onFailed(FailedCallback callback);
  ConnectionController& tunnel(bool on);
  ConnectionController& smartRoute(bool on);
  ConnectionController& checkConnection(bool on);
  ConnectionController& autoReconnect(bool on);
  ConnectionController& enableSystemProxy(bool on);
  ConnectionController& enableCmdProxy(bool on);
  ConnectionController& dnsServer(std::string dns);
  ConnectionController& strategy(std::string strategy);

  // Runs one connection attempt (the user's: it starts with a clean failure memory).
  void openConnection();
  // Cancels the attempt or closes the connection; returns once no engine of ours runs any more.
  void disconnect();
  // Starts the switch listener for the node in use; false (and nothing started) without an
  // opened node and a winning port.
  bool startSwitchListen();
  void stopSwitchListen();

  Phase phase() const;
  Settings settings() const;

  // The three public pages of the availability check (build-time deployment data); the test seam
  // replaces them for the whole process, an empty list restores them.
  static std::vector<std::string> availabilityPages();
  static void setAvailabilityPagesForTesting(std::vector<std::string> pages);

 private:
  struct Report {
    enum class Kind { status, step, failure };
    Kind kind;
    helmsey::VPNStatus status = helmsey::VPNStatus::disconnected;
    ConnectStep step = ConnectStep::open_node;
    std::shared_ptr<APIErrorInfo> error;
  };
  struct Gate;  // lets engine callbacks outlive the controller safely

  using Lock = std::unique_lock<std::mutex>;

  // The one place the phase changes: logs the transition with its reason and wakes waiters.
  void enterLocked(Phase next, std::string_view why);

  // Transitions (each takes the state lock itself).
  std::uint64_t beginAttemptLocked();
  void runAttempt(std::uint64_t attempt);
  void handleStatus(std::uint64_t attempt, helmsey::VPNStatus status);
  void checkAvailability(std::uint64_t attempt);
  void fallBack(std::uint64_t attempt);

  bool currentLocked(std::uint64_t attempt) const;
  std::optional<Config> buildConfig(const Settings& settings) const;
  void startEngine(std::uint64_t attempt, const Config& config, const Settings& settings);
  // Stops the engine and waits until it confirms (false after kStopTimeout); with `onlyFor`,
  // only while that attempt is still the newest.
  bool stopEngineAndWait(std::optional<std::uint64_t> onlyFor = std::nullopt);
  void finishDisconnect();

  void reportLocked(Report report);
  void statusLocked(helmsey::VPNStatus status) { reportLocked(Report{Report::Kind::status, status, {}, nullptr}); }
  void stepLocked(ConnectStep step) { reportLocked(Report{Report::Kind::step, {}, step, nullptr}); }
  void failureLocked(std::shared_ptr<APIErrorInfo> error) {
    reportLocked(Report{Report::Kind::failure, {}, {}, std::move(error)});
  }
  void deliverLoop();
  // Waits until every report queued so far has been delivered (not on the delivery thread).
  void flush();

  NodeController& nodes_;
  std::unique_ptr<ConnectionBackend> backend_;
  std::shared_ptr<Gate> gate_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;  // phase or attempt changed; wakes the check's pauses
  StepCallback stepCallback_;
  StatusCallback statusCallback_;
  FailedCallback failedCallback_;
  Settings settings_;
  Settings attemptSettings_;
  Phase phase_ = Phase::idle;
  std::uint64_t attempt_ = 0;
  bool engineMayRun_ = false;  // an engine connection started by us may be running
  std::string serverAddress_;
  bool shuttingDown_ = false;

  std::deque<Report> reports_;
  std::uint64_t queued_ = 0;
  std::uint64_t delivered_ = 0;
  std::condition_variable reportsChanged_;

  std::mutex engineMutex_;  // one engine command (start, cancel, stop) at a time, in order

  BackgroundTasks tasks_;  // availability checks and the fallbacks they start
  std::thread deliverer_;
};

}  // namespace tarnel
