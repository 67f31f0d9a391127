// The models' conveniences that read the process-wide state. The models sit below Global, so
// what needs Global's clock or language is defined here, beside it.
#include "services/common/Global.h"
#include "services/model/CouponModels.h"
#include "services/model/ProductModels.h"

namespace tarnel {

bool CouponBase::isExpired() const { return isExpired(Global::currentTimeMillisecondsSinceEpoch()); }

std::string CouponRoll::discount() const { return discount(Global::language()); }

std::string ProductDetails::discount() const { return discount(Global::language()); }

}  // namespace tarnel
