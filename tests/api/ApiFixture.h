#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "services/api/APIRequest.h"
#include "services/common/Global.h"
#include "services/network/DNS.h"
#include "tests/support/ServiceTestBed.h"

namespace tarnel::test {

using namespace std::chrono_literals;

// The service double on 443 of the block's address 2, found through discovery like the real one.
class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Global::setLanguage("en");
    api = bed.startService(2);
  }
  void TearDown() override { bed.settle(); }

  // Discovery through one group that reaches the double, whose answer lists `addresses` as the
  // addresses of api.test (the double's own address when none are given).
  void discover(std::vector<std::string> addresses = {}) {
    if (addresses.empty()) addresses.push_back(api->address());
    api->setDiscovery(wire::discoveryBody(ServiceTestBed::kApiDomain, addresses));
    DNS::setDeploymentForTesting({{{ServiceTestBed::endpoint(*api)}}, ServiceTestBed::kSiteName});
    ASSERT_TRUE(DNS::shared().initDNS());
    bed.settle();
    api->clearRequests();
  }

  size_t apiRecords() { return bed.logs()->accepted("ERROR_API").size(); }

  // Every API request the doubles received carried a well-formed envelope.
  static void expectCleanEnvelopes(const std::vector<ServiceRequest>& requests) {
    for (const auto& r : requests) {
      EXPECT_TRUE(r.faults.empty()) << r.method << " " << r.path << ": " << ::testing::PrintToString(r.faults);
    }
  }

  ServiceTestBed bed;
  std::unique_ptr<ServiceDouble> api;
};

}  // namespace tarnel::test
