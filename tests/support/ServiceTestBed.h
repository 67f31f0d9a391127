#pragma once

// Everything a test of host discovery or of the API pipeline stands on: a block of loopback
// addresses of its own, a test CA the HTTP engine trusts, one leaf certificate for every name and
// address the doubles answer for, and the service and log doubles started on demand.
//
// The API hosts that discovery hands out carry no port, so the client sends to port 443: each
// service double that stands for an API host listens on 443 of an address of this test's block.
//
//   ServiceTestBed bed;
//   auto api = bed.startService(2);               // https://<bed.address(2)>:443
//   bed.logs()->accepted("ERROR_API");            // the cloud log uploads to its double
//   DNS::setDeploymentForTesting({{{bed.endpoint(*api)}}, "site.test"});

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "services/network/DNS.h"
#include "tests/support/LogServiceDouble.h"
#include "tests/support/ServiceDouble.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"

namespace tarnel::test {

// 127.A.B.0/24 for this process alone: claimed by a listening socket on 127.A.B.250 that lives as
// long as the object, so that tests running at the same time never share an address.
class LoopbackBlock {
 public:
  LoopbackBlock();
  ~LoopbackBlock();
  LoopbackBlock(const LoopbackBlock&) = delete;
  LoopbackBlock& operator=(const LoopbackBlock&) = delete;

  // 127.A.B.<host>, host 1 to 249.
  std::string address(int host) const;

 private:
  int claim_ = -1;
  int a_ = 0;
  int b_ = 0;
};

class ServiceTestBed {
 public:
  static constexpr const char* kApiDomain = "api.test";
  static constexpr const char* kDiscoveryName = "discovery.test";
  static constexpr const char* kLogHost = "logs.test";
  static constexpr const char* kNodeDomain = "node.test";
  static constexpr const char* kSiteName = "site.test";
  // Addresses 1 to kAddresses of the block are named in the leaf certificate.
  static constexpr int kAddresses = 20;
  static constexpr int kLogAddress = 20;

  ServiceTestBed();
  // Waits for host discovery's background work and the cloud log's resends, then restores the
  // engine's trust and the cloud log's destination.
  ~ServiceTestBed();
  ServiceTestBed(const ServiceTestBed&) = delete;
  ServiceTestBed& operator=(const ServiceTestBed&) = delete;

  std::string address(int host) const { return block_.address(host); }
  const TestCA::Leaf& leaf() const { return leaf_; }
  const TestCA& ca() const { return *ca_; }

  // A service double on address(host):port (443 by default), listing itself under `domain` in
  // its default discovery answer.
  std::unique_ptr<ServiceDouble> startService(int host, int port = 443, const std::string& domain = kApiDomain);

  // The log double on address(kLogAddress), started with the bed; the cloud log uploads to it.
  LogServiceDouble* logs() { return logs_.get(); }
  LogServiceDouble& startLogs();  // the same double; kept for callers that start it themselves

  // A discovery endpoint that reaches `double` by its address, with an optional Host header.
  static DNSApi endpoint(const ServiceDouble& service, std::optional<std::string> hostHeader = std::nullopt);
  // An endpoint on an address of the block where nothing listens: every request is refused.
  DNSApi deadEndpoint(int host) const;

  // Waits for the shared DNS instance's background tasks and the cloud log's resends.
  void settle();

 private:
  TempDir dir_;
  LoopbackBlock block_;
  std::unique_ptr<TestCA> ca_;
  TestCA::Leaf leaf_;
  std::unique_ptr<LogServiceDouble> logs_;
};

}  // namespace tarnel::test
