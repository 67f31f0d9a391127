// Answer bodies are capped: a body above the engine's limit fails the exchange with a clear
// value instead of being held (and later decoded) whole, whether its length was announced or not.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <optional>
#include <string>

#include "core/HttpEngine.h"
#include "tests/support/LoopbackListener.h"
#include "tests/transport/TransportFixture.h"

namespace tarnel::test {
namespace {

// Plain HTTP that answers 200, without a length or with `announced`, and then sends without end,
// until the client goes away or the listener stops. However slowly the client reads, the server
// waits for it: an answer without a length that ended early would be a complete answer below the
// limit.
class EndlessServer {
 public:
  explicit EndlessServer(std::optional<std::size_t> announced = std::nullopt) : listener_("127.0.0.1", 0) {
    head_ = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    if (announced) head_ += "Content-Length: " + std::to_string(*announced) + "\r\n";
    head_ += "\r\n";
    listener_.start([this](int fd, const std::string&) { serve(fd); });
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(listener_.port()); }

 private:
  void serve(int fd) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      request.append(buffer, static_cast<std::size_t>(n));
    }
    if (::send(fd, head_.data(), head_.size(), MSG_NOSIGNAL) < 0) return;
    const std::string chunk(64 * 1024, '[');
    while (true) {
      pollfd fds[2] = {{fd, POLLOUT, 0}, {listener_.stopFd(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) return;
      // A client that went away shows as an error or hang-up; the send then fails too.
      if (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN) return;
    }
  }

  std::string head_;
  LoopbackListener listener_;
};

helmsey::LibXrayHttpResponse fetch(const std::string& baseURL, const std::string& path) {
  helmsey::LibXrayHttpOptions options;
  options.baseURL = baseURL;
  // Only a hang reaches it: a limit that held would end both cases long before.
  options.timeout = 60;
  const auto client = helmsey::LibXrayNewClient(options);
  if (!client) return {};
  return client->get(path, "{}", "{}");
}

TEST_F(TransportTest, AnswersAboveTheLimitFailWithASizeErrorAndTheLimitItselfPasses) {
  auto api = server();
  const std::size_t limit = helmsey::kMaxAnswerBodyBytes;
  api->setHandler([limit](const ReceivedRequest& request) {
    return CannedReply::text(200, std::string(request.path == "/at-limit" ? limit : limit + 1, 'x'));
  });
  EndlessServer endless;

  const auto atLimit = fetch(api->url(), "/at-limit");
  EXPECT_EQ(atLimit.statusCode, 200) << atLimit.status;
  ASSERT_TRUE(atLimit.body);
  EXPECT_EQ(atLimit.body->size(), limit);

  struct Case {
    const char* what;
    std::string base;
    std::string path;
  };
  const Case cases[] = {
      {"announced length", api->url(), "/over"},
      {"no length, no end", endless.url(), "/endless"},
  };
  // The code tells the limit from the time-out (-28) and from an answer cut short (200).
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto answer = fetch(c.base, c.path);
    EXPECT_EQ(answer.statusCode, -63);  // CURLE_FILESIZE_EXCEEDED
    EXPECT_NE(answer.status.find("larger than 16 MiB"), std::string::npos) << answer.status;
    EXPECT_FALSE(answer.body.has_value());
  }
}

// The library's request has a time-out of a few seconds of its own: the answer announces its size,
// so the engine refuses it at its head, however slowly a body would come.
TEST_F(TransportTest, AnOversizedAnswerIsARequestFailureWithTheEnginesText) {
  EndlessServer oversized(helmsey::kMaxAnswerBodyBytes + 1);
  const auto result = get(oversized.url() + "/over")->request();
  ASSERT_FALSE(result.isSuccess());
  EXPECT_EQ(result.error()->code, -63);
  EXPECT_NE(result.error()->localizedDescription().find("larger than"), std::string::npos);
}

}  // namespace
}  // namespace tarnel::test
