#pragma once

// The one failure value of the service library. It is a reference object: the maker creates it
// with std::make_shared (or APIErrorInfo::make), finishes every write, then hands the pointer on;
// holders only read it. "No error" is an empty std::shared_ptr<APIErrorInfo>.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "services/model/DeviceModels.h"
#include "services/model/Json.h"

namespace tarnel {

// Codes and texts the library gives its own failures.
namespace APIErrorCode {
inline constexpr std::int64_t networkError = -1;       // transport failed, budget spent; or no port to probe ("")
inline constexpr std::int64_t probeFailed = 0;         // no probed host and port answered
inline constexpr std::int64_t noUser = 404;            // no user id after the guest sign-in ("")
inline constexpr std::int64_t modelError = 500;        // a body that decodes neither as error nor model
inline constexpr std::int64_t abandoned = 10001;       // the connection attempt was already given up ("")
inline constexpr std::int64_t unsupportedProtocol = 10002;
inline constexpr std::int64_t nodeSelection = 10003;   // node opening failed later in node selection ("")
inline constexpr std::int64_t nodeRefused = 10005;     // server refused the node: 3301, 3305 or 3306
// The engine refused the connection (unusable settings, an engine that would not start or
// listen), or the desktop's proxy could not be pointed at it: engineRefused, systemProxyNotSet.
inline constexpr std::int64_t engineFailed = 10006;
inline constexpr std::int64_t noServer = 10007;
inline constexpr std::int64_t cancelled = 10008;

// Server codes the library and the screens branch on.
inline constexpr std::int64_t serverClockRejected = 4000;  // with HTTP 403 and `timestamp`
inline constexpr std::int64_t serverTooManyDevices = 3303;  // sign-in refused; `devices` present
inline constexpr std::int64_t serverNodeRefused1 = 3301;
inline constexpr std::int64_t serverNodeRefused2 = 3305;
inline constexpr std::int64_t serverNodeRefused3 = 3306;
}  // namespace APIErrorCode

namespace APIErrorText {
inline constexpr std::string_view networkError = "network error.";
inline constexpr std::string_view emptyResponse = "empty response";  // code: the HTTP status
inline constexpr std::string_view modelError = "response turn to model error";
inline constexpr std::string_view unsupportedProtocol = "node unsupport protocol";
inline constexpr std::string_view noServer = "server is nil";
inline constexpr std::string_view cancelled = "vpn_cancel";
inline constexpr std::string_view engineRefused = "The connection could not be started: the proxy engine refused it.";
inline constexpr std::string_view systemProxyNotSet =
    "The connection was stopped: the system proxy could not be set.";
}  // namespace APIErrorText

class APIErrorInfo {
 public:
  // For decoding: every field at its newly-made value.
  APIErrorInfo() = default;
  // The library's own failures: `devices` and `uid` absent, `timestamp` present as 0.
  APIErrorInfo(std::int64_t code, std::string message) : errCode(code), errMsg(std::move(message)) {}

  static std::shared_ptr<APIErrorInfo> make(std::int64_t errCode, std::string_view errMsg) {
    return std::make_shared<APIErrorInfo>(errCode, std::string(errMsg));
  }

  std::int64_t errCode = 0;
  std::string errMsg;
  std::optional<std::vector<Devices>> devices;
  std::optional<std::int64_t> timestamp = 0;
  std::optional<std::string> uid;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("errCode", self.errCode);
    v("errMsg", self.errMsg);
    v("devices", self.devices);
    v("timestamp", self.timestamp);
    v("uid", self.uid);
  }
};

// Every answer body is offered to the error decoder first: most are not errors, so a failed
// decode is expected and not logged.
template <>
inline constexpr bool json::silentDecode<APIErrorInfo> = true;

}  // namespace tarnel
