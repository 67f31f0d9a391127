#include "services/network/NetworkRequest.h"

#include <algorithm>

#include "services/network/HttpClient.h"

namespace tarnel {
namespace {

std::vector<std::int64_t> defaultAcceptableStatusCodes() {
  std::vector<std::int64_t> codes;
  for (std::int64_t code = 200; code < 525; ++code) codes.push_back(code);
  return codes;
}

}  // namespace

NetworkRequest::NetworkRequest(std::string url, HttpMethod method, std::optional<std::string> parameters,
                               std::optional<Json> queryParameters,
                               std::optional<std::map<std::string, std::string>> headers,
                               std::optional<std::string> proxy, std::optional<std::string> interface)
    : url(std::move(url)),
      method(method),
      parameters(std::move(parameters)),
      queryParameters(std::move(queryParameters)),
      headers(std::move(headers)),
      proxy(std::move(proxy)),
      interface(std::move(interface)),
      acceptableStatusCodes(defaultAcceptableStatusCodes()) {}

void NetworkRequest::request(const std::function<void(const NetworkResult&)>& completion) const {
  const HttpClient client(url, kTimeout, interface.value_or(""), proxy.value_or(""),
                          headers.value_or(std::map<std::string, std::string>{}),
                          queryParameters.value_or(Json::object()), cancellation);
  HttpClient::Body body;
  if (parameters) body.emplace(parameters->begin(), parameters->end());

  std::shared_ptr<HttpResponse> response;
  switch (method) {
    case HttpMethod::GET: response = client.get(""); break;
    case HttpMethod::PUT: response = client.put("", body); break;
    case HttpMethod::POST: response = client.post("", body); break;
    case HttpMethod::DELETE: response = client.del("", body); break;
  }

  if (std::find(acceptableStatusCodes.begin(), acceptableStatusCodes.end(), response->statusCode) !=
      acceptableStatusCodes.end()) {
    if (completion) completion(NetworkResult::success(std::move(response)));
    return;
  }
  NetworkError error{response->statusMessage, response->statusCode, {}};
  // A failed exchange keeps the engine's own text as its description.
  if (response->statusCode < 0) error.description = response->statusMessage;
  if (completion) completion(NetworkResult::failure(std::move(error)));
}

NetworkResult NetworkRequest::request() const {
  std::optional<NetworkResult> result;
  request([&](const NetworkResult& r) { result = r; });
  return std::move(*result);
}

}  // namespace tarnel
