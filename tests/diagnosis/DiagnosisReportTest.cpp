// The diagnosis report as the real services gather and send it, against the loopback service
// double: what the library knows by itself, with the user's protocol choice and the protocol in
// use, reaches the service; reading the API hosts leaves the program's host and budget alone.
#include <gtest/gtest.h>

#include "services/base/VPNProtocol.h"
#include "services/common/DeviceInfo.h"
#include "services/connection/NodeController.h"
#include "services/network/DNS.h"
#include "tests/endpoints/EndpointFixture.h"
#include "ui/base/services/Services.h"

namespace lumora {
namespace {

using tarnel::VPNProtocol;
using tarnel::test::Answer;
using tarnel::test::EndpointTest;

class DiagnosisReportTest : public EndpointTest {
 protected:
  Services services = makeRealServices();
};

TEST_F(DiagnosisReportTest, TheSentReportCarriesTheUsersChoiceAndTheProtocolInUse) {
  struct Case {
    VPNProtocol choice;
    std::string setup;
    std::string used;
  };
  // Under automatic choice the protocol in use is the one the controller chose (the websocket
  // protocol until an attempt chooses another).
  const std::vector<Case> cases = {
      {VPNProtocol::VLESS_TLS, std::string(tarnel::Name(VPNProtocol::VLESS_TLS)),
       std::string(tarnel::Name(VPNProtocol::VLESS_TLS))},
      {VPNProtocol::AUTO, "Automatic", std::string(tarnel::Name(VPNProtocol::TROJAN_WS))},
  };
  service().script("POST", "lite/users/u-7/check", Answer::empty(204));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setup);
    tarnel::NodeController::shared().setCurrentProtocol(c.choice);
    EXPECT_EQ(tarnel::NodeController::shared().selectedProtocol(), c.choice);

    tarnel::ReportData report = services.diagnosis->newReport();
    report.app.runningModel = "Listen";
    ASSERT_EQ(services.diagnosis->sendReport(report), nullptr);

    const auto sent = service().requests("POST", "lite/users/u-7/check").back();
    ASSERT_TRUE(sent.body.has_value());
    const auto& body = *sent.body;
    EXPECT_EQ(body.at("app").at("protocol_setup"), c.setup);
    EXPECT_EQ(body.at("app").at("protocol_used"), c.used);
    // Not a blank report: the identity the library knows by itself is there.
    EXPECT_EQ(body.at("device").at("id"), tarnel::DeviceInfo::ID());
    EXPECT_FALSE(body.at("ver").get<std::string>().empty());
    EXPECT_EQ(body.at("created_at").get<std::string>().size(), 19u);
    EXPECT_EQ(body.at("user").at("id"), tarnel::test::kUserId);
    EXPECT_EQ(body.at("app").at("runningModel"), "Listen");
  }
}

TEST_F(DiagnosisReportTest, ReadingTheApiHostsMovesNothing) {
  auto& dns = tarnel::DNS::shared();
  const auto index = dns.apiIndex();
  const auto budget = dns.retryCount();
  const auto hosts = services.diagnosis->apiHosts();
  ASSERT_FALSE(hosts.empty());
  EXPECT_EQ(hosts.front(), services.diagnosis->apiHost());
  EXPECT_EQ(hosts.size(), dns.dnsApi().size());
  EXPECT_EQ(dns.apiIndex(), index);
  EXPECT_EQ(dns.retryCount(), budget);
}

}  // namespace
}  // namespace lumora
