// The development service of `scripts/run`, driven by the real service library the way a
// development build reaches it: built-in discovery address, its certificate authority trusted,
// e-mail sign-in, node list, node opening and a connection whose check pages load through the node.
#include <gtest/gtest.h>

#include "core/CoreManager.h"
#include "core/EngineEnvironment.h"
#include "core/HttpEngine.h"
#include "services/api/APIManager.h"
#include "services/common/Global.h"
#include "services/connection/ConnectionController.h"
#include "services/log/CloudLog.h"
#include "services/network/DNS.h"
#include "services/network/NetworkRequest.h"
#include "tests/support/ControllerEvents.h"
#include "tests/support/TestHome.h"
#include "tools/devservice/DevService.h"

namespace tarnel::test {
namespace {

using dev::DevAddresses;

class DevServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service_ = std::make_unique<dev::DevService>(directory_.path() / "devservice");
    ASSERT_TRUE(helmsey::HttpEngine::setExtraCertificateAuthority(service_->caCertificate()));
    helmsey::EngineEnvironment environment;
    environment.extraCaCertificate = service_->caCertificate();
    helmsey::setEngineEnvironment(environment);
    const std::string discovery = std::string("https://") + DevAddresses::kService + ":" +
                                  std::to_string(DevAddresses::kDiscoveryPort);
    DNS::setDeploymentForTesting({{{{discovery, std::map<std::string, std::string>{
                                                     {"Host", DevAddresses::kDiscoveryName}}}}},
                                  DevAddresses::kService});
    CloudLog::setServiceForTesting(DevAddresses::kLogs);
  }
  void TearDown() override {
    ConnectionController::shared().disconnect();
    ConnectionController::shared().onStep({}).onStatus({}).onFailed({});
    ConnectionController::setAvailabilityPagesForTesting({});
    helmsey::HttpEngine::clearExtraCertificateAuthority();
  }

  TempDir directory_;
  std::unique_ptr<dev::DevService> service_;
  ControllerEvents events_{std::chrono::seconds(30)};
};

TEST_F(DevServiceTest, AccountSignsInAndAConnectionCarriesTrafficThroughItsNode) {
  ASSERT_TRUE(DNS::shared().initDNS());
  EXPECT_EQ(DNS::shared().apiDomain(), DevAddresses::kApiName);

  // A wrong password is refused with the service's message; the printed account signs in.
  const auto refused = APIManager::login(service_->account().email, "wrong", 0, "");
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(refused->errCode, 3302);
  ASSERT_EQ(APIManager::login(service_->account().email, service_->account().password, 0, ""), nullptr);
  EXPECT_EQ(Global::userId(), service_->account().userId);
  ASSERT_EQ(APIManager::live(), nullptr);
  EXPECT_EQ(Global::live().ports, std::vector<std::int64_t>{DevAddresses::kNodePort});

  auto& controller = ConnectionController::shared();
  events_.attach(controller);
  controller.enableSystemProxy(false).enableCmdProxy(false).autoReconnect(false).tunnel(false).checkConnection(true);
  ConnectionController::setAvailabilityPagesForTesting(
      {std::string("https://") + DevAddresses::kPagesName + ":" + std::to_string(DevAddresses::kPagesPort) + "/search"});
  controller.openConnection();
  ASSERT_TRUE(events_.waitFor("connect_success")) << ::testing::PrintToString(events_.events());
  EXPECT_EQ(service_->nodeClientCount(), 1u);

  const std::string proxy = "http://127.0.0.1:" + std::to_string(helmsey::CoreManager::httpPort());
  const auto page = NetworkRequest(std::string("https://") + DevAddresses::kPagesName + ":" +
                                       std::to_string(DevAddresses::kPagesPort) + "/",
                                   HttpMethod::GET, std::nullopt, std::nullopt, std::nullopt, proxy, std::nullopt)
                        .request();
  ASSERT_TRUE(page.isSuccess()) << page.error()->localizedDescription();
  const auto& body = page.response()->data.value();
  EXPECT_NE(std::string(body.begin(), body.end()).find("Tarnel development page"), std::string::npos);
}

}  // namespace
}  // namespace tarnel::test
