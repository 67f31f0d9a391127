#pragma once

// A service double reached through real host discovery: the test bed's addresses and CA, the log
// double (so that nothing the pipeline logs leaves loopback) and one service double on port 443
// of the bed's address 2, which discovery hands out as the only API host. Every endpoint call of
// the client then lands on `service()`.
//
//   ApiTestBed api;
//   api.service().script("GET", "notice/list", Answer::model({{"notices", WireJson::array()}}));
//   ApiTestBed::signIn("u-7", "me@example.test");
//   ... call an endpoint ...
//   const auto seen = api.only("GET", "notice/list");

#include <memory>
#include <string>
#include <string_view>

#include "tests/support/ServiceDouble.h"
#include "tests/support/ServiceTestBed.h"

namespace tarnel::test {

class ApiTestBed {
 public:
  static constexpr int kServiceAddress = 2;

  // Throws when discovery does not reach the double.
  ApiTestBed();
  ~ApiTestBed();
  ApiTestBed(const ApiTestBed&) = delete;
  ApiTestBed& operator=(const ApiTestBed&) = delete;

  ServiceTestBed& bed() { return bed_; }
  ServiceDouble& service() { return *service_; }
  LogServiceDouble& logs() { return *bed_.logs(); }

  // The one API request of `method` and `path` (patterns as ServiceDouble::requests); a failed
  // expectation, and an empty request, when there is not exactly one.
  ServiceRequest only(std::string_view method, std::string_view path) const;

  // Makes `userId` the signed-in account without a request: Global's login holds that user with
  // the e-mail address and e-mail status given.
  static void signIn(const std::string& userId, const std::string& email = "me@example.test",
                     std::int64_t emailStatus = 2);

 private:
  ServiceTestBed bed_;
  std::unique_ptr<ServiceDouble> service_;
};

}  // namespace tarnel::test
