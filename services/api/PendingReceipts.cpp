#include "services/api/PendingReceipts.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/AtomicFile.h"
#include "platform/XdgPaths.h"
#include "services/common/Logger.h"
#include "services/encryption/Encryptor.h"

namespace tarnel {
namespace {

bool samePurchase(const PurchaseReceipt& a, const PurchaseReceipt& b) { return a.receipt_id == b.receipt_id; }

}  // namespace

PendingReceipts::PendingReceipts(std::filesystem::path file) : file_(std::move(file)) {}

PendingReceipts& PendingReceipts::shared() {
  // Never destroyed: purchases may be completed on threads that end after main().
  static PendingReceipts* instance = new PendingReceipts(defaultFile());
  return *instance;
}

std::filesystem::path PendingReceipts::defaultFile() { return platform::appDataDir() / "pending-receipts"; }

std::optional<std::vector<PurchaseReceipt>> PendingReceipts::read() const {
  if (!platform::stampOf(file_).exists) return std::vector<PurchaseReceipt>{};
  const auto content = platform::readWholeFile(file_);
  if (!content) return std::nullopt;
  const auto text = sharedEncryptor().decrypt(content->bytes);
  if (!text) {
    Logger::log(LogLevel::error, "pending receipts do not decipher:", file_.string());
    return std::nullopt;
  }
  return fromJson<std::vector<PurchaseReceipt>>(*text);
}

std::vector<PurchaseReceipt> PendingReceipts::all() const {
  std::lock_guard lock(mutex_);
  return read().value_or(std::vector<PurchaseReceipt>{});
}

template <class Change>
bool PendingReceipts::modify(Change&& change) {
  std::lock_guard lock(mutex_);
  if (!platform::ensureDirectory(file_.parent_path())) return false;
  const platform::FileLock interProcess(std::filesystem::path(file_.string() + ".lock"));
  if (!interProcess.locked()) return false;
  std::optional<std::vector<PurchaseReceipt>> kept = read();
  if (!kept) {
    // Set aside rather than written over: whatever it holds is not ours to throw away, and
    // neither is an earlier set-aside copy.
    const auto setAside = platform::setFileAside(file_, "unreadable");
    if (!setAside) return false;
    Logger::log(LogLevel::error, "pending receipts unreadable, set aside as", setAside->string());
    kept.emplace();
  }
  std::vector<PurchaseReceipt>& receipts = *kept;
  if (!change(receipts)) return true;
  const auto text = toJson(receipts);
  const auto cipher = text ? sharedEncryptor().encrypt(*text) : std::nullopt;
  if (!cipher || !platform::replaceFileAtomically(file_, *cipher, 0600)) {
    Logger::log(LogLevel::error, "pending receipts not written:", file_.string());
    return false;
  }
  return true;
}

bool PendingReceipts::keep(const PurchaseReceipt& receipt) {
  return modify([&receipt](std::vector<PurchaseReceipt>& receipts) {
    const auto it = std::find_if(receipts.begin(), receipts.end(),
                                 [&](const PurchaseReceipt& kept) { return samePurchase(kept, receipt); });
    if (it == receipts.end()) {
      receipts.push_back(receipt);
    } else if (*it == receipt) {
      return false;
    } else {
      *it = receipt;
    }
    return true;
  });
}

bool PendingReceipts::remove(const PurchaseReceipt& receipt) {
  return modify([&receipt](std::vector<PurchaseReceipt>& receipts) {
    const auto before = receipts.size();
    std::erase_if(receipts, [&](const PurchaseReceipt& kept) { return samePurchase(kept, receipt); });
    return receipts.size() != before;
  });
}

}  // namespace tarnel
