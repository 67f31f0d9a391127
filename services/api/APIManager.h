#pragma once

// The operations of the service API. Each one blocks the calling thread for its requests and is
// safe to call from any worker thread; "error or none" results are a null pointer on success.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/api/APIResult.h"
#include "services/model/APIErrorInfo.h"
#include "services/model/NodeModels.h"
#include "services/model/OpenModels.h"
#include "services/model/CouponModels.h"
#include "services/model/DeviceModels.h"
#include "services/model/NoticeModels.h"
#include "services/model/PaymentModels.h"
#include "services/model/RuleModels.h"
#include "services/network/HttpResponse.h"

namespace tarnel {

struct ReportData;

class APIManager {
 public:
  APIManager() = delete;

  // The password every guest sign-in sends, with an empty account.
  static constexpr const char* kGuestPassword = "fjord";

  // Node selection's side of the node-list call: the country and tag it has chosen, and what it
  // does with a fetched list (mark the list updated, then keep it; false when node selection is
  // gone and the list reached nobody). Node selection installs it when it is made; until then
  // the node-list call fails with noNodeListReceiver and sends nothing.
  struct NodeListBinding {
    std::function<std::optional<std::string>()> currentCountry;  // the chosen country's code
    std::function<std::optional<std::int64_t>()> currentTag;     // the chosen tag's id
    std::function<bool(std::vector<Node>)> nodesFetched;
  };
  static void bindNodeList(NodeListBinding binding);

  // Signs in (POST "lite/users") and keeps the sign-in result in Global on success.
  static std::shared_ptr<APIErrorInfo> login(const std::string& email, const std::string& password,
                                             std::int64_t force, const std::string& code);

  // Fetches the node list, leaving out the nodes in `extNodes` (ids joined by ","), and hands it
  // to node selection; noNodeListReceiver when there is none to hand it to. Without a user id it signs in as a guest first and then asks as the guest;
  // when that sign-in leaves no user id it answers 404 with an empty message.
  static std::shared_ptr<APIErrorInfo> getNodes(const std::string& extNodes);

  // Asks the service to open a node for the user (POST "connect/node/<id>/user/<user id>").
  // Without a user id it signs in as a guest instead and answers 404 with an empty message.
  static APIResult<std::optional<Open>> openConnect(const std::string& type, const std::string& nodeId,
                                                    const std::string& gameMode, std::int64_t balance);

  // Probes "https://<host>:<port>/test" with the node's domain as Host, two ports per host taken
  // in turn from `ports` (or, when none or empty, from the last status answer), one request after
  // another until the first answer. Success: {winning host: its port}. Failure: -1 with an empty
  // message when no port or no usable host is known, or 0 with the last error's description and
  // the last request tried.
  static APIResult<std::map<std::string, std::int64_t>> testNodePorts(
      const std::vector<std::string>& hosts, const std::string& domain,
      const std::optional<std::vector<std::int64_t>>& ports);
  // --- Accounts. "Error or none" hands the request's failure on unchanged. Passwords travel only
  // as the upper-case SHA-256 of their bytes. ---

  // Signs device `deviceId` of user `userId` out; the body describes the calling device.
  static std::shared_ptr<APIErrorInfo> logout(const std::string& userId, const std::string& deviceId);
  // Turns the current (guest) account into a registered one; on success the login takes the
  // answer's message, then its user, and keeps everything else.
  static std::shared_ptr<APIErrorInfo> registerAccount(const std::string& email, const std::string& password,
                                                       const std::string& code, bool moreDevices);
  // Confirms the current account's e-mail address with the code sent to it.
  static std::shared_ptr<APIErrorInfo> verify(const std::string& code);
  // Has a code mailed to `email`, for a password reset when `isForget`.
  static std::shared_ptr<APIErrorInfo> getVerificationCode(const std::string& email, bool isForget);
  static std::shared_ptr<APIErrorInfo> forgetPassword(const std::string& email, const std::string& password,
                                                      const std::string& code);
  static std::shared_ptr<APIErrorInfo> changePassword(const std::string& oldPassword, const std::string& newPassword);
  static std::shared_ptr<APIErrorInfo> bindInvitationCode(const std::string& code);
  static std::shared_ptr<APIErrorInfo> delUser(const std::string& password);
  // The token the official site takes with the user id; empty for a guest and on any failure.
  static std::string getOfficialToken();

  // --- Status and devices ---

  // The status check. Without a user id it signs in as a guest and returns that result. Otherwise
  // it keeps the status, fetches the account parts whose version changed (update), the domain
  // lists when their version changed or none are held, and the promotion link, then applies the
  // status to the login. Failures of those follow-ups are not reported.
  static std::shared_ptr<APIErrorInfo> live();
  // Fetches the account parts of `fetch` (FetchPart bits) and merges them into the login and
  // the proxy rules. Without a user id it signs in as a guest and returns that result.
  static std::shared_ptr<APIErrorInfo> update(std::int64_t fetch);
  // The account's devices; empty on any failure.
  static std::vector<Devices> getDevices();
  // The same list, none on any failure (so a failure is not mistaken for an empty account).
  static std::optional<std::vector<Devices>> fetchDevices();
  // Gives device `deviceId` the description `name`.
  static bool updateDeviceName(const std::string& name, const std::string& deviceId);
  // What raising the allowance to `deviceCountTarget` devices costs; none on any failure.
  static std::optional<UpgradeInfo> previewUpgrade(std::int64_t deviceCountTarget);
  static bool upgradeDevices(std::int64_t deviceCountTarget);

  // --- Nodes ---

  // Opens node `nodeId` with protocol `protocol` (a wire code) and hands back the answer as
  // received. Without a user id it signs in as a guest instead and fails with 404, empty message.
  static APIResult<std::shared_ptr<HttpResponse>> openNode(const std::string& protocol, const std::string& nodeId);
  // Releases node `nodeId` on the server; the outcome is not reported.
  static void connectNode(const std::string& protocol, const std::string& nodeId);
  // The classic node list; empty on any failure.
  static std::vector<Node> getClassicNodes();
  // Uptimes of the classic nodes of `country`; none on any failure.
  static std::optional<NodeUpTime> getClassicUptime(const std::string& country);
  // Probes "https://<host>:<port>/test" with `domain` as Host, every port of the first host, then
  // of the next, one at a time, until one answers 200 (the last element then). `ports` empty: the
  // last status answer's. One answer per attempt; a failed one carries the error's code and text.
  static std::vector<std::shared_ptr<HttpResponse>> testAllPort(const std::vector<std::string>& hosts,
                                                                const std::string& domain,
                                                                const std::vector<std::int64_t>& ports);
  // Saves the user's rules on the server; on success a status check follows in the background.
  static bool saveProxyRules(const ProxyRule& rule);
  // Waits for the background work the operations started (the status check after saving rules).
  static void waitForBackgroundTasks();

  // --- Shop, coupons, notices, sharing, links, domains ---

  // Both fetch the routing domain lists into Global; a failure keeps the held ones.
  static void updateDomain();
  static void getDomains();
  static std::optional<Notices> getNotices();
  // One notice's text (HTML or an address); none on failure, also for an error page.
  static std::optional<std::string> getNotice(std::int64_t id);
  static std::optional<PaymentPlans> getPaymentPlans();
  // Has the service credit a store purchase. True only on a 2xx answer; otherwise the receipt
  // stays among the pending receipts (PendingReceipts) until a later upload is accepted.
  static bool completePurchase(const std::string& produceId, const std::string& transactionIdentifier,
                               const std::string& serverVerificationData);
  // Sends every pending receipt again, oldest first; those accepted leave the list. Returns how
  // many are still pending.
  static std::size_t resendPendingReceipts();
  // Keeps the account's invitation code in the login.
  static void getShareInfo();
  static std::shared_ptr<APIErrorInfo> useCard(std::int64_t id);
  // The user's cards and coupons; both lists empty on any failure.
  static Coupon getCoupons();
  // Fetches the link of the last status answer's promotion into Global's status.
  static void getPromoteLink();

  // --- Diagnosis ---

  // Sends the network diagnosis report. Without a user id it signs in as a guest instead and
  // fails with 404, empty message.
  static std::shared_ptr<APIErrorInfo> sendReport(const ReportData& report);

};

}  // namespace tarnel
