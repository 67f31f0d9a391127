// The purchase manager against the tests' store: products and selection, every transaction
// state, crediting with its failures, and the observer.
#include <gtest/gtest.h>

#include "tests/store/StoreWorld.h"
#include "ui/base/Router.h"
#include "ui/store/StoreManager.h"

namespace lumora::test {
namespace {

using tarnel::PaymentPlans;
using tarnel::PaymentPlansPackages;

const StoreProduct kMonth{"plan.month", "One month", "4.99", "$", "USD"};
const StoreProduct kQuarter{"plan.quarter", "Three months", "12.99", "$", "USD"};
const StoreProduct kYear{"plan.year", "One year", "39.99", "$", "USD"};

PaymentPlans plans(std::vector<std::pair<std::string, std::int64_t>> items) {
  PaymentPlans answer;
  for (auto& [id, time] : items) answer.packages.push_back(PaymentPlansPackages{time, id});
  return answer;
}

std::vector<std::string> ids(const StoreManager& manager) {
  std::vector<std::string> list;
  for (const auto& product : manager.products()) list.push_back(product.productIdentifier);
  return list;
}

struct ShopFixture : ::testing::Test {
  void SetUp() override {
    world.fakes.shop->script.answer<std::optional<PaymentPlans>>(
        "paymentPlans", plans({{"plan.month", 1}, {"plan.year", 12}, {"plan.quarter", 3}}));
    world.store->shelve({kMonth, kYear, kQuarter});
    world.writeReceipt("receipt-bytes");
  }
  // A manager whose page has shown and whose products arrived.
  std::unique_ptr<StoreManager> shownManager() {
    auto manager = std::make_unique<StoreManager>(world.context, nullptr);
    manager->appear();
    EXPECT_TRUE(waitFor([&] { return manager->products().size() == 3 && !world.loading(); }));
    return manager;
  }
  std::size_t calls(const std::string& operation) const { return world.fakes.shop->script.count(operation); }

  StoreWorld world;
};

TEST_F(ShopFixture, ProductsComeDearestFirstAndKeepTheUsersChoiceWhileStillOnSale) {
  // Two plans for one product and one the store does not know: one request of distinct ids.
  world.fakes.shop->script.answer<std::optional<PaymentPlans>>(
      "paymentPlans",
      plans({{"plan.month", 1}, {"plan.year", 12}, {"plan.quarter", 3}, {"plan.year", 12}, {"plan.gone", 6}}));
  auto manager = shownManager();
  ASSERT_EQ(world.store->requests().size(), 1u);
  EXPECT_EQ(world.store->requests()[0],
            (std::set<std::string>{"plan.gone", "plan.month", "plan.quarter", "plan.year"}));
  EXPECT_EQ(ids(*manager), (std::vector<std::string>{"plan.year", "plan.quarter", "plan.month"}));
  EXPECT_EQ(manager->selectId(), "plan.year");

  // The user picks another card; the next showing's list still has it, so it stays picked.
  manager->setSelectId("plan.month");
  manager->appear();
  ASSERT_TRUE(waitFor([&] { return world.store->requests().size() == 2 && !world.loading(); }));
  waitFor([] { return false; }, 50);
  EXPECT_EQ(manager->selectId(), "plan.month");

  // Withdrawn from sale: the first card is picked; nothing on sale: nothing is.
  world.store->shelve({kYear, kQuarter});
  manager->appear();
  ASSERT_TRUE(waitFor([&] { return manager->products().size() == 2; }));
  EXPECT_EQ(manager->selectId(), "plan.year");
  world.store->shelve({});
  manager->appear();
  ASSERT_TRUE(waitFor([&] { return manager->products().empty(); }));
  EXPECT_EQ(manager->selectId(), "");
  EXPECT_FALSE(world.loading());
}

TEST_F(ShopFixture, EqualPricesKeepTheStoresOrder) {
  const StoreProduct a{"a", "A", "9.99", "$", "USD"};
  const StoreProduct b{"b", "B", "19.99", "$", "USD"};
  const StoreProduct c{"c", "C", "9.99", "$", "USD"};
  world.store->shelve({a, b, c});
  world.fakes.shop->script.answer<std::optional<PaymentPlans>>("paymentPlans", plans({{"a", 1}, {"b", 2}, {"c", 1}}));
  StoreManager manager(world.context, nullptr);
  manager.appear();
  ASSERT_TRUE(waitFor([&] { return manager.products().size() == 3; }));
  EXPECT_EQ(ids(manager), (std::vector<std::string>{"b", "a", "c"}));
}

TEST_F(ShopFixture, AFailedProductRequestEndsTheOverlay) {
  world.store->failRequests(true);
  StoreManager manager(world.context, nullptr);
  manager.appear();
  ASSERT_TRUE(waitFor([&] { return world.store->requests().size() == 1; }));
  EXPECT_TRUE(waitFor([&] { return !world.loading(); }));
  EXPECT_TRUE(manager.products().empty());
}

TEST_F(ShopFixture, TwoQuickShowingsKeepTheOverlayUntilTheLaterRequestHasAnswered) {
  world.store->holdAnswers(true);
  {
    StoreManager manager(world.context, nullptr);
    manager.appear();
    manager.appear();
    ASSERT_TRUE(waitFor([&] { return world.store->requests().size() == 2; }));
    ASSERT_TRUE(waitFor([&] { return world.loading(); }));
    ASSERT_TRUE(world.store->answerHeld());
    ASSERT_TRUE(waitFor([&] { return manager.products().size() == 3; }));
    waitFor([] { return false; }, 50);
    EXPECT_TRUE(world.loading()) << "the second request is still loading";
    ASSERT_TRUE(world.store->answerHeld());
    EXPECT_TRUE(waitFor([&] { return !world.loading(); }));

    // A page left while its request is unanswered takes its overlay with it.
    manager.appear();
    ASSERT_TRUE(waitFor([&] { return world.store->requests().size() == 3 && world.loading(); }));
  }
  EXPECT_TRUE(waitFor([&] { return !world.loading(); }));
  EXPECT_TRUE(world.store->answerHeld());  // an answer for a page that is gone changes nothing
  waitFor([] { return false; }, 50);
  EXPECT_FALSE(world.loading());
}

TEST_F(ShopFixture, WithoutPaymentsOrPlansThePlanDescriptionLeadsToTheWebSite) {
  struct Case {
    const char* name;
    bool canPay;
    bool plans;
  };
  for (const Case& c : {Case{"store refuses payments", false, true}, Case{"no plans", true, false}}) {
    SCOPED_TRACE(c.name);
    world.store->setCanMakePayments(c.canPay);
    if (!c.plans) world.fakes.shop->script.answer<std::optional<PaymentPlans>>("paymentPlans", std::nullopt);
    world.ui.state->router()->push(Route::shop);
    const int openings = world.siteOpenings;
    StoreManager manager(world.context, nullptr);
    manager.appear();
    ASSERT_TRUE(waitFor([&] { return world.ui.dialog.isShow(); }));
    EXPECT_EQ(world.ui.dialog.text(), QStringLiteral("Plans are sold on the web site."));
    EXPECT_TRUE(world.store->requests().empty());
    ASSERT_EQ(world.ui.dialog.buttons().size(), 1u);
    world.ui.dialog.press(0);
    EXPECT_EQ(world.siteOpenings, openings + 1);
    EXPECT_FALSE(world.ui.dialog.isShow());
    EXPECT_TRUE(waitFor([&] { return world.ui.state->router()->depth() == 0; }));
  }
}

// The plan description comes after the plans have loaded: when the user has left the shop by
// then, or opened another page over it, its "Confirm" opens the site and closes no other page.
TEST_F(ShopFixture, ThePlanDescriptionClosesTheShopOnlyWhileTheShopIsOnTop) {
  struct Case {
    const char* name;
    void (*meanwhile)(Router&);
    std::vector<Route> after;
  };
  const Case cases[] = {
      {"the shop still on top", [](Router&) {}, {Route::menu}},
      {"another page came over it", [](Router& router) { router.push(Route::about); },
       {Route::menu, Route::shop, Route::about}},
      {"the user left it", [](Router& router) { router.back(); }, {Route::menu}},
  };
  world.store->setCanMakePayments(false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Router& router = *world.ui.state->router();
    router.backToRoot();
    ASSERT_TRUE(waitFor([&] { return router.depth() == 0; }));
    router.push(Route::menu);
    router.push(Route::shop);
    const int openings = world.siteOpenings;
    StoreManager manager(world.context, nullptr);
    manager.appear();
    ASSERT_TRUE(waitFor([&] { return world.ui.dialog.isShow(); }));
    c.meanwhile(router);
    world.ui.dialog.press(0);
    EXPECT_EQ(world.siteOpenings, openings + 1);
    EXPECT_EQ(standingPages(router), c.after);
  }
}

TEST_F(ShopFixture, ACreditedPurchaseIsFinishedOnlyOnceTheServiceAnswered) {
  auto manager = shownManager();
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  world.fakes.shop->script.gate("completePurchase", gate);
  manager->buy("plan.quarter");
  EXPECT_TRUE(world.loading());
  EXPECT_EQ(world.store->payments(), (std::vector<std::string>{"plan.quarter"}));
  ASSERT_TRUE(waitFor([&] { return calls("completePurchase") == 1; }));
  const auto call = world.fakes.shop->script.calls("completePurchase").front();
  EXPECT_EQ(call.arguments, (std::vector<std::string>{"plan.quarter", "t1", QByteArray("receipt-bytes").toBase64().toStdString()}));
  // The service has not answered: the store still holds the purchase.
  EXPECT_TRUE(world.store->finished().empty());
  EXPECT_TRUE(world.loading());

  gate->open();
  ASSERT_TRUE(waitFor([&] { return !world.loading(); }));
  EXPECT_EQ(world.store->finished(), (std::vector<std::string>{"q1"}));
  EXPECT_EQ(world.toast({"purchase success", "purchase failed"}), "purchase success");
  // What an earlier run could not credit goes along after a success.
  EXPECT_EQ(calls("resendPendingReceipts"), 1u);
}

TEST_F(ShopFixture, ARefusedReceiptIsKeptAndCreditedAtTheNextStart) {
  auto manager = shownManager();
  world.fakes.shop->script.enqueue<bool>("completePurchase", false);
  auto purchase = world.store->transaction("plan.year", TransactionState::purchased);
  purchase.transactionIdentifier.reset();  // sent with an empty identifier
  world.store->report({purchase});
  ASSERT_TRUE(waitFor([&] { return !world.store->finished().empty(); }));
  ASSERT_TRUE(waitFor([&] { return world.ui.toast.isShowing(); }));
  EXPECT_EQ(world.toast({"purchase success", "purchase failed"}), "purchase failed");
  EXPECT_EQ(calls("resendPendingReceipts"), 0u);
  ASSERT_EQ(world.fakes.shop->pendingReceipts().size(), 1u);
  EXPECT_EQ(world.fakes.shop->pendingReceipts()[0][1], "");

  // The program ends; at the next start the kept receipt goes again and is credited.
  manager.reset();
  StoreManager::resendPendingReceipts(world.fakes.shop);
  ASSERT_TRUE(waitFor([&] { return world.fakes.shop->pendingReceipts().empty(); }));
  EXPECT_EQ(calls("completePurchase"), 2u);
}

TEST_F(ShopFixture, APageClosedWhileCreditingLosesNothing) {
  auto manager = shownManager();
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  world.fakes.shop->script.gate("completePurchase", gate);
  world.store->report({world.store->transaction("plan.month", TransactionState::purchased)});
  ASSERT_TRUE(waitFor([&] { return calls("completePurchase") == 1; }));
  manager.reset();
  EXPECT_EQ(world.store->observerCount(), 0u);
  gate->open();
  ASSERT_TRUE(waitFor([&] { return world.store->finished().size() == 1; }));
  EXPECT_TRUE(world.fakes.shop->pendingReceipts().empty());
}

TEST_F(ShopFixture, OneUpdateOfEveryStateIsHandledToItsEnd) {
  auto manager = shownManager();
  const auto cancelled =
      world.store->transaction("plan.month", TransactionState::failed, StoreError{kPaymentCancelled, "cancelled"});
  const auto purchased = world.store->transaction("plan.year", TransactionState::purchased);
  const auto declined =
      world.store->transaction("plan.quarter", TransactionState::failed, StoreError{5, "card declined"});
  const auto restored = world.store->transaction("plan.year", TransactionState::restored);
  const auto deferred = world.store->transaction("plan.year", TransactionState::deferred);
  const auto purchasing = world.store->transaction("plan.year", TransactionState::purchasing);
  manager->buy("plan.month");  // the overlay of a payment under way
  const auto bought = world.store->queue().back().queueId;
  world.store->report({cancelled, purchased, declined, restored, deferred, purchasing});

  // The cancellation does not keep the purchase behind it from being credited.
  ASSERT_TRUE(waitFor([&] { return world.store->finished().size() == 5; }));
  auto finished = world.store->finished();
  std::sort(finished.begin(), finished.end());
  std::vector<std::string> expected{bought, cancelled.queueId, purchased.queueId, declined.queueId, restored.queueId};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(finished, expected);
  std::vector<std::string> waiting;
  for (const auto& t : world.store->queue()) waiting.push_back(t.queueId);
  EXPECT_EQ(waiting, (std::vector<std::string>{deferred.queueId, purchasing.queueId}));
  // Two purchases credited (the bought one and the reported one); the decline reported once.
  EXPECT_EQ(calls("completePurchase"), 2u);
  ASSERT_TRUE(waitFor([&] { return world.fakes.cloudLog->script.count("log") == 1; }));
  const auto record = world.fakes.cloudLog->script.calls("log").front();
  EXPECT_NE(record.arguments[1].find("card declined"), std::string::npos);
  EXPECT_NE(record.arguments[1].find("appstore payment"), std::string::npos);
  EXPECT_TRUE(waitFor([&] { return !world.loading(); }));
}

TEST_F(ShopFixture, ADeferredPaymentEndsTheOverlayAndStaysInTheQueue) {
  auto manager = shownManager();
  world.store->setPaymentOutcome(TransactionState::deferred);
  manager->buy("plan.year");
  EXPECT_TRUE(world.loading());
  EXPECT_TRUE(waitFor([&] { return !world.loading(); }));
  EXPECT_EQ(world.store->queue().size(), 1u);
  EXPECT_TRUE(world.store->finished().empty());
  EXPECT_FALSE(world.ui.toast.isShowing());
}

TEST_F(ShopFixture, WithoutAReceiptThePurchaseWaitsInTheQueue) {
  auto manager = shownManager();
  world.store->setReceipt(std::nullopt);
  manager->buy("plan.year");
  ASSERT_TRUE(waitFor([&] { return world.fakes.cloudLog->script.count("log") == 1; }));
  EXPECT_NE(world.fakes.cloudLog->script.calls("log")[0].arguments[1].find("Receipt data not found"), std::string::npos);
  ASSERT_TRUE(waitFor([&] { return !world.loading(); }));
  EXPECT_EQ(world.toast({"purchase failed"}), "purchase failed");
  EXPECT_TRUE(world.store->finished().empty());
  EXPECT_EQ(calls("completePurchase"), 0u);

  // Once the receipt is there, the next showing credits the waiting purchase.
  manager.reset();
  world.writeReceipt("late receipt");
  auto again = std::make_unique<StoreManager>(world.context, nullptr);
  again->appear();
  ASSERT_TRUE(waitFor([&] { return world.store->finished().size() == 1; }));
  EXPECT_EQ(calls("completePurchase"), 1u);
}

TEST_F(ShopFixture, OneObserverHoweverOftenTheShopShows) {
  {
    auto manager = shownManager();
    manager->appear();
    manager->appear();
    EXPECT_EQ(world.store->observerCount(), 1u);
    // One observer: a purchase is credited once.
    manager->buy("plan.month");
    ASSERT_TRUE(waitFor([&] { return world.store->finished().size() == 1; }));
    waitFor([] { return false; }, 100);
    EXPECT_EQ(calls("completePurchase"), 1u);
  }
  EXPECT_EQ(world.store->observerCount(), 0u);
  auto next = shownManager();
  EXPECT_EQ(world.store->observerCount(), 1u);
}

}  // namespace
}  // namespace lumora::test
