#pragma once

// A loopback HTTP proxy that tunnels CONNECT requests and records what it carried.
//
//   LoopbackConnectProxy proxy;
//   ... client sends through proxy.url() ...
//   EXPECT_EQ(proxy.tunnels().at(0).target, "127.0.0.1:4433");
//
// Only numeric loopback targets (127.0.0.0/8, ::1) are tunnelled: anything else is answered
// 403, so a test never reaches past loopback through it. Other methods are answered 405.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/LoopbackListener.h"

namespace tarnel::test {

class LoopbackConnectProxy {
 public:
  struct Tunnel {
    std::string target;  // "host:port" of the CONNECT line, as sent
    std::vector<std::pair<std::string, std::string>> headers;  // of the CONNECT request
    int answer = 0;                    // status the proxy answered (200, 403, 405, 502)
    std::size_t bytesToTarget = 0;     // carried client → target
    std::size_t bytesFromTarget = 0;   // carried target → client
  };

  explicit LoopbackConnectProxy(std::string address = "127.0.0.1");
  ~LoopbackConnectProxy();
  LoopbackConnectProxy(const LoopbackConnectProxy&) = delete;
  LoopbackConnectProxy& operator=(const LoopbackConnectProxy&) = delete;

  std::uint16_t port() const { return listener_->port(); }
  std::string url() const;  // "http://127.0.0.1:port"
  // Every request the proxy received, in arrival order; byte counts grow while a tunnel is open.
  std::vector<Tunnel> tunnels() const;

 private:
  void serve(int fd);

  std::string address_;
  mutable std::mutex mutex_;
  std::vector<Tunnel> tunnels_;
  std::unique_ptr<LoopbackListener> listener_;
};

}  // namespace tarnel::test
