#pragma once

#include <QObject>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <variant>
#include <vector>

#include "services/model/CouponModels.h"
#include "ui/store/StoreContext.h"

namespace lumora {

// One row of the coupon page: a time card or a coupon.
using CouponEntry = std::variant<tarnel::CouponCard, tarnel::CouponRoll>;

// The rows in page order: the unexpired entries (expired means strictly before `nowMs`) with an
// expiry first, soonest first, a time card before a coupon of the same expiry; then those that
// never expire in the order received (time cards, then coupons).
std::vector<CouponEntry> shownCoupons(const tarnel::Coupon& coupons, std::int64_t nowMs);

// The coupon page's state: the user's time cards and coupons, the redemption of a time card and
// the payment entry of a coupon. GUI thread only; the service calls run on workers.
class CouponsModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QVariantList entries READ entryList NOTIFY couponsChanged)
  // Whether the last answer held anything at all, expired entries included.
  Q_PROPERTY(bool hasCoupons READ hasCoupons NOTIFY couponsChanged)

 public:
  explicit CouponsModel(QObject* parent = nullptr);
  CouponsModel(StoreContext context, QObject* parent);

  const tarnel::Coupon& coupons() const { return coupons_; }
  std::vector<CouponEntry> shown() const { return shownCoupons(coupons_, nowMs_); }
  QVariantList entryList() const;
  bool hasCoupons() const { return !coupons_.cards.empty() || !coupons_.rolls.empty(); }

  // Each showing of the page.
  Q_INVOKABLE void load();
  // The use control of time card `id`: asks first, then redeems it.
  Q_INVOKABLE void redeem(qint64 id);
  // The use control of a coupon: the payment entry.
  Q_INVOKABLE void useCoupon();

 signals:
  void couponsChanged();

 private:
  void useCard(std::int64_t id);
  // Sets the timer for the moment the next listed entry expires (none: stopped).
  void watchExpiry();

  StoreContext context_;
  tarnel::Coupon coupons_;
  std::int64_t nowMs_ = 0;
  std::int64_t clockOffsetMs_ = 0;  // the service's corrected time less this machine's clock
  QTimer expiry_;
};

}  // namespace lumora
