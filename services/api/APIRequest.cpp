#include "services/api/APIRequest.h"

#include <utility>

#include "services/common/AppInfo.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/common/JsonHelper.h"
#include "services/encryption/APIEncryption.h"
#include "services/encryption/Encryptor.h"
#include "services/encryption/StringExtension.h"
#include "services/log/CloudLog.h"
#include "services/network/DNS.h"
#include "services/network/NetworkRequest.h"
#include "services/network/UrlHost.h"

namespace tarnel {

std::vector<std::string> makeKeyValuePairs(const Json& map) {
  std::vector<std::string> pairs;
  if (!map.is_object()) return pairs;
  for (auto it = map.begin(); it != map.end(); ++it) {
    const Json& value = it.value();
    std::string text;
    if (value.is_string()) {
      text = value.get_ref<const std::string&>();
    } else if (value.is_boolean()) {
      text = value.get<bool>() ? "true" : "false";
    } else if (value.is_number_integer()) {
      text = std::to_string(value.get<std::int64_t>());
    } else if (value.is_number_unsigned()) {
      text = std::to_string(value.get<std::uint64_t>());
    } else {
      text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    }
    pairs.push_back(it.key() + "=" + text);
  }
  return pairs;
}

namespace api_detail {

std::shared_ptr<APIErrorInfo> modelError() {
  return APIErrorInfo::make(APIErrorCode::modelError, APIErrorText::modelError);
}

std::shared_ptr<APIErrorInfo> networkError() {
  return APIErrorInfo::make(APIErrorCode::networkError, APIErrorText::networkError);
}

bool isJsonNull(const std::string& text) {
  const auto parsed = json::parse(text);
  return parsed && parsed->is_null();
}

void restoreRetryBudget() { DNS::shared().restoreRetryBudget(); }

}  // namespace api_detail

namespace {

constexpr const char* kPlatform = "darwin";
constexpr const char* kPublicHeader = "vomel-secret-public";
constexpr const char* kTimespanHeader = "vomel-secret-timespan";
constexpr const char* kSignHeader = "vomel-secret-sign";
// Keys of a request body that hold secrets (password digests, the password-reset code, the node
// credential): never written to the cloud log, wherever they sit in the body.
constexpr const char* kSecretKeys[] = {"passwd", "old_passwd", "vcode", "uid", "uid_rate"};

// Bodies we send are shallow; the bound only keeps a hostile caller from exhausting the stack.
constexpr int kMaxStripDepth = 256;

void stripSecrets(Json& value, int depth) {
  if (depth > kMaxStripDepth) {
    value = nullptr;
    return;
  }
  if (value.is_object()) {
    for (const char* key : kSecretKeys) value.erase(key);
    for (auto& member : value) stripSecrets(member, depth + 1);
  } else if (value.is_array()) {
    for (auto& element : value) stripSecrets(element, depth + 1);
  }
}

std::string joined(const std::vector<std::string>& pieces, const std::string& separator) {
  std::string out;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out += separator;
    out += pieces[i];
  }
  return out;
}

// The body as the failure record shows it: plain JSON, without secrets.
std::string recordedBody(const std::optional<Json>& body) {
  if (!body) return "null";
  Json shown = *body;
  stripSecrets(shown, 0);
  return jsonEncode(shown);
}

// The service writes the Chinese line first and the English one second.
void chooseMessageLine(APIErrorInfo& error) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= error.errMsg.size()) {
    const std::size_t end = error.errMsg.find('\n', start);
    const std::string piece = error.errMsg.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!piece.empty()) lines.push_back(piece);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (lines.size() >= 2) error.errMsg = Global::apiLanguage() == "en" ? lines[1] : lines[0];
}

std::int64_t localClockMs() {
  return Global::currentTimeMillisecondsSinceEpoch() - Global::serverTimeOffset();
}

}  // namespace

APIRequest::APIRequest() : queryParameters(Json::object()) {
  const AppInfo app;
  queryParameters["lang"] = Global::apiLanguage();
  queryParameters["appId"] = app.appId;
  queryParameters["version"] = app.version;
  queryParameters["uid"] = Global::userId();
  queryParameters["device_id"] = DeviceInfo::ID();
}

api_detail::Exchange APIRequest::exchange(const std::string& path, HttpMethod method, const std::optional<Json>& body,
                                          const std::optional<Json>& query) {
  using api_detail::Exchange;

  if (query && query->is_object()) {
    for (auto it = query->begin(); it != query->end(); ++it) queryParameters[it.key()] = it.value();
  }
  // The same `secret` goes with every attempt of the call.
  const std::string secret = sharedEncryptor().encrypt(joined(makeKeyValuePairs(queryParameters), "&")).value_or("");
  std::optional<std::string> bodyText;
  if (body) bodyText = sharedEncryptor().encrypt(jsonEncode(*body)).value_or("");
  const std::string requestRecord = recordedBody(body);

  int clockCorrections = 0;
  while (true) {
    const std::int64_t timestamp = Global::currentTimeMillisecondsSinceEpoch();
    const std::string stamp = std::to_string(timestamp);

    // Host and headers are made afresh for each attempt: a Host header meant for one host's
    // address must never follow the request to the next host.
    const DNS::API host = DNS::shared().currentHost();
    headHost.clear();
    // The same form as DNS::apiBaseUrl(), from the host read once above.
    baseUrl = httpsUrl(host.host, "/v6");
    if (isIP(host.host)) headHost = host.domain;
    headers.clear();
    headers[kPublicHeader] = kPlatform;
    headers[kTimespanHeader] = stamp;
    headers[kSignHeader] = APIEncryption::signRequest(stamp);
    if (!headHost.empty()) headers["Host"] = headHost;
    headers["user-agent"] = userAgent;
    headers["Content-Type"] = "application/json";

    NetworkResult result = NetworkResult::failure(NetworkError{"", -1, "no API host is known"});
    if (!baseUrl.empty()) {
      const NetworkRequest request(baseUrl + "/" + path, method, bodyText, Json{{"secret", secret}}, headers,
                                   std::nullopt, std::nullopt);
      result = request.request();
    }

    if (!result.isSuccess()) {
      const NetworkError error = *result.error();
      CloudLog::log({{"baseUrl", baseUrl},
                     {"path", path},
                     {"request", requestRecord},
                     {"method", std::string(rawValue(method))},
                     {"requestTime", std::to_string(Global::currentTimeMillisecondsSinceEpoch() - timestamp)},
                     {"err_code", std::to_string(error.code)},
                     {"err_msg", error.localizedDescription()}},
                    LogTopic::ERROR_API);
      if (DNS::shared().nextHost()) continue;
      return Exchange{Exchange::Kind::finished, api_detail::networkError(), nullptr, std::nullopt};
    }

    const std::shared_ptr<HttpResponse> response = result.response();
    if (!response->data || response->data->empty()) {
      if (response->statusCode >= 200 && response->statusCode <= 399) {
        return Exchange{Exchange::Kind::emptySuccess, nullptr, response, std::nullopt};
      }
      return Exchange{Exchange::Kind::finished,
                      APIErrorInfo::make(response->statusCode, APIErrorText::emptyResponse), response,
                      std::nullopt};
    }

    const std::optional<std::string> text = response->value();
    if (text) {
      if (auto decoded = fromJson<APIErrorInfo>(*text)) {
        auto error = std::make_shared<APIErrorInfo>(std::move(*decoded));
        chooseMessageLine(*error);
        // Only a usable server time can correct the clock; anything else is the caller's error.
        if (response->statusCode == 403 && error->errCode == APIErrorCode::serverClockRejected &&
            error->timestamp.value_or(0) > 0 && clockCorrections < kMaxClockCorrections) {
          ++clockCorrections;
          Global::setServerTimeOffset(*error->timestamp - localClockMs());
          continue;
        }
        return Exchange{Exchange::Kind::finished, std::move(error), response, std::nullopt};
      }
    }
    return Exchange{Exchange::Kind::body, nullptr, response, text};
  }
}

}  // namespace tarnel
