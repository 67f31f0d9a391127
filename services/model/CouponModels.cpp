#include "services/model/CouponModels.h"

#include "services/model/ProductModels.h"
#include "services/model/TextFormat.h"

namespace tarnel {

std::string CouponBase::expiredString() const {
  if (expired == 0) return "N/A";
  // Whole seconds first (toward zero), as the expiry is shown to the minute.
  return Date::format(expired / 1000, "yyyy-MM-dd HH:mm");
}

std::string_view CouponCard::typeName() const { return type == 1 ? "VIP Time" : "Normal Time"; }

std::string_view CouponCard::unitName() const {
  switch (unit) {
    case 1:
      return "hour";
    case 2:
      return "day";
    case 3:
      return "month";
    case 4:
      return "year";
    default:
      return "minute";
  }
}

std::string_view CouponRoll::packageName() const {
  switch (package) {
    case 1:
      return "day";
    case 2:
      return "month";
    case 3:
      return "season";
    case 4:
      return "half_a_year";
    case 5:
      return "year";
    default:
      return "universal";
  }
}

std::string_view CouponRoll::name() const { return type == 1 ? "Voucher" : "discount coupon"; }

std::string_view CouponRoll::unit() const { return type == 1 ? "USD" : "discount"; }

std::string CouponRoll::discount(std::string_view language) const {
  if (type == 1) return formatFixed(price, 0);
  if (isChineseLanguage(language)) return formatFixed(price * 10, 1);
  return formatFixed(100 - price * 100, 0) + "%";
}

}  // namespace tarnel
