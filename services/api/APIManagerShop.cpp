// Shop, coupon, notice, share, link and domain operations.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "services/api/APIManager.h"
#include "services/api/APIRequest.h"
#include "services/api/EndpointOutcomes.h"
#include "services/api/EndpointSupport.h"
#include "services/api/PendingReceipts.h"
#include "services/common/Global.h"
#include "services/common/JsonHelper.h"
#include "services/common/Store.h"

namespace tarnel {
namespace {

// Only one pass over the pending receipts at a time, so that no purchase is sent twice at once.
std::mutex& resendMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

void APIManager::updateDomain() {
  APIRequest request;
  const auto result = request.perform<Domains>("app/domains", HttpMethod::GET);
  if (result.isSuccess() && result.value()) Global::setDomains(*result.value());
}

bool api_detail::fetchDomainLists() {
  APIRequest request;
  const auto result = request.perform<std::optional<Domains>>("app/domains", HttpMethod::GET);
  if (!result.isSuccess() || !result.value()) return false;
  Global::setDomains(*result.value());
  return true;
}

void APIManager::getDomains() { (void)api_detail::fetchDomainLists(); }

std::optional<Notices> APIManager::getNotices() {
  APIRequest request;
  const auto result = request.perform<std::optional<Notices>>("notice/list", HttpMethod::GET);
  if (!result.isSuccess()) return std::nullopt;
  return result.value();
}

std::optional<std::string> APIManager::getNotice(std::int64_t id) {
  APIRequest request;
  // Taken as received so that the status can be judged: an error page (400 or more) that is not
  // the service's error object is no notice and must not be shown as one.
  const auto result = request.perform<std::shared_ptr<HttpResponse>>("notice/" + std::to_string(id), HttpMethod::GET);
  if (!result.isSuccess() || !result.value() || !*result.value()) return std::nullopt;
  const std::shared_ptr<HttpResponse>& answer = *result.value();
  if (answer->statusCode >= 400) return std::nullopt;
  return answer->value();
}

std::optional<PaymentPlans> APIManager::getPaymentPlans() {
  APIRequest request;
  const auto result = request.perform<std::optional<PaymentPlans>>("data/payment", HttpMethod::GET);
  if (!result.isSuccess()) return std::nullopt;
  return result.value();
}

bool APIManager::completePurchase(const std::string& produceId, const std::string& transactionIdentifier,
                                  const std::string& serverVerificationData) {
  const PurchaseReceipt receipt{produceId, transactionIdentifier, serverVerificationData};
  const Json body{{"apple_id", receipt.apple_id}, {"receipt_id", receipt.receipt_id}, {"receipt", receipt.receipt}};
  APIRequest request;
  const auto result = request.perform<bool>("data/receipt/apple", HttpMethod::POST, body);
  // Only a 2xx answer credits the purchase; anything else (a 3xx the pipeline lets through, an
  // answer without a status flag) leaves it pending.
  const bool credited = result.isSuccess() && result.value().value_or(false);
  if (credited) {
    PendingReceipts::shared().remove(receipt);
    Store::setValue(StoreKeys::RECEIPT, StoreValue(std::string()));
  } else {
    PendingReceipts::shared().keep(receipt);
    Store::setValue(StoreKeys::RECEIPT, StoreValue(jsonEncode(body)));
  }
  return credited;
}

std::size_t APIManager::resendPendingReceipts() {
  std::lock_guard lock(resendMutex());
  for (const PurchaseReceipt& receipt : PendingReceipts::shared().all()) {
    (void)completePurchase(receipt.apple_id, receipt.receipt_id, receipt.receipt);
  }
  return PendingReceipts::shared().all().size();
}

void APIManager::getShareInfo() {
  APIRequest request;
  const auto result = request.perform<Share>("sharer/" + Global::userId(), HttpMethod::GET);
  if (!result.isSuccess() || !result.value()) return;
  const std::string code = result.value()->code;
  // Written back (and so stored) even when the code is the one already held.
  Global::modifyLoginInfo([&code](Login& login) { login.user.code = code; });
}

std::shared_ptr<APIErrorInfo> APIManager::useCard(std::int64_t id) {
  const Json body{{"user", {{"id", Global::userId()}}}, {"device", api_detail::deviceParameters()}};
  APIRequest request;
  return api_detail::flagOutcome(request.perform<bool>("card/" + std::to_string(id), HttpMethod::PUT, body));
}

Coupon APIManager::getCoupons() {
  APIRequest request;
  const auto result = request.perform<Coupon>("card/list", HttpMethod::GET);
  if (!result.isSuccess() || !result.value()) return Coupon{};
  return *result.value();
}

void APIManager::getPromoteLink() {
  const std::int64_t id = Global::live().link.id;
  APIRequest request;
  const auto result = request.perform<std::optional<PromoteLink>>("data/link/" + std::to_string(id), HttpMethod::GET);
  if (!result.isSuccess() || !result.value()) return;
  const std::string link = result.value()->link;
  // Only the link changes, in place: a status that arrived meanwhile is not undone, and one with
  // another link keeps its own.
  Global::modifyLive([&](Live& live) {
    if (live.link.id == id) live.link.link = link;
  });
}

}  // namespace tarnel
