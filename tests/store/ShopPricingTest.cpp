// The cards' prices: currency, original price against the plans, the discount and the texts.
#include <gtest/gtest.h>

#include "tests/store/StoreWorld.h"
#include "ui/store/ShopPricing.h"
#include "ui/store/StoreManager.h"

namespace lumora::test {
namespace {

TEST(ShopPricing, OriginalPricesCountTheLowestPriceTimesThePlanLength) {
  const std::vector<tarnel::PaymentPlansPackages> packages{{1, "month"}, {12, "year"}, {3, "quarter"}};
  struct Case {
    const char* name;
    std::vector<StoreProduct> products;
    std::vector<double> original;
  };
  const std::vector<Case> cases{
      {"plans of the products",
       {{"year", "Y", "40", "$", ""}, {"quarter", "Q", "12", "$", ""}, {"month", "M", "5", "$", ""}},
       {60, 15, 5}},
      {"a product without a plan costs the lowest price originally",
       {{"year", "Y", "40", "$", ""}, {"other", "O", "7.5", "$", ""}},
       {90, 7.5}},
      {"a free product first does not hold the lowest price at 0",
       {{"free", "F", "0", "$", ""}, {"month", "M", "5", "$", ""}, {"quarter", "Q", "12", "$", ""}},
       {5, 5, 15}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto details = productDetails(c.products, packages);
    ASSERT_EQ(details.size(), c.original.size());
    for (std::size_t i = 0; i < details.size(); ++i) EXPECT_DOUBLE_EQ(details[i].originalPrice, c.original[i]);
  }
}

TEST(ShopPricing, CurrencyFallsBackToTheCodeThenTheDollar) {
  const auto details = productDetails(
      {{"a", "A", "1.5", "€", "EUR"}, {"b", "B", "2", "", "CHF"}, {"c", "C", "3", "", ""}, {"d", "D", "junk", "", ""}}, {});
  ASSERT_EQ(details.size(), 4u);
  EXPECT_EQ(details[0].price, "€1.5");
  EXPECT_EQ(details[1].price, "CHF2");
  EXPECT_EQ(details[2].price, "$3");
  EXPECT_DOUBLE_EQ(details[2].rawPrice, 3);
  EXPECT_DOUBLE_EQ(details[3].rawPrice, 0);
}

TEST(ShopPricing, CardTextsShowTwoDecimalsAndTheDiscountOnlyWhenThereIsOne) {
  StoreWorld world;
  world.fakes.shop->script.answer<std::optional<tarnel::PaymentPlans>>(
      "paymentPlans", tarnel::PaymentPlans{{{1, "month"}, {12, "year"}}});
  world.store->shelve({{"month", "One month", "5", "$", "USD"}, {"year", "One year", "39", "$", "USD"}});
  for (const char* language : {"en", "zh-Hans"}) {
    SCOPED_TRACE(language);
    world.ui.state->setCurrentLanguage(QString::fromLatin1(language));
    StoreManager manager(world.context, nullptr);
    manager.appear();
    ASSERT_TRUE(waitFor([&] { return manager.products().size() == 2; }));
    const auto cards = manager.productList();
    const auto year = cards[0].toMap();
    const auto month = cards[1].toMap();
    EXPECT_EQ(year["price"], "39.00");
    EXPECT_EQ(year["originalPrice"], "60.00");
    EXPECT_EQ(year["saving"], "21.00");
    EXPECT_TRUE(year["discounted"].toBool());
    EXPECT_EQ(year["discount"], QString::fromLatin1(std::string(language) == "en" ? "35%" : "6.5"));
    EXPECT_EQ(month["price"], "5.00");
    EXPECT_FALSE(month["discounted"].toBool());
  }
}

}  // namespace
}  // namespace lumora::test
