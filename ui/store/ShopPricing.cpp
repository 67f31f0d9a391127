#include "ui/store/ShopPricing.h"

#include <algorithm>
#include <charconv>

namespace lumora {

double storePrice(const std::string& price) {
  double value = 0;
  const auto [end, error] = std::from_chars(price.data(), price.data() + price.size(), value);
  (void)end;
  return error == std::errc() ? value : 0;
}

std::vector<StoreProduct> sortByPriceDescending(std::vector<StoreProduct> products) {
  std::stable_sort(products.begin(), products.end(), [](const StoreProduct& a, const StoreProduct& b) {
    return storePrice(a.price) > storePrice(b.price);
  });
  return products;
}

std::vector<tarnel::ProductDetails> productDetails(const std::vector<StoreProduct>& products,
                                                   const std::vector<tarnel::PaymentPlansPackages>& packages) {
  // A running minimum that starts at 0: a free product does not hold the minimum at 0 once
  // another product follows it.
  double reference = 0;
  for (const auto& product : products) {
    const double price = storePrice(product.price);
    reference = reference == 0 ? price : std::min(reference, price);
  }
  std::vector<tarnel::ProductDetails> details;
  details.reserve(products.size());
  for (const auto& product : products) {
    tarnel::ProductDetails item;
    item.currencySymbol = !product.currencySymbol.empty() ? product.currencySymbol
                          : !product.currencyCode.empty() ? product.currencyCode
                                                          : std::string("$");
    item.id = product.productIdentifier;
    item.title = product.localizedTitle;
    item.price = item.currencySymbol + product.price;
    item.rawPrice = storePrice(product.price);
    const auto plan = std::find_if(packages.begin(), packages.end(), [&](const tarnel::PaymentPlansPackages& p) {
      return p.apple_id == product.productIdentifier;
    });
    item.originalPrice = plan == packages.end() ? reference : reference * static_cast<double>(plan->time);
    details.push_back(std::move(item));
  }
  return details;
}

}  // namespace lumora
