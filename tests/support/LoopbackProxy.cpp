#include "tests/support/LoopbackProxy.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace tarnel::test {
namespace {

bool sendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const long n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// "127.0.0.1:443" or "[::1]:443" → numeric loopback address and port; false otherwise.
bool loopbackTarget(const std::string& target, std::string& host, std::uint16_t& port) {
  const auto colon = target.rfind(':');
  if (colon == std::string::npos) return false;
  host = target.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const std::string portText = target.substr(colon + 1);
  const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (ec != std::errc() || end != portText.data() + portText.size()) return false;
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

}  // namespace

LoopbackConnectProxy::LoopbackConnectProxy(std::string address) : address_(std::move(address)) {
  listener_ = std::make_unique<LoopbackListener>(address_, 0);
  listener_->start([this](int fd, const std::string&) { serve(fd); });
}

LoopbackConnectProxy::~LoopbackConnectProxy() { listener_->stop(); }

std::string LoopbackConnectProxy::url() const {
  const std::string host = address_.find(':') != std::string::npos ? "[" + address_ + "]" : address_;
  return "http://" + host + ":" + std::to_string(port());
}

std::vector<LoopbackConnectProxy::Tunnel> LoopbackConnectProxy::tunnels() const {
  std::lock_guard lock(mutex_);
  return tunnels_;
}

void LoopbackConnectProxy::serve(int fd) {
  std::string head;
  char buffer[16384];
  std::size_t headEnd = std::string::npos;
  while ((headEnd = head.find("\r\n\r\n")) == std::string::npos) {
    if (head.size() > 64 * 1024) return;
    const long n = ::recv(fd, buffer, sizeof(buffer), 0);
    if (n <= 0) return;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  std::string early = head.substr(headEnd + 4);  // bytes the client sent ahead of our answer
  head.resize(headEnd);

  auto parsed = parseRequestHead(head);
  Tunnel tunnel;
  tunnel.target = std::move(parsed.target);
  tunnel.headers = std::move(parsed.headers);

  std::string host;
  std::uint16_t port = 0;
  int upstream = -1;
  if (parsed.method != "CONNECT") {
    tunnel.answer = 405;
  } else if (!loopbackTarget(tunnel.target, host, port)) {
    tunnel.answer = 403;
  } else if ((upstream = connectTcp(host, port)) < 0) {
    tunnel.answer = 502;
  } else {
    tunnel.answer = 200;
  }
  std::size_t index = 0;
  {
    std::lock_guard lock(mutex_);
    index = tunnels_.size();
    tunnels_.push_back(tunnel);
  }
  if (tunnel.answer != 200) {
    const std::string reason = tunnel.answer == 403 ? "Forbidden" : tunnel.answer == 405 ? "Method Not Allowed"
                                                                                            : "Bad Gateway";
    sendAll(fd, "HTTP/1.1 " + std::to_string(tunnel.answer) + " " + reason +
                    "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return;
  }
  if (!sendAll(fd, "HTTP/1.1 200 Connection established\r\n\r\n") || (!early.empty() && !sendAll(upstream, early))) {
    close(upstream);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    tunnels_[index].bytesToTarget += early.size();
  }

  // Relay both ways until either side closes or the proxy stops.
  pollfd fds[3] = {{fd, POLLIN, 0}, {upstream, POLLIN, 0}, {listener_->stopFd(), POLLIN, 0}};
  bool open = true;
  while (open) {
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[2].revents != 0) break;
    for (int side = 0; side < 2 && open; ++side) {
      if (fds[side].revents == 0) continue;
      const long n = ::recv(fds[side].fd, buffer, sizeof(buffer), 0);
      if (n <= 0 || !sendAll(fds[1 - side].fd, std::string_view(buffer, static_cast<std::size_t>(n)))) {
        open = false;
        break;
      }
      std::lock_guard lock(mutex_);
      (side == 0 ? tunnels_[index].bytesToTarget : tunnels_[index].bytesFromTarget) += static_cast<std::size_t>(n);
    }
  }
  close(upstream);
}

}  // namespace tarnel::test
