#pragma once

// The result of every service call: success with an optional value, or failure with the error
// value and, when there is one, what the failure came from (the service's answer, or the request
// that was tried last).

#include <memory>
#include <optional>
#include <utility>
#include <variant>

#include "services/model/APIErrorInfo.h"
#include "services/network/HttpResponse.h"
#include "services/network/NetworkRequest.h"

namespace tarnel {

using APIFailureValue = std::variant<std::monostate, std::shared_ptr<HttpResponse>, std::shared_ptr<NetworkRequest>>;

// What a success of result type T carries: T itself, or the model inside an optional result type.
template <class T>
struct APIResultValue {
  using type = T;
};
template <class T>
struct APIResultValue<std::optional<T>> {
  using type = T;
};

template <class T>
class APIResult {
 public:
  using Value = typename APIResultValue<T>::type;

  static APIResult success(std::optional<Value> value = std::nullopt) {
    APIResult r;
    r.value_ = std::move(value);
    return r;
  }
  static APIResult failure(std::shared_ptr<APIErrorInfo> error, APIFailureValue value = {}) {
    APIResult r;
    r.error_ = error ? std::move(error) : std::make_shared<APIErrorInfo>();
    r.failureValue_ = std::move(value);
    return r;
  }

  bool isSuccess() const { return error_ == nullptr; }
  // The value of a success (none when the answer had none); none for a failure.
  const std::optional<Value>& value() const { return value_; }
  // The error of a failure; null for a success.
  const std::shared_ptr<APIErrorInfo>& error() const { return error_; }
  const APIFailureValue& failureValue() const { return failureValue_; }
  // The service's answer carried by a failure; null when it carries none.
  std::shared_ptr<HttpResponse> response() const {
    const auto* answer = std::get_if<std::shared_ptr<HttpResponse>>(&failureValue_);
    return answer ? *answer : nullptr;
  }

 private:
  APIResult() = default;

  std::optional<Value> value_;
  std::shared_ptr<APIErrorInfo> error_;
  APIFailureValue failureValue_;
};

}  // namespace tarnel
