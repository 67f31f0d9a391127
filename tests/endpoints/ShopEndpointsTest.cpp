// Shop, coupon, notice, share, link and domain operations, and the receipts still to be credited.
#include <gtest/gtest.h>

#include "platform/AtomicFile.h"
#include "services/api/PendingReceipts.h"
#include "services/common/Store.h"
#include "tests/endpoints/EndpointFixture.h"
#include "tests/support/ChildProcess.h"

namespace tarnel::test {
namespace {

using ShopEndpointsTest = EndpointTest;

constexpr const char* kReceiptPath = "data/receipt/apple";

WireJson wireCoupon() {
  return {{"cards", {{{"id", 11}, {"expired", 0}, {"num", 1.5}, {"type", 1}, {"unit", 2}}}},
          {"rolls", {{{"id", 12}, {"expired", 0}, {"package", 3}, {"price", 0.85}, {"type", 2}}}}};
}

TEST_F(ShopEndpointsTest, EachOperationSendsItsMethodPathQueryAndBody) {
  const WireJson device = expectedDevice();
  struct Case {
    std::string name;
    std::function<void()> call;
    ExpectedRequest expected;
    Answer answer;
  };
  const std::vector<Case> cases = {
      {"domain lists", [] { APIManager::updateDomain(); }, {"GET", "app/domains", {}, std::nullopt},
       Answer::model(wireDomains("a"))},
      {"domain lists for the status", [] { APIManager::getDomains(); }, {"GET", "app/domains", {}, std::nullopt},
       Answer::model(wireDomains("b"))},
      {"notice list", [] { (void)APIManager::getNotices(); }, {"GET", "notice/list", {}, std::nullopt},
       Answer::model({{"notices", WireJson::array()}})},
      {"one notice", [] { (void)APIManager::getNotice(7); }, {"GET", "notice/7", {}, std::nullopt},
       Answer::textBody("<p>hello</p>")},
      {"payment plans", [] { (void)APIManager::getPaymentPlans(); }, {"GET", "data/payment", {}, std::nullopt},
       Answer::model({{"packages", WireJson::array()}})},
      {"purchase", [] { (void)APIManager::completePurchase("plan.year", "tx-1", "MIIBreceipt=="); },
       {"POST", kReceiptPath, {},
        WireJson{{"apple_id", "plan.year"}, {"receipt_id", "tx-1"}, {"receipt", "MIIBreceipt=="}}},
       Answer::model({{"ok", 1}})},
      {"invitation code", [] { APIManager::getShareInfo(); }, {"GET", "sharer/u-7", {}, std::nullopt},
       Answer::model({{"code", "SHARE1"}})},
      {"card", [] { (void)APIManager::useCard(12); },
       {"PUT", "card/12", {}, WireJson{{"user", {{"id", kUserId}}}, {"device", device}}}, Answer::empty(204)},
      {"coupons", [] { (void)APIManager::getCoupons(); }, {"GET", "card/list", {}, std::nullopt},
       Answer::model(wireCoupon())},
      {"promotion link before any status", [] { APIManager::getPromoteLink(); },
       {"GET", "data/link/0", {}, std::nullopt}, Answer::model({{"link", "https://promo.test/0"}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service().clearRequests();
    service().script(c.expected.method, c.expected.path, c.answer);
    c.call();
    const auto seen = service().requests(ServiceRequest::Kind::api);
    ASSERT_EQ(seen.size(), 1u);
    expectRequest(seen.front(), c.expected, kUserId);
  }
}

TEST_F(ShopEndpointsTest, DomainListsAreReplacedWholeOrKept) {
  const std::vector<std::pair<std::string, std::function<void()>>> calls = {
      {"updateDomain", [] { APIManager::updateDomain(); }},
      {"getDomains", [] { APIManager::getDomains(); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    Global::setDomains(*fromJson<Domains>(wireDomains("held").dump()));
    for (const Answer& failure : {Answer::error(5001, "busy", 500), Answer::model({{"proxy", {"x"}}}),
                                  Answer::textBody("<html>502</html>", 502).plain()}) {
      service().script("GET", "app/domains", failure);
      call();
      EXPECT_EQ(toMap(Global::domains()), WireJson::parse(wireDomains("held").dump()));
    }
    service().script("GET", "app/domains", Answer::model(wireDomains(name)));
    call();
    EXPECT_EQ(toMap(Global::domains()), WireJson::parse(wireDomains(name).dump()));
  }
}

struct NoticeCase {
  std::string name;
  Answer answer;
  std::optional<std::string> text;
};

TEST_F(ShopEndpointsTest, NoticeTextIsNeverTakenFromAnErrorPage) {
  const std::vector<NoticeCase> cases = {
      {"enciphered", Answer::textBody("<h1>Maintenance</h1>"), "<h1>Maintenance</h1>"},
      {"plain", Answer::textBody("https://notice.test/7").plain(), "https://notice.test/7"},
      {"error page", Answer::textBody("<html>500 Internal Server Error</html>", 500).plain(), std::nullopt},
      {"not found page", Answer::textBody("<html>404</html>", 404).plain(), std::nullopt},
      {"enciphered error page", Answer::textBody("gone", 410), std::nullopt},
      {"service error", Answer::error(4404, "no such notice", 400), std::nullopt},
      {"no body", Answer::empty(204), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service().script("GET", "notice/7", c.answer);
    EXPECT_EQ(APIManager::getNotice(7), c.text);
  }
}

TEST_F(ShopEndpointsTest, ModelsOrTheirEmptyOutcomes) {
  service().script("GET", "notice/list",
                   Answer::model({{"notices",
                                   {{{"id", 9}, {"notice_at", "2024-05-01"}, {"title", "T"}, {"summary", "S"},
                                     {"type", 1}, {"auto_pop_up", 0}}}}}));
  service().script("GET", "data/payment", Answer::model({{"packages", {{{"time", 12}, {"apple_id", "plan.year"}}}}}));
  service().script("GET", "card/list", Answer::model(wireCoupon()));
  ASSERT_TRUE(APIManager::getNotices().has_value());
  EXPECT_EQ(APIManager::getNotices()->notices.at(0).id, 9);
  ASSERT_TRUE(APIManager::getPaymentPlans().has_value());
  EXPECT_EQ(APIManager::getPaymentPlans()->packages.at(0).apple_id, "plan.year");
  const Coupon coupon = APIManager::getCoupons();
  ASSERT_EQ(coupon.cards.size(), 1u);
  ASSERT_EQ(coupon.rolls.size(), 1u);
  EXPECT_EQ(coupon.rolls[0].id, 12);

  for (const auto& [name, failure] : std::vector<std::pair<std::string, Answer>>{
           {"service error", Answer::error(5001, "busy", 500)},
           {"undecodable", Answer::model({{"unexpected", 1}})},
           {"connection dropped", Answer::drop()}}) {
    SCOPED_TRACE(name);
    answerEverything(service(), failure);
    EXPECT_FALSE(APIManager::getNotices().has_value());
    EXPECT_FALSE(APIManager::getPaymentPlans().has_value());
    const Coupon empty = APIManager::getCoupons();
    EXPECT_TRUE(empty.cards.empty());
    EXPECT_TRUE(empty.rolls.empty());
    DNS::shared().restoreRetryBudget();
  }
}

TEST_F(ShopEndpointsTest, InvitationCodeChangesOnlyTheUsersCode) {
  Global::modifyLoginInfo([](Login& login) {
    login.user.code = "OLD";
    login.message = "kept";
    login.max_age = 33;
  });
  const auto before = toMap(Global::loginInfo());
  service().enqueue("GET", "sharer/u-7", Answer::error(5001, "busy", 500));
  service().enqueue("GET", "sharer/u-7", Answer::model({{"code", "NEW-CODE"}}));

  APIManager::getShareInfo();
  EXPECT_EQ(toMap(Global::loginInfo()), before);

  APIManager::getShareInfo();
  WireJson expected = WireJson::parse(before.dump());
  expected["user"]["code"] = "NEW-CODE";
  EXPECT_EQ(WireJson::parse(toMap(Global::loginInfo()).dump()), expected);
  const auto stored = Store::getValue(StoreKeys::USER_INFO);
  ASSERT_TRUE(stored && stored->string());
  EXPECT_EQ(WireJson::parse(*stored->string())["user"]["code"], "NEW-CODE");
}

TEST_F(ShopEndpointsTest, CardUseHandsOnRefusals) {
  const WireJson device = expectedDevice();
  for (const auto& [name, answer, code] : std::vector<std::tuple<std::string, Answer, std::int64_t>>{
           {"used", Answer::empty(204), 0},
           {"used, with a body", Answer::model({{"ok", true}}), 0},
           {"refused", Answer::error(3601, "card expired", 400), 3601},
           {"error page", Answer::textBody("<html>503</html>", 503).plain(), -1}}) {
    SCOPED_TRACE(name);
    service().script("PUT", "card/12", answer);
    const auto error = APIManager::useCard(12);
    if (code == 0) {
      EXPECT_EQ(error, nullptr);
    } else {
      ASSERT_NE(error, nullptr);
      EXPECT_EQ(error->errCode, code);
    }
  }
}

TEST_F(ShopEndpointsTest, PromotionLinkFillsOnlyTheStatusLink) {
  const WireJson status = wireLive();
  Live live = *fromJson<Live>(status.dump());
  Global::setLive(live);
  service().enqueue("GET", "data/link/41", Answer::error(5001, "busy", 500));
  service().enqueue("GET", "data/link/41", Answer::model({{"link", "https://promo.test/41"}}));

  APIManager::getPromoteLink();
  EXPECT_EQ(toMap(Global::live()), toMap(live));

  APIManager::getPromoteLink();
  live.link.link = "https://promo.test/41";
  EXPECT_EQ(toMap(Global::live()), toMap(live));
}

// --- receipts ---

WireJson receiptBody(const PurchaseReceipt& r) {
  return {{"apple_id", r.apple_id}, {"receipt_id", r.receipt_id}, {"receipt", r.receipt}};
}

std::vector<PurchaseReceipt> pendingOnDisk() { return PendingReceipts(PendingReceipts::defaultFile()).all(); }

std::optional<WireJson> storedReceipt() {
  const auto value = Store::getValue(StoreKeys::RECEIPT);
  if (!value || !value->string()) return std::nullopt;
  if (value->string()->empty()) return WireJson("");
  return WireJson::parse(*value->string());
}

const PurchaseReceipt kMonth{"plan.month", "tx-100", "receipt-month"};
const PurchaseReceipt kYear{"plan.year", "tx-200", "receipt-year"};
const PurchaseReceipt kWeek{"plan.week", "tx-300", "receipt-week"};

bool purchase(const PurchaseReceipt& r) {
  return APIManager::completePurchase(r.apple_id, r.receipt_id, r.receipt);
}

TEST_F(ShopEndpointsTest, EveryUncreditedPurchaseWaitsOnItsOwn) {
  service().enqueue("POST", kReceiptPath, Answer::error(5001, "verify later", 500));
  service().enqueue("POST", kReceiptPath, Answer::textBody("<html>bad gateway</html>", 502).plain());
  service().enqueue("POST", kReceiptPath, Answer::empty(204));

  EXPECT_FALSE(purchase(kMonth));
  EXPECT_EQ(storedReceipt(), receiptBody(kMonth));
  EXPECT_FALSE(purchase(kYear));
  // The key names the last one; the list still holds both.
  EXPECT_EQ(storedReceipt(), receiptBody(kYear));
  EXPECT_EQ(pendingOnDisk(), (std::vector<PurchaseReceipt>{kMonth, kYear}));
  // An answer without a status flag credits nothing either.
  EXPECT_FALSE(purchase(kWeek));
  EXPECT_EQ(pendingOnDisk(), (std::vector<PurchaseReceipt>{kMonth, kYear, kWeek}));

  // The same purchase failing again takes its place instead of adding a second entry.
  const PurchaseReceipt renewed{kMonth.apple_id, kMonth.receipt_id, "receipt-month-renewed"};
  service().script("POST", kReceiptPath, Answer::error(5001, "verify later", 500));
  EXPECT_FALSE(purchase(renewed));
  EXPECT_EQ(pendingOnDisk(), (std::vector<PurchaseReceipt>{renewed, kYear, kWeek}));

  // Crediting one purchase takes exactly that one off.
  service().script("POST", kReceiptPath, Answer::model({{"ok", true}}));
  EXPECT_TRUE(purchase(kYear));
  EXPECT_EQ(storedReceipt(), WireJson(""));
  EXPECT_EQ(pendingOnDisk(), (std::vector<PurchaseReceipt>{renewed, kWeek}));
}

TEST_F(ShopEndpointsTest, ResendClearsPendingReceiptsOneByOne) {
  service().script("POST", kReceiptPath, Answer::error(5001, "verify later", 500));
  for (const auto& r : {kMonth, kYear, kWeek}) EXPECT_FALSE(purchase(r));
  service().clearRequests();

  service().clearScripts();
  service().enqueue("POST", kReceiptPath, Answer::model({{"ok", true}}));
  service().enqueue("POST", kReceiptPath, Answer::error(5001, "verify later", 500));
  service().enqueue("POST", kReceiptPath, Answer::model({{"ok", true}}));
  EXPECT_EQ(APIManager::resendPendingReceipts(), 1u);
  EXPECT_EQ(pendingOnDisk(), std::vector<PurchaseReceipt>{kYear});

  service().enqueue("POST", kReceiptPath, Answer::model({{"ok", true}}));
  EXPECT_EQ(APIManager::resendPendingReceipts(), 0u);
  EXPECT_TRUE(pendingOnDisk().empty());
  EXPECT_EQ(storedReceipt(), WireJson(""));

  // Oldest first, each with its own data.
  std::vector<WireJson> sent;
  for (const auto& seen : service().requests("POST", kReceiptPath)) sent.push_back(seen.body.value_or(nullptr));
  EXPECT_EQ(sent, (std::vector<WireJson>{receiptBody(kMonth), receiptBody(kYear), receiptBody(kWeek),
                                         receiptBody(kYear)}));
  // Nothing left: nothing is sent.
  service().clearRequests();
  EXPECT_EQ(APIManager::resendPendingReceipts(), 0u);
  EXPECT_EQ(service().requestCount(), 0u);
}

TEST_F(ShopEndpointsTest, AnUnreadableListIsSetAsideNotOverwritten) {
  const auto file = PendingReceipts::defaultFile();
  ASSERT_TRUE(platform::ensureDirectory(file.parent_path()));
  ASSERT_TRUE(platform::replaceFileAtomically(file, "not a cipher text", 0600));
  service().script("POST", kReceiptPath, Answer::error(5001, "verify later", 500));
  EXPECT_FALSE(purchase(kMonth));
  EXPECT_EQ(pendingOnDisk(), std::vector<PurchaseReceipt>{kMonth});
  const auto aside = platform::readWholeFile(std::filesystem::path(file.string() + ".unreadable"));
  ASSERT_TRUE(aside.has_value());
  EXPECT_EQ(aside->bytes, "not a cipher text");

  // Damaged again: the second copy goes beside the first, never over it.
  ASSERT_TRUE(platform::replaceFileAtomically(file, "damaged again", 0600));
  EXPECT_FALSE(purchase(kYear));
  EXPECT_EQ(pendingOnDisk(), std::vector<PurchaseReceipt>{kYear});
  EXPECT_EQ(platform::readWholeFile(std::filesystem::path(file.string() + ".unreadable"))->bytes, "not a cipher text");
  const auto second = platform::readWholeFile(std::filesystem::path(file.string() + ".unreadable-2"));
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->bytes, "damaged again");
}

// The first process fails to upload; a later process finds the receipts and has them credited.
TEST(PendingReceiptsRestartTest, ReceiptsOfAnEarlierProcessAreCreditedLater) {
  const ChildResult child = runInChild([] {
    ApiTestBed api;
    ApiTestBed::signIn(kUserId, kEmail);
    api.service().script("POST", kReceiptPath, Answer::error(5001, "verify later", 500));
    const bool month = purchase(kMonth);
    const bool year = purchase(kYear);
    return std::string(month || year ? "credited" : "pending");
  });
  ASSERT_EQ(child.exitCode, 0);
  ASSERT_EQ(child.output, "pending");

  EXPECT_EQ(pendingOnDisk(), (std::vector<PurchaseReceipt>{kMonth, kYear}));
  EXPECT_EQ(storedReceipt(), receiptBody(kYear));

  ApiTestBed api;
  ApiTestBed::signIn(kUserId, kEmail);
  api.service().script("POST", kReceiptPath, Answer::model({{"ok", true}}));
  EXPECT_EQ(APIManager::resendPendingReceipts(), 0u);
  EXPECT_TRUE(pendingOnDisk().empty());
  EXPECT_EQ(api.service().count("POST", kReceiptPath), 2u);
}

}  // namespace
}  // namespace tarnel::test
