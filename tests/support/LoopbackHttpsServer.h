#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/TestCA.h"

namespace httplib {
struct Request;
struct Response;
class SSLServer;
}  // namespace httplib

namespace tarnel::test {

// An HTTPS listener on a loopback address (127.0.0.0/8 or ::1 only) that hands every request, of
// any method and path, to one handler running on the listener's worker threads. Port 0 picks a
// free port, read back with port(); the port stays the same across stop() and start(), so a
// stopped listener refuses connections where the running one answered. One request per
// connection unless keep-alive is switched on (as a real service has it); a stop closes kept
// connections too.
class LoopbackHttpsServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  // Binds and starts listening; throws std::runtime_error when the address is not loopback or
  // cannot be bound.
  LoopbackHttpsServer(const TestCA::Leaf& certificate, std::string address, int port,
                      Handler handler);
  ~LoopbackHttpsServer();
  LoopbackHttpsServer(const LoopbackHttpsServer&) = delete;
  LoopbackHttpsServer& operator=(const LoopbackHttpsServer&) = delete;

  // Applies from the next start(); a running server is restarted on its port.
  void setKeepAlive(bool on);
  void start();  // no-op while running
  void stop();   // no-op while stopped; waits for the worker threads
  bool running() const;

  const std::string& address() const { return address_; }
  int port() const { return port_; }
  // "address:port", with brackets around an IPv6 address.
  std::string authority() const;

  // Closes the connection that carries `request` without an answer: the client sees the
  // connection end where it expected a status line.
  static void dropConnection(const httplib::Request& request);

  // The TLS server name (SNI) the client sent on the request's connection; empty when none.
  static std::string serverName(const httplib::Request& request);

  // The request's header fields by lower-case name; the values of a repeated field are joined
  // with ", " so that a repetition shows up in equality checks.
  static std::map<std::string, std::string> headersByLowerName(const httplib::Request& request);

  static bool isLoopback(const std::string& address);

 private:
  TestCA::Leaf certificate_;
  std::string address_;
  int port_;
  Handler handler_;
  mutable std::mutex mutex_;
  bool keepAlive_ = false;
  std::unique_ptr<httplib::SSLServer> server_;
  std::thread thread_;
};

}  // namespace tarnel::test
