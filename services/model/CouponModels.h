#pragma once

// The user's coupons: time cards, which add membership time, and rolls (vouchers and discount
// coupons), which lower a plan's price. Every text the display properties return is a
// localisation key, looked up by the screens.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

// What both coupon kinds share: an identifier and an expiry in milliseconds since 1970
// (0: never expires).
struct CouponBase {
  std::int64_t id = 0;
  std::int64_t expired = 0;

  // "N/A" without an expiry, otherwise the expiry second as "yyyy-MM-dd HH:mm" in the user's
  // time zone.
  std::string expiredString() const;
  // Expired once the server-adjusted clock (milliseconds) has passed a set expiry.
  bool isExpired(std::int64_t nowMilliseconds) const { return expired >= 1 && expired < nowMilliseconds; }
  // The same against Global's clock (defined beside Global, which sits above the models).
  bool isExpired() const;
};

struct CouponCard : CouponBase {
  CouponCard() = default;
  CouponCard(std::int64_t id, std::int64_t expired, double num, std::int64_t type, std::int64_t unit)
      : CouponBase{id, expired}, num(num), type(type), unit(unit) {}

  double num = 0;         // time granted, counted in `unit`
  std::int64_t type = 0;  // 1 VIP time, otherwise normal time
  std::int64_t unit = 0;  // 1 hour, 2 day, 3 month, 4 year, otherwise minute

  std::string_view typeName() const;
  std::string_view unitName() const;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id, json::WholeNumber{});
    v("expired", self.expired, json::WholeNumber{});
    v("num", self.num);
    v("type", self.type, json::WholeNumber{});
    v("unit", self.unit, json::WholeNumber{});
  }
};

struct CouponRoll : CouponBase {
  CouponRoll() = default;
  CouponRoll(std::int64_t id, std::int64_t expired, std::int64_t package, double price, std::int64_t type)
      : CouponBase{id, expired}, package(package), price(price), type(type) {}

  std::int64_t package = 0;  // 1 day, 2 month, 3 season, 4 half a year, 5 year, otherwise any plan
  double price = 0;          // voucher: US dollars; discount coupon: share of the price still paid
  std::int64_t type = 0;     // 1 voucher, otherwise discount coupon

  std::string_view packageName() const;
  std::string_view name() const;
  // Voucher: the whole dollars; discount coupon: tenths of the price in Chinese ("8.0"),
  // otherwise the percentage taken off ("20%").
  std::string discount(std::string_view language) const;
  // The same in the application language, read at each call (defined beside Global).
  std::string discount() const;
  std::string_view unit() const;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id, json::WholeNumber{});
    v("expired", self.expired, json::WholeNumber{});
    v("package", self.package, json::WholeNumber{});
    v("price", self.price);
    v("type", self.type, json::WholeNumber{});
  }
};

// Answer of the coupon list; the empty value is what the screens show before (or instead of) one.
struct Coupon {
  Coupon() = default;
  Coupon(std::vector<CouponCard> cards, std::vector<CouponRoll> rolls)
      : cards(std::move(cards)), rolls(std::move(rolls)) {}

  std::vector<CouponCard> cards;
  std::vector<CouponRoll> rolls;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("cards", self.cards);
    v("rolls", self.rolls);
  }
};

}  // namespace tarnel
