#pragma once

// Purchases the service has not credited yet. A receipt whose upload failed is money the user has
// paid: it is kept until the service accepts it, one entry per purchase, so that a later failure
// never replaces an earlier one. The list lives in a file of its own in the application's data
// folder (enciphered like the settings' texts), outside the settings domain that "Clear Cache"
// empties.
//
// Safe from any thread and from several processes at once: every change reads the file, changes
// it and writes it back atomically under a lock, so nobody writes back a list that misses someone
// else's entry.

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

// One purchase as the receipt upload sends it.
struct PurchaseReceipt {
  std::string apple_id;    // the store's product identifier
  std::string receipt_id;  // the store's transaction identifier: one purchase, one entry
  std::string receipt;     // the data the service verifies with the store

  bool operator==(const PurchaseReceipt& other) const = default;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("apple_id", self.apple_id);
    v("receipt_id", self.receipt_id);
    v("receipt", self.receipt);
  }
};

class PendingReceipts {
 public:
  explicit PendingReceipts(std::filesystem::path file);
  PendingReceipts(const PendingReceipts&) = delete;
  PendingReceipts& operator=(const PendingReceipts&) = delete;

  // The instance over defaultFile().
  static PendingReceipts& shared();
  // "pending-receipts" in the application's data folder.
  static std::filesystem::path defaultFile();

  // Oldest first. A file that cannot be read or deciphered counts as empty here; the next change
  // sets it aside as "<file>.unreadable" instead of writing over it.
  std::vector<PurchaseReceipt> all() const;
  // Adds the receipt, or replaces the entry of the same purchase (same non-empty `receipt_id`; a
  // receipt without an id is the same purchase only as a whole) in place.
  bool keep(const PurchaseReceipt& receipt);
  // Removes the entry of the same purchase; true also when there was none.
  bool remove(const PurchaseReceipt& receipt);

 private:
  template <class Change>
  bool modify(Change&& change);
  // None when the file is there but cannot be read, deciphered or decoded.
  std::optional<std::vector<PurchaseReceipt>> read() const;

  const std::filesystem::path file_;
  mutable std::mutex mutex_;
};

}  // namespace tarnel
