#include "services/connection/ConnectionController.h"

#include <future>

#include "services/common/Global.h"
#include "services/common/Logger.h"
#include "services/network/NetworkRequest.h"

namespace tarnel {

using helmsey::VPNStatus;

namespace {

struct PageState {
  std::mutex mutex;
  std::vector<std::string> pages;  // empty: the built-in ones
};

PageState& pageState() {
  static PageState state;
  return state;
}

std::shared_ptr<APIErrorInfo> abandoned() { return APIErrorInfo::make(APIErrorCode::abandoned, ""); }

}  // namespace

struct ConnectionController::Gate {
  std::mutex mutex;
  ConnectionController* owner = nullptr;
};

std::vector<std::string> ConnectionController::availabilityPages() {
  auto& state = pageState();
  std::lock_guard lock(state.mutex);
  if (!state.pages.empty()) return state.pages;
  return {TARNEL_AVAILABILITY_PAGE_1, TARNEL_AVAILABILITY_PAGE_2, TARNEL_AVAILABILITY_PAGE_3};
}

void ConnectionController::setAvailabilityPagesForTesting(std::vector<std::string> pages) {
  auto& state = pageState();
  std::lock_guard lock(state.mutex);
  state.pages = std::move(pages);
}

ConnectionController& ConnectionController::shared() {
  static ConnectionController instance(NodeController::shared(), makeCoreConnectionBackend());
  return instance;
}

ConnectionController::ConnectionController(NodeController& nodes, std::unique_ptr<ConnectionBackend> backend)
    : nodes_(nodes), backend_(std::move(backend)), gate_(std::make_shared<Gate>()) {
  gate_->owner = this;
  deliverer_ = std::thread([this] { deliverLoop(); });
}

ConnectionController::~ConnectionController() {
  {
    // From here on no engine status reaches this object.
    std::lock_guard gate(gate_->mutex);
    gate_->owner = nullptr;
  }
  {
    std::lock_guard lock(mutex_);
    shuttingDown_ = true;
  }
  changed_.notify_all();
  reportsChanged_.notify_all();
  tasks_.waitAll();
  deliverer_.join();
}

// --- setters -------------------------------------------------------------------------------

ConnectionController& ConnectionController::onStep(StepCallback callback) {
  std::lock_guard lock(mutex_);
  stepCallback_ = std::move(callback);
  return *this;
}

ConnectionController& ConnectionController::onStatus(StatusCallback callback) {
  std::lock_guard lock(mutex_);
  statusCallback_ = std::move(callback);
  return *this;
}

ConnectionController& ConnectionController::onFailed(FailedCallback callback) {
  std::lock_guard lock(mutex_);
  failedCallback_ = std::move(callback);
  return *this;
}

ConnectionController& ConnectionController::tunnel(bool on) {
  std::lock_guard lock(mutex_);
  settings_.isTun = on;
  return *this;
}

ConnectionController& ConnectionController::smartRoute(bool on) {
  std::lock_guard lock(mutex_);
  settings_.isSmart = on;
  return *this;
}

ConnectionController& ConnectionController::checkConnection(bool on) {
  std::lock_guard lock(mutex_);
  settings_.isCheckConection = on;
  return *this;
}

ConnectionController& ConnectionController::autoReconnect(bool on) {
  std::lock_guard lock(mutex_);
  settings_.reconnect = on;
  return *this;
}

ConnectionController& ConnectionController::enableSystemProxy(bool on) {
  std::lock_guard lock(mutex_);
  settings_.systemProxy = on;
  return *this;
}

ConnectionController& ConnectionController::enableCmdProxy(bool on) {
  std::lock_guard lock(mutex_);
  settings_.cmdProxy = on;
  return *this;
}

ConnectionController& ConnectionController::dnsServer(std::string dns) {
  std::lock_guard lock(mutex_);
  settings_.dns = std::move(dns);
  return *this;
}

ConnectionController& ConnectionController::strategy(std::string strategy) {
  std::lock_guard lock(mutex_);
  settings_.dnsStrategy = std::move(strategy);
  return *this;
}

ConnectionController::Phase ConnectionController::phase() const {
  std::lock_guard lock(mutex_);
  return phase_;
}

ConnectionController::Settings ConnectionController::settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

// --- phases --------------------------------------------------------------------------------

const char* ConnectionController::phaseName(Phase phase) {
  switch (phase) {
    case Phase::idle: return "idle";
    case Phase::opening: return "opening";
    case Phase::starting: return "starting";
    case Phase::checking: return "checking";
    case Phase::connected: return "connected";
    case Phase::failed: return "failed";
    case Phase::fallingBack: return "fallingBack";
    case Phase::disconnecting: return "disconnecting";
  }
  return "?";
}

void ConnectionController::enterLocked(Phase next, std::string_view why) {
  Logger::log(LogLevel::info, std::string("connection ") + phaseName(phase_) + " -> " + phaseName(next) + ": " +
                                  std::string(why));
  phase_ = next;
  changed_.notify_all();
}

// --- reports -------------------------------------------------------------------------------

void ConnectionController::reportLocked(Report report) {
  reports_.push_back(std::move(report));
  ++queued_;
  reportsChanged_.notify_all();
}

void ConnectionController::deliverLoop() {
  Lock lock(mutex_);
  while (true) {
    reportsChanged_.wait(lock, [this] { return shuttingDown_ || !reports_.empty(); });
    if (shuttingDown_) return;
    Report report = std::move(reports_.front());
    reports_.pop_front();
    StepCallback step;
    StatusCallback status;
    FailedCallback failed;
    switch (report.kind) {
      case Report::Kind::step: step = stepCallback_; break;
      case Report::Kind::status: status = statusCallback_; break;
      case Report::Kind::failure: failed = failedCallback_; break;
    }
    lock.unlock();
    if (step) step(report.step);
    if (status) status(report.status);
    if (failed) failed(report.error);
    lock.lock();
    ++delivered_;
    reportsChanged_.notify_all();
  }
}

void ConnectionController::flush() {
  if (std::this_thread::get_id() == deliverer_.get_id()) return;
  Lock lock(mutex_);
  const std::uint64_t target = queued_;
  reportsChanged_.wait(lock, [&] { return shuttingDown_ || delivered_ >= target; });
}

// --- attempts ------------------------------------------------------------------------------

bool ConnectionController::currentLocked(std::uint64_t attempt) const {
  return !shuttingDown_ && attempt == attempt_;
}

std::uint64_t ConnectionController::beginAttemptLocked() {
  const std::uint64_t attempt = ++attempt_;
  enterLocked(Phase::opening, "attempt " + std::to_string(attempt) + " begins");
  attemptSettings_ = settings_;
  serverAddress_.clear();
  nodes_.setIsConnecting(true);
  statusLocked(VPNStatus::connecting);
  stepLocked(ConnectStep::open_node);
  return attempt;
}

void ConnectionController::openConnection() {
  std::uint64_t attempt = 0;
  {
    std::lock_guard lock(mutex_);
    if (shuttingDown_) return;
    // A connect the user starts forgets what failed before, so an outage that made every node
    // fail does not keep ruling them out.
    nodes_.clearFailureMemory();
    attempt = beginAttemptLocked();
  }
  runAttempt(attempt);
  flush();
}

void ConnectionController::runAttempt(std::uint64_t attempt) {
  // Ends the attempt with `error` unless a newer attempt took over (then nothing is reported).
  // An attempt that disconnect() ended reports the silent 10001.
  auto end = [&](std::shared_ptr<APIErrorInfo> error) {
    std::lock_guard lock(mutex_);
    if (!currentLocked(attempt)) return;
    if (phase_ == Phase::opening) {
      enterLocked(Phase::failed, "node opening failed with " + std::to_string(error ? error->errCode : 0));
      failureLocked(std::move(error));
    } else {
      failureLocked(abandoned());
    }
  };
  // True while the attempt is still the current one and nobody ended it.
  auto goingOn = [&](Lock&) { return currentLocked(attempt) && phase_ == Phase::opening; };

  while (true) {
    if (auto error = nodes_.openNode()) return end(std::move(error));
    {
      Lock lock(mutex_);
      if (!goingOn(lock)) {
        lock.unlock();
        return end(abandoned());
      }
      stepLocked(ConnectStep::check_port);
    }
    const auto portError = nodes_.checkPort();
    Lock lock(mutex_);
    if (!goingOn(lock)) {
      lock.unlock();
      return end(abandoned());
    }
    if (portError) {
      // The failure is remembered: the next choice is another protocol or node.
      stepLocked(ConnectStep::open_node);
      continue;
    }
    if (nodes_.fastServer().empty()) {
      lock.unlock();
      return end(APIErrorInfo::make(APIErrorCode::noServer, APIErrorText::noServer));
    }
    stepLocked(ConnectStep::open_connect);
    const Settings settings = attemptSettings_;
    lock.unlock();

    const auto config = buildConfig(settings);
    if (!config) return end(APIErrorInfo::make(APIErrorCode::noServer, APIErrorText::noServer));
    startEngine(attempt, *config, settings);
    return;
  }
}

std::optional<Config> ConnectionController::buildConfig(const Settings& settings) const {
  const auto open = nodes_.openInfo();
  const auto fast = nodes_.fastServer();
  if (!open || fast.empty()) return std::nullopt;
  const std::string protocol(rawValue(nodes_.currentProtocol()));
  Config config(settings.isSmart, settings.isTun, Global::domains().unlock, nodes_.proxyDomains(), nodes_.proxyIPs(),
                nodes_.directDomains(), nodes_.directIPs(), nodes_.blockDomains(), nodes_.blockIps(), settings.dns,
                settings.dnsStrategy);
  config.servers = ConfigServer(fast.begin()->first, fast.begin()->second, Global::userUID());
  config.protocol = protocol;
  config.serverName = open->node.host + "-" + protocol + "." + open->node.domain;
  return config;
}

void ConnectionController::startEngine(std::uint64_t attempt, const Config& config, const Settings& settings) {
  const Json dictionary = toMap(config);
  std::lock_guard engine(engineMutex_);
  {
    Lock lock(mutex_);
    if (!currentLocked(attempt)) return;
    if (phase_ != Phase::opening) {
      // disconnect() came first: no engine is started for an attempt it ended.
      failureLocked(abandoned());
      return;
    }
    enterLocked(Phase::starting, "engine started for node " + config.servers.address);
    engineMayRun_ = true;
    serverAddress_ = config.servers.address;
  }
  auto gate = gate_;
  backend_->startVPN(dictionary, settings.reconnect, settings.systemProxy, settings.cmdProxy,
                     [gate, attempt](VPNStatus status) {
                       std::lock_guard lock(gate->mutex);
                       if (gate->owner) gate->owner->handleStatus(attempt, status);
                     });
}

void ConnectionController::handleStatus(std::uint64_t attempt, VPNStatus status) {
  bool startCheck = false;
  // Read on the engine's thread before its next request is taken, so it is this connection's.
  const helmsey::StartFailure startFailure =
      status == VPNStatus::disconnected ? backend_->startFailure() : helmsey::StartFailure::none;
  {
    std::lock_guard lock(mutex_);
    // A connection of an older attempt: it was stopped or replaced, and what it says now is old.
    if (!currentLocked(attempt)) return;
    switch (phase_) {
      case Phase::starting:
        switch (status) {
          case VPNStatus::connected:
            nodes_.setIsConnecting(false);
            enterLocked(attemptSettings_.isCheckConection ? Phase::checking : Phase::connected, "engine connected");
            startCheck = attemptSettings_.isCheckConection;
            statusLocked(VPNStatus::connected);
            break;
          case VPNStatus::disconnected:
            nodes_.setIsConnecting(false);
            engineMayRun_ = false;
            if (startFailure == helmsey::StartFailure::none) {
              enterLocked(Phase::idle, "engine disconnected while starting");
              statusLocked(VPNStatus::disconnected);
              break;
            }
            // The engine would not carry this connection, or the desktop would not use it: the
            // user hears why instead of a bare disconnected.
            enterLocked(Phase::failed, startFailure == helmsey::StartFailure::refused
                                           ? "engine refused the connection"
                                           : "system proxy could not be set");
            statusLocked(VPNStatus::disconnected);
            failureLocked(APIErrorInfo::make(APIErrorCode::engineFailed,
                                             startFailure == helmsey::StartFailure::refused
                                                 ? APIErrorText::engineRefused
                                                 : APIErrorText::systemProxyNotSet));
            break;
          case VPNStatus::userCanceled:
            enterLocked(Phase::failed, "engine reports the user cancelled");
            statusLocked(VPNStatus::disconnected);
            failureLocked(APIErrorInfo::make(APIErrorCode::cancelled, APIErrorText::cancelled));
            break;
          case VPNStatus::connecting:
          case VPNStatus::disconnecting:
            break;
        }
        break;
      case Phase::checking:
      case Phase::connected:
      case Phase::failed:
      case Phase::idle:
        // No attempt runs: the engine reconnected or dropped by itself. The user interface hears
        // it, so it never shows a connection over an engine that is gone.
        statusLocked(status == VPNStatus::userCanceled ? VPNStatus::disconnected : status);
        failureLocked(abandoned());
        if (status == VPNStatus::disconnected || status == VPNStatus::userCanceled) {
          enterLocked(Phase::idle, "engine dropped the connection by itself");
          engineMayRun_ = false;
        }
        break;
      case Phase::opening:
      case Phase::fallingBack:
      case Phase::disconnecting:
        // Whoever stops the engine reports the outcome.
        break;
    }
  }
  if (startCheck) tasks_.start([this, attempt] { checkAvailability(attempt); });
}

void ConnectionController::checkAvailability(std::uint64_t attempt) {
  bool isTun = false;
  std::string server;
  {
    std::lock_guard lock(mutex_);
    if (!currentLocked(attempt) || phase_ != Phase::checking) return;
    stepLocked(ConnectStep::check_availability);
    isTun = attemptSettings_.isTun;
    server = serverAddress_;
  }
  const std::optional<std::string> proxy =
      isTun ? std::nullopt : std::optional<std::string>("http://127.0.0.1:" + std::to_string(backend_->httpPort()));

  for (const auto& page : availabilityPages()) {
    const NetworkResult result =
        NetworkRequest(page, HttpMethod::GET, std::nullopt, std::nullopt, std::nullopt, proxy, std::nullopt).request();
    {
      std::lock_guard lock(mutex_);
      if (!currentLocked(attempt) || phase_ != Phase::checking) return;
      if (result.isSuccess()) {
        enterLocked(Phase::connected, "test page " + page + " answered");
        statusLocked(VPNStatus::connected);
        stepLocked(ConnectStep::connect_success);
        return;
      }
    }
    const NetworkError error = result.error().value_or(NetworkError{});
    const auto node = nodes_.currentNode();
    const auto open = nodes_.openInfo();
    backend_->log({{"node_id", node ? node->node_id : ""},
                   {"node_name", node ? node->name : ""},
                   {"protocol", std::string(rawValue(nodes_.currentProtocol()))},
                   {"node_ip", server},
                   {"err_code", std::to_string(error.code)},
                   {"err_msg", error.localizedDescription()},
                   {"turn", open && open->turn ? open->turn->server : ""},
                   {"testUrl", page}},
                  LogTopic::ERROR_NODE_USABILITY);
    Lock lock(mutex_);
    changed_.wait_for(lock, kPagePause, [&] { return !currentLocked(attempt) || phase_ != Phase::checking; });
    if (!currentLocked(attempt) || phase_ != Phase::checking) return;
  }
  fallBack(attempt);
}

void ConnectionController::fallBack(std::uint64_t attempt) {
  {
    std::lock_guard lock(mutex_);
    if (!currentLocked(attempt) || phase_ != Phase::checking) return;
    enterLocked(Phase::fallingBack, "no test page answered");
  }
  if (nodes_.currentNode()) {
    nodes_.markProtocolFailed();
    nodes_.setIsConnecting(false);
    nodes_.closeNode();
  }
  nodes_.setCurrentNode(std::nullopt);
  {
    std::lock_guard lock(mutex_);
    if (!currentLocked(attempt) || phase_ != Phase::fallingBack) return;
  }
  // The next engine starts only once this one is gone.
  stopEngineAndWait();

  std::uint64_t next = 0;
  {
    std::lock_guard lock(mutex_);
    if (!currentLocked(attempt) || phase_ != Phase::fallingBack) return;
    engineMayRun_ = false;
    // The failure memory stays: the failed protocol is not tried again on this node, so a node
    // the user selected moves on to its other protocols and ends as unavailable instead of
    // failing the same way for ever.
    next = beginAttemptLocked();
  }
  runAttempt(next);
}

// --- engine stop and disconnect --------------------------------------------------------------

bool ConnectionController::stopEngineAndWait(std::optional<std::uint64_t> onlyFor) {
  // Shared with the engine's callback, which may come after a wait that gave up.
  struct Stopped {
    std::mutex mutex;
    std::condition_variable done;
    bool stopped = false;
  };
  auto stopped = std::make_shared<Stopped>();
  std::lock_guard engine(engineMutex_);
  if (onlyFor) {
    // A newer attempt owns the engine now (its start replaces whatever ran before).
    std::lock_guard lock(mutex_);
    if (attempt_ != *onlyFor) return true;
  }
  backend_->stopVPN([stopped](VPNStatus status) {
    if (status != VPNStatus::disconnected) return;
    std::lock_guard lock(stopped->mutex);
    stopped->stopped = true;
    stopped->done.notify_all();
  });
  std::unique_lock lock(stopped->mutex);
  if (stopped->done.wait_for(lock, kStopTimeout, [&] { return stopped->stopped; })) return true;
  Logger::log(LogLevel::error, "the engine did not confirm that it stopped");
  return false;
}

void ConnectionController::finishDisconnect() {
  {
    std::lock_guard lock(mutex_);
    // A new attempt that began meanwhile owns the reports from here on.
    if (phase_ == Phase::disconnecting) {
      enterLocked(Phase::idle, "disconnect done");
      engineMayRun_ = false;
      statusLocked(VPNStatus::disconnected);
    }
  }
  flush();
}

void ConnectionController::disconnect() {
  bool attemptRunning = false;
  bool engineMayRun = false;
  std::uint64_t attempt = 0;
  {
    std::lock_guard lock(mutex_);
    attemptRunning = phase_ == Phase::opening || phase_ == Phase::starting || phase_ == Phase::failed;
    engineMayRun = engineMayRun_;
    attempt = attempt_;
    enterLocked(Phase::disconnecting, "disconnect requested");
    nodes_.setIsConnecting(false);
  }

  if (attemptRunning) {
    // The running attempt notices and ends with the silent 10001; an engine it already started
    // is cancelled and waited for, so nothing of it outlives the disconnect.
    {
      std::lock_guard engine(engineMutex_);
      std::lock_guard lock(mutex_);
      if (attempt_ == attempt) backend_->cancelVPN();
    }
    if (engineMayRun) stopEngineAndWait(attempt);
    finishDisconnect();
    return;
  }

  // Releasing the node can take long; a connect started meanwhile is left alone from here on.
  nodes_.closeNode();
  {
    std::lock_guard lock(mutex_);
    if (attempt_ != attempt) return;
    nodes_.setCurrentNode(std::nullopt);
    if (phase_ == Phase::disconnecting) statusLocked(VPNStatus::disconnecting);
  }
  stopEngineAndWait(attempt);
  finishDisconnect();
}

// --- switch listener -------------------------------------------------------------------------

bool ConnectionController::startSwitchListen() {
  const auto open = nodes_.openInfo();
  const auto fast = nodes_.fastServer();
  if (!open || fast.empty()) return false;  // nothing was opened that a listener could use
  const std::string protocol(rawValue(nodes_.currentProtocol()));
  const std::string dns = settings().dns;
  Json servers = Json::object();
  servers["address"] = fast.begin()->first;
  servers["port"] = fast.begin()->second;
  servers["password"] = Global::userUID();
  Json options = Json::object();
  options["unlock"] = Global::domains().switch_domain;
  options["servers"] = servers;
  options["protocol"] = protocol;
  options["serverName"] = open->node.host + "-" + protocol + "." + open->node.domain;
  options["dns"] = dns;
  return backend_->startSwitchListen(options);
}

void ConnectionController::stopSwitchListen() { backend_->stopSwitchListen(); }

}  // namespace tarnel
