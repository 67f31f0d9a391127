// The coupon page: which rows show in which order, their texts, redemption and the payment entry.
#include <gtest/gtest.h>

#include "tests/store/StoreWorld.h"
#include "ui/store/CouponsModel.h"

namespace lumora::test {
namespace {

using tarnel::Coupon;
using tarnel::CouponCard;
using tarnel::CouponRoll;

constexpr std::int64_t kNow = 1'800'000'000'000;

std::vector<std::string> order(const std::vector<CouponEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) {
    if (const auto* card = std::get_if<CouponCard>(&entry)) names.push_back("card" + std::to_string(card->id));
    else names.push_back("roll" + std::to_string(std::get<CouponRoll>(entry).id));
  }
  return names;
}

TEST(CouponOrder, ExpiringFirstSoonestFirstCardsAheadNeverExpiringLastExpiredGone) {
  struct Case {
    const char* name;
    Coupon coupons;
    std::vector<std::string> shown;
  };
  const std::vector<Case> cases{
      {"soonest first, cards before coupons of the same time, never-expiring last in received order",
       Coupon({CouponCard(1, 0, 1, 1, 2), CouponCard(2, kNow + 500, 1, 1, 2), CouponCard(3, kNow + 100, 1, 1, 2)},
              {CouponRoll(4, kNow + 100, 1, 0.8, 0), CouponRoll(5, 0, 1, 0.8, 0), CouponRoll(6, kNow + 50, 1, 5, 1)}),
       {"roll6", "card3", "roll4", "card2", "card1", "roll5"}},
      {"expired strictly before now goes; expiring exactly now stays",
       Coupon({CouponCard(1, kNow - 1, 1, 1, 2), CouponCard(2, kNow, 1, 1, 2)}, {CouponRoll(3, 1, 1, 1, 1)}),
       {"card2"}},
      {"nothing", Coupon(), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(order(shownCoupons(c.coupons, kNow)), c.shown);
  }
}

struct CouponsFixture : ::testing::Test {
  void SetUp() override { world.fakes.status->setServerTimeMilliseconds(kNow); }
  void load(CouponsModel& model, const Coupon& coupons) {
    world.fakes.shop->script.answer<Coupon>("coupons", coupons);
    const auto before = world.fakes.shop->script.count("coupons");
    model.load();
    ASSERT_TRUE(waitFor([&] { return world.fakes.shop->script.count("coupons") > before && !world.loading(); }));
    waitFor([] { return false; }, 20);
  }
  StoreWorld world;
};

TEST_F(CouponsFixture, RowsCarryTheirTextsAndAllExpiredIsNotEmpty) {
  CouponsModel model(world.context, nullptr);
  EXPECT_FALSE(model.hasCoupons());
  load(model, Coupon({CouponCard(7, 0, 2.6, 1, 3), CouponCard(8, 0, 0, 0, 9)}, {CouponRoll(9, 0, 4, 0.8, 0)}));
  const auto rows = model.entryList();
  ASSERT_EQ(rows.size(), 3);
  const auto first = rows[0].toMap();
  EXPECT_EQ(first["kind"], "card");
  EXPECT_EQ(first["amount"], "3");
  EXPECT_EQ(first["typeName"], "VIP Time");
  EXPECT_EQ(first["unitName"], "month");
  EXPECT_EQ(first["expiry"], "N/A");
  EXPECT_EQ(rows[1].toMap()["amount"], "0");
  const auto roll = rows[2].toMap();
  EXPECT_EQ(roll["kind"], "roll");
  EXPECT_EQ(roll["packageName"], "half_a_year");
  EXPECT_EQ(roll["discount"], "20%");

  // Everything expired: an empty list, but not the empty picture.
  load(model, Coupon({CouponCard(1, kNow - 10, 1, 1, 2)}, {}));
  EXPECT_TRUE(model.hasCoupons());
  EXPECT_TRUE(model.entryList().isEmpty());
  // A failed request answers both lists empty: the empty picture.
  load(model, Coupon());
  EXPECT_FALSE(model.hasCoupons());
}

TEST_F(CouponsFixture, RedeemingATimeCardAsksThenDropsItAndRefreshesTheAccount) {
  CouponsModel model(world.context, nullptr);
  load(model, Coupon({CouponCard(5, 0, 1, 1, 2), CouponCard(6, 0, 1, 1, 2)}, {CouponRoll(5, 0, 1, 0.5, 0)}));

  // Closing the question redeems nothing.
  model.redeem(5);
  ASSERT_TRUE(world.ui.dialog.isShow());
  EXPECT_EQ(world.ui.dialog.text(), localized(QStringLiteral("Are you sure to use it?")));
  world.ui.dialog.close();
  waitFor([] { return false; }, 20);
  EXPECT_EQ(world.fakes.shop->script.count("useCard"), 0u);

  // A refusal keeps the list and says why.
  world.fakes.shop->script.enqueue<ServiceError>("useCard", tarnel::APIErrorInfo::make(400, "card already used"));
  model.redeem(5);
  world.ui.dialog.press(0);
  EXPECT_FALSE(world.ui.dialog.isShow());
  ASSERT_TRUE(waitFor([&] { return world.ui.toast.isShowing(); }));
  EXPECT_EQ(world.ui.toast.message(), QStringLiteral("card already used"));
  EXPECT_EQ(world.ui.toast.type(), ToastType::error);
  EXPECT_EQ(model.entryList().size(), 3);
  EXPECT_EQ(world.accountRefreshes, 0);
  world.clearToast();

  // Redeemed: the card goes, a coupon of the same id stays, and the membership is read afresh.
  model.redeem(5);
  world.ui.dialog.press(0);
  ASSERT_TRUE(waitFor([&] { return world.ui.toast.isShowing(); }));
  EXPECT_EQ(world.toast({"Time card used successfully"}), "Time card used successfully");
  EXPECT_EQ(world.ui.toast.type(), ToastType::success);
  EXPECT_EQ(order(model.shown()), (std::vector<std::string>{"card6", "roll5"}));
  EXPECT_EQ(world.accountRefreshes, 1);
  EXPECT_EQ(world.fakes.shop->script.calls("useCard").back().arguments, (std::vector<std::string>{"5"}));
  EXPECT_FALSE(world.loading());
}

TEST_F(CouponsFixture, EntriesThatExpireWhileThePageIsOpenLeaveTheList) {
  CouponsModel model(world.context, nullptr);
  int redraws = 0;
  QObject::connect(&model, &CouponsModel::couponsChanged, [&] { ++redraws; });
  load(model, Coupon({CouponCard(1, kNow + 300, 1, 1, 2), CouponCard(2, 0, 1, 1, 2)},
                     {CouponRoll(3, kNow + 600, 1, 0.5, 0), CouponRoll(4, kNow + 86'400'000, 1, 0.5, 0)}));
  ASSERT_EQ(order(model.shown()), (std::vector<std::string>{"card1", "roll3", "roll4", "card2"}));
  const int loaded = redraws;
  // The service's clock runs on from the load: each entry goes just after its own time.
  ASSERT_TRUE(waitFor([&] { return order(model.shown()).size() == 3; }));
  EXPECT_EQ(order(model.shown()), (std::vector<std::string>{"roll3", "roll4", "card2"}));
  ASSERT_TRUE(waitFor([&] { return order(model.shown()).size() == 2; }));
  EXPECT_EQ(order(model.shown()), (std::vector<std::string>{"roll4", "card2"}));
  EXPECT_EQ(model.entryList().size(), 2);
  EXPECT_GE(redraws, loaded + 2) << "the page is told to redraw";
  EXPECT_TRUE(model.hasCoupons());
}

TEST_F(CouponsFixture, ACouponLeadsToThePayment) {
  CouponsModel model(world.context, nullptr);
  model.useCoupon();
  EXPECT_EQ(world.paymentOpenings, 1);
}

}  // namespace
}  // namespace lumora::test
