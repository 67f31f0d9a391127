// Account operations: registration, verification, passwords, removal, device sign-out, the
// invitation code and the official site's token. The sign-in itself lives with the pipeline.
#include <memory>
#include <optional>
#include <string>

#include "services/api/APIManager.h"
#include "services/api/APIRequest.h"
#include "services/api/EndpointOutcomes.h"
#include "services/api/EndpointSupport.h"
#include "services/common/Global.h"
#include "services/common/JsonHelper.h"
#include "services/model/LoginModels.h"
#include "services/model/UserModels.h"

namespace tarnel {
namespace {

// "lite/users/<current user>": registration, verification and the invitation code share it and
// are told apart by their body keys.
std::string currentLiteUserPath() { return "lite/users/" + Global::userId(); }

}  // namespace

std::shared_ptr<APIErrorInfo> APIManager::logout(const std::string& userId, const std::string& deviceId) {
  // The body always describes the device that runs the program, whichever device is signed out.
  const Json body{{"device", api_detail::deviceParameters()}};
  APIRequest request;
  const auto result =
      request.perform<std::optional<Login>>("users/" + userId + "/device/" + deviceId, HttpMethod::POST, body);
  return result.error();
}

std::shared_ptr<APIErrorInfo> APIManager::registerAccount(const std::string& email, const std::string& password,
                                                          const std::string& code, bool moreDevices) {
  const Json body{{"device", api_detail::deviceParameters()},
                  {"email", email},
                  {"passwd", api_detail::passwordDigest(password)},
                  {"code", code},
                  {"more_devices", moreDevices}};
  APIRequest request;
  const auto result = request.perform<std::optional<Register>>(currentLiteUserPath(), HttpMethod::PUT, body);
  if (!result.isSuccess()) return result.error();
  if (!result.value()) return nullptr;
  const Register& registered = *result.value();
  // Two assignments, as observers of the login expect: the message first, then the account.
  Global::modifyLoginInfo([&](Login& login) { login.message = registered.message; });
  Global::modifyLoginInfo([&](Login& login) { login.user = registered.user; });
  return nullptr;
}

std::shared_ptr<APIErrorInfo> APIManager::verify(const std::string& code) {
  const Json body{{"device", api_detail::deviceParameters()},
                  {"email", Global::loginInfo().user.email},
                  {"vcode", code}};
  APIRequest request;
  return api_detail::flagOutcome(request.perform<bool>(currentLiteUserPath(), HttpMethod::PUT, body));
}

std::shared_ptr<APIErrorInfo> APIManager::getVerificationCode(const std::string& email, bool isForget) {
  const Json query{{"forget", isForget ? "1" : "0"}, {"email", email}};
  APIRequest request;
  return api_detail::answerOutcome(
      request.perform<std::shared_ptr<HttpResponse>>("vcode/email", HttpMethod::GET, std::nullopt, query));
}

std::shared_ptr<APIErrorInfo> APIManager::forgetPassword(const std::string& email, const std::string& password,
                                                         const std::string& code) {
  const Json body{{"email", email}, {"passwd", api_detail::passwordDigest(password)}, {"vcode", code}};
  APIRequest request;
  return request.perform<std::optional<HttpResponse>>("password/forget", HttpMethod::POST, body).error();
}

std::shared_ptr<APIErrorInfo> APIManager::changePassword(const std::string& oldPassword,
                                                         const std::string& newPassword) {
  const Json body{{"email", Global::loginInfo().user.email},
                  {"old_passwd", api_detail::passwordDigest(oldPassword)},
                  {"passwd", api_detail::passwordDigest(newPassword)}};
  APIRequest request;
  return api_detail::flagOutcome(request.perform<bool>("password/change", HttpMethod::POST, body));
}

std::shared_ptr<APIErrorInfo> APIManager::bindInvitationCode(const std::string& code) {
  const Json body{{"device", api_detail::deviceParameters()}, {"code", code}};
  APIRequest request;
  return api_detail::flagOutcome(request.perform<bool>(currentLiteUserPath(), HttpMethod::PUT, body));
}

std::shared_ptr<APIErrorInfo> APIManager::delUser(const std::string& password) {
  const Json body{{"passwd", api_detail::passwordDigest(password)}, {"device", api_detail::deviceParameters()}};
  APIRequest request;
  return api_detail::flagOutcome(request.perform<bool>("users/" + Global::userId(), HttpMethod::DELETE, body));
}

std::string APIManager::getOfficialToken() {
  // A guest has no page of its own on the official site.
  if (Global::loginInfo().user.email_status == 0) return {};

  APIRequest request;
  const auto result = request.perform<std::shared_ptr<HttpResponse>>(currentLiteUserPath() + "/official-token",
                                                                     HttpMethod::GET);
  if (!result.isSuccess() || !result.value() || !*result.value()) return {};
  // The body deciphered when it deciphers, else as received; none when it is not UTF-8.
  const std::optional<std::string> text = (*result.value())->value();
  if (!text) return {};
  const std::optional<Json> parsed = jsonDecode(*text);
  if (!parsed || !parsed->is_object()) return {};
  // Only an object whose every value is a text counts.
  for (const auto& [key, value] : parsed->items()) {
    if (!value.is_string()) return {};
  }
  const auto token = parsed->find("token");
  return token == parsed->end() ? std::string() : token->get<std::string>();
}

}  // namespace tarnel
