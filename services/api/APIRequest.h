#pragma once

// One call of the service API: the common query parameters enciphered into `secret`, the signing
// headers, the enciphered JSON body, the current API host from host discovery; then the answer
// deciphered and judged by the result type. Transport failures are recorded in the cloud log and
// sent again on the next API host while the shared retry budget lasts; a rejected time stamp
// corrects the server clock offset and is sent again at once.
//
// One object per call, owned by the endpoint that makes it; perform() blocks the calling thread.
//
// Result types of perform<T>():
//   Model or std::optional<Model>  the model decoded from the deciphered body (null is a success
//                                  without a value only for the optional form)
//   std::shared_ptr<HttpResponse>  the answer as received, whatever its status
//   bool                           whether the status is 200 to 299
//   std::string                    the body text, deciphered when it deciphers
//   std::optional<HttpResponse>    an HttpResponse decoded from the deciphered body (a model)

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "services/api/APIResult.h"
#include "services/model/APIErrorInfo.h"
#include "services/model/Json.h"
#include "services/network/HttpResponse.h"

namespace tarnel {

// "key=value" for each member of a JSON object, in its order: texts as they are, integers in
// decimal, booleans as "true" or "false", anything else as its JSON text. Nothing is escaped.
std::vector<std::string> makeKeyValuePairs(const Json& map);

namespace api_detail {

// What the steps shared by every result type end in.
struct Exchange {
  enum class Kind {
    finished,      // the call has its failure already: `error` (with `response` when there is one)
    emptySuccess,  // status 200 to 399 without a body
    body,          // an answer whose body is not an error object: judged by the result type
  };
  Kind kind = Kind::finished;
  std::shared_ptr<APIErrorInfo> error;
  std::shared_ptr<HttpResponse> response;
  std::optional<std::string> text;  // the body, deciphered when it deciphers; none when not UTF-8
};

template <class T>
inline constexpr bool isOptionalResult = false;
template <class T>
inline constexpr bool isOptionalResult<std::optional<T>> = true;

std::shared_ptr<APIErrorInfo> modelError();
std::shared_ptr<APIErrorInfo> networkError();
// The JSON text is the literal null.
bool isJsonNull(const std::string& text);
// An answer reached model decoding: every call of the process gets its retry budget back.
void restoreRetryBudget();

// How an answer that is not an error object becomes the result of type T. The primary template
// serves the models.
template <class T>
struct ResultKind {
  using Model = typename APIResultValue<T>::type;

  static APIResult<T> judge(const Exchange& x) {
    if (x.response->statusCode >= 400) return APIResult<T>::failure(networkError());
    restoreRetryBudget();
    if (!x.text) return APIResult<T>::failure(modelError(), x.response);
    if (isOptionalResult<T> && isJsonNull(*x.text)) return APIResult<T>::success();
    if (auto model = fromJson<Model>(*x.text)) return APIResult<T>::success(std::move(*model));
    return APIResult<T>::failure(modelError(), x.response);
  }
};

template <>
struct ResultKind<std::shared_ptr<HttpResponse>> {
  static APIResult<std::shared_ptr<HttpResponse>> judge(const Exchange& x) {
    return APIResult<std::shared_ptr<HttpResponse>>::success(x.response);
  }
};

template <>
struct ResultKind<bool> {
  static APIResult<bool> judge(const Exchange& x) {
    return APIResult<bool>::success(x.response->statusCode >= 200 && x.response->statusCode <= 299);
  }
};

template <>
struct ResultKind<std::string> {
  static APIResult<std::string> judge(const Exchange& x) {
    if (!x.text) return APIResult<std::string>::failure(modelError(), x.response);
    return APIResult<std::string>::success(*x.text);
  }
};

}  // namespace api_detail

class APIRequest {
 public:
  // Resends after a rejected time stamp, per call; a server that keeps rejecting gets its error
  // returned instead of an endless loop.
  static constexpr int kMaxClockCorrections = 2;

  // Reads the language, the build, the signed-in user and the device identifier now.
  APIRequest();

  std::int64_t differenceTime = 0;             // kept for callers; the pipeline uses Global's offset
  std::map<std::string, std::string> headers;  // the headers of the current attempt
  Json queryParameters;                        // lang, appId, version, uid, device_id (+ the call's)
  std::string headHost;                        // Host header of the current attempt; empty: none
  std::string baseUrl;                         // API base URL of the current attempt
  std::string userAgent;                       // the user-agent header (sent empty)

  // `path` is relative to the API base, without a leading "/"; `body` and `query` are JSON
  // objects. Never throws; every failure is an APIResult failure.
  template <class T>
  APIResult<T> perform(const std::string& path, HttpMethod method, const std::optional<Json>& body = std::nullopt,
                       const std::optional<Json>& query = std::nullopt) {
    const api_detail::Exchange x = exchange(path, method, body, query);
    switch (x.kind) {
      case api_detail::Exchange::Kind::finished:
        return x.response ? APIResult<T>::failure(x.error, x.response) : APIResult<T>::failure(x.error);
      case api_detail::Exchange::Kind::emptySuccess:
        return APIResult<T>::success();
      case api_detail::Exchange::Kind::body:
        break;
    }
    return api_detail::ResultKind<T>::judge(x);
  }

 private:
  api_detail::Exchange exchange(const std::string& path, HttpMethod method, const std::optional<Json>& body,
                                const std::optional<Json>& query);
};

}  // namespace tarnel
