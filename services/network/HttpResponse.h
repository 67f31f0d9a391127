#pragma once

// The values every HTTP exchange of the library produces: the answer object, the method
// vocabulary and the results of one request and of a first-success sequence.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

enum class HttpMethod { GET, PUT, POST, DELETE };

// "GET", "PUT", "POST", "DELETE".
std::string_view rawValue(HttpMethod method);
// Exact match only: "post" gives none.
std::optional<HttpMethod> httpMethodFromRaw(std::string_view raw);

// One HTTP exchange. Shared by reference (std::shared_ptr<HttpResponse>) with the user interface
// and the diagnosis report; the maker finishes its writes before handing it on.
class HttpResponse {
 public:
  HttpResponse() = default;
  HttpResponse(std::int64_t statusCode, std::string statusMessage,
               std::optional<std::vector<std::uint8_t>> data, std::int64_t time, std::string host,
               std::string path, std::int64_t port, std::map<std::string, std::string> headerFields);

  std::int64_t statusCode = 0;  // negative for a transport failure
  std::string statusMessage;
  std::optional<std::vector<std::uint8_t>> data;  // the response body
  std::int64_t time = 0;                          // milliseconds the exchange took
  std::string host;
  std::string path;
  std::int64_t port = 0;
  std::map<std::string, std::string> headerFields;  // never encoded or decoded

  // The body as UTF-8 text, replaced by its decipherment under the shared API cipher when it
  // deciphers; none without a body or when the body is not UTF-8.
  std::optional<std::string> value() const;
};

// The error of a refused answer or a failed exchange: domain is the status text, code the status
// code (negative for a transport failure, whose description is the engine's error text).
struct NetworkError {
  std::string domain;
  std::int64_t code = 0;
  std::string description;  // empty: the generic text below stands in

  // `description`, or "The operation couldn’t be completed. (<domain> error <code>.)".
  std::string localizedDescription() const;
  // "Error Domain=<domain> Code=<code> \"<localizedDescription>\"".
  std::string debugDescription() const;

  bool operator==(const NetworkError&) const = default;
};

// Result of one request: the answer when its status is accepted, otherwise the error.
class NetworkResult {
 public:
  static NetworkResult success(std::shared_ptr<HttpResponse> response);
  static NetworkResult failure(NetworkError error);

  bool isSuccess() const { return std::holds_alternative<std::shared_ptr<HttpResponse>>(value_); }
  // The answer of a success; null for a failure.
  std::shared_ptr<HttpResponse> response() const;
  // The error of a failure; none for a success.
  std::optional<NetworkError> error() const;

 private:
  explicit NetworkResult(std::variant<std::shared_ptr<HttpResponse>, NetworkError> value)
      : value_(std::move(value)) {}
  std::variant<std::shared_ptr<HttpResponse>, NetworkError> value_;
};

// Result of a first-success sequence: the position (from 0) in the caller's list and the answer of
// the first request that succeeded, or the position and error of the last one when none did.
class ConcurrentResult {
 public:
  static ConcurrentResult success(std::int64_t index, std::shared_ptr<HttpResponse> response);
  static ConcurrentResult failure(std::int64_t index, NetworkError error);

  bool isSuccess() const { return !error_.has_value(); }
  std::int64_t index() const { return index_; }
  // The answer of a success; null for a failure.
  const std::shared_ptr<HttpResponse>& response() const { return response_; }
  // The error of a failure; none for a success.
  const std::optional<NetworkError>& error() const { return error_; }

 private:
  ConcurrentResult(std::int64_t index, std::shared_ptr<HttpResponse> response, std::optional<NetworkError> error)
      : index_(index), response_(std::move(response)), error_(std::move(error)) {}
  std::int64_t index_ = 0;
  std::shared_ptr<HttpResponse> response_;
  std::optional<NetworkError> error_;
};

namespace json {

// Wire form: statusCode, statusMessage, time as "<n> ms", host, path, port; the body and the
// header fields are not written. Reading wants every key but `data` (base64 text, optional),
// with `time` as a number.
template <>
struct Coder<HttpResponse> {
  static bool decode(const Json& j, HttpResponse& out, std::string& error);
  static Json encode(const HttpResponse& value);
};

// The shared form used in lists of answers: null stands for no object.
template <>
struct Coder<std::shared_ptr<HttpResponse>> {
  static bool decode(const Json& j, std::shared_ptr<HttpResponse>& out, std::string& error);
  static Json encode(const std::shared_ptr<HttpResponse>& value);
};

}  // namespace json

}  // namespace tarnel
