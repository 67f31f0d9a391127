// A process that ends while discovery still works in the background: it ends promptly (the
// probes under way are cancelled), and nothing is used after its destruction (clean under the
// sanitizers, which turn such a use into a failing exit status).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "services/common/NetworkMonitor.h"
#include "services/common/Store.h"
#include "services/log/CloudLog.h"
#include "services/network/DNS.h"
#include "services/network/NetworkRequest.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/WireCipher.h"

namespace tarnel::test {
namespace {

using namespace std::chrono_literals;

// A loopback port that accepts connections (the kernel completes them into the backlog) and
// never says a word: every TLS handshake with it waits until its time-out.
class SilentPort {
 public:
  SilentPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 128) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentPort() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;

  std::string authority() const { return "127.0.0.1:" + std::to_string(port_); }
  std::uint16_t port() const { return port_; }

 private:
  int fd_;
  std::uint16_t port_ = 0;
};

// A loopback port nothing listens on: connections are refused at once.
std::uint16_t closedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// Every probe started after the child noted the time, so none of them can have reached its
// time-out before that time + the time-out: a process that ended sooner waited for none of them.
TEST(DiscoveryShutdown, ProcessLeavingMainWhileProbesHangEndsBeforeAnyProbesTimeOut) {
  SilentPort silent;
  ASSERT_NE(silent.port(), 0);
  const std::string refused = "127.0.0.1:" + std::to_string(closedPort());

  int stampPipe[2];
  ASSERT_EQ(::pipe(stampPipe), 0);
  const ChildResult child = runInChild([&]() -> std::string {
    CloudLog::setServiceForTesting("log.test", refused);
    // Every discovery group and all three official sites hang; the cached answer is applied at
    // once, and the refresh and the site probes go on in the background.
    DNSDeployment deployment;
    for (int g = 0; g < 3; ++g) deployment.groups.push_back({DNSApi{"https://" + silent.authority(), std::nullopt}});
    deployment.officialSite = "site.test";
    DNS::setDeploymentForTesting(deployment);
    WireJson body = wire::discoveryBody("api.test", {"127.0.0.1"});
    body["urls"]["officials"] = {silent.authority(), silent.authority(), silent.authority()};
    body["urls"]["pay_cdn2"] = {silent.authority()};
    Store::setValue(StoreKeys::DNS_CACHE, wire::discoveryAnswer(body, "1", {false, true}));
    NetworkMonitor::startMonitor();
    // The probes start from here: an exit that waited for them would end a time-out later.
    const auto probing = std::chrono::steady_clock::now().time_since_epoch().count();
    if (!DNS::shared().initDNS()) std::_Exit(4);
    std::this_thread::sleep_for(300ms);
    // Leaves the way main() does: the statics are destroyed, the shared discovery among them.
    const std::string stamp = std::to_string(probing);
    [[maybe_unused]] const auto n = ::write(stampPipe[1], stamp.data(), stamp.size());
    std::exit(0);
  });
  // The steady clock is the machine's, the same in both processes.
  const auto ended = std::chrono::steady_clock::now();
  ::close(stampPipe[1]);
  char stamp[32] = {};
  const ssize_t length = ::read(stampPipe[0], stamp, sizeof stamp - 1);
  ::close(stampPipe[0]);
  EXPECT_EQ(child.exitCode, 0) << "the child did not end cleanly";
  ASSERT_GT(length, 0) << "the child did not start probing";
  const std::chrono::steady_clock::time_point probing{std::chrono::steady_clock::duration(std::stoll(stamp))};
  const auto took = ended - probing;
  EXPECT_LT(took, std::chrono::seconds(NetworkRequest::kTimeout)) << "the exit waited "
                      << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
}

// The cancellation reaches an exchange under way: one probe of a silent host ends long before
// its time-out once its owner is destroyed.
TEST(DiscoveryShutdown, DestroyingAnInstanceCancelsItsSiteProbes) {
  SilentPort silent;
  ASSERT_NE(silent.port(), 0);
  WireJson body = wire::discoveryBody("api.test", {"127.0.0.1"});
  body["urls"]["officials"] = {silent.authority(), silent.authority(), silent.authority()};
  const auto started = std::chrono::steady_clock::now();
  {
    DNS dns(DNSDeployment{{}, "built-in.test"});
    ASSERT_TRUE(dns.handleDNS(wire::discoveryAnswer(body, "1", {false, true})));
    std::this_thread::sleep_for(200ms);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(NetworkRequest::kTimeout));
}

}  // namespace
}  // namespace tarnel::test
