#include "tests/support/ApiTestBed.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "services/common/Global.h"
#include "services/common/Store.h"
#include "services/model/LoginModels.h"
#include "services/network/DNS.h"

namespace tarnel::test {

ApiTestBed::ApiTestBed() {
  bed_.startLogs();
  service_ = bed_.startService(kServiceAddress);
  DNS::setDeploymentForTesting({{{ServiceTestBed::endpoint(*service_)}}, ServiceTestBed::kSiteName});
  // An answer kept by an earlier process of the same home names that process's double.
  Store::setValue(StoreKeys::DNS_CACHE, std::nullopt);
  if (!DNS::shared().initDNS() || DNS::shared().apiBaseHost() != service_->address()) {
    throw std::runtime_error("host discovery did not reach the service double");
  }
  bed_.settle();
  service_->clearRequests();
}

ApiTestBed::~ApiTestBed() { bed_.settle(); }

ServiceRequest ApiTestBed::only(std::string_view method, std::string_view path) const {
  const auto seen = service_->requests(method, path);
  EXPECT_EQ(seen.size(), 1u) << method << " " << path;
  return seen.size() == 1 ? seen.front() : ServiceRequest{};
}

void ApiTestBed::signIn(const std::string& userId, const std::string& email, std::int64_t emailStatus) {
  Global::modifyLoginInfo([&](Login& login) {
    login.user.id = userId;
    login.user.email = email;
    login.user.email_status = emailStatus;
  });
}

}  // namespace tarnel::test
