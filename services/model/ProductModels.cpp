#include "services/model/ProductModels.h"

#include "services/model/TextFormat.h"

namespace tarnel {

std::string ProductDetails::discount(std::string_view language) const {
  const double remaining = rawPrice / originalPrice;
  if (isChineseLanguage(language)) return formatFixed(remaining * 10, 1);
  return formatFixed((1 - remaining) * 100, 0) + "%";
}

}  // namespace tarnel
