#include "tests/support/ServiceTestBed.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <vector>

#include "core/HttpEngine.h"
#include "services/log/CloudLog.h"

namespace tarnel::test {
namespace {

constexpr int kClaimHost = 250;
constexpr int kClaimPort = 44300;

int claimAddress(const std::string& address) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(kClaimPort);
  if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1 ||
      ::bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof(where)) != 0 || ::listen(fd, 1) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

LoopbackBlock::LoopbackBlock() {
  // Start from the process id (every test case runs in a process of its own); 127.0.x.x is left
  // to the tests that use fixed addresses there.
  const auto pid = static_cast<unsigned>(::getpid());
  for (unsigned attempt = 0; attempt < 4096; ++attempt) {
    const unsigned n = (pid + attempt * 7919u) % (254u * 254u);
    a_ = static_cast<int>(n / 254u) + 1;
    b_ = static_cast<int>(n % 254u) + 1;
    claim_ = claimAddress(address(kClaimHost));
    if (claim_ >= 0) return;
  }
  throw std::runtime_error("no free loopback block");
}

LoopbackBlock::~LoopbackBlock() {
  if (claim_ >= 0) ::close(claim_);
}

std::string LoopbackBlock::address(int host) const {
  return "127." + std::to_string(a_) + "." + std::to_string(b_) + "." + std::to_string(host);
}

ServiceTestBed::ServiceTestBed() {
  ca_ = std::make_unique<TestCA>(dir_.path());
  std::vector<std::string> addresses;
  for (int host = 1; host <= kAddresses; ++host) addresses.push_back(address(host));
  addresses.push_back("127.0.0.1");
  leaf_ = ca_->issue("service", {kApiDomain, kDiscoveryName, kLogHost, kNodeDomain, kSiteName, "localhost"},
                     addresses);
  if (!helmsey::HttpEngine::setExtraCertificateAuthority(ca_->certificatePath())) {
    throw std::runtime_error("the HTTP engine does not take the test CA");
  }
  // Discovery and the pipeline report to the cloud log: it must never leave loopback.
  startLogs();
}

ServiceTestBed::~ServiceTestBed() {
  settle();
  CloudLog::setServiceForTesting({});
  helmsey::HttpEngine::clearExtraCertificateAuthority();
}

void ServiceTestBed::settle() {
  DNS::shared().waitForBackgroundTasks();
  CloudLog::waitForResendsForTesting(std::chrono::seconds(60));
}

std::unique_ptr<ServiceDouble> ServiceTestBed::startService(int host, int port, const std::string& domain) {
  return std::make_unique<ServiceDouble>(leaf_, address(host), port, domain);
}

LogServiceDouble& ServiceTestBed::startLogs() {
  if (logs_) return *logs_;
  logs_ = std::make_unique<LogServiceDouble>(leaf_, address(kLogAddress));
  CloudLog::setServiceForTesting(kLogHost, logs_->authority());
  return *logs_;
}

DNSApi ServiceTestBed::endpoint(const ServiceDouble& service, std::optional<std::string> hostHeader) {
  DNSApi api{service.baseUrl(), std::nullopt};
  if (hostHeader) api.headers = std::map<std::string, std::string>{{"Host", *hostHeader}};
  return api;
}

DNSApi ServiceTestBed::deadEndpoint(int host) const { return DNSApi{"https://" + address(host) + ":2324", std::nullopt}; }

}  // namespace tarnel::test
