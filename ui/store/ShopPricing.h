#pragma once

// The shop's product values: the store's products in display order and, for each, the card's
// prices against the service's plans.

#include <string>
#include <vector>

#include "services/model/PaymentModels.h"
#include "services/model/ProductModels.h"
#include "ui/store/StoreBackend.h"

namespace lumora {

// The store's decimal price as a double (a malformed price counts as 0).
double storePrice(const std::string& price);

// Highest price first; equal prices keep the store's order.
std::vector<StoreProduct> sortByPriceDescending(std::vector<StoreProduct> products);

// The card value of every product, in the given order. A product's original price is the lowest
// price among the products times the length of its plan (the lowest price itself without a
// plan), so the card's discount is the saving against buying the shortest plan repeatedly.
std::vector<tarnel::ProductDetails> productDetails(const std::vector<StoreProduct>& products,
                                                   const std::vector<tarnel::PaymentPlansPackages>& packages);

}  // namespace lumora
