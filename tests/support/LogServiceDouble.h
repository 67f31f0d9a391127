#pragma once

// A loopback stand-in for the hosted log service's web-tracking interface: POST
// "/logstores/<store>/track" with the headers "x-log-apiversion" ("0.6.0") and
// "x-log-bodyrawsize" (the body's byte count) and the body {"__topic__": text, "__logs__":
// [one object of texts]}. A well-formed upload is answered 200 and kept; anything else is
// recorded with its faults and answered 400 (405 for another method).
//
//   LogServiceDouble logs(ca.issue("logs", {"logs.test"}), "127.0.0.3");
//   ... client uploads to https://127.0.0.3:<logs.port()>/logstores/k-mac/track ...
//   ASSERT_TRUE(logs.waitForUploads(1, 5s));
//   auto got = logs.accepted("ERROR_API");
//   EXPECT_EQ(got.at(0).store, "k-mac");
//   logs.setState(LogServiceDouble::State::refusing);   // connections refused from now on
//
// Thread-safe.

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/LoopbackHttpsServer.h"
#include "tests/support/TestCA.h"
#include "tests/support/WireCipher.h"

namespace tarnel::test {

struct LogUpload {
  std::string method;
  std::string target;  // the path as sent
  std::string store;   // from the path; empty when the path has another form
  std::string topic;   // "__topic__"
  WireJson record;     // the one element of "__logs__" (null when the body has another shape)
  std::string host;    // the Host header
  std::string sni;     // the TLS server name; empty when none was sent
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::vector<std::string> faults;
  int answeredStatus = 0;
};

class LogServiceDouble {
 public:
  enum class State {
    up,
    refusing,  // the listener is closed: connections are refused
    failing,   // every upload is answered 500 (and still recorded)
  };

  static constexpr std::string_view kApiVersion = "0.6.0";

  explicit LogServiceDouble(const TestCA::Leaf& certificate, std::string address = "127.0.0.1",
                            int port = 0);
  ~LogServiceDouble();
  LogServiceDouble(const LogServiceDouble&) = delete;
  LogServiceDouble& operator=(const LogServiceDouble&) = delete;

  const std::string& address() const { return server_->address(); }
  int port() const { return server_->port(); }
  std::string authority() const { return server_->authority(); }
  std::string baseUrl() const { return "https://" + authority(); }

  void setState(State state);
  // Connections stay open between uploads, as the hosted service keeps them.
  void setKeepAlive(bool on) { server_->setKeepAlive(on); }

  // Every request received, well-formed or not, in arrival order.
  std::vector<LogUpload> uploads() const;
  // The uploads answered 200; only those of one topic when `topic` is given.
  std::vector<LogUpload> accepted(std::string_view topic = {}) const;
  // Waits until at least `total` requests were answered.
  bool waitForUploads(size_t total, std::chrono::milliseconds timeout) const;
  void clear();

 private:
  void handle(const httplib::Request& req, httplib::Response& res);

  mutable std::mutex mutex_;
  mutable std::condition_variable received_;
  bool failing_ = false;
  std::vector<LogUpload> uploads_;
  std::unique_ptr<LoopbackHttpsServer> server_;
};

}  // namespace tarnel::test
