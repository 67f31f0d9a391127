#include "services/api/APIManager.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "services/api/APIRequest.h"
#include "services/api/EndpointSupport.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/encryption/StringExtension.h"
#include "services/model/LoginModels.h"

namespace tarnel {
namespace {

struct Binding {
  std::mutex mutex;
  APIManager::NodeListBinding value;
};

Binding& nodeListBinding() {
  static Binding* binding = new Binding;  // read by calls that may run while the process ends
  return *binding;
}

APIManager::NodeListBinding currentBinding() {
  Binding& b = nodeListBinding();
  std::lock_guard lock(b.mutex);
  return b.value;
}

std::shared_ptr<APIErrorInfo> noReceiver() {
  return APIErrorInfo::make(APIErrorCode::noNodeListReceiver, APIErrorText::noNodeListReceiver);
}

}  // namespace

namespace api_detail {

std::string passwordDigest(const std::string& password) {
  std::string digest = sha256(password);
  std::transform(digest.begin(), digest.end(), digest.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return digest;
}

Json deviceParameters() { return Json(DeviceInfo::parameters()); }

bool signedInAsGuestFirst() {
  if (!Global::userId().empty()) return false;
  (void)APIManager::login("", APIManager::kGuestPassword, 0, "");
  return true;
}

std::shared_ptr<APIErrorInfo> noUserError() { return APIErrorInfo::make(APIErrorCode::noUser, ""); }

}  // namespace api_detail

void APIManager::bindNodeList(NodeListBinding binding) {
  Binding& b = nodeListBinding();
  std::lock_guard lock(b.mutex);
  b.value = std::move(binding);
}

std::shared_ptr<APIErrorInfo> APIManager::login(const std::string& email, const std::string& password,
                                                std::int64_t force, const std::string& code) {
  const Json body{{"force", force},
                  {"email", email},
                  {"passwd", api_detail::passwordDigest(password)},
                  {"device", api_detail::deviceParameters()},
                  {"code", code}};
  APIRequest request;
  // The answer is a sign-in result, not an optional one: the JSON text null, an empty body and a
  // body that does not decode all signed nobody in, and fail alike (as the status check does),
  // never as a success that the caller would take for a signed-in account.
  const auto result = request.perform<Login>("lite/users", HttpMethod::POST, body);
  if (!result.isSuccess()) return result.error();
  if (!result.value()) return api_detail::modelError();
  Global::setLoginInfo(*result.value());
  return nullptr;
}

std::shared_ptr<APIErrorInfo> APIManager::getNodes(const std::string& extNodes) {
  const NodeListBinding binding = currentBinding();
  // A list nobody receives would be reported as fetched while node selection never sees it.
  if (!binding.nodesFetched) return noReceiver();

  // Every connection starts from the node list: after its own guest sign-in the call asks once
  // more, as the guest, rather than leaving that to each caller; 404 only when nobody is signed in.
  if (api_detail::signedInAsGuestFirst() && Global::userId().empty()) return api_detail::noUserError();

  const std::optional<std::string> country = binding.currentCountry ? binding.currentCountry() : std::nullopt;
  const std::optional<std::int64_t> tag = binding.currentTag ? binding.currentTag() : std::nullopt;
  const Json body{{"country", country.value_or("")},
                  {"tag", tag ? Json(*tag) : Json("")},
                  {"ext_nodes", extNodes},
                  {"svip", false}};

  APIRequest request;
  const auto result =
      request.perform<std::optional<Nodes>>("lite/users/" + Global::userId() + "/nodes", HttpMethod::POST, body);
  if (!result.isSuccess()) return result.error();
  if (!binding.nodesFetched(result.value() ? result.value()->nodes : std::vector<Node>{})) return noReceiver();
  return nullptr;
}

}  // namespace tarnel
