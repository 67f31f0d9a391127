// Host discovery against loopback doubles: start-up from the cache or the groups, the order in
// which groups are asked, the host list and its probe, the retry budget and the link texts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>

#include "services/common/Global.h"
#include "services/common/Store.h"
#include "services/network/DNS.h"
#include "services/network/UrlHost.h"
#include "tests/support/ServiceTestBed.h"

namespace tarnel::test {
namespace {

using namespace std::chrono_literals;
using Hosts = std::vector<DNS::API>;

// The text discovery keeps and applies: the outer layer taken off, the body still enciphered.
std::string answerText(const WireJson& body) { return wire::discoveryAnswer(body, "1", {false, true}); }

std::string storedCache() {
  const auto value = Store::getValue(StoreKeys::DNS_CACHE);
  return value ? value->string().value_or("") : "";
}

class DiscoveryTest : public ::testing::Test {
 protected:
  // Five groups; `live` puts a double's endpoint in place of a dead one: {group, double}.
  DNSDeployment deployment(const std::map<int, const ServiceDouble*>& live = {}) const {
    const int sizes[] = {2, 2, 2, 2, 3};
    DNSDeployment d{{}, ServiceTestBed::kSiteName};
    int host = 5;
    for (int g = 0; g < 5; ++g) {
      std::vector<DNSApi> group;
      for (int i = 0; i < sizes[g]; ++i) group.push_back(bed.deadEndpoint(host++));
      if (const auto it = live.find(g); it != live.end()) group.back() = ServiceTestBed::endpoint(*it->second);
      d.groups.push_back(group);
    }
    return d;
  }

  static std::string addressOf(const std::string& hostOrUrl) {
    return std::regex_replace(hostOrUrl, std::regex("^https://|:\\d+$"), "");
  }

  // Which group each callback call came from, by the address in its host.
  std::vector<int> askedGroups(DNS& dns, const DNSDeployment& d) {
    std::vector<int> asked;
    dns.getDNS([&](const std::shared_ptr<HttpResponse>& response) {
      for (size_t g = 0; g < d.groups.size(); ++g) {
        for (const auto& endpoint : d.groups[g]) {
          if (addressOf(response->host) == addressOf(endpoint.url)) {
            asked.push_back(static_cast<int>(g));
            return;
          }
        }
      }
      ADD_FAILURE() << "answer from an unknown host " << response->host;
    });
    return asked;
  }

  ServiceTestBed bed;
};

TEST_F(DiscoveryTest, CachedAnswerStartsAtOnceAndIsRefreshedOnceInTheBackground) {
  auto service = bed.startService(2);
  WireJson cached = wire::discoveryBody(ServiceTestBed::kApiDomain, {bed.address(2)});
  cached["cdndl"] = "cached.test";
  WireJson fresh = cached;
  fresh["cdndl"] = "fresh.test";
  service->setDiscovery(fresh);
  Store::setValue(StoreKeys::DNS_CACHE, answerText(cached));
  DNS::setDeploymentForTesting(deployment({{0, service.get()}}));

  EXPECT_TRUE(DNS::shared().initDNS());
  bed.settle();

  const auto seen = service->requests();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().kind, ServiceRequest::Kind::probe) << "the cache is applied before any group is asked";
  EXPECT_EQ(service->requests(ServiceRequest::Kind::discovery).size(), 1u);
  EXPECT_EQ(DNS::shared().cdndlUrl(), "fresh.test");
  EXPECT_EQ(storedCache(), answerText(fresh));
  EXPECT_TRUE(bed.logs()->uploads().empty());
}

TEST_F(DiscoveryTest, WithEveryGroupDownStartUpFailsAfterOnePassAndTheNextRunAsksThemAllAgain) {
  const DNSDeployment d = deployment();
  DNS::setDeploymentForTesting(d);

  EXPECT_FALSE(DNS::shared().initDNS());
  const auto records = bed.logs()->accepted("ERROR_HTTPDNS");
  ASSERT_EQ(records.size(), 5u);
  for (const auto& r : records) {
    EXPECT_EQ(r.record["path"], "/v6/get6");
    EXPECT_EQ(r.record["request"], "GET");
    EXPECT_EQ(r.record["response_code"], "-1");
    EXPECT_NE(r.record["response_body"], "");
  }

  std::vector<std::shared_ptr<HttpResponse>> outcomes;
  DNS::shared().getDNS([&](const std::shared_ptr<HttpResponse>& r) { outcomes.push_back(r); });
  ASSERT_EQ(outcomes.size(), 5u) << "an offline start must not leave groups unasked for the rest of the process";
  for (size_t g = 0; g < 5; ++g) {
    EXPECT_EQ(outcomes[g]->statusCode, -1);
    EXPECT_EQ(outcomes[g]->path, "/v6/get6");
    EXPECT_EQ(outcomes[g]->host, d.groups[g].back().url) << "the last request of the group is reported";
  }
  EXPECT_EQ(bed.logs()->accepted("ERROR_HTTPDNS").size(), 10u);
  EXPECT_FALSE(DNS::shared().dnsData().has_value());
}

TEST_F(DiscoveryTest, EachRunStartsAtTheGroupThatLastAnsweredAndWrapsAround) {
  auto third = bed.startService(2);
  auto fifth = bed.startService(3);
  const DNSDeployment d = deployment({{2, third.get()}, {4, fifth.get()}});
  DNS dns(d);

  EXPECT_EQ(askedGroups(dns, d), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(dns.dnsIndex(), 2);

  third->stop();
  EXPECT_EQ(askedGroups(dns, d), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(dns.dnsIndex(), 4);

  fifth->stop();
  third->start();
  EXPECT_EQ(askedGroups(dns, d), (std::vector<int>{4, 0, 1, 2}));
  EXPECT_EQ(dns.dnsIndex(), 2);
  dns.waitForBackgroundTasks();
}

TEST_F(DiscoveryTest, AnswersThatDoNotDecodeNeverReplaceAGoodOne) {
  auto broken = bed.startService(2);
  auto good = bed.startService(3);
  broken->setDiscoveryAnswer(Answer::garbage());
  const DNSDeployment d = deployment({{0, broken.get()}, {1, good.get()}});
  DNS dns(d);

  // A 200 that does not decode is that group's failure: the next group is asked.
  EXPECT_EQ(askedGroups(dns, d), (std::vector<int>{0, 1}));
  ASSERT_TRUE(dns.dnsData().has_value());
  EXPECT_EQ(dns.dnsIndex(), 1);
  const Hosts before = dns.dnsApi();
  const std::string cache = storedCache();

  for (const std::string& text : std::vector<std::string>{"", "not json", R"({"version":"1","body":"00ff"})", answerText(WireJson::object())}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(dns.handleDNS(text));
    EXPECT_TRUE(dns.dnsData().has_value());
    EXPECT_EQ(dns.dnsApi(), before);
    EXPECT_EQ(storedCache(), cache);
  }
  dns.waitForBackgroundTasks();
}

TEST_F(DiscoveryTest, HostileAnswersNeitherCrashNorBloatTheCache) {
  DNS dns(deployment());
  Store::setValue(StoreKeys::DNS_CACHE, "before");

  // One bad mirror nesting its answer 100,000 levels deep: a decoding failure like any other.
  std::string deep = R"({"version":"1","body":)" + std::string(100'000, '[') + std::string(100'000, ']') + "}";
  EXPECT_FALSE(dns.handleDNS(deep));
  EXPECT_EQ(storedCache(), "before");

  // An answer padded far beyond any real one is applied, and cached in its bounded form.
  WireJson body = wire::discoveryBody();
  body["cs"] = "help@padded.test";
  body["padding"] = std::string(1'000'000, 'p');
  const std::string padded = answerText(body);
  ASSERT_GT(padded.size(), 1'000'000u);
  ASSERT_TRUE(dns.handleDNS(padded));
  dns.waitForBackgroundTasks();
  const std::string cached = storedCache();
  EXPECT_LE(cached.size(), 256u * 1024);
  const auto reread = fromJson<HttpDns>(cached);
  ASSERT_TRUE(reread);
  EXPECT_EQ(reread->version, "1");
  EXPECT_EQ(reread->body.cs, "help@padded.test");

  // An ordinary answer is kept as it came.
  body.erase("padding");
  const std::string plain = answerText(body);
  ASSERT_TRUE(dns.handleDNS(plain));
  dns.waitForBackgroundTasks();
  EXPECT_EQ(storedCache(), plain);
}

TEST_F(DiscoveryTest, ACacheThatDoesNotDecodeCountsAsNoCache) {
  auto service = bed.startService(2);
  const struct {
    std::string name;
    bool groupUp;
    bool expected;
  } cases[] = {{"groups down", false, false}, {"first group up", true, true}};

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Store::setValue(StoreKeys::DNS_CACHE, "{\"version\":\"1\",\"body\":\"not a cipher text\"}");
    service->clearRequests();
    DNS dns(c.groupUp ? deployment({{0, service.get()}}) : deployment());
    EXPECT_EQ(dns.initDNS(), c.expected);
    dns.waitForBackgroundTasks();
    EXPECT_EQ(service->requests(ServiceRequest::Kind::discovery).size(), c.groupUp ? 1u : 0u);
    EXPECT_EQ(dns.dnsData().has_value(), c.expected);
  }
}

TEST_F(DiscoveryTest, HostListDirectAddressesAndTheProbeOfTheFirstTwo) {
  auto byName = bed.startService(3);     // apicdn, reached by its address as its own name
  auto byAddress = bed.startService(2);  // the first address of the dns list, as api.test
  const std::string cdn = bed.address(3), address = bed.address(2);

  WireJson body = wire::discoveryBody();
  body["apicdn"] = cdn;
  body["dns"] = WireJson::array({{{"host", "api.test"}, {"ip", {address, "not-an-address", "300.1.1.1"}}},
                                 {{"host", "empty.test"}, {"ip", WireJson::array()}}});
  body["urls"]["apiReserve2"] = "r";
  const Hosts listed = {{cdn, cdn}, {address, "api.test"}, {"not-an-address", "api.test"},
                        {"300.1.1.1", "api.test"}, {"r", "r"}};
  Hosts swapped = listed;
  std::swap(swapped[0], swapped[1]);

  const struct {
    std::string name;
    bool firstUp;
    bool secondUp;
    Hosts expected;
  } cases[] = {
      {"only the second answers", false, true, swapped},
      {"both answer", true, true, listed},
      {"neither answers", false, false, listed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.firstUp ? byName->start() : byName->stop();
    c.secondUp ? byAddress->start() : byAddress->stop();
    byAddress->clearRequests();
    DNS dns(DNSDeployment{});
    ASSERT_TRUE(dns.handleDNS(answerText(body)));
    EXPECT_EQ(dns.dnsApi(), c.expected);
    EXPECT_EQ(dns.directIPs(), std::vector<std::string>{address});
    EXPECT_EQ(dns.retryCount(), 5);
    EXPECT_EQ(dns.apiIndex(), 0);
    EXPECT_EQ(dns.apiBaseUrl(), "https://" + c.expected[0].host + "/v6");
    EXPECT_EQ(dns.apiDomain(), c.expected[0].domain);
    if (c.secondUp) {
      const auto probes = byAddress->requests(ServiceRequest::Kind::probe);
      ASSERT_EQ(probes.size(), c.firstUp ? 0u : 1u) << "the probe stops at the first answer";
      if (!probes.empty()) {
        EXPECT_EQ(probes[0].target, "/v6/test");
        EXPECT_EQ(probes[0].host, "api.test");
      }
    }
    dns.waitForBackgroundTasks();
  }
}

TEST_F(DiscoveryTest, NextHostCyclesTheListAndSpendsTheSharedBudget) {
  const struct {
    int entries;
    std::vector<int64_t> indexes;
    std::vector<bool> answers;
  } cases[] = {
      {0, {0, 0}, {false, false}},
      {1, {0, 0}, {false, false}},
      {3, {1, 2, 0, 1}, {true, true, false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entries);
    WireJson body = wire::discoveryBody();
    std::vector<std::string> addresses;
    for (int i = 0; i < c.entries; ++i) addresses.push_back(bed.address(10 + i));
    if (c.entries > 0) body["dns"].push_back({{"host", "api.test"}, {"ip", addresses}});
    DNS dns(DNSDeployment{});
    ASSERT_TRUE(dns.handleDNS(answerText(body)));
    EXPECT_EQ(dns.retryCount(), c.entries);
    for (size_t i = 0; i < c.indexes.size(); ++i) {
      EXPECT_EQ(dns.nextHost(), c.answers[i]) << "call " << i;
      EXPECT_EQ(dns.apiIndex(), c.indexes[i]) << "call " << i;
    }
    if (c.entries == 0) {
      EXPECT_EQ(dns.apiBaseUrl(), "");
      EXPECT_EQ(dns.apiBaseHost(), "");
      EXPECT_EQ(dns.apiDomain(), "");
    }
    dns.restoreRetryBudget();
    EXPECT_EQ(dns.retryCount(), c.entries);
    dns.waitForBackgroundTasks();
  }
  // An answer without any API host is reported once.
  ASSERT_EQ(bed.logs()->accepted("ERROR_HTTPDNS").size(), 1u);
  EXPECT_EQ(bed.logs()->accepted("ERROR_HTTPDNS")[0].record["response_code"], "-10086");
}

TEST_F(DiscoveryTest, WebSiteAndPaymentHostAreChosenByProbe) {
  auto site = bed.startService(2, 0);
  auto pay = bed.startService(3, 0);
  const std::string deadSite = bed.address(8) + ":2324", deadPay = bed.address(9) + ":2324";
  const struct {
    std::string name;
    std::vector<std::string> officials;
    std::vector<std::string> pays;
    std::string expectedSite;
    int64_t expectedPayIndex;
  } cases[] = {
      {"first site answers", {site->authority(), deadSite}, {pay->authority()}, site->authority(), 0},
      {"second site answers", {deadSite, site->authority()}, {deadPay, pay->authority()}, site->authority(), 1},
      {"no site answers", {deadSite}, {deadPay}, deadSite, 0},
      {"no candidates", {}, {}, "fallback.test", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WireJson body = wire::discoveryBody();
    body["urls"]["officials"] = c.officials;
    body["urls"]["officialSite"] = "fallback.test";
    body["urls"]["pay_cdn2"] = c.pays;
    DNS dns(DNSDeployment{{}, "built-in.test"});
    EXPECT_EQ(dns.officialDomain(), "built-in.test");
    ASSERT_TRUE(dns.handleDNS(answerText(body)));
    dns.waitForBackgroundTasks();
    EXPECT_EQ(dns.officialDomain(), c.expectedSite);
    EXPECT_EQ(dns.payIndex(), c.expectedPayIndex);
  }
}

TEST_F(DiscoveryTest, PaymentHostIndexIsCheckedAgainstTheCurrentList) {
  DNS dns(DNSDeployment{});
  EXPECT_EQ(dns.payUrl(), "") << "no answer yet";
  EXPECT_EQ(dns.payUrlBackup(), "");

  WireJson body = wire::discoveryBody();
  const std::string a = bed.address(11) + ":1", b = bed.address(12) + ":1", c = bed.address(13) + ":1";
  body["urls"]["pay_cdn2"] = {a, b, c};
  ASSERT_TRUE(dns.handleDNS(answerText(body)));
  dns.waitForBackgroundTasks();  // none answers: the index stays

  dns.setPayIndex(-1);
  EXPECT_EQ(dns.payUrl(), a);
  EXPECT_EQ(dns.payIndex(), 0);
  for (int i = 0; i < 20; ++i) EXPECT_NE(dns.payUrlBackup(), a);

  dns.setPayIndex(2);
  body["urls"]["pay_cdn2"] = {a};
  ASSERT_TRUE(dns.handleDNS(answerText(body)));
  dns.waitForBackgroundTasks();
  EXPECT_EQ(dns.payIndex(), 2) << "an applied answer keeps the index";
  EXPECT_EQ(dns.payUrl(), "") << "a shorter list has no entry there";
  EXPECT_EQ(dns.payUrlBackup(), a);
  EXPECT_EQ(dns.shop(), "");

  dns.setPayIndex(0);
  EXPECT_EQ(dns.payUrlBackup(), "") << "one payment host leaves no backup";
}

TEST_F(DiscoveryTest, LinkTextsFollowTheLanguageAndSignTheTimeTheyCarry) {
  // Every reading of the clock moves it on, so two readings never agree.
  const auto base = std::chrono::system_clock::now();
  auto ticks = std::make_shared<std::atomic<int>>(0);
  Global::setClockForTesting([base, ticks] { return base + std::chrono::milliseconds(++*ticks); });

  // Hosts where nothing answers: the probes fail and keep the first entries.
  const std::string site = bed.address(8) + ":1", pay = bed.address(9) + ":1";
  WireJson body = wire::discoveryBody();
  body["cdndl"] = "dl.test";
  body["urls"]["officials"] = {site};
  body["urls"]["pay_cdn2"] = {pay};
  body["navi"] = {{"ver", 1}, {"zh", "导航"}, {"en", "Navigation"}, {"hk", "導航"}};
  DNS dns(DNSDeployment{{}, "built-in.test"});
  ASSERT_TRUE(dns.handleDNS(answerText(body)));
  dns.waitForBackgroundTasks();

  const struct {
    std::string language;
    std::string suffix;
    std::string lang;
    std::string navi;
  } cases[] = {
      {"en", "", "en", "Navigation"},
      {"zh-Hans", "-cn", "zh", "导航"},
      {"zh-Hant", "-cn", "zh", "導航"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.language);
    Global::setLanguage(c.language);
    EXPECT_EQ(dns.privacyUrl(), "https://www." + site + "/pp-tarnel" + c.suffix + ".html");
    EXPECT_EQ(dns.serviceUrl(), "https://www." + site + "/ts-tarnel" + c.suffix + ".html");
    EXPECT_EQ(dns.help(), "https://dl.test/tarnel/app/faq/%@-" + c.lang + ".html");
    EXPECT_EQ(dns.naviTitle(), c.navi);

    for (const std::string& link : {dns.shop(), dns.shareAchievement()}) {
      std::smatch m;
      ASSERT_TRUE(std::regex_search(link, m, std::regex("&ts=(\\d+)&sign=([0-9a-f]{40})&lang=(\\w+)&"))) << link;
      EXPECT_EQ(m[2].str(), wire::sign(m[1].str())) << "the signature covers the time stamp the link carries";
      EXPECT_EQ(m[3].str(), c.lang);
      EXPECT_EQ(link.rfind("https://" + pay + "/", 0), 0u) << link;
    }
  }
  EXPECT_EQ(dns.countryIcon(), "https://dl.test/17s/country/%@3.png");
  EXPECT_EQ(dns.custom(), "");  // the answer names no custom host
  Global::setClockForTesting({});
}

}  // namespace
}  // namespace tarnel::test

namespace tarnel::test {
namespace {

TEST(UrlHost, BracketsIPv6AndRefusesTextThatWouldChangeTheAddress) {
  const struct {
    std::string host;
    std::optional<std::string> expected;
  } cases[] = {
      {"api.test", "api.test"},
      {"127.0.0.2", "127.0.0.2"},
      {"::1", "[::1]"},
      {"fe80::1%eth0", "[fe80::1%eth0]"},
      {"", std::nullopt},
      {"api.test/evil", std::nullopt},
      {"user@api.test", std::nullopt},
      {"api.test?x", std::nullopt},
      {"api.test#x", std::nullopt},
      {"api test", std::nullopt},
      {"[::1]", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(urlHost(c.host), c.expected) << c.host;
}

TEST_F(DiscoveryTest, AnIPv6ApiHostStandsInBracketsInTheBaseUrl) {
  WireJson body = wire::discoveryBody();
  body["apicdn"] = "::1";
  body["dns"] = WireJson::array();
  DNS dns(DNSDeployment{});
  ASSERT_TRUE(dns.handleDNS(answerText(body)));
  EXPECT_EQ(dns.apiBaseHost(), "::1");
  EXPECT_EQ(dns.apiBaseUrl(), "https://[::1]/v6");
  dns.waitForBackgroundTasks();
}

}  // namespace
}  // namespace tarnel::test
