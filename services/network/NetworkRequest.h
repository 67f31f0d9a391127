#pragma once

// One HTTP exchange of the library, described by its fields and sent through a fresh HttpClient
// each time. Whoever makes one owns it (std::shared_ptr<NetworkRequest> when it is shared); it
// may be sent any number of times, and sending never changes it. Sending from several threads at
// once is safe while nobody writes its fields.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/model/Json.h"
#include "services/network/HttpResponse.h"

namespace tarnel {

class NetworkRequest {
 public:
  // Seconds the engine allows each exchange.
  static constexpr std::int64_t kTimeout = 5;

  NetworkRequest(std::string url, HttpMethod method, std::optional<std::string> parameters,
                 std::optional<Json> queryParameters, std::optional<std::map<std::string, std::string>> headers,
                 std::optional<std::string> proxy, std::optional<std::string> interface);

  std::string url;                              // the whole request URL
  HttpMethod method;
  std::optional<std::string> parameters;        // the body text; never sent with GET
  std::optional<Json> queryParameters;          // a JSON object
  std::optional<std::map<std::string, std::string>> headers;
  std::optional<std::string> proxy;             // none: direct
  std::optional<std::string> interface;         // local address to bind; none: the system's choice
  std::vector<std::int64_t> acceptableStatusCodes;  // 200 to 524 when made
  // When given and set, the exchange ends early as a failed one (the owner is shutting down).
  std::shared_ptr<const std::atomic<bool>> cancellation;

  // Sends on the calling thread and calls `completion` exactly once, on that thread, before
  // returning: success when the status code is acceptable, otherwise a failure whose domain is
  // the status text and whose code is the status code.
  void request(const std::function<void(const NetworkResult&)>& completion) const;
  // The same, returning the result.
  NetworkResult request() const;
};

}  // namespace tarnel
