#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tarnel::test {

// A TCP listener on a loopback address that serves every accepted connection on a thread of
// its own. The building block of the loopback servers and the proxy; usable on its own.
//
// stop() (also run by the destructor) closes the listening socket, shuts every open connection
// down so that blocked reads return, and joins every thread. Owners whose serve function uses
// their own members call stop() first thing in their destructor.
class LoopbackListener {
 public:
  // Runs on the connection's thread; the listener closes `fd` after it returns.
  using Serve = std::function<void(int fd, const std::string& peerAddress)>;

  // Listens on address:port (port 0: any free one). Throws std::runtime_error when it cannot.
  LoopbackListener(const std::string& address, std::uint16_t port);
  // Starts accepting; once only.
  void start(Serve serve);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  void stop();

  std::uint16_t port() const { return port_; }
  const std::string& address() const { return address_; }
  std::size_t connectionCount() const { return connections_.load(); }

  // Readable (POLLIN) once the listener is stopping: add it to a poll() to wait interruptibly.
  int stopFd() const { return stopFd_; }

 private:
  void acceptLoop();

  std::string address_;
  std::uint16_t port_ = 0;
  Serve serve_;
  int listenFd_ = -1;
  int stopFd_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> connections_{0};
  std::mutex mutex_;
  std::set<int> open_;
  // One per accepted connection; a finished one is joined at the next accept, so a long run
  // keeps no thread stacks of connections long gone.
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::list<Worker> workers_;
  std::thread acceptor_;
};

// Connects a TCP socket to address:port (numeric IPv4 or IPv6); -1 on failure.
int connectTcp(const std::string& address, std::uint16_t port);

// True when something accepts TCP connections on address:port.
bool acceptsConnections(const std::string& address, std::uint16_t port);

// An HTTP/1.1 request head: the text before the blank line.
struct RequestHead {
  std::string method;  // the request line up to its first space (all of it when there is none)
  std::string target;  // empty unless the request line has the form "<method> <target> <version>"
  bool wellFormed = false;  // the request line has that form
  std::vector<std::pair<std::string, std::string>> headers;  // in order received, values trimmed
};
RequestHead parseRequestHead(std::string_view head);

}  // namespace tarnel::test
