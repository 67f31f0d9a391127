#pragma once

// A loopback stand-in for the remote service: host discovery at "/v6/get6", the probes
// "/v6/test", "/v5-web/test" and "/test", and the signed, enciphered API under "/v6/".
//
//   TempDir dir;
//   TestCA ca(dir.path());
//   ServiceDouble api(ca.issue("api", {"api.test"}, {"127.0.0.2"}), "127.0.0.2");
//   api.script("POST", "lite/users", Answer::model(loginJson));
//   api.script("POST", "lite/users/*/nodes", Answer::error(3301, "no node", 400));
//   ... run the client against https://127.0.0.2:<api.port()> ...
//   auto seen = api.requests("POST", "lite/users");
//   EXPECT_TRUE(seen.at(0).faults.empty());
//   EXPECT_EQ(seen.at(0).body->at("passwd"), wire::passwordDigest("fjord"));
//
// Every request is recorded, deciphered, before it is answered. A time stamp off the double's
// clock by more than the tolerance is refused as the service refuses it: 403, errCode 4000 and
// the double's time in `timestamp`. With codes of the double's own, a missing or wrong signature
// gets 403 with errCode 4001, an unreadable `secret` or body 400 with errCode 4002. Everything
// else gets the scripted answer of its method and path, or 404 with errCode 404 when none is.
// Thread-safe: the double answers on several threads while a test scripts and reads it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/LoopbackHttpsServer.h"
#include "tests/support/TestCA.h"
#include "tests/support/WireCipher.h"

namespace tarnel::test {

// One scripted answer. Bodies are enciphered with the API key unless plain() is asked for.
struct Answer {
  enum class Kind { json, text, empty, drop };

  Kind kind = Kind::empty;
  int status = 200;
  WireJson json;
  std::string text;
  bool encipher = true;

  // A model (any JSON value, null included) with the given status.
  static Answer model(WireJson value, int status = 200);
  // The service's error object {errCode, errMsg, ...extra}; the message may hold the Chinese and
  // the English line separated by a line feed.
  static Answer error(int errCode, std::string errMsg, int status = 400,
                      WireJson extra = WireJson::object());
  static Answer textBody(std::string body, int status = 200);
  static Answer empty(int status = 204);
  // A body that is neither hexadecimal nor JSON.
  static Answer garbage(int status = 200);
  // The connection is closed without a status line.
  static Answer drop();

  Answer plain() &&;
  Answer plain() const&;
};

struct ServiceRequest {
  enum class Kind { api, discovery, probe, other };

  Kind kind = Kind::other;
  std::string method;
  std::string target;  // the path as sent, e.g. "/v6/lite/users"
  std::string path;    // API requests: relative to "/v6/" ("lite/users"); others: as `target`
  std::string host;    // the Host header
  std::string sni;     // the TLS server name; empty when the client sent none (as for an IP)
  std::string localAddress;               // the address the request arrived on
  std::map<std::string, std::string> headers;  // names in lower case
  std::string secret;                     // the `secret` parameter as sent
  std::string queryText;                  // `secret` deciphered
  std::map<std::string, std::string> query;    // `queryText` parsed
  std::string rawBody;                    // the body as sent
  std::optional<std::string> bodyText;    // deciphered; none when the request had no body
  std::optional<WireJson> body;           // `bodyText` parsed
  std::optional<int64_t> timestamp;       // the time-stamp header, when it is a number
  int64_t receivedAtMs = 0;               // the double's clock on arrival
  // Envelope deviations (API requests only): missing or wrong signing headers, a stale time
  // stamp, a `secret` or body that is not lowercase hexadecimal or does not decipher, a body that
  // is not JSON, other query parameters, a Content-Type other than "application/json".
  std::vector<std::string> faults;
  int answeredStatus = 0;                 // 0 when the connection was dropped
};

class ServiceDouble {
 public:
  // What every request gets regardless of its script, for a number of requests or until changed.
  enum class Mode {
    normal,
    rejectTimestamp,  // 403 {errCode 4000, timestamp: the double's clock}
    status525,        // 525 with a plain error page, as a CDN in front of the service gives
    garbage,          // 200 with a body that is neither hexadecimal nor JSON
    drop,             // connection closed without an answer
  };

  static constexpr int64_t kDefaultToleranceMs = 300'000;

  // `domain` is the API host name of the default discovery answer, which lists this double's
  // address under it.
  ServiceDouble(const TestCA::Leaf& certificate, std::string address = "127.0.0.1", int port = 0,
                std::string domain = "api.test");
  ~ServiceDouble();
  ServiceDouble(const ServiceDouble&) = delete;
  ServiceDouble& operator=(const ServiceDouble&) = delete;

  const std::string& address() const { return server_->address(); }
  int port() const { return server_->port(); }
  std::string authority() const { return server_->authority(); }
  std::string baseUrl() const { return "https://" + authority(); }

  void start() { server_->start(); }
  // Connections stay open between requests, as the real service keeps them.
  void setKeepAlive(bool on) { server_->setKeepAlive(on); }
  void stop() { server_->stop(); }

  // API answers by method and path relative to "/v6/". A "*" segment matches any one segment,
  // the empty one included; an exact path wins over a pattern. script() sets the answer given
  // every time; enqueue() adds one-time answers given first, in order.
  void script(std::string method, std::string path, Answer answer);
  void enqueue(std::string method, std::string path, Answer answer);
  // An answer made per request from what the request carried (the development service keeps
  // accounts this way). Called with the double's lock held: it must not call the double.
  using Responder = std::function<Answer(const ServiceRequest&)>;
  void respond(std::string method, std::string path, Responder responder);
  void clearScripts();
  // Called for each API request once its answer is chosen, outside the double's lock: the answer
  // leaves when `hold` returns, so a test holds it back until something has happened, and other
  // requests are answered meanwhile (a slow answer can be overtaken by a later request's).
  using Hold = std::function<void(const ServiceRequest&)>;
  void setHold(Hold hold);

  // "/v6/get6": by default the document of wire::discoveryBody(domain, {address}), both layers
  // enciphered.
  void setDiscovery(const WireJson& body, wire::DiscoveryLayers layers = {},
                    const std::string& version = "1");
  void setDiscoveryAnswer(Answer answer);
  // "/v6/test", "/v5-web/test" or "/test": by default 200 "ok", plain.
  void setProbeAnswer(const std::string& path, Answer answer);

  // `count` < 0: until changed; otherwise for that many requests, then back to normal.
  void setMode(Mode mode, int count = -1);

  // The double's clock is the system clock moved by this offset.
  void setClockOffset(std::chrono::milliseconds offset);
  int64_t nowMs() const;
  void setTimestampTolerance(std::chrono::milliseconds tolerance);

  std::vector<ServiceRequest> requests() const;
  // API requests of one method and path (the same "*" patterns as script()).
  std::vector<ServiceRequest> requests(std::string_view method, std::string_view path) const;
  std::vector<ServiceRequest> requests(ServiceRequest::Kind kind) const;
  size_t requestCount() const;
  size_t count(std::string_view method, std::string_view path) const;
  // Waits until at least `total` requests were answered (or dropped).
  bool waitForRequests(size_t total, std::chrono::milliseconds timeout) const;
  void clearRequests();

  static bool pathMatches(std::string_view pattern, std::string_view path);

 private:
  struct Route {
    std::string method;
    std::string pattern;
    std::optional<Answer> always;
    std::deque<Answer> once;
    Responder responder;
  };
  Hold hold_;

  void handle(const httplib::Request& req, httplib::Response& res);
  void inspectApi(const httplib::Request& req, ServiceRequest& seen) const;
  Answer chooseAnswer(const ServiceRequest& seen);
  void send(const Answer& answer, const httplib::Request& req, httplib::Response& res) const;
  Route& routeFor(std::string method, std::string path);

  std::string domain_;
  mutable std::mutex mutex_;
  mutable std::condition_variable answered_;
  std::vector<Route> routes_;
  std::optional<Answer> discovery_;
  std::map<std::string, Answer> probes_;
  Mode mode_ = Mode::normal;
  int modeCount_ = -1;
  int64_t clockOffsetMs_ = 0;
  int64_t toleranceMs_ = kDefaultToleranceMs;
  std::vector<ServiceRequest> requests_;
  std::unique_ptr<LoopbackHttpsServer> server_;
};

}  // namespace tarnel::test
