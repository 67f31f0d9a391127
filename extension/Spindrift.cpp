#include "extension/Spindrift.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/engine/EngineLog.h"
#include "platform/BoundedJson.h"

namespace spindrift {
namespace {

using helmsey::engine::note;
using helmsey::engine::UniqueFd;
using Json = nlohmann::ordered_json;

// Deeper than any tunnel configuration, far below what copying a value could overflow.
constexpr std::size_t kMaxMessageDepth = 32;
// How long one polkit question may stay unanswered (an authentication prompt nobody answers).
constexpr std::uint64_t kAuthorisationTimeoutUsec = 120ULL * 1000 * 1000;
constexpr std::uint64_t kRemovalRetryUsec = 1000ULL * 1000;
constexpr std::uint64_t kListenPauseUsec = 100ULL * 1000;
// Work one caller gets per wake-up, so that a busy caller cannot starve the others.
constexpr std::size_t kReadPerEvent = 64 * 1024;
constexpr int kAcceptsPerEvent = 64;

// The process start time polkit needs to tell this process from a later one with its id.
std::optional<std::string> startTime(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  // Fields after the name start at the state (3); the start time is field 22.
  for (int i = 3; i <= 22 && fields >> field; ++i) {
    if (i == 22) return field;
  }
  return std::nullopt;
}

nlohmann::json endedMessage(const std::string& why, bool captureLeft) {
  nlohmann::json message{{"status", "disconnected"}};
  if (!why.empty()) message["reason"] = why;
  if (captureLeft) {
    message["failure"] = "capture left";
    message["reason"] = "the traffic capture could not be removed yet; it is being retried";
  }
  return message;
}

}  // namespace

Spindrift::Spindrift(Options options) : options_(std::move(options)) {}

Spindrift::~Spindrift() {
  if (starting_ && starting_->thread.joinable()) starting_->thread.join();
  starting_.reset();
  engineSources_.clear();
  clients_.clear();
  provider_.reset();
}

Spindrift::Client* Spindrift::find(std::uint64_t id) {
  const auto found = clients_.find(id);
  if (found == clients_.end() || found->second->gone) return nullptr;
  return found->second.get();
}

void Spindrift::updateEvents(Client& client) {
  if (!client.io) return;
  sd_event_source_set_io_events(client.io.get(), EPOLLIN | (client.output.empty() ? 0U : EPOLLOUT));
}

void Spindrift::queue(Client& client, const nlohmann::json& message) {
  if (client.gone) return;
  client.output += message.dump() + "\n";
  flush(client);
  if (client.gone) return;
  if (client.output.size() > options_.maxOutput) {
    note("dropped a caller (user id " + std::to_string(client.uid) + ") that does not read its answers");
    drop(client);
    return;
  }
  updateEvents(client);
}

void Spindrift::flush(Client& client) {
  while (!client.output.empty()) {
    const ssize_t n = ::send(client.fd.get(), client.output.data(), client.output.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      client.output.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    drop(client);  // the caller is gone
    return;
  }
  if (client.output.empty() && client.closing) drop(client);
}

void Spindrift::drop(Client& client) {
  if (client.gone) return;
  client.gone = true;
  client.io.reset();
  client.pkcheckExit.reset();
  if (client.pkcheck) {
    client.pkcheck->terminate(std::chrono::milliseconds(0));
    client.pkcheck.reset();
  }
  if (ownerClient_ && *ownerClient_ == client.id) {
    note("the caller that owns the tunnel hung up; stopping it");
    endTunnel("the caller hung up", std::nullopt);
  }
}

void Spindrift::reap() {
  for (auto it = clients_.begin(); it != clients_.end();) {
    it = it->second->gone ? clients_.erase(it) : std::next(it);
  }
}

bool Spindrift::listen() {
  if (options_.listenFd >= 0) {
    listen_.reset(options_.listenFd);
    // An inherited socket may be blocking; accepting until there is nothing left must not wait.
    const int flags = ::fcntl(listen_.get(), F_GETFL);
    ::fcntl(listen_.get(), F_SETFL, flags | O_NONBLOCK);
    return true;
  }
  // The socket is bound and listening under a side name and only then moved to its path, so a
  // caller that finds the path can connect: between bind() and listen() a connect is refused.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = options_.socketPath.string();
  const std::string sideName = path + ".new";
  if (path.empty() || sideName.size() >= sizeof address.sun_path) {
    note("spindrift: the socket path is missing or too long");
    return false;
  }
  std::memcpy(address.sun_path, sideName.c_str(), sideName.size() + 1);
  listen_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  ::unlink(sideName.c_str());
  // Anyone may connect; who is served is decided by the peer's credentials.
  const mode_t previous = ::umask(0);
  const bool bound = ::bind(listen_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::umask(previous);
  if (!bound || ::listen(listen_.get(), 128) != 0 || ::rename(sideName.c_str(), path.c_str()) != 0) {
    note(std::string("spindrift: cannot listen on the socket: ") + std::strerror(errno));
    if (bound) ::unlink(sideName.c_str());
    return false;
  }
  return true;
}

void Spindrift::onAcceptable() {
  for (int i = 0; i < kAcceptsPerEvent; ++i) {
    UniqueFd fd(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (fd.valid()) {
      admit(std::move(fd));
      continue;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return;
    if ((errno == EMFILE || errno == ENFILE) && spare_.valid()) {
      // No descriptor for the caller: the spare one is given up to take it off the queue and
      // close it, instead of the queue waking the loop again and again.
      spare_.reset();
      const int extra = ::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC);
      const int acceptError = errno;
      if (extra >= 0) ::close(extra);  // before the spare is taken back: it needs the same slot
      spare_.reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
      if (extra >= 0) continue;
      if (acceptError == EAGAIN || acceptError == EWOULDBLOCK) return;
      errno = acceptError;
    }
    // Nothing can be accepted now: listening pauses for a moment rather than spin. The timer
    // was made at start, since making one now would need a descriptor too.
    note(std::string("spindrift: cannot accept a caller: ") + std::strerror(errno));
    sd_event_source_set_enabled(listenSource_.get(), SD_EVENT_OFF);
    sd_event_source_set_time_relative(listenPause_.get(), kListenPauseUsec);
    sd_event_source_set_enabled(listenPause_.get(), SD_EVENT_ONESHOT);
    return;
  }
}

void Spindrift::admit(UniqueFd fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return;
  const auto sameUser = static_cast<std::size_t>(std::count_if(
      clients_.begin(), clients_.end(),
      [&](const auto& entry) { return !entry.second->gone && entry.second->uid == credentials.uid; }));
  if (clients_.size() >= options_.maxConnections || sameUser >= options_.maxConnectionsPerUser) {
    // Closed at once: the caller sees the connection end before it is served.
    return;
  }
  auto owned = std::make_unique<Client>();
  Client& client = *owned;
  client.host = this;
  client.id = nextId_++;
  client.fd = std::move(fd);
  client.uid = credentials.uid;
  client.pid = credentials.pid;
  sd_event_source* io = nullptr;
  if (sd_event_add_io(
          loop_.get(), &io, client.fd.get(), EPOLLIN,
          [](sd_event_source*, int, std::uint32_t events, void* data) {
            auto& caller = *static_cast<Client*>(data);
            Spindrift& host = *caller.host;
            host.onClientEvent(caller, events);
            host.reap();
            return 0;
          },
          &client) < 0) {
    return;
  }
  client.io.reset(io);
  clients_.emplace(client.id, std::move(owned));
  if (options_.allowedUsers.count(client.uid) != 0) {
    client.authorised = true;
  } else if (options_.askPolkit) {
    beginAuthorisation(client);
  } else {
    note("refused a caller with user id " + std::to_string(client.uid));
    client.closing = true;
    queue(client, {{"error", "not authorised"}});
  }
}

// pkcheck runs as a child the loop watches: a prompt nobody answers holds up only this caller.
void Spindrift::beginAuthorisation(Client& client) {
  const auto started = startTime(client.pid);
  const auto program = started ? helmsey::engine::findProgram(options_.pkcheckProgram) : std::nullopt;
  std::string error;
  if (program) {
    client.pkcheck = helmsey::engine::ChildProcess::start(
        *program,
        {"--action-id", kPolkitAction, "--process",
         std::to_string(client.pid) + "," + *started + "," + std::to_string(client.uid), "--allow-user-interaction"},
        "", error);
  }
  if (!client.pkcheck) {
    note("polkit could not be asked about user id " + std::to_string(client.uid) + (error.empty() ? "" : ": " + error));
    onAuthorised(client, false);
    return;
  }
  sd_event_source* exit = nullptr;
  if (sd_event_add_io(
          loop_.get(), &exit, client.pkcheck->exitFd(), EPOLLIN,
          [](sd_event_source*, int, std::uint32_t, void* data) {
            auto& caller = *static_cast<Client*>(data);
            Spindrift& host = *caller.host;
            const auto status = caller.pkcheck ? caller.pkcheck->poll() : std::nullopt;
            if (status) host.onAuthorised(caller, WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
            host.reap();
            return 0;
          },
          &client) < 0) {
    onAuthorised(client, false);
    return;
  }
  client.pkcheckExit.reset(exit);
  // An unanswered prompt ends as a refusal, so that it does not hold the caller's place for ever.
  sd_event_source* timeout = nullptr;
  sd_event_add_time_relative(
      loop_.get(), &timeout, CLOCK_MONOTONIC, kAuthorisationTimeoutUsec, 0,
      [](sd_event_source* source, std::uint64_t, void* data) {
        auto& caller = *static_cast<Client*>(data);
        Spindrift& host = *caller.host;
        sd_event_source_set_enabled(source, SD_EVENT_OFF);
        if (caller.pkcheck && !caller.gone) host.onAuthorised(caller, false);
        host.reap();
        return 0;
      },
      &client);
  client.pkcheckTimeout.reset(timeout);
}

void Spindrift::onAuthorised(Client& client, bool granted) {
  client.pkcheckExit.reset();
  client.pkcheckTimeout.reset();
  if (client.pkcheck) {
    client.pkcheck->terminate(std::chrono::milliseconds(0));
    client.pkcheck.reset();
  }
  if (client.gone) return;
  if (!granted) {
    note("refused a caller with user id " + std::to_string(client.uid));
    client.closing = true;
    queue(client, {{"error", "not authorised"}});
    return;
  }
  client.authorised = true;
  serveInput(client);  // what it sent while it waited
}

void Spindrift::onClientEvent(Client& client, std::uint32_t events) {
  if ((events & EPOLLOUT) != 0) {
    flush(client);
    if (client.gone) return;
    updateEvents(client);
  }
  if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) {
    std::size_t taken = 0;
    char buffer[16384];
    while (taken < kReadPerEvent) {
      const ssize_t n = ::recv(client.fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      if (n <= 0) {
        drop(client);
        return;
      }
      taken += static_cast<std::size_t>(n);
      if (client.closing) continue;  // its answer is on its way; what it says no longer counts
      client.input.append(buffer, static_cast<std::size_t>(n));
      if (client.authorised) {
        serveInput(client);
        if (client.gone || client.closing) return;
      }
      if (client.input.size() > kMaxMessage) {
        client.input.clear();
        client.closing = true;
        queue(client, {{"error", "message too long"}});
        return;
      }
    }
  }
}

void Spindrift::serveInput(Client& client) {
  std::size_t end;
  while (!client.gone && !client.closing && (end = client.input.find('\n')) != std::string::npos) {
    const std::string line = client.input.substr(0, end);
    client.input.erase(0, end + 1);
    handle(client, line);
  }
}

void Spindrift::handle(Client& client, const std::string& line) {
  std::string why;
  const auto message = platform::parseJsonBounded<Json>(line, &why, kMaxMessageDepth);
  if (!message || !message->is_object()) {
    note("refused a message from user id " + std::to_string(client.uid) + ": " + (message ? "not an object" : why));
    client.closing = true;
    queue(client, {{"error", "message refused"}});
    return;
  }
  const auto found = message->find("command");
  const std::string command = found != message->end() && found->is_string() ? found->get<std::string>() : "";
  if (command == "start") {
    handleStart(client, *message);
  } else if (command == "stop") {
    handleStop(client);
  } else {
    client.closing = true;
    queue(client, {{"error", "unknown command"}});
  }
}

void Spindrift::handleStart(Client& client, const Json& message) {
  if (starting_ || (ownerClient_ && ownerUid_ != client.uid)) {
    queue(client, {{"status", "disconnected"},
                   {"failure", "busy"},
                   {"reason", starting_ ? "another start is under way" : "another user's tunnel is running"}});
    return;
  }
  queue(client, {{"status", "connecting"}});
  if (client.gone) return;
  if (ownerClient_ && *ownerClient_ != client.id) {
    // The same user's tunnel from another connection is replaced; that connection hears it ended.
    if (Client* previous = find(*ownerClient_)) queue(*previous, {{"status", "disconnected"}});
  }
  ownerClient_.reset();
  engineSources_.clear();
  removalRetry_.reset();  // the start removes what is left first, or fails

  const auto configuration = message.contains("configuration") ? message["configuration"] : Json();
  auto pending = std::make_unique<PendingStart>();
  pending->client = client.id;
  pending->uid = client.uid;
  pending->done.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  sd_event_source* done = nullptr;
  if (!pending->done.valid() ||
      sd_event_add_io(
          loop_.get(), &done, pending->done.get(), EPOLLIN,
          [](sd_event_source*, int, std::uint32_t, void* self) {
            auto& host = *static_cast<Spindrift*>(self);
            host.onStartFinished();
            host.reap();
            return 0;
          },
          this) < 0) {
    queue(client, {{"status", "disconnected"}, {"failure", "refused"}, {"reason", "the start could not be scheduled"}});
    return;
  }
  pending->doneSource.reset(done);
  PendingStart* raw = pending.get();
  helmsey::tunnel::TunnelProvider* provider = &*provider_;
  provider->allowStart();
  // The provider belongs to this thread until the loop has joined it.
  raw->thread = std::thread([raw, provider, configuration] {
    raw->succeeded = provider->start(configuration, raw->error);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(raw->done.get(), &one, sizeof one);
  });
  starting_ = std::move(pending);
}

void Spindrift::onStartFinished() {
  std::unique_ptr<PendingStart> finished = std::move(starting_);
  finished->thread.join();
  finished->doneSource.reset();
  Client* starter = find(finished->client);
  if (!finished->succeeded) {
    note("start refused: " + finished->error);
    if (starter) queue(*starter, {{"status", "disconnected"}, {"failure", "refused"}, {"reason", finished->error}});
    for (const auto id : finished->stopRequests) {
      if (Client* asker = find(id); asker && asker != starter) queue(*asker, {{"status", "disconnected"}});
    }
    if (provider_->captureLeft()) armRemovalRetry();
    return;
  }
  ownerClient_ = finished->client;
  ownerUid_ = finished->uid;
  watchEngine();
  if (!starter || !finished->stopRequests.empty()) {
    // Its caller went away, or a stop came while it started: the tunnel ends at once.
    const auto askedBy = finished->stopRequests.empty() ? std::nullopt
                                                        : std::optional<std::uint64_t>(finished->stopRequests.front());
    for (std::size_t i = 1; i < finished->stopRequests.size(); ++i) {
      if (Client* asker = find(finished->stopRequests[i])) queue(*asker, {{"status", "disconnected"}});
    }
    endTunnel(starter ? "stopped" : "the caller hung up", askedBy);
    return;
  }
  queue(*starter, {{"status", "connected"}});
}

void Spindrift::handleStop(Client& client) {
  if (starting_) {
    if (client.uid != starting_->uid && client.uid != 0) {
      queue(client, {{"error", "not the owner"}});
      return;
    }
    starting_->stopRequests.push_back(client.id);
    provider_->cancelStart();  // the one call into the provider that is safe while it starts
    return;
  }
  if (!ownerClient_) {
    const bool left = provider_->captureLeft() && !provider_->retryRemoval();
    queue(client, endedMessage("", left));
    return;
  }
  if (client.uid != ownerUid_ && client.uid != 0) {
    note("user id " + std::to_string(client.uid) + " may not stop the tunnel of user id " + std::to_string(ownerUid_));
    queue(client, {{"error", "not the owner"}});
    return;
  }
  endTunnel("stopped", client.id);
}

void Spindrift::endTunnel(const std::string& why, std::optional<std::uint64_t> askedBy) {
  engineSources_.clear();
  const bool clean = provider_->stop();
  const std::optional<std::uint64_t> owner = ownerClient_;
  ownerClient_.reset();
  if (!clean) armRemovalRetry();
  if (owner && (!askedBy || *owner != *askedBy)) {
    if (Client* client = find(*owner)) queue(*client, endedMessage(why, !clean));
  }
  if (askedBy) {
    if (Client* client = find(*askedBy)) queue(*client, endedMessage("", !clean));
  }
}

void Spindrift::watchEngine() {
  engineSources_.clear();
  for (const int fd : provider_->watchFds()) {
    sd_event_source* source = nullptr;
    if (sd_event_add_io(
            loop_.get(), &source, fd, EPOLLIN,
            [](sd_event_source*, int, std::uint32_t, void* self) {
              auto& host = *static_cast<Spindrift*>(self);
              host.onEngineEvent();
              host.reap();
              return 0;
            },
            this) >= 0) {
      engineSources_.emplace_back(source);
    }
  }
}

void Spindrift::onEngineEvent() {
  if (!ownerClient_) return;
  std::string why;
  if (provider_->service(why)) {
    watchEngine();  // its output may have ended
    return;
  }
  // The provider has removed the capture already (or keeps its journal for the retry).
  engineSources_.clear();
  const bool left = provider_->captureLeft();
  if (left) armRemovalRetry();
  const auto owner = ownerClient_;
  ownerClient_.reset();
  if (Client* client = find(*owner)) queue(*client, endedMessage(why, left));
}

void Spindrift::armRemovalRetry() {
  if (removalRetry_) return;
  sd_event_source* timer = nullptr;
  if (sd_event_add_time_relative(
          loop_.get(), &timer, CLOCK_MONOTONIC, kRemovalRetryUsec, 0,
          [](sd_event_source*, std::uint64_t, void* self) {
            static_cast<Spindrift*>(self)->onRemovalRetry();
            return 0;
          },
          this) >= 0) {
    removalRetry_.reset(timer);
  }
}

void Spindrift::onRemovalRetry() {
  removalRetry_.reset();
  if (starting_) return;  // the start removes it first
  if (provider_->retryRemoval()) {
    note("the traffic capture left behind is removed now");
    return;
  }
  armRemovalRetry();
}

int Spindrift::run() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return 1;
  // Writes to a caller that went away fail with EPIPE instead.
  ::signal(SIGPIPE, SIG_IGN);

  sd_event* loop = nullptr;
  if (sd_event_new(&loop) < 0) {
    note("spindrift: no event loop");
    return 1;
  }
  loop_.reset(loop);
  for (const int signal : {SIGTERM, SIGINT}) {
    sd_event_source* source = nullptr;
    if (sd_event_add_signal(loop_.get(), &source, signal, nullptr, nullptr) < 0) return 1;  // default: exit
    signals_.emplace_back(source);
  }

  // The capture a crashed predecessor left is removed before the socket exists, so no caller
  // (nor anyone watching for the socket) meets the machine in that state.
  provider_.emplace(options_.provider);
  if (provider_->captureLeft()) armRemovalRetry();

  if (!listen()) return 2;
  spare_.reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  sd_event_source* listening = nullptr;
  if (sd_event_add_io(
          loop_.get(), &listening, listen_.get(), EPOLLIN,
          [](sd_event_source*, int, std::uint32_t, void* self) {
            auto& host = *static_cast<Spindrift*>(self);
            host.onAcceptable();
            host.reap();
            return 0;
          },
          this) < 0) {
    return 2;
  }
  listenSource_.reset(listening);
  sd_event_source* pause = nullptr;
  if (sd_event_add_time_relative(
          loop_.get(), &pause, CLOCK_MONOTONIC, kListenPauseUsec, 0,
          [](sd_event_source*, std::uint64_t, void* self) {
            sd_event_source_set_enabled(static_cast<Spindrift*>(self)->listenSource_.get(), SD_EVENT_ON);
            return 0;
          },
          this) < 0) {
    return 2;
  }
  listenPause_.reset(pause);
  sd_event_source_set_enabled(pause, SD_EVENT_OFF);

  const int looped = sd_event_loop(loop_.get());
  if (looped < 0) note(std::string("spindrift: the event loop failed: ") + std::strerror(-looped));

  listenSource_.reset();
  listenPause_.reset();
  if (starting_) {
    starting_->thread.join();
    starting_.reset();
  }
  engineSources_.clear();
  removalRetry_.reset();
  ownerClient_.reset();
  for (auto& [id, client] : clients_) drop(*client);
  clients_.clear();
  if (!provider_->stop()) note("spindrift: the traffic capture could not be removed; the next start removes it");
  if (options_.listenFd < 0) ::unlink(options_.socketPath.c_str());
  return 0;
}

}  // namespace spindrift
