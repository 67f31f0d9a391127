// Every endpoint of the service API, called by the real service library against the development
// service as a development build reaches it. One row per call, in an order that lets each build on
// the account the rows before it left; a row that fails names its endpoint.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/EngineEnvironment.h"
#include "core/HttpEngine.h"
#include "services/api/APIManager.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/log/CloudLog.h"
#include "services/log/ReportData.h"
#include "services/network/DNS.h"
#include "services/network/NetworkRequest.h"
#include "tests/support/TestHome.h"
#include "tools/devservice/DevService.h"

namespace tarnel::test {
namespace {

using dev::DevAddresses;

// A row's verdict: empty when the call did what the row asks, otherwise what went wrong.
using Verdict = std::string;

Verdict refusedWith(const std::shared_ptr<APIErrorInfo>& error, std::int64_t code) {
  if (!error) return "succeeded where a refusal was asked for";
  if (error->errCode != code || error->errMsg.empty() || error->errMsg == "not found") {
    return "refused with " + std::to_string(error->errCode) + " \"" + error->errMsg + "\", not " + std::to_string(code);
  }
  return {};
}

Verdict succeeded(const std::shared_ptr<APIErrorInfo>& error) {
  return error ? "failed: " + std::to_string(error->errCode) + " \"" + error->errMsg + "\"" : Verdict();
}

Verdict check(bool ok, const std::string& what) { return ok ? Verdict() : what; }

class DevServiceEndpoints : public ::testing::Test {
 protected:
  void SetUp() override {
    service_ = std::make_unique<dev::DevService>(directory_.path() / "devservice");
    ASSERT_TRUE(helmsey::HttpEngine::setExtraCertificateAuthority(service_->caCertificate()));
    helmsey::EngineEnvironment environment;
    environment.extraCaCertificate = service_->caCertificate();
    helmsey::setEngineEnvironment(environment);
    const std::string discovery =
        std::string("https://") + DevAddresses::kService + ":" + std::to_string(DevAddresses::kDiscoveryPort);
    DNS::setDeploymentForTesting(
        {{{{discovery, std::map<std::string, std::string>{{"Host", DevAddresses::kDiscoveryName}}}}},
         DevAddresses::siteAuthority()});
    CloudLog::setServiceForTesting(DevAddresses::kLogs);
    APIManager::bindNodeList({[] { return std::optional<std::string>(); }, [] { return std::optional<std::int64_t>(); },
                              [this](std::vector<Node> nodes) {
                                nodes_ = std::move(nodes);
                                return true;
                              }});
  }
  void TearDown() override {
    APIManager::waitForBackgroundTasks();
    DNS::shared().waitForBackgroundTasks();
    helmsey::HttpEngine::clearExtraCertificateAuthority();
  }

  // The verification code the service "mailed" to `email`, from its console; empty when none.
  std::string mailedCode(const std::string& email) const {
    const std::string beginning = "mail to " + email + ": verification code ";
    std::string code;
    for (const auto& said : service_->script().console()) {
      if (said.rfind(beginning, 0) == 0) code = said.substr(beginning.size(), 6);
    }
    return code;
  }
  bool consoleSays(const std::string& beginning) const {
    for (const auto& said : service_->script().console()) {
      if (said.rfind(beginning, 0) == 0) return true;
    }
    return false;
  }
  bool hasDevice(const std::string& id) const {
    for (const auto& device : APIManager::getDevices()) {
      if (device.device_id == id) return true;
    }
    return false;
  }

  TempDir directory_;
  std::unique_ptr<dev::DevService> service_;
  std::vector<Node> nodes_;
};

TEST_F(DevServiceEndpoints, EveryEndpointAnswersTheServiceLibraryWithContentOrTheRefusalAskedFor) {
  ASSERT_TRUE(DNS::shared().initDNS());
  const auto& account = service_->account();
  const std::string newcomer = "newcomer@tarnel.test";
  ProxyRule savedRule;
  savedRule.direct = {"direct.example"};
  savedRule.proxy = {"proxied.example", "more.example"};

  struct Row {
    const char* name;
    std::function<Verdict()> call;
  };
  const std::vector<Row> rows = {
      // Accounts.
      {"login refused", [&] { return refusedWith(APIManager::login(account.email, "wrong", 0, ""), 3302); }},
      {"login",
       [&] {
         if (auto v = succeeded(APIManager::login(account.email, account.password, 0, "")); !v.empty()) return v;
         return check(Global::userId() == account.userId && Global::loginInfo().user.email_status == 2,
                      "signed in as " + Global::userId());
       }},
      {"official token",
       [&] {
         return check(APIManager::getOfficialToken() == "dev-token-" + account.userId,
                      "token \"" + APIManager::getOfficialToken() + "\"");
       }},
      {"password change refused",
       [&] { return refusedWith(APIManager::changePassword("not-the-password", "other-password"), 3302); }},
      {"password change",
       [&] {
         if (auto v = succeeded(APIManager::changePassword(account.password, "changed-1")); !v.empty()) return v;
         if (auto v = succeeded(APIManager::login(account.email, "changed-1", 0, "")); !v.empty())
           return "new password: " + v;
         return succeeded(APIManager::changePassword("changed-1", account.password));
       }},
      {"verification code for a reset",
       [&] {
         if (auto v = succeeded(APIManager::getVerificationCode(account.email, true)); !v.empty()) return v;
         return check(!mailedCode(account.email).empty(), "no code on the console");
       }},
      {"verification code for an unknown address refused",
       [&] { return refusedWith(APIManager::getVerificationCode("nobody@tarnel.test", true), 3305); }},
      {"password reset with a wrong code refused",
       [&] { return refusedWith(APIManager::forgetPassword(account.email, "reset-1", "000000"), 3304); }},
      {"password reset",
       [&] {
         if (auto v = succeeded(APIManager::forgetPassword(account.email, "reset-1", mailedCode(account.email)));
             !v.empty()) {
           return v;
         }
         if (auto v = succeeded(APIManager::login(account.email, "reset-1", 0, "")); !v.empty())
           return "reset password: " + v;
         return succeeded(APIManager::changePassword("reset-1", account.password));
       }},
      {"binding the account's own invitation code refused",
       [&] { return refusedWith(APIManager::bindInvitationCode(account.invitationCode), 3308); }},
      {"binding an invitation code",
       [&] {
         const auto before = Global::loginInfo().expired;
         if (auto v = succeeded(APIManager::bindInvitationCode(account.friendCode)); !v.empty()) return v;
         if (auto v = succeeded(APIManager::login(account.email, account.password, 0, "")); !v.empty()) return v;
         return check(Global::loginInfo().user.pcode == account.friendCode && Global::loginInfo().expired > before,
                      "the code bound brought no days");
       }},
      {"sign-out of another device",
       [&] {
         if (!hasDevice("dev-phone")) return Verdict("no second device to sign out");
         if (auto v = succeeded(APIManager::logout(account.userId, "dev-phone")); !v.empty()) return v;
         return check(!hasDevice("dev-phone"), "the device is still bound");
       }},
      {"status check of a signed-out device refused",
       [&] {
         if (auto v = succeeded(APIManager::logout(account.userId, DeviceInfo::ID())); !v.empty()) return v;
         if (auto v = refusedWith(APIManager::live(), 3306); !v.empty()) return v;
         return succeeded(APIManager::login(account.email, account.password, 0, ""));
       }},
      {"sign-out of an unknown device refused",
       [&] { return refusedWith(APIManager::logout(account.userId, "gone"), 3306); }},
      // Status and devices.
      {"status check",
       [&] {
         if (auto v = succeeded(APIManager::live()); !v.empty()) return v;
         const Live live = Global::live();
         return check(live.expired > Global::currentTimeMillisecondsSinceEpoch() / 1000 + 20 * 86400 &&
                          live.link.show && live.link.id != 0 && !Global::domains().direct_domain_g0.empty(),
                      "the status, its promotion or the domain lists are missing");
       }},
      {"account data",
       [&] {
         Global::setProxyRule({});
         if (auto v = succeeded(APIManager::update(1 | 2 | 4 | 16)); !v.empty()) return v;
         return check(!Global::proxyRule().direct.empty() && !Global::loginInfo().countries.empty(),
                      "no rules or countries");
       }},
      {"devices", [&] { return check(hasDevice(DeviceInfo::ID()), "this device is not listed"); }},
      {"device rename",
       [&] {
         if (!APIManager::updateDeviceName("Work desktop", DeviceInfo::ID())) return Verdict("rename failed");
         for (const auto& device : APIManager::getDevices()) {
           if (device.device_id == DeviceInfo::ID())
             return check(device.device_desc == "Work desktop", "name not kept");
         }
         return Verdict("device gone");
       }},
      {"device rename of an unknown device refused",
       [&] {
         return check(!APIManager::updateDeviceName("x", "no-such-device"), "renamed a device that is not there");
       }},
      {"upgrade preview",
       [&] {
         const auto preview = APIManager::previewUpgrade(5);
         if (!preview) return Verdict("no preview");
         return check(std::stoll(preview->days) >= 29 && std::stoll(preview->days_lave) > 0 &&
                          std::stoll(preview->days_lave) < std::stoll(preview->days),
                      "preview " + preview->days + " -> " + preview->days_lave);
       }},
      {"upgrade preview to fewer devices refused",
       [&] { return check(!APIManager::previewUpgrade(2).has_value(), "a downgrade was previewed"); }},
      {"upgrade",
       [&] {
         if (!APIManager::upgradeDevices(5)) return Verdict("upgrade failed");
         APIManager::live();
         return check(Global::live().device_count == 5, "device count " + std::to_string(Global::live().device_count));
       }},
      // Nodes.
      {"node list",
       [&] {
         if (auto v = succeeded(APIManager::getNodes("")); !v.empty()) return v;
         return check(!nodes_.empty(), "no nodes");
       }},
      {"node opening",
       [&] {
         const auto opened = APIManager::openNode("d", "1");
         return check(opened.isSuccess() && opened.value() && *opened.value() && (*opened.value())->statusCode == 200,
                      "not opened");
       }},
      {"node release",
       [&] {
         APIManager::connectNode("d", "1");
         const auto seen = service_->api().requests("PUT", "connect/node/*/user/*");
         return check(!seen.empty() && seen.back().answeredStatus == 200, "release not answered");
       }},
      {"classic node list", [&] { return check(!APIManager::getClassicNodes().empty(), "empty"); }},
      {"classic uptime",
       [&] {
         const auto uptime = APIManager::getClassicUptime("JP");
         return check(uptime && !uptime->uptime.empty(), "no uptime");
       }},
      {"port probe",
       [&] {
         const auto answers = APIManager::testAllPort(
             {DevAddresses::kNode}, std::string("h1-d.") + DevAddresses::kNodeDomain, {DevAddresses::kNodePort});
         return check(!answers.empty() && answers.back()->statusCode == 200, "no port answered");
       }},
      {"proxy rules come back through the status check",
       [&] {
         if (!APIManager::saveProxyRules(savedRule)) return Verdict("not saved");
         APIManager::waitForBackgroundTasks();
         return check(Global::proxyRule().direct == savedRule.direct && Global::proxyRule().proxy == savedRule.proxy,
                      "the status check did not bring the saved rules back");
       }},
      // Shop, coupons, notices, sharing, links, domains.
      {"domain lists",
       [&] {
         Global::setDomains({});
         APIManager::updateDomain();
         return check(!Global::domains().direct_domain_g0.empty() && !Global::domains().proxy.empty(), "no lists");
       }},
      {"notices",
       [&] {
         const auto notices = APIManager::getNotices();
         return check(notices && !notices->notices.empty() && !notices->notices.front().title.empty(), "no notice");
       }},
      {"notice text",
       [&] {
         const auto notices = APIManager::getNotices();
         if (!notices || notices->notices.empty()) return Verdict("no notice");
         const auto text = APIManager::getNotice(notices->notices.front().id);
         return check(text && text->find("<html>") != std::string::npos, "no text");
       }},
      {"notice text of an unknown notice", [&] { return check(!APIManager::getNotice(999).has_value(), "a text"); }},
      {"payment plans",
       [&] {
         const auto plans = APIManager::getPaymentPlans();
         return check(plans && plans->packages.size() == 3, "no plans");
       }},
      {"purchase",
       [&] { return check(APIManager::completePurchase("io.tarnelmacos.month", "t-1", "receipt-1"), "refused"); }},
      {"invitation code",
       [&] {
         Global::modifyLoginInfo([](Login& login) { login.user.code.clear(); });
         APIManager::getShareInfo();
         return check(Global::loginInfo().user.code == account.invitationCode,
                      "code \"" + Global::loginInfo().user.code + "\"");
       }},
      {"coupons",
       [&] {
         const Coupon coupon = APIManager::getCoupons();
         return check(coupon.cards.size() == 2 && coupon.rolls.size() == 2, "cards and rolls missing");
       }},
      {"card use",
       [&] {
         const auto before = Global::loginInfo().expired;
         if (auto v = succeeded(APIManager::useCard(APIManager::getCoupons().cards.front().id)); !v.empty()) return v;
         APIManager::live();
         return check(APIManager::getCoupons().cards.size() == 1 && Global::loginInfo().expired > before,
                      "the card was not spent on membership");
       }},
      {"use of an unknown card refused", [&] { return refusedWith(APIManager::useCard(999), 3307); }},
      {"promotion link",
       [&] {
         Global::modifyLive([](Live& live) { live.link.link = ""; });
         APIManager::getPromoteLink();
         return check(
             Global::live().link.link.value_or("") == "https://" + DevAddresses::siteAuthority() + "/promotion/",
             "link \"" + Global::live().link.link.value_or("") + "\"");
       }},
      // Diagnosis.
      {"diagnosis report",
       [&] {
         ReportData report;
         report.ver = "1";
         if (auto v = succeeded(APIManager::sendReport(report)); !v.empty()) return v;
         return check(consoleSays("diagnosis report from " + account.userId), "not printed");
       }},
      // A newcomer: guest, code, registration, confirmation, removal.
      {"guest sign-in",
       [&] {
         if (auto v = succeeded(APIManager::login("", APIManager::kGuestPassword, 0, "")); !v.empty()) return v;
         return check(Global::userId().rfind("u-guest-", 0) == 0, "guest " + Global::userId());
       }},
      {"verification code for a registration",
       [&] {
         if (auto v = succeeded(APIManager::getVerificationCode(newcomer, false)); !v.empty()) return v;
         return check(!mailedCode(newcomer).empty(), "no code on the console");
       }},
      {"registration with an unknown invitation code refused",
       [&] { return refusedWith(APIManager::registerAccount(newcomer, "newcomer-1", "NOSUCHCODE", false), 3308); }},
      {"registration",
       [&] {
         if (auto v = succeeded(APIManager::registerAccount(newcomer, "newcomer-1", account.invitationCode, false));
             !v.empty()) {
           return v;
         }
         return check(
             Global::loginInfo().user.email == newcomer && Global::loginInfo().user.pcode == account.invitationCode,
             "the login was not registered with the code");
       }},
      {"registration of a taken address refused",
       [&] { return refusedWith(APIManager::registerAccount(account.email, "x-password", "", false), 3303); }},
      {"confirmation with a wrong code refused", [&] { return refusedWith(APIManager::verify("000000"), 3304); }},
      {"confirmation",
       [&] {
         if (auto v = succeeded(APIManager::verify(mailedCode(newcomer))); !v.empty()) return v;
         if (auto v = succeeded(APIManager::login(newcomer, "newcomer-1", 0, "")); !v.empty()) return v;
         return check(Global::loginInfo().user.email_status == 2, "not confirmed");
       }},
      {"account removal with a wrong password refused",
       [&] { return refusedWith(APIManager::delUser("wrong"), 3302); }},
      {"account removal",
       [&] {
         if (auto v = succeeded(APIManager::delUser("newcomer-1")); !v.empty()) return v;
         return refusedWith(APIManager::login(newcomer, "newcomer-1", 0, ""), 3302);
       }},
  };

  for (const auto& row : rows) {
    const Verdict verdict = row.call();
    EXPECT_TRUE(verdict.empty()) << row.name << ": " << verdict;
  }
  // Nothing the library asked was left without its endpoint.
  for (const auto& request : service_->api().requests()) {
    EXPECT_NE(request.answeredStatus, 404) << request.method << " " << request.path;
  }
}

// Every address the program opens or links to is a page of the development service: fetched
// over its TLS, it answers with a page that says what it is.
TEST_F(DevServiceEndpoints, EveryLinkOfTheProgramIsAPageOfTheDevelopmentService) {
  ASSERT_TRUE(DNS::shared().initDNS());
  DNS::shared().waitForBackgroundTasks();
  ASSERT_EQ(APIManager::login(service_->account().email, service_->account().password, 0, ""), nullptr);
  ASSERT_EQ(APIManager::live(), nullptr);
  auto& dns = DNS::shared();
  const std::string help = [&] {
    std::string text = dns.help();
    return text.replace(text.find("%@"), 2, "faq");
  }();
  const struct {
    const char* name;
    std::string url;
    const char* says;
  } links[] = {
      {"official site", "https://" + dns.officialDomain() + "/", "official site"},
      {"terms", dns.serviceUrl(), "Terms of Service"},
      {"privacy", dns.privacyUrl(), "Privacy Policy"},
      {"payment", dns.shop(), "development payment page"},
      {"invitation link", dns.share(), "invited"},
      {"rewards", dns.shareAchievement(), "My Rewards"},
      {"rules", dns.shareHelp(), "Rules"},
      {"support", dns.custom(), "Support"},
      {"help", help, "Help"},
      {"mobile", dns.mobile(), "phone"},
      {"navigation", dns.naviUrl(), "Navigation"},
      {"promotion", Global::live().link.link.value_or(""), "promotion"},
  };
  for (const auto& link : links) {
    ASSERT_FALSE(link.url.empty()) << link.name;
    const auto page =
        NetworkRequest(link.url, HttpMethod::GET, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt)
            .request();
    ASSERT_TRUE(page.isSuccess()) << link.name << " " << link.url << ": " << page.error()->localizedDescription();
    EXPECT_EQ(page.response()->statusCode, 200) << link.name << " " << link.url;
    const auto& body = page.response()->data.value();
    EXPECT_NE(std::string(body.begin(), body.end()).find(link.says), std::string::npos) << link.name << " " << link.url;
  }
}

}  // namespace
}  // namespace tarnel::test
