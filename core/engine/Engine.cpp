#include "core/engine/Engine.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include <cerrno>

#include "core/EngineEnvironment.h"
#include "core/engine/EngineLog.h"
#include "core/engine/EnginePaths.h"
#include "core/engine/ListenProbe.h"

namespace helmsey::engine {
namespace {

constexpr std::size_t kMaxRefusedNotes = 20;

}  // namespace

const char* Engine::phaseName(Phase phase) {
  switch (phase) {
    case Phase::idle: return "idle";
    case Phase::launching: return "launching";
    case Phase::connected: return "connected";
    case Phase::backingOff: return "backingOff";
  }
  return "?";
}

Engine& Engine::shared() {
  // What the engine uses at its end is made first, so it is destroyed after the engine.
  coreLog();
  ChildProcess::prepareLauncher();
  static Engine engine;
  return engine;
}

Engine::Engine()
    : systemProxy_(systemProxyJournal()),
      commandLineProxy_(commandLineProxyFile()),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  thread_ = std::thread([this] { loop(); });
}

Engine::~Engine() {
  {
    std::lock_guard lock(mutex_);
    quitting_ = true;
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
  if (std::this_thread::get_id() == thread_.get_id()) {
    // The process is ending from inside a status callback: clean up here, the loop never resumes.
    shutdown();
    thread_.detach();
  } else {
    thread_.join();
  }
}

std::uint64_t Engine::start(Json configuration, bool reconnect, bool systemProxy, bool commandLineProxy,
                           StatusCallback callback) {
  std::uint64_t id = 0;
  {
    std::lock_guard lock(mutex_);
    id = ++newestStart_;
    enqueueLocked(Start{id, std::move(configuration), reconnect, systemProxy, commandLineProxy, std::move(callback)});
  }
  wake();
  return id;
}

std::uint64_t Engine::startAfter(std::uint64_t after, Json configuration, bool reconnect, bool systemProxy,
                                bool commandLineProxy, StatusCallback callback) {
  std::uint64_t id = 0;
  {
    // Checked and asked for under one lock: no start can slip in between.
    std::lock_guard lock(mutex_);
    if (newestStart_ != after) return 0;
    id = ++newestStart_;
    enqueueLocked(Start{id, std::move(configuration), reconnect, systemProxy, commandLineProxy, std::move(callback)});
  }
  wake();
  return id;
}

void Engine::stop(StatusCallback callback) { enqueue(Stop{std::move(callback), 0}); }

void Engine::stopConnection(std::uint64_t connection, StatusCallback callback) {
  enqueue(Stop{std::move(callback), connection});
}

void Engine::cancel() { enqueue(Cancel{}); }

std::uint64_t Engine::newestConnection() const {
  std::lock_guard lock(mutex_);
  return newestStart_;
}

void Engine::enqueue(Command command) {
  {
    std::lock_guard lock(mutex_);
    enqueueLocked(std::move(command));
  }
  wake();
}

void Engine::enqueueLocked(Command command) {
  // Until the engine thread has handled it, the newest request decides what callers see.
  if (std::holds_alternative<Start>(command)) {
    requested_ = VPNStatus::connecting;
  } else if (const auto* stop = std::get_if<Stop>(&command)) {
    const bool idle = enqueued_ == handled_ && published_.load() == VPNStatus::disconnected;
    // A stop of a connection that a newer start replaced leaves that newer one's status.
    if (stop->only == 0 || stop->only == newestStart_) {
      requested_ = idle ? VPNStatus::disconnected : VPNStatus::disconnecting;
    }
  } else {
    requested_ = VPNStatus::disconnected;
  }
  ++enqueued_;
  commands_.push_back(std::move(command));
}

void Engine::wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
}

VPNStatus Engine::status() const {
  std::lock_guard lock(mutex_);
  return enqueued_ != handled_ ? requested_ : published_.load();
}

bool Engine::waitUntilRecovered(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return recoveredChanged_.wait_for(lock, timeout, [this] { return recovered_ || quitting_; });
}

void Engine::loop() {
  // Before any request: a desktop left pointing at the dead port of a run that died gets its
  // proxy back as soon as the engine exists, not only at the next connect.
  recoverFromEarlierRun();
  {
    std::lock_guard lock(mutex_);
    recovered_ = true;
  }
  recoveredChanged_.notify_all();
  for (;;) {
    std::vector<pollfd> fds{{wake_.get(), POLLIN, 0}};
    const bool watchingChild = child_ != nullptr;
    if (watchingChild) {
      fds.push_back({child_->exitFd(), POLLIN, 0});
      if (outputOpen_) fds.push_back({child_->outputFd(), POLLIN, 0});
    }
    const bool watchingTunnel = tunnel_.valid();
    if (watchingTunnel) fds.push_back({tunnel_.get(), POLLIN, 0});
    int timeout = -1;
    if (phase_ == Phase::launching || phase_ == Phase::backingOff) {
      const auto until = phase_ == Phase::launching ? std::min(deadline_, nextReadyCheck_) : deadline_;
      // Rounded up: a wake-up a little early would only find the check not yet due.
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
      timeout = static_cast<int>(std::max<std::int64_t>(0, wait.count()));
    }
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) continue;

    // The child's events first: they belong to the child that was polled.
    if (watchingChild) {
      if (fds.size() > 2 && (fds[2].revents & (POLLIN | POLLHUP)) != 0) {
        drainOutput();
        outputArrived_ = true;
      }
      if ((fds[1].revents & POLLIN) != 0) onChildExit();
      flushOutbox();
    }
    if (watchingTunnel && fds.back().revents != 0) {
      onTunnelReadable();
      flushOutbox();
    }

    // Clear the wake-up before taking the queue: a request queued after the take wakes us again.
    std::uint64_t counter = 0;
    [[maybe_unused]] const ssize_t n = ::read(wake_.get(), &counter, sizeof counter);
    std::deque<Command> commands;
    bool quitting = false;
    {
      std::lock_guard lock(mutex_);
      commands.swap(commands_);
      quitting = quitting_;
    }
    if (quitting) {
      shutdown();
      return;
    }
    for (auto& command : commands) {
      handle(command);
      {
        std::lock_guard lock(mutex_);
        ++handled_;
      }
      flushOutbox();
    }
    onTick();
    flushOutbox();
  }
}

void Engine::handle(Command& command) {
  std::visit(
      [this](auto& request) {
        using T = std::decay_t<decltype(request)>;
        if constexpr (std::is_same_v<T, Start>) {
          onStart(request);
        } else if constexpr (std::is_same_v<T, Stop>) {
          onStop(request);
        } else {
          onCancel();
        }
      },
      command);
}

void Engine::onStart(Start& request) {
  if (session_) {
    note("a new start replaces the running connection");
    endSession(true);
  }
  Session session;
  session.id = request.id;
  session.reconnect = request.reconnect;
  session.wantsSystemProxy = request.systemProxy;
  session.wantsCommandLineProxy = request.commandLineProxy;
  session.callback = std::move(request.callback);
  session_ = std::move(session);
  startFailure_.store(StartFailure::none);
  publish(VPNStatus::connecting);
  deliver(session_->callback, VPNStatus::connecting);

  recoverFromEarlierRun();
  std::string error;
  const auto settings = readTunnelSettings(request.configuration, error);
  if (!settings) {
    note("start refused: " + error);
    endSession(true, StartFailure::refused);
    return;
  }
  tunnelMode_.store(settings->isTun);
  if (settings->isTun) {
    // Spindrift builds and checks the engine configuration itself; it gets the keys as given.
    session_->tunnel = true;
    session_->tunnelConfiguration = std::move(request.configuration);
    launchTunnel();
    return;
  }
  const EngineConfig config =
      buildTunnelConfig(*settings, httpEndpoint(), socksEndpoint(), engineEnvironment().extraCaCertificate);
  if (!config.refused.empty()) {
    note(std::to_string(config.refused.size()) + " rule entries left out (not a plain host name or address)");
    for (std::size_t i = 0; i < config.refused.size() && i < kMaxRefusedNotes; ++i) note("  left out " + config.refused[i]);
  }
  session_->configText = config.config.dump();
  launch();
}

void Engine::onStop(Stop& request) {
  if (request.only != 0 && (!session_ || session_->id != request.only)) {
    // That connection ended already or was replaced: the one running now is not this stop's.
    deliver(request.callback, VPNStatus::disconnected);
    return;
  }
  if (session_) {
    publish(VPNStatus::disconnecting);
    endSession(false);
  } else {
    recoverFromEarlierRun();
  }
  deliver(request.callback, VPNStatus::disconnected);
}

void Engine::onCancel() {
  if (session_) {
    note("start cancelled");
    endSession(true);
  }
}

void Engine::launch() {
  if (session_->tunnel) {
    launchTunnel();
    return;
  }
  const auto program = findProgram(engineEnvironment().v2rayProgram);
  if (!program) {
    note("the proxy engine " + engineEnvironment().v2rayProgram.string() + " was not found");
    endSession(true, StartFailure::refused);
    return;
  }
  std::string error;
  child_ = ChildProcess::start(*program, {"-config", "stdin:"}, session_->configText, error);
  if (!child_) {
    note("the proxy engine could not be started: " + error);
    endSession(true, StartFailure::refused);
    return;
  }
  outputOpen_ = true;
  partialOutput_.clear();
  lastOutputLine_.clear();
  deadline_ = Clock::now() + kStartTimeout;
  readyCheckGap_ = kFirstReadyCheck;
  nextReadyCheck_ = Clock::now() + readyCheckGap_;
  outputArrived_ = false;
  enter(Phase::launching, "child " + std::to_string(child_->pid()) + " started");
}

void Engine::launchTunnel() {
  const auto path = engineEnvironment().tunnelSocket.string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (path.size() >= sizeof address.sun_path || !fd.valid()) {
    note("tunnel mode: no socket for Spindrift");
    onTunnelEnded(true);
    return;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    note("tunnel mode: Spindrift cannot be reached at " + path + ": " + std::strerror(errno));
    onTunnelEnded(true);
    return;
  }
  const std::string request =
      Json{{"command", "start"}, {"configuration", session_->tunnelConfiguration}}.dump() + "\n";
  if (::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
    note("tunnel mode: Spindrift did not take the request");
    onTunnelEnded(true);
    return;
  }
  tunnel_ = std::move(fd);
  tunnelInput_.clear();
  deadline_ = Clock::now() + kTunnelStartTimeout;
  enter(Phase::launching, "tunnel start sent to Spindrift");
}

void Engine::onTunnelReadable() {
  char buffer[4096];
  const ssize_t n = ::recv(tunnel_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    note("tunnel mode: Spindrift closed the connection");
    closeTunnel();
    onTunnelEnded(false);
    return;
  }
  tunnelInput_.append(buffer, static_cast<std::size_t>(n));
  std::size_t end;
  while (tunnel_.valid() && (end = tunnelInput_.find('\n')) != std::string::npos) {
    const auto message = Json::parse(tunnelInput_.substr(0, end), nullptr, false);
    tunnelInput_.erase(0, end + 1);
    if (!message.is_object()) continue;
    if (message.contains("error")) {
      note("tunnel mode: Spindrift refused: " + message["error"].dump());
      closeTunnel();
      onTunnelEnded(true);
      return;
    }
    const auto status = message.value("status", std::string());
    if (status == "connected" && phase_ == Phase::launching) {
      session_->restarting = false;
      enter(Phase::connected, "Spindrift captures the traffic");
      publish(VPNStatus::connected);
      deliver(session_->callback, VPNStatus::connected);
    } else if (status == "disconnected") {
      const bool refused = message.value("failure", std::string()) == "refused";
      note("tunnel mode: Spindrift ended the tunnel" +
           (message.contains("reason") ? ": " + message["reason"].dump() : std::string()));
      closeTunnel();
      onTunnelEnded(refused);
      return;
    }
  }
}

// The tunnel ended on Spindrift's side (or never began): as a crashed engine in proxy mode,
// restarted when the connection asked for it and had served, else the end of the connection.
void Engine::onTunnelEnded(bool refused) {
  if (!session_) return;
  const bool wasServing = phase_ == Phase::connected || session_->restarting;
  if (!refused && wasServing && session_->reconnect && restartAllowed()) {
    session_->restarting = true;
    deadline_ = Clock::now() + kRestartDelay;
    enter(Phase::backingOff, "restarting the tunnel");
    publish(VPNStatus::connecting);
    deliver(session_->callback, VPNStatus::connecting);
    return;
  }
  endSession(true, wasServing ? StartFailure::none : StartFailure::refused);
}

// Asks Spindrift to stop and waits (briefly) until it says the capture is gone, so that a
// disconnected status means the machine's traffic runs as before.
void Engine::closeTunnel() {
  if (!tunnel_.valid()) return;
  const std::string request = Json{{"command", "stop"}}.dump() + "\n";
  if (::send(tunnel_.get(), request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    const auto deadline = Clock::now() + kTunnelStopGrace;
    bool stopped = false;
    while (!stopped && Clock::now() < deadline) {
      pollfd fd{tunnel_.get(), POLLIN, 0};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (::poll(&fd, 1, static_cast<int>(std::max<std::int64_t>(0, left.count()))) <= 0) break;
      char buffer[4096];
      const ssize_t n = ::recv(tunnel_.get(), buffer, sizeof buffer, 0);
      if (n <= 0) break;
      tunnelInput_.append(buffer, static_cast<std::size_t>(n));
      std::size_t end;
      while ((end = tunnelInput_.find('\n')) != std::string::npos) {
        const auto message = Json::parse(tunnelInput_.substr(0, end), nullptr, false);
        tunnelInput_.erase(0, end + 1);
        // The stop's own answer comes last; an earlier "disconnected" may be the tunnel's end.
        if (message.is_object() && message.value("status", std::string()) == "disconnected" &&
            tunnelInput_.find('\n') == std::string::npos) {
          stopped = true;
        }
      }
    }
  }
  tunnel_.reset();
  tunnelInput_.clear();
}

void Engine::onTick() {
  const auto now = Clock::now();
  if (phase_ == Phase::launching && session_ && session_->tunnel) {
    if (now >= deadline_) {
      note("tunnel mode: Spindrift did not start the tunnel in time");
      closeTunnel();
      onTunnelEnded(!session_->restarting);
    }
  } else if (phase_ == Phase::launching && child_) {
    const bool due = outputArrived_ || now >= nextReadyCheck_;
    outputArrived_ = false;
    if (due && listensOn(child_->pid(), {httpEndpoint(), socksEndpoint()})) {
      onListening();
      return;
    }
    if (due) {
      readyCheckGap_ = std::min<Clock::duration>(readyCheckGap_ * 2, kLastReadyCheck);
      nextReadyCheck_ = now + readyCheckGap_;
    }
    if (now >= deadline_) {
      note("the proxy engine did not listen within " +
           std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kStartTimeout).count()) + " s");
      endSession(true, session_->restarting ? StartFailure::none : StartFailure::refused);
    }
  } else if (phase_ == Phase::backingOff && now >= deadline_) {
    launch();
  }
}

void Engine::onListening() {
  Session& session = *session_;
  // Set once per connection; a restarted child finds them still in place.
  if (session.wantsSystemProxy && !session.systemProxySet) {
    const auto outcome = systemProxy_.apply(httpEndpoint(), socksEndpoint());
    if (outcome == SystemProxy::Outcome::failed) {
      // The user asked for the desktop to use the connection; one it does not use is no success.
      endSession(true, StartFailure::systemProxy);
      return;
    }
    session.systemProxySet = outcome == SystemProxy::Outcome::set;
  }
  if (session.wantsCommandLineProxy && !session.commandLineProxySet) {
    session.commandLineProxySet = commandLineProxy_.write(httpEndpoint(), socksEndpoint());
  }
  session.restarting = false;
  enter(Phase::connected, "listening on " + std::to_string(httpEndpoint().port) + " and " +
                              std::to_string(socksEndpoint().port));
  publish(VPNStatus::connected);
  deliver(session.callback, VPNStatus::connected);
}

void Engine::onChildExit() {
  if (!child_) return;
  drainOutput();
  const auto status = child_->poll();
  if (!status) return;
  note("the proxy engine ended with " + describeWaitStatus(*status) +
       (lastOutputLine_.empty() ? "" : ": " + lastOutputLine_));
  child_.reset();
  outputOpen_ = false;
  if (!session_) {
    enter(Phase::idle, "child ended");
    return;
  }
  const bool wasServing = phase_ == Phase::connected || session_->restarting;
  if (wasServing && session_->reconnect && restartAllowed()) {
    session_->restarting = true;
    deadline_ = Clock::now() + kRestartDelay;
    enter(Phase::backingOff, "restarting the crashed proxy engine");
    publish(VPNStatus::connecting);
    deliver(session_->callback, VPNStatus::connecting);
    return;
  }
  if (wasServing && session_->reconnect) note("the proxy engine crashed too often; giving up");
  // A child that ended before it ever listened refused what it was given.
  endSession(true, wasServing ? StartFailure::none : StartFailure::refused);
}

bool Engine::restartAllowed() {
  const auto now = Clock::now();
  auto& restarts = session_->restarts;
  while (!restarts.empty() && now - restarts.front() > kRestartWindow) restarts.pop_front();
  if (static_cast<int>(restarts.size()) >= kRestartLimit) return false;
  restarts.push_back(now);
  return true;
}

// Ends the connection: the child is gone (and reaped) before anything else happens, the desktop
// gets its proxy back, and the session's callback hears disconnected when `tellSession`.
void Engine::endSession(bool tellSession, StartFailure failure) {
  closeTunnel();
  if (child_) {
    child_->terminate(kStopGrace);
    drainOutput();
    child_.reset();
    outputOpen_ = false;
  }
  cleanUpAfterSession();
  StatusCallback callback = session_ ? session_->callback : StatusCallback{};
  session_.reset();
  enter(Phase::idle, tellSession ? "connection ended" : "stopped");
  startFailure_.store(failure);
  publish(VPNStatus::disconnected);
  if (tellSession) deliver(callback, VPNStatus::disconnected);
}

void Engine::cleanUpAfterSession() {
  if (!session_) return;
  if (session_->systemProxySet) {
    systemProxy_.restore();
    session_->systemProxySet = false;
  }
  if (session_->commandLineProxySet) {
    commandLineProxy_.remove();
    session_->commandLineProxySet = false;
  }
}

// What an earlier run that died (the client itself, or the machine) left behind.
void Engine::recoverFromEarlierRun() {
  if (systemProxy_.pending()) {
    note("restoring the system proxy left by an earlier run");
    systemProxy_.restore();
  }
  commandLineProxy_.remove();
}

void Engine::enter(Phase next, std::string_view why) {
  if (next != phase_) {
    note(std::string("engine ") + phaseName(phase_) + " -> " + phaseName(next) + ": " + std::string(why));
  }
  phase_ = next;
}

void Engine::publish(VPNStatus status) { published_.store(status); }

void Engine::deliver(const StatusCallback& callback, VPNStatus status) {
  if (callback) outbox_.emplace_back(callback, status);
}

void Engine::flushOutbox() {
  auto outbox = std::move(outbox_);
  outbox_.clear();
  for (auto& [callback, status] : outbox) {
    try {
      callback(status);
    } catch (...) {
      note("a status callback threw; ignored");
    }
  }
}

void Engine::drainOutput() {
  if (!child_ || !outputOpen_) return;
  std::string chunk;
  const bool open = child_->readOutput(chunk);
  if (!chunk.empty()) {
    coreLog().append(chunk);
    partialOutput_ += chunk;
    std::size_t end;
    while ((end = partialOutput_.find('\n')) != std::string::npos) {
      std::string line = partialOutput_.substr(0, end);
      partialOutput_.erase(0, end + 1);
      if (!line.empty()) lastOutputLine_ = std::move(line);
    }
  }
  if (!open) {
    outputOpen_ = false;
    partialOutput_.clear();
  }
}

void Engine::shutdown() {
  closeTunnel();
  if (child_) {
    child_->terminate(kStopGrace);
    child_.reset();
  }
  cleanUpAfterSession();
  session_.reset();
  outbox_.clear();
  phase_ = Phase::idle;
  published_.store(VPNStatus::disconnected);
}

}  // namespace helmsey::engine
