#include "extension/Spindrift.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/engine/EngineLog.h"
#include "core/engine/ProgramRunner.h"

namespace spindrift {
namespace {

using helmsey::engine::note;
using helmsey::engine::UniqueFd;

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

}  // namespace

Spindrift::Spindrift(Options options) : options_(std::move(options)) {}

bool Spindrift::authorised(uid_t uid, pid_t pid) const {
  if (options_.allowedUsers.count(uid) != 0) return true;
  if (!options_.askPolkit) return false;
  const auto started = startTime(pid);
  if (!started) return false;
  const auto result = helmsey::engine::runProgram(
      {"pkcheck", "--action-id", kPolkitAction, "--process",
       std::to_string(pid) + "," + *started + "," + std::to_string(uid), "--allow-user-interaction"},
      std::chrono::minutes(2));
  return result && result->exitCode == 0;
}

void Spindrift::send(const Client& client, const nlohmann::json& message) {
  const std::string line = message.dump() + "\n";
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = ::send(client.fd.get(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the caller is gone; its hang-up is seen by the loop
    sent += static_cast<std::size_t>(n);
  }
}

void Spindrift::accept() {
  UniqueFd fd(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!fd.valid()) return;
  ucred credentials{};
  socklen_t length = sizeof credentials;
  Client client;
  client.fd = std::move(fd);
  client.id = nextId_++;
  if (::getsockopt(client.fd.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
      !authorised(credentials.uid, credentials.pid)) {
    note("refused a caller with user id " + std::to_string(credentials.uid));
    send(client, {{"error", "not authorised"}});
    return;
  }
  client.uid = credentials.uid;
  clients_.push_back(std::move(client));
}

bool Spindrift::serve(Client& client) {
  char buffer[16384];
  const ssize_t n = ::recv(client.fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (n <= 0) return false;
  client.input.append(buffer, static_cast<std::size_t>(n));
  std::size_t end;
  while ((end = client.input.find('\n')) != std::string::npos) {
    const std::string line = client.input.substr(0, end);
    client.input.erase(0, end + 1);
    if (!handle(client, line)) return false;
  }
  if (client.input.size() > kMaxMessage) {
    send(client, {{"error", "message too long"}});
    return false;
  }
  return true;
}

bool Spindrift::handle(Client& client, const std::string& line) {
  const auto message = nlohmann::json::parse(line, nullptr, false);
  const auto command = message.is_object() && message.contains("command") && message["command"].is_string()
                           ? message["command"].get<std::string>()
                           : std::string();
  if (command == "start") {
    send(client, {{"status", "connecting"}});
    if (owner_ && *owner_ != client.id) {
      // Another caller's tunnel is replaced; it hears that it ended.
      for (const auto& other : clients_) {
        if (other.id == *owner_) send(other, {{"status", "disconnected"}});
      }
    }
    owner_.reset();
    std::string error;
    const auto configuration = message.contains("configuration")
                                   ? helmsey::engine::Json(message["configuration"])
                                   : helmsey::engine::Json();
    if (!provider_->start(configuration, error)) {
      note("start refused: " + error);
      send(client, {{"status", "disconnected"}, {"failure", "refused"}, {"reason", error}});
      return true;
    }
    owner_ = client.id;
    send(client, {{"status", "connected"}});
    return true;
  }
  if (command == "stop") {
    if (owner_) provider_->stop();
    if (owner_ && *owner_ != client.id) {
      for (const auto& other : clients_) {
        if (other.id == *owner_) send(other, {{"status", "disconnected"}});
      }
    }
    owner_.reset();
    send(client, {{"status", "disconnected"}});
    return true;
  }
  send(client, {{"error", "unknown command"}});
  return false;
}

void Spindrift::onEngineEnded(const std::string& why) {
  for (const auto& client : clients_) {
    if (owner_ && client.id == *owner_) send(client, {{"status", "disconnected"}, {"reason", why}});
  }
  owner_.reset();
}

int Spindrift::run() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGPIPE);
  if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return 1;
  sigdelset(&signals, SIGPIPE);
  UniqueFd quit(::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));

  // The capture a crashed predecessor left is removed before the socket exists, so no caller
  // (nor anyone watching for the socket) meets the machine in that state.
  provider_.emplace(options_.provider);

  if (options_.listenFd >= 0) {
    listen_.reset(options_.listenFd);
  } else {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = options_.socketPath.string();
    if (path.empty() || path.size() >= sizeof address.sun_path) {
      note("spindrift: the socket path is missing or too long");
      return 2;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    listen_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ::unlink(path.c_str());
    // Anyone may connect; who is served is decided by the peer's credentials.
    const mode_t previous = ::umask(0);
    const bool bound = ::bind(listen_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(previous);
    if (!bound || ::listen(listen_.get(), 16) != 0) {
      note(std::string("spindrift: cannot listen on the socket: ") + std::strerror(errno));
      return 2;
    }
  }
  for (;;) {
    std::vector<pollfd> fds{{quit.get(), POLLIN, 0}, {listen_.get(), POLLIN, 0}};
    const auto engineFds = provider_->watchFds();
    for (const int fd : engineFds) fds.push_back({fd, POLLIN, 0});
    const std::size_t firstClient = fds.size();
    for (const auto& client : clients_) fds.push_back({client.fd.get(), POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    std::string why;
    if (!provider_->service(why)) onEngineEnded(why);
    std::vector<std::uint64_t> gone;
    for (std::size_t i = firstClient; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      auto& client = clients_[i - firstClient];
      if (!serve(client)) gone.push_back(client.id);
    }
    for (const auto id : gone) {
      if (owner_ && *owner_ == id) {
        note("the caller that owns the tunnel hung up; stopping it");
        provider_->stop();
        owner_.reset();
      }
      clients_.erase(std::remove_if(clients_.begin(), clients_.end(), [id](const Client& c) { return c.id == id; }),
                     clients_.end());
    }
    if ((fds[1].revents & POLLIN) != 0) accept();
  }
  provider_->stop();
  if (options_.listenFd < 0) ::unlink(options_.socketPath.c_str());
  return 0;
}

}  // namespace spindrift
