#include "tests/support/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tarnel::test {
namespace {

// Fills a socket address for a numeric IPv4 or IPv6 text; false for anything else.
bool socketAddress(const std::string& address, std::uint16_t port, sockaddr_storage& out, socklen_t& length) {
  std::memset(&out, 0, sizeof(out));
  auto* v4 = reinterpret_cast<sockaddr_in*>(&out);
  if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof(sockaddr_in);
    return true;
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&out);
  if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

std::string addressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {0};
  if (address.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text, sizeof(text));
  } else if (address.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr, text, sizeof(text));
  }
  return text;
}

}  // namespace

LoopbackListener::LoopbackListener(const std::string& address, std::uint16_t port) : address_(address) {
  sockaddr_storage bindAddress{};
  socklen_t length = 0;
  if (!socketAddress(address, port, bindAddress, length)) throw std::runtime_error("not an IP address: " + address);
  listenFd_ = socket(bindAddress.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
  const int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&bindAddress), length) != 0 || listen(listenFd_, 64) != 0) {
    const std::string reason = std::strerror(errno);
    close(listenFd_);
    throw std::runtime_error("cannot listen on " + address + ": " + reason);
  }
  sockaddr_storage bound{};
  socklen_t boundLength = sizeof(bound);
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &boundLength);
  port_ = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                           : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
  stopFd_ = eventfd(0, EFD_CLOEXEC);
}

void LoopbackListener::start(Serve serve) {
  if (acceptor_.joinable() || stopping_) return;
  serve_ = std::move(serve);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackListener::~LoopbackListener() {
  stop();
  if (stopFd_ >= 0) close(stopFd_);
}

void LoopbackListener::stop() {
  if (stopping_.exchange(true)) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = write(stopFd_, &one, sizeof(one));
  if (acceptor_.joinable()) acceptor_.join();
  close(listenFd_);
  listenFd_ = -1;
  std::list<Worker> workers;
  {
    std::lock_guard lock(mutex_);
    for (const int fd : open_) shutdown(fd, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (auto& worker : workers) worker.thread.join();
}

void LoopbackListener::acceptLoop() {
  while (true) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof(peer);
    const int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    std::list<Worker> finished;
    std::unique_lock lock(mutex_);
    if (stopping_) {
      close(fd);
      return;
    }
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (it->done->load()) {
        finished.splice(finished.end(), workers_, it++);
      } else {
        ++it;
      }
    }
    open_.insert(fd);
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back(Worker{std::thread([this, fd, done, peerText = addressText(peer)] {
      // A client that goes away while we write must not end the test process.
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
      serve_(fd, peerText);
      {
        std::lock_guard guard(mutex_);
        open_.erase(fd);
      }
      close(fd);
      *done = true;
    }), done});
    lock.unlock();
    for (auto& worker : finished) worker.thread.join();
  }
}

int connectTcp(const std::string& address, std::uint16_t port) {
  sockaddr_storage target{};
  socklen_t length = 0;
  if (!socketAddress(address, port, target, length)) return -1;
  const int fd = socket(target.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&target), length) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool acceptsConnections(const std::string& address, std::uint16_t port) {
  const int fd = connectTcp(address, port);
  if (fd < 0) return false;
  close(fd);
  return true;
}

RequestHead parseRequestHead(std::string_view head) {
  RequestHead parsed;
  std::size_t lineEnd = head.find("\r\n");
  const std::string_view requestLine = head.substr(0, lineEnd);
  const auto firstSpace = requestLine.find(' ');
  const auto secondSpace = requestLine.find(' ', firstSpace + 1);
  parsed.method = requestLine.substr(0, firstSpace);
  if (firstSpace != std::string_view::npos && secondSpace != std::string_view::npos) {
    parsed.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    parsed.wellFormed = true;
  }
  while (lineEnd != std::string_view::npos) {
    const auto start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    const std::string_view line = head.substr(start, lineEnd == std::string_view::npos ? lineEnd : lineEnd - start);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view value = line.substr(colon + 1);
    value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
    value.remove_suffix(value.size() - std::min(value.find_last_not_of(" \t") + 1, value.size()));
    parsed.headers.emplace_back(line.substr(0, colon), value);
  }
  return parsed;
}

}  // namespace tarnel::test
