#pragma once

// A loopback HTTP(S) server for the service doubles: answers every request with whatever its
// handler returns (any status, headers and body), or hangs, or drops the connection; records
// each request it received, including the TLS server name (SNI) the client sent.
//
//   TempDir dir;
//   TestCA ca(dir.path());
//   LoopbackHttpServer server(ca.issue("api", {"api.test"}, {"127.0.0.1"}));
//   server.setHandler([](const ReceivedRequest& r) { return CannedReply::text(200, "{}"); });
//   ... client calls server.url() + "/path" trusting ca.certificatePath() ...
//   EXPECT_EQ(server.requests().at(0).sni, "api.test");
//
// One request per connection (answers carry "Connection: close") unless keep-alive is switched
// on, as a real service has it; request bodies are read by Content-Length. Each connection has its own thread, so a hanging answer holds up nothing
// else; the destructor wakes and joins them all.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/LoopbackListener.h"
#include "tests/support/TestCA.h"

namespace tarnel::test {

struct ReceivedRequest {
  std::string method;
  std::string target;  // as on the request line: "/path?query"
  std::string path;    // before "?"
  std::string query;   // after "?", as sent (still percent-encoded)
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
  std::string body;
  std::string sni;          // TLS server name; empty without TLS or when none was sent
  std::string peerAddress;  // the client's source address

  // The first header of that name (any case), or none.
  std::optional<std::string> header(std::string_view name) const;
  // The query decoded into name → value ("+" and %XX decoded).
  std::map<std::string, std::string> queryItems() const;
};

struct CannedReply {
  enum class Kind { answer, hang, drop };
  Kind kind = Kind::answer;
  int status = 200;
  std::string reason = "OK";  // the status line's text; may be empty
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  static CannedReply text(int status, std::string body, std::string reason = "OK");
  // Reads the request, then keeps the connection open without answering until the client gives up.
  static CannedReply hang();
  // Reads the request, then closes the connection without answering.
  static CannedReply drop();
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<CannedReply(const ReceivedRequest&)>;

  // HTTPS with the leaf certificate; plain HTTP without one. Listens on address:port (0: any).
  explicit LoopbackHttpServer(std::optional<TestCA::Leaf> leaf, std::string address = "127.0.0.1",
                              std::uint16_t port = 0);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // The handler runs on the connection's thread; the default answers 200 "OK" with an empty body.
  void setHandler(Handler handler);
  void setReply(CannedReply reply);
  // Serves further requests on a connection after an answer, until the client closes it.
  void setKeepAlive(bool on);

  std::uint16_t port() const;
  const std::string& address() const { return address_; }
  // "https://127.0.0.1:4433" (http:// without TLS; IPv6 in brackets).
  std::string url() const;

  std::vector<ReceivedRequest> requests() const;  // complete requests, in arrival order
  void clearRequests();                            // long runs keep their memory flat
  std::size_t connectionCount() const;             // accepted connections, failed handshakes included
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  struct Tls;
  void serve(int fd, const std::string& peer);

  std::string address_;
  std::shared_ptr<Tls> tls_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Handler handler_;
  bool keepAlive_ = false;
  std::vector<ReceivedRequest> requests_;
  std::unique_ptr<LoopbackListener> listener_;
};

// Percent-decoding of a URL query component ("+" is a blank).
std::string percentDecode(std::string_view text);

}  // namespace tarnel::test
