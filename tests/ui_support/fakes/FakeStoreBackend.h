#pragma once

// A store that sells what the test puts on its shelf. Payments and reports go into an in-memory
// queue that keeps every unfinished transaction; observers hear each update and, when they
// register, the transactions still in the queue (as the platform stores do). Product requests
// answer on a thread of their own. Thread-safe.
//
//   auto store = std::make_shared<lumora::FakeStoreBackend>();
//   store->shelve({{"plan.year", "One year", "39.99", "$", "USD"}});
//   store->report({store->transaction("plan.year", lumora::TransactionState::purchased)});

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "ui/store/StoreBackend.h"

namespace lumora {

class FakeStoreBackend final : public StoreBackend {
 public:
  ~FakeStoreBackend() override {
    std::vector<std::thread> answering;
    {
      std::lock_guard lock(mutex_);
      answering.swap(answering_);
    }
    for (auto& thread : answering) thread.join();
  }

  // --- What the test sets ---
  void setCanMakePayments(bool can) { canPay_ = can; }
  void shelve(std::vector<StoreProduct> products) {
    std::lock_guard lock(mutex_);
    shelf_ = std::move(products);
  }
  // Product requests fail (answer none) while set.
  void failRequests(bool fail) { failRequests_ = fail; }
  // While set, product requests wait to be answered by answerHeld(), oldest first.
  void holdAnswers(bool hold) { hold_ = hold; }
  // Answers the oldest held request (on a thread of its own); false when none is held.
  bool answerHeld() {
    std::lock_guard lock(mutex_);
    if (held_.empty()) return false;
    auto answer = std::move(held_.front());
    held_.erase(held_.begin());
    answering_.emplace_back(std::move(answer));
    return true;
  }
  // The state a new payment reports (purchased unless set).
  void setPaymentOutcome(TransactionState state) { outcome_ = state; }
  void setReceipt(std::optional<std::filesystem::path> location) {
    std::lock_guard lock(mutex_);
    receipt_ = std::move(location);
  }
  StoreTransaction transaction(const std::string& product, TransactionState state,
                               std::optional<StoreError> error = std::nullopt) {
    StoreTransaction made;
    made.queueId = "q" + std::to_string(++nextId_);
    made.productIdentifier = product;
    made.transactionIdentifier = "t" + std::to_string(nextId_);
    made.state = state;
    made.error = std::move(error);
    return made;
  }
  // Puts the transactions into the queue (replacing those of the same handle) and tells every
  // observer, on the calling thread.
  void report(const std::vector<StoreTransaction>& transactions) {
    std::map<std::uint64_t, TransactionsUpdate> observers;
    {
      std::lock_guard lock(mutex_);
      for (const auto& transaction : transactions) {
        std::erase_if(queue_, [&](const StoreTransaction& t) { return t.queueId == transaction.queueId; });
        queue_.push_back(transaction);
      }
      observers = observers_;
    }
    for (auto& [id, update] : observers) update(transactions);
  }

  // --- What the test reads ---
  std::vector<std::string> finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
  }
  std::vector<StoreTransaction> queue() const {
    std::lock_guard lock(mutex_);
    return queue_;
  }
  std::size_t observerCount() const {
    std::lock_guard lock(mutex_);
    return observers_.size();
  }
  std::vector<std::set<std::string>> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::vector<std::string> payments() const {
    std::lock_guard lock(mutex_);
    return payments_;
  }

  // --- The store ---
  bool canMakePayments() override { return canPay_; }
  void requestProducts(const std::set<std::string>& identifiers, ProductsAnswer answer) override {
    std::optional<std::vector<StoreProduct>> found;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(identifiers);
      if (!failRequests_) {
        found.emplace();
        for (const auto& product : shelf_)
          if (identifiers.count(product.productIdentifier)) found->push_back(product);
      }
    }
    auto reply = [answer = std::move(answer), found = std::move(found)] { answer(found); };
    std::lock_guard lock(mutex_);
    if (hold_) {
      held_.push_back(std::move(reply));
      return;
    }
    answering_.emplace_back(std::move(reply));
  }
  void addPayment(const StoreProduct& product) override {
    {
      std::lock_guard lock(mutex_);
      payments_.push_back(product.productIdentifier);
    }
    report({transaction(product.productIdentifier, outcome_)});
  }
  std::uint64_t addObserver(TransactionsUpdate update) override {
    std::vector<StoreTransaction> waiting;
    std::uint64_t id = 0;
    {
      std::lock_guard lock(mutex_);
      id = ++nextObserver_;
      observers_.emplace(id, update);
      waiting = queue_;
    }
    if (!waiting.empty()) update(waiting);
    return id;
  }
  void removeObserver(std::uint64_t observer) override {
    std::lock_guard lock(mutex_);
    observers_.erase(observer);
  }
  void finishTransaction(const std::string& queueId) override {
    std::lock_guard lock(mutex_);
    finished_.push_back(queueId);
    std::erase_if(queue_, [&](const StoreTransaction& t) { return t.queueId == queueId; });
  }
  std::optional<std::filesystem::path> receiptLocation() override {
    std::lock_guard lock(mutex_);
    return receipt_;
  }

 private:
  mutable std::mutex mutex_;
  std::atomic<bool> canPay_{true};
  std::atomic<bool> failRequests_{false};
  std::atomic<bool> hold_{false};
  std::atomic<TransactionState> outcome_{TransactionState::purchased};
  std::atomic<int> nextId_{0};
  std::uint64_t nextObserver_ = 0;
  std::vector<StoreProduct> shelf_;
  std::optional<std::filesystem::path> receipt_;
  std::map<std::uint64_t, TransactionsUpdate> observers_;
  std::vector<StoreTransaction> queue_;
  std::vector<std::string> finished_;
  std::vector<std::set<std::string>> requests_;
  std::vector<std::string> payments_;
  std::vector<std::thread> answering_;
  std::vector<std::function<void()>> held_;
};

}  // namespace lumora
