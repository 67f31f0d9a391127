#pragma once

// The app store as the purchase manager sees it: which products are on sale, the payment queue
// and its transaction updates, and the receipt of this installation. Desktop Linux has no app
// store purchase API, so no backend ships; the tests drive the manager through a backend of
// their own. Every operation is safe on any thread; answers and updates may come on any thread.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace lumora {

struct StoreProduct {
  std::string productIdentifier;
  std::string localizedTitle;
  std::string price;           // the decimal number as the store writes it, "19.99"
  std::string currencySymbol;  // of the price's locale; empty when it has none
  std::string currencyCode;    // empty when unknown
};

enum class TransactionState { purchasing = 0, purchased = 1, failed = 2, restored = 3, deferred = 4 };

struct StoreError {
  int code = 0;
  std::string description;
};

// The error code of a payment the user cancelled.
inline constexpr int kPaymentCancelled = 2;

struct StoreTransaction {
  std::string queueId;  // the queue's own handle, what finishing takes
  std::string productIdentifier;
  std::optional<std::string> transactionIdentifier;
  TransactionState state = TransactionState::purchasing;
  std::optional<StoreError> error;
};

class StoreBackend {
 public:
  using ProductsAnswer = std::function<void(std::optional<std::vector<StoreProduct>>)>;
  using TransactionsUpdate = std::function<void(const std::vector<StoreTransaction>&)>;

  virtual ~StoreBackend() = default;

  // Whether this user may pay in the store.
  virtual bool canMakePayments() = 0;
  // Answers once: the products found (unknown identifiers are simply missing), or none when
  // the request failed.
  virtual void requestProducts(const std::set<std::string>& identifiers, ProductsAnswer answer) = 0;
  virtual void addPayment(const StoreProduct& product) = 0;
  // An observer hears every update of the queue, and at once the transactions still in it.
  virtual std::uint64_t addObserver(TransactionsUpdate update) = 0;
  virtual void removeObserver(std::uint64_t observer) = 0;
  // Removes a transaction from the queue for good.
  virtual void finishTransaction(const std::string& queueId) = 0;
  // Where this installation's receipt is; none when the store gives no location.
  virtual std::optional<std::filesystem::path> receiptLocation() = 0;
};

}  // namespace lumora
