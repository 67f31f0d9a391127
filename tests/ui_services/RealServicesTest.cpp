// The real services against the loopback service double, through real host discovery: each
// interface hands the library's answers and failures on as values, and the state it reads is the
// state the library keeps.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/network/DNS.h"
#include "tests/endpoints/EndpointFixture.h"
#include "ui/base/services/Services.h"

namespace lumora {
namespace {

using tarnel::test::Answer;
using tarnel::test::EndpointTest;
using tarnel::test::kUserId;
using tarnel::test::WireJson;

WireJson wireDevice(const std::string& id) {
  return {{"device_id", id},  {"uid", kUserId},     {"device_name", "Desk"}, {"device_model", "M"},
          {"version", 100},   {"platform", "linux"}, {"created_at", "2026-01-02T03:04:05.000Z"},
          {"updated_at", "2026-01-02T03:04:05.000Z"}};
}

class RealServicesTest : public EndpointTest {
 protected:
  Services services = makeRealServices();
};

struct ErrorCase {
  std::string name;
  std::string method;
  std::string path;
  Answer answer;
  std::function<ServiceError(Services&)> call;
  std::int64_t expectedCode;  // 0: success
  std::string expectedMessage;
};

TEST_F(RealServicesTest, AccountOperationsHandFailuresOnAsValues) {
  const std::vector<ErrorCase> cases = {
      {"sign-in refused for the device limit", "POST", "lite/users",
       Answer::error(3303, "too many devices", 400, {{"devices", {wireDevice("d1"), wireDevice("d2")}}}),
       [](Services& s) { return s.account->login("me@example.test", "secret1", 0, ""); }, 3303,
       "too many devices"},
      {"sign-in with the service gone", "POST", "lite/users", Answer::drop(),
       [](Services& s) { return s.account->login("me@example.test", "secret1", 0, ""); }, -1, "network error."},
      {"password change refused", "POST", "password/change", Answer::error(4100, "wrong password"),
       [](Services& s) { return s.account->changePassword("old123", "new123"); }, 4100, "wrong password"},
      {"another device unbound", "POST", "users/u-7/device/dev-2", Answer::model(tarnel::test::wireLogin(kUserId)),
       [](Services& s) { return s.account->logout(kUserId, "dev-2"); }, 0, ""},
      {"invitation code refused", "PUT", "lite/users/u-7", Answer::error(3410, "no such code"),
       [](Services& s) { return s.account->bindInvitationCode("NOPE"); }, 3410, "no such code"},
      {"sign-in accepted", "POST", "lite/users", Answer::model(tarnel::test::wireLogin("u-9", "new@example.test", 2)),
       [](Services& s) { return s.account->login("new@example.test", "secret1", 0, ""); }, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service().clearRequests();
    service().clearScripts();
    service().script(c.method, c.path, c.answer);
    const ServiceError error = c.call(services);
    if (c.expectedCode == 0) {
      EXPECT_EQ(error, nullptr) << error->errCode << " " << error->errMsg;
    } else {
      ASSERT_NE(error, nullptr);
      EXPECT_EQ(error->errCode, c.expectedCode);
      EXPECT_EQ(error->errMsg, c.expectedMessage);
    }
    EXPECT_GE(service().count(c.method, c.path), 1u);
  }
  // The accepted sign-in is the login every later read sees.
  EXPECT_EQ(services.account->userId(), "u-9");
  EXPECT_EQ(services.account->loginInfo().user.email, "new@example.test");
}

TEST_F(RealServicesTest, DeviceLimitRefusalCarriesTheBoundDevices) {
  service().script("POST", "lite/users",
                   Answer::error(3303, "too many devices", 400, {{"devices", {wireDevice("d1"), wireDevice("d2")}}}));
  const auto error = services.account->login("me@example.test", "secret1", 0, "");
  ASSERT_NE(error, nullptr);
  ASSERT_TRUE(error->devices.has_value());
  ASSERT_EQ(error->devices->size(), 2u);
  EXPECT_EQ(error->devices->at(1).device_id, "d2");
  EXPECT_EQ(services.account->userId(), kUserId);  // the refused sign-in kept the old account
}

TEST_F(RealServicesTest, LoginChangesReachTheLibraryAndBack) {
  services.account->modifyLoginInfo([](tarnel::Login& login) { login.user.pcode = "INV1"; });
  EXPECT_EQ(tarnel::Global::loginInfo().user.pcode, "INV1");
  EXPECT_EQ(services.account->loginInfo().user.pcode, "INV1");
  service().script("GET", "sharer/u-7", Answer::model({{"code", "MINE"}}));
  services.account->getShareInfo();
  EXPECT_EQ(services.account->loginInfo().user.code, "MINE");
  EXPECT_EQ(services.account->loginInfo().user.pcode, "INV1");
}

TEST_F(RealServicesTest, StatusCheckKeepsTheStatusForLaterReads) {
  const std::string statusPath = std::string("lite/users/") + kUserId + "/device/" + tarnel::DeviceInfo::ID();
  service().script("GET", statusPath, Answer::model(tarnel::test::wireLive()));
  service().script("GET", std::string("lite/users/") + kUserId + "/data", Answer::model(WireJson::object()));
  service().script("GET", "app/domains", Answer::model(tarnel::test::wireDomains("s")));
  service().script("GET", "data/link/41", Answer::model({{"link", "https://promo.test/41"}}));
  EXPECT_EQ(services.status->live(), nullptr);
  EXPECT_EQ(services.status->currentLive().message, "status says hi");
  EXPECT_EQ(services.status->currentLive().device_count, 5);

  service().script("GET", statusPath, Answer::error(3306, "unbound"));
  const auto error = services.status->live();
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->errCode, 3306);
  EXPECT_EQ(services.status->currentLive().message, "status says hi");  // the failure kept the last status
}

TEST_F(RealServicesTest, LanguageAndProxyRulesAreTheLibrarysOwn) {
  const std::vector<std::pair<std::string, std::string>> languages = {
      {"zh-Hans", "zh"}, {"zh-Hant", "zh"}, {"en", "en"}};
  for (const auto& [code, api] : languages) {
    services.status->setLanguage(code);
    EXPECT_EQ(tarnel::Global::language(), code);
    EXPECT_EQ(services.status->apiLanguage(), api);
  }
  tarnel::ProxyRule rule;
  rule.direct = {"a.test"};
  rule.block = {"10.0.0.1"};
  services.status->setProxyRule(rule);
  EXPECT_EQ(tarnel::Global::proxyRule().block, rule.block);
  service().script("POST", "lite/users/u-7/proxy_rules", Answer::error(5001, "busy", 500));
  EXPECT_FALSE(services.status->saveProxyRules(rule));
  service().script("POST", "lite/users/u-7/proxy_rules", Answer::empty(204));
  EXPECT_TRUE(services.status->saveProxyRules(rule));
  tarnel::APIManager::waitForBackgroundTasks();
}

TEST_F(RealServicesTest, DevicesAndTheirEmptyOutcomes) {
  service().script("GET", "users/u-7/devices", Answer::model({{"devices", {wireDevice("d1")}}}));
  service().script("PUT", "users/u-7/device/d1", Answer::empty(204));
  service().script("GET", "lite/users/u-7/upgrade", Answer::model({{"days", "12"}, {"days_less", "3"}, {"days_lave", "9"}}));
  const auto devices = services.devices->devices();
  ASSERT_TRUE(devices.has_value());
  ASSERT_EQ(devices->size(), 1u);
  EXPECT_EQ(devices->at(0).platform, "linux");
  EXPECT_TRUE(services.devices->updateDeviceName("Office", "d1"));
  ASSERT_TRUE(services.devices->previewUpgrade(5).has_value());
  EXPECT_EQ(services.devices->previewUpgrade(5)->days_lave, "9");
  EXPECT_EQ(services.devices->thisDeviceId(), tarnel::DeviceInfo::ID());

  for (const Answer& failure : {Answer::error(5001, "busy", 500), Answer::drop()}) {
    service().clearScripts();
    for (const char* method : {"GET", "PUT", "POST"}) {
      service().script(method, "users/u-7/devices", failure);
      service().script(method, "users/u-7/device/d1", failure);
      service().script(method, "lite/users/u-7/upgrade", failure);
    }
    EXPECT_FALSE(services.devices->devices().has_value());
    EXPECT_FALSE(services.devices->updateDeviceName("Office", "d1"));
    EXPECT_FALSE(services.devices->previewUpgrade(5).has_value());
    EXPECT_FALSE(services.devices->upgradeDevices(5));
  }
}

TEST_F(RealServicesTest, NodeListReachesTheSelectionAndAChoiceEmptiesIt) {
  // The account's settings say how long a fetched list stays fresh.
  const auto other = tarnel::fromJson<tarnel::Other>(tarnel::test::wireOther().dump());
  ASSERT_TRUE(other.has_value());
  tarnel::Global::modifyLoginInfo([&](tarnel::Login& login) { login.other = other; });
  service().script("POST", "lite/users/u-7/nodes",
                   Answer::model({{"nodes", {tarnel::test::wireNode("n1", "JP"), tarnel::test::wireNode("n2", "US")}}}));
  EXPECT_EQ(services.nodes->fetchNodes(""), nullptr);
  const auto cached = services.nodes->cachedNodes();
  ASSERT_EQ(cached.size(), 2u);
  EXPECT_EQ(cached[1].node_id, "n2");

  tarnel::Country japan;
  japan.country = "JP";
  japan.name = "Japan";
  services.nodes->setCurrentCountry(japan);
  EXPECT_TRUE(services.nodes->cachedNodes().empty());  // the location changed: the list is stale
  ASSERT_TRUE(services.nodes->currentCountry().has_value());
  EXPECT_EQ(services.nodes->currentCountry()->name, "Japan");

  services.nodes->setSelectedNode(cached[0]);
  ASSERT_TRUE(services.nodes->currentNode().has_value());
  EXPECT_EQ(services.nodes->currentNode()->node_id, "n1");
  services.nodes->setCurrentProtocol(tarnel::VPNProtocol::VLESS_TLS);
  EXPECT_EQ(services.nodes->currentProtocol(), tarnel::VPNProtocol::VLESS_TLS);
  EXPECT_FALSE(services.nodes->isConnecting());

  service().script("POST", "lite/users/u-7/nodes", Answer::error(5001, "busy", 500));
  const auto error = services.nodes->fetchNodes("");
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->errCode, 5001);
}

TEST_F(RealServicesTest, RegionFilterAndRuleLists) {
  const auto areas = services.nodes->areaMap();
  ASSERT_EQ(areas.size(), 8u);
  ASSERT_TRUE(areas.contains("Europe"));
  tarnel::Country germany;
  germany.country = "DE";
  germany.tags = {3};
  tarnel::Country japan;
  japan.country = "JP";
  japan.tags = {3, 4};
  tarnel::Tag tag4;
  tag4.id = 4;

  services.nodes->setSelectedArea("Europe");
  EXPECT_EQ(services.nodes->selectedArea(), "Europe");
  auto kept = services.nodes->filterCountries({germany, japan}, std::nullopt);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].country, "DE");
  services.nodes->setSelectedArea("");
  kept = services.nodes->filterCountries({germany, japan}, tag4);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].country, "JP");

  tarnel::ProxyRule rule;
  rule.direct = {"direct.test", "10.1.2.3"};
  rule.proxy = {"proxy.test"};
  rule.block = {"block.test"};
  tarnel::Global::setProxyRule(rule);
  tarnel::Domains domains;
  domains.unlock = {"unlock.test"};
  tarnel::Global::setDomains(domains);
  const RuleLists lists = services.nodes->ruleLists();
  auto has = [](const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
  };
  EXPECT_TRUE(has(lists.directDomains, "direct.test"));
  EXPECT_TRUE(has(lists.directIPs, "10.1.2.3"));
  EXPECT_TRUE(has(lists.proxyDomains, "proxy.test"));
  EXPECT_TRUE(has(lists.blockDomains, "block.test"));
  EXPECT_EQ(lists.unlock, std::vector<std::string>{"unlock.test"});
}

TEST_F(RealServicesTest, ShopAndNoticeOutcomes) {
  service().script("GET", "card/list",
                   Answer::model({{"cards", {{{"id", 11}, {"expired", 0}, {"num", 1.5}, {"type", 1}, {"unit", 2}}}},
                                  {"rolls", WireJson::array()}}));
  service().script("PUT", "card/11", Answer::error(3501, "card used"));
  service().script("GET", "notice/list",
                   Answer::model({{"notices",
                                   {{{"id", 9}, {"notice_at", "2026-05-01"}, {"title", "T"}, {"summary", "S"},
                                     {"type", 1}, {"auto_pop_up", 0}}}}}));
  service().script("GET", "notice/9", Answer::textBody("<p>hello</p>"));
  service().script("GET", "notice/10", Answer::textBody("<html>500</html>", 500).plain());

  const auto coupons = services.shop->coupons();
  ASSERT_EQ(coupons.cards.size(), 1u);
  EXPECT_EQ(coupons.cards[0].id, 11);
  const auto used = services.shop->useCard(11);
  ASSERT_NE(used, nullptr);
  EXPECT_EQ(used->errMsg, "card used");
  EXPECT_FALSE(services.shop->paymentPlans().has_value());  // nothing scripted: 404

  const auto notices = services.notices->notices();
  ASSERT_TRUE(notices.has_value());
  EXPECT_EQ(notices->notices.at(0).id, 9);
  EXPECT_EQ(services.notices->notice(9), "<p>hello</p>");
  EXPECT_EQ(services.notices->notice(10), std::nullopt);
}

TEST_F(RealServicesTest, LinksComeFromTheDiscoveryAnswer) {
  WireJson body = tarnel::test::wire::discoveryBody(tarnel::test::ServiceTestBed::kApiDomain, {service().address()});
  body["cdndl"] = "dl.test";
  service().setDiscovery(body);
  tarnel::DNS::shared().getDNS();
  tarnel::DNS::shared().waitForBackgroundTasks();

  EXPECT_EQ(services.links->downloadHost(), "dl.test");
  EXPECT_EQ(services.links->countryIcon("jp"), "https://dl.test/17s/country/JP3.png");
  EXPECT_EQ(services.links->countryIcon(""), "");
  EXPECT_EQ(services.links->mobile(), "https://dl.test/tarnel/app/zl/pc-location.html");
  EXPECT_EQ(services.links->shareHelp(), "https://dl.test/tarnel/app/share/help.html");
}

TEST_F(RealServicesTest, DiagnosisSeesTheHostInUseAndSendsItsReport) {
  const ApiHost host = services.diagnosis->apiHost();
  EXPECT_EQ(host.host, tarnel::DNS::shared().apiBaseHost());
  EXPECT_EQ(host.baseUrl, tarnel::DNS::shared().apiBaseUrl());
  EXPECT_EQ(host.domain, tarnel::DNS::shared().apiDomain());

  // The double answers its probe path on the API host.
  const auto probe =
      services.diagnosis->fetch(host.baseUrl + "/test", {{"Host", tarnel::test::ServiceTestBed::kApiDomain}}, std::nullopt);
  ASSERT_TRUE(probe.isSuccess()) << probe.error()->localizedDescription();
  EXPECT_EQ(probe.response()->statusCode, 200);

  tarnel::ReportData report = services.diagnosis->newReport();
  EXPECT_EQ(report.device.id, tarnel::DeviceInfo::ID());
  EXPECT_EQ(services.diagnosis->userUID().size(), 36u);
  report.app.runningModel = "Listen";
  service().script("POST", "lite/users/u-7/check", Answer::empty(204));
  EXPECT_EQ(services.diagnosis->sendReport(report), nullptr);
  const auto sent = api.only("POST", "lite/users/u-7/check");
  ASSERT_TRUE(sent.body.has_value());
  EXPECT_EQ(sent.body->at("app").at("runningModel"), "Listen");
  service().script("POST", "lite/users/u-7/check", Answer::error(5001, "busy", 500));
  const auto refused = services.diagnosis->sendReport(report);
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(refused->errMsg, "busy");
}

TEST_F(RealServicesTest, PageRecordsReachTheLogServiceInOrder) {
  {
    CloudLogQueue& queue = *services.logQueue;
    queue.event(tarnel::EventType::MENU_FEEDBACK_SUBMIT);
    queue.feedback("too slow", "me@example.test");
    queue.log({{"message", "Receipt data not found"}}, tarnel::LogTopic::EXCEPTION);
    ASSERT_TRUE(queue.flush(std::chrono::seconds(30)));
  }
  const auto uploads = api.logs().accepted();
  ASSERT_EQ(uploads.size(), 3u);
  EXPECT_EQ(uploads[0].topic, "MENU_FEEDBACK_SUBMIT");
  EXPECT_EQ(uploads[0].store, "event-tracking");
  EXPECT_EQ(uploads[1].store, "feedback");
  EXPECT_EQ(uploads[1].record.at("content"), "too slow");
  EXPECT_EQ(uploads[2].topic, "EXCEPTION");
  EXPECT_EQ(uploads[2].record.at("message"), "Receipt data not found");

  bool delivered = false;
  services.cloudLog->log({{"message", "m"}}, tarnel::LogTopic::DEBUG, [&](bool ok) { delivered = ok; });
  EXPECT_TRUE(delivered);
}

TEST_F(RealServicesTest, SettingsStoreAndEngineReads) {
  services.settings->setValue(tarnel::StoreKeys::DNS_SERVER, tarnel::StoreValue("auto"));
  services.settings->setValue(tarnel::StoreKeys::RECONNECT, tarnel::StoreValue(false));
  EXPECT_EQ(tarnel::Store::getValue(tarnel::StoreKeys::DNS_SERVER)->string(), "auto");
  EXPECT_EQ(services.settings->value(tarnel::StoreKeys::RECONNECT)->boolean(), false);
  services.settings->setValue(tarnel::StoreKeys::RECONNECT, std::nullopt);
  EXPECT_FALSE(services.settings->value(tarnel::StoreKeys::RECONNECT).has_value());

  const auto choices = services.engine->dnsServers();
  ASSERT_FALSE(choices.empty());
  EXPECT_EQ(choices.front(), "auto");
  EXPECT_EQ(services.engine->status(), helmsey::VPNStatus::disconnected);
  EXPECT_NE(services.engine->httpPort(), services.engine->socksPort());
}

}  // namespace
}  // namespace lumora
