// Display texts derived from models: discounts, coupon names, expiry dates. They must not change
// with the process locale (a German desktop writes decimal commas) and must follow the time zone.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <locale>
#include <stdexcept>
#include <string>

#include "services/common/Global.h"
#include "services/model/CouponModels.h"
#include "services/model/ProductModels.h"
#include "services/model/TextFormat.h"

namespace tarnel {
namespace {

// Each test runs in its own process, so neither the locale nor TZ leaks into another test.
class DisplayText : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const char* name = GetParam();
    if (std::setlocale(LC_ALL, name) == nullptr) GTEST_SKIP() << "locale " << name << " is not installed";
    try {
      std::locale::global(std::locale(name));
    } catch (const std::runtime_error&) {
      GTEST_SKIP() << "C++ locale " << name << " is not available";
    }
    useZone("UTC");
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
  }
  static void useZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
};

INSTANTIATE_TEST_SUITE_P(Locales, DisplayText, testing::Values("C", "de_DE.UTF-8"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param) == "C" ? std::string("C") : std::string("German");
                         });

TEST_P(DisplayText, ProductDiscountByLanguage) {
  struct Case {
    double raw, original;
    const char* chinese;
    const char* other;
  };
  const Case cases[] = {
      {7.0, 10.0, "7.0", "30%"},    {5.0, 5.0, "10.0", "0%"},   {8.99, 12.99, "6.9", "31%"},
      {9.99, 19.99, "5.0", "50%"},  {0.0, 10.0, "0.0", "100%"}, {12.0, 10.0, "12.0", "-20%"},
      {5.0, 0.0, "inf", "-inf%"},   {0.0, 0.0, "nan", "nan%"},
  };
  for (const auto& c : cases) {
    ProductDetails product{"p", "Plan", "$9.99", c.raw, "$", c.original};
    SCOPED_TRACE(std::to_string(c.raw) + " of " + std::to_string(c.original));
    EXPECT_EQ(product.discount("zh-Hans"), c.chinese);
    EXPECT_EQ(product.discount("zh-Hant"), c.chinese);
    for (const char* language : {"en", "", "zh", "zh-HK", "ZH-HANS", "de"}) {
      EXPECT_EQ(product.discount(language), c.other) << language;
    }
  }
}

TEST_P(DisplayText, PricesSurviveTheJsonRoundTrip) {
  const ProductDetails product{"p", "Plan", "€9,99", 9.99, "€", 12.5};
  const auto text = toJson(product);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("9.99"), std::string::npos) << *text;
  EXPECT_EQ(text->find("9,99,"), std::string::npos) << *text;
  const auto back = fromJson<ProductDetails>(*text);
  ASSERT_TRUE(back);
  EXPECT_DOUBLE_EQ(back->rawPrice, 9.99);
  EXPECT_DOUBLE_EQ(back->originalPrice, 12.5);
}

TEST_P(DisplayText, CouponRollTexts) {
  struct Case {
    std::int64_t type;
    double price;
    const char* chinese;
    const char* other;
    const char* name;
    const char* unit;
  };
  const Case cases[] = {
      {1, 5, "5", "5", "Voucher", "USD"},
      {1, 4.5, "4", "4", "Voucher", "USD"},  // printf rounds halves to even
      {1, 9.99, "10", "10", "Voucher", "USD"},
      {2, 0.85, "8.5", "15%", "discount coupon", "discount"},
      {2, 1, "10.0", "0%", "discount coupon", "discount"},
      {0, 0.8, "8.0", "20%", "discount coupon", "discount"},
      {-1, 0.35, "3.5", "65%", "discount coupon", "discount"},
  };
  for (const auto& c : cases) {
    const CouponRoll roll(1, 0, 2, c.price, c.type);
    SCOPED_TRACE("type " + std::to_string(c.type) + " price " + std::to_string(c.price));
    EXPECT_EQ(roll.discount("zh-Hans"), c.chinese);
    EXPECT_EQ(roll.discount("zh-Hant"), c.chinese);
    EXPECT_EQ(roll.discount("en"), c.other);
    EXPECT_EQ(roll.discount("fr"), c.other);
    EXPECT_EQ(roll.name(), c.name);
    EXPECT_EQ(roll.unit(), c.unit);
  }
}

TEST_P(DisplayText, CouponCodesFallToTheLastRow) {
  const char* units[] = {"minute", "hour", "day", "month", "year", "minute", "minute", "minute"};
  for (std::int64_t unit = 0; unit < 8; ++unit) {
    EXPECT_EQ(CouponCard(1, 0, 1, 1, unit).unitName(), units[unit]) << unit;
  }
  EXPECT_EQ(CouponCard(1, 0, 1, 1, -3).unitName(), "minute");
  const char* packages[] = {"universal", "day", "month", "season", "half_a_year", "year", "universal"};
  for (std::int64_t package = 0; package < 7; ++package) {
    EXPECT_EQ(CouponRoll(1, 0, package, 1, 2).packageName(), packages[package]) << package;
  }
  EXPECT_EQ(CouponCard(1, 0, 1, 1, 1).typeName(), "VIP Time");
  for (std::int64_t type : {0, 2, -1, 100}) EXPECT_EQ(CouponCard(1, 0, 1, type, 1).typeName(), "Normal Time") << type;
}

TEST_P(DisplayText, CouponExpiryInTheUsersZone) {
  struct Case {
    std::int64_t expired;
    const char* utc;
    const char* shanghai;
  };
  const Case cases[] = {
      {0, "N/A", "N/A"},
      {1, "1970-01-01 00:00", "1970-01-01 08:00"},
      {999, "1970-01-01 00:00", "1970-01-01 08:00"},
      {1999, "1970-01-01 00:00", "1970-01-01 08:00"},  // milliseconds are cut, never rounded up
      {59999, "1970-01-01 00:00", "1970-01-01 08:00"},
      {60000, "1970-01-01 00:01", "1970-01-01 08:01"},
      {-1999, "1969-12-31 23:59", "1970-01-01 07:59"},
      {1700000000000, "2023-11-14 22:13", "2023-11-15 06:13"},
      {4102444799000, "2099-12-31 23:59", "2100-01-01 07:59"},
  };
  for (const auto& c : cases) {
    const CouponCard card(1, c.expired, 1, 1, 1);
    const CouponRoll roll(1, c.expired, 1, 1, 1);
    useZone("UTC");
    EXPECT_EQ(card.expiredString(), c.utc) << c.expired;
    EXPECT_EQ(roll.expiredString(), c.utc) << c.expired;
    // The zone is read again on every call.
    useZone("Asia/Shanghai");
    EXPECT_EQ(card.expiredString(), c.shanghai) << c.expired;
  }
  // The extremes of the field still give a date.
  EXPECT_EQ(CouponCard(1, INT64_MAX, 1, 1, 1).expiredString().substr(0, 10), "292278994-");
  EXPECT_EQ(CouponCard(1, INT64_MIN, 1, 1, 1).expiredString().substr(0, 11), "-292275055-");
}

TEST_P(DisplayText, DateFormatPatterns) {
  using namespace std::chrono;
  // 2023-11-14 22:13:20.250 UTC, a Tuesday.
  const system_clock::time_point date = system_clock::time_point(seconds(1700000000)) + milliseconds(250);
  struct Case {
    const char* pattern;
    const char* utc;
    const char* shanghai;
  };
  const Case cases[] = {
      {"yyyy-MM-dd HH:mm", "2023-11-14 22:13", "2023-11-15 06:13"},
      {"yy/M/d h:mm a", "23/11/14 10:13 PM", "23/11/15 6:13 AM"},
      {"HH:mm:ss.SSS", "22:13:20.250", "06:13:20.250"},
      {"EEE, dd MMM yyyy", "Tue, 14 Nov 2023", "Wed, 15 Nov 2023"},
      {"EEEE MMMM", "Tuesday November", "Wednesday November"},
      {"'at' HH 'o''clock'", "at 22 o'clock", "at 06 o'clock"},
      {"k K D", "22 10 318", "6 6 319"},
      {"Z|ZZZZZ", "+0000|+00:00", "+0800|+08:00"},
      {"yyyy.MM.dd", "2023.11.14", "2023.11.15"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    useZone("UTC");
    EXPECT_EQ(Date::format(date, c.pattern), c.utc) << c.pattern;
    useZone("Asia/Shanghai");
    EXPECT_EQ(Date::format(date, c.pattern), c.shanghai) << c.pattern;
  }
  // The coupon text is the same pattern on the same second.
  useZone("Asia/Shanghai");
  EXPECT_EQ(Date::format(system_clock::time_point(seconds(1700000000)), "yyyy-MM-dd HH:mm"),
            CouponCard(1, 1700000000999, 1, 1, 1).expiredString());
  EXPECT_EQ(Date::format(std::int64_t{1700000000}, "yyyy-MM-dd HH:mm"), "2023-11-15 06:13");
}

TEST(CouponExpiry, ExpiredOnlyAfterASetExpiryHasPassed) {
  struct Case {
    std::int64_t expired, now;
    bool isExpired;
  };
  const Case cases[] = {
      {0, 1700000000000, false}, {-5, 10, false}, {1, 2, true},          {5, 5, false},
      {6, 5, false},             {1, 0, false},   {1700000000000, 1700000000001, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CouponCard(1, c.expired, 1, 1, 1).isExpired(c.now), c.isExpired) << c.expired << " at " << c.now;
    EXPECT_EQ(CouponRoll(1, c.expired, 1, 1, 1).isExpired(c.now), c.isExpired) << c.expired << " at " << c.now;
  }
}

TEST(AppState, DiscountsFollowTheApplicationLanguageAndExpiryTheServerClock) {
  const ProductDetails product{"p", "Plan", "$7", 7.0, "$", 10.0};
  const CouponRoll roll(1, 0, 2, 0.85, 2);
  Global::setLanguage("zh-Hant");
  EXPECT_EQ(product.discount(), "7.0");
  EXPECT_EQ(roll.discount(), "8.5");
  Global::setLanguage("en");
  EXPECT_EQ(product.discount(), "30%");
  EXPECT_EQ(roll.discount(), "15%");

  const std::int64_t hour = 3600 * 1000;
  const std::int64_t now = Global::currentTimeMillisecondsSinceEpoch();
  const CouponCard past(1, now - hour, 1, 1, 1);
  const CouponCard soon(2, now + hour, 1, 1, 1);
  EXPECT_TRUE(past.isExpired());
  EXPECT_FALSE(soon.isExpired());
  // With the server two hours ahead, the card due in an hour has run out.
  Global::setServerTimeOffset(2 * hour);
  EXPECT_TRUE(soon.isExpired());
  EXPECT_FALSE(CouponCard(3, 0, 1, 1, 1).isExpired());
}

TEST(NumberText, FixedNotationIsPrintfInTheCLocale) {
  struct Case {
    double value;
    int decimals;
    const char* text;
  };
  const Case cases[] = {
      {0.5, 0, "0"},     {1.5, 0, "2"},       {2.5, 0, "2"},   {-0.4, 0, "-0"},  {6.92, 1, "6.9"},
      {0.05, 1, "0.1"},  {0.25, 1, "0.2"},    {1e21, 0, "1000000000000000000000"},
      {-1.0 / 0.0, 1, "-inf"}, {1.0 / 0.0, 0, "inf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatFixed(c.value, c.decimals), c.text) << c.value;
  }
  EXPECT_EQ(formatFixed(-std::numeric_limits<double>::quiet_NaN(), 1), "nan");
  EXPECT_EQ(formatFixed(std::numeric_limits<double>::max(), 0).size(), 309u);
}

}  // namespace
}  // namespace tarnel
