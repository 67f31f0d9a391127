#pragma once

// Plans, purchases and coupons. Blocking, safe on any thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "services/model/CouponModels.h"
#include "services/model/PaymentModels.h"
#include "ui/base/services/ServiceTypes.h"

namespace lumora {

class ShopService {
 public:
  virtual ~ShopService() = default;

  // The plans for sale; none on any failure.
  virtual std::optional<tarnel::PaymentPlans> paymentPlans() = 0;
  // Has the service credit a store purchase; false keeps it among the pending receipts.
  virtual bool completePurchase(const std::string& productId, const std::string& transactionId,
                                const std::string& receipt) = 0;
  // The user's time cards and coupons; both lists empty on any failure.
  virtual tarnel::Coupon coupons() = 0;
  // Redeems time card `id`.
  virtual ServiceError useCard(std::int64_t id) = 0;
  // Sends the kept receipts again; those credited leave the list. How many are still kept.
  virtual std::size_t resendPendingReceipts() = 0;
};

}  // namespace lumora
