#include "services/network/HttpResponse.h"

#include <array>

#include "services/encryption/Encryptor.h"
#include "services/encryption/Utf8.h"

namespace tarnel {
namespace {

constexpr std::array<std::string_view, 4> kMethodNames{"GET", "PUT", "POST", "DELETE"};

// Strict base64 as the service writes it: padded to a multiple of four, no line breaks.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  auto sextet = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int padding = 0;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      int v = 0;
      if (c == '=') {
        // Padding only at the end of the last group, and at most two characters of it.
        if (!last || k < 2) return std::nullopt;
        ++padding;
      } else {
        if (padding > 0) return std::nullopt;
        v = sextet(c);
        if (v < 0) return std::nullopt;
      }
      group = (group << 6) | static_cast<std::uint32_t>(v);
    }
    out.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
    if (padding < 1) out.push_back(static_cast<std::uint8_t>(group));
  }
  return out;
}

}  // namespace

std::string_view rawValue(HttpMethod method) { return kMethodNames.at(static_cast<std::size_t>(method)); }

std::optional<HttpMethod> httpMethodFromRaw(std::string_view raw) {
  for (std::size_t i = 0; i < kMethodNames.size(); ++i) {
    if (kMethodNames[i] == raw) return static_cast<HttpMethod>(i);
  }
  return std::nullopt;
}

HttpResponse::HttpResponse(std::int64_t statusCode, std::string statusMessage,
                           std::optional<std::vector<std::uint8_t>> data, std::int64_t time, std::string host,
                           std::string path, std::int64_t port, std::map<std::string, std::string> headerFields)
    : statusCode(statusCode),
      statusMessage(std::move(statusMessage)),
      data(std::move(data)),
      time(time),
      host(std::move(host)),
      path(std::move(path)),
      port(port),
      headerFields(std::move(headerFields)) {}

std::optional<std::string> HttpResponse::value() const {
  if (!data) return std::nullopt;
  std::string text(data->begin(), data->end());
  if (!detail::isValidUtf8(text)) return std::nullopt;
  if (auto plain = sharedEncryptor().decrypt(text)) return plain;
  return text;
}

std::string NetworkError::localizedDescription() const {
  if (!description.empty()) return description;
  return "The operation couldn\u2019t be completed. (" + domain + " error " + std::to_string(code) + ".)";
}

std::string NetworkError::debugDescription() const {
  return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + localizedDescription() + "\"";
}

NetworkResult NetworkResult::success(std::shared_ptr<HttpResponse> response) {
  return NetworkResult(std::move(response));
}

NetworkResult NetworkResult::failure(NetworkError error) { return NetworkResult(std::move(error)); }

std::shared_ptr<HttpResponse> NetworkResult::response() const {
  if (const auto* r = std::get_if<std::shared_ptr<HttpResponse>>(&value_)) return *r;
  return nullptr;
}

std::optional<NetworkError> NetworkResult::error() const {
  if (const auto* e = std::get_if<NetworkError>(&value_)) return *e;
  return std::nullopt;
}

ConcurrentResult ConcurrentResult::success(std::int64_t index, std::shared_ptr<HttpResponse> response) {
  return ConcurrentResult(index, std::move(response), std::nullopt);
}

ConcurrentResult ConcurrentResult::failure(std::int64_t index, NetworkError error) {
  return ConcurrentResult(index, nullptr, std::move(error));
}

namespace json {

bool Coder<HttpResponse>::decode(const Json& j, HttpResponse& out, std::string& error) {
  if (!j.is_object()) {
    error = "expected an object, found " + typeName(j);
    return false;
  }
  HttpResponse result;
  auto required = [&](const char* key) -> const Json* {
    const auto it = j.find(key);
    if (it == j.end()) {
      error = std::string("missing key \"") + key + "\"";
      return nullptr;
    }
    if (it->is_null()) {
      error = std::string("\"") + key + "\": null where a value is required";
      return nullptr;
    }
    return &*it;
  };
  auto number = [&](const char* key, std::int64_t& field) {
    const Json* v = required(key);
    if (v == nullptr) return false;
    if (!WholeNumber::decode(*v, field, error)) {
      error = std::string("\"") + key + "\": " + error;
      return false;
    }
    return true;
  };
  auto text = [&](const char* key, std::string& field) {
    const Json* v = required(key);
    if (v == nullptr) return false;
    if (!Coder<std::string>::decode(*v, field, error)) {
      error = std::string("\"") + key + "\": " + error;
      return false;
    }
    return true;
  };
  if (!number("statusCode", result.statusCode) || !text("statusMessage", result.statusMessage)) return false;
  if (const auto it = j.find("data"); it != j.end() && !it->is_null()) {
    if (!it->is_string()) {
      error = "\"data\": expected a base64 string, found " + typeName(*it);
      return false;
    }
    auto bytes = decodeBase64(it->get_ref<const std::string&>());
    if (!bytes) {
      error = "\"data\": not valid base64";
      return false;
    }
    result.data = std::move(bytes);
  }
  if (!number("time", result.time) || !text("host", result.host) || !text("path", result.path) ||
      !number("port", result.port)) {
    return false;
  }
  out = std::move(result);
  return true;
}

Json Coder<HttpResponse>::encode(const HttpResponse& value) {
  Json object = Json::object();
  object["statusCode"] = value.statusCode;
  object["statusMessage"] = value.statusMessage;
  object["time"] = std::to_string(value.time) + " ms";
  object["host"] = value.host;
  object["path"] = value.path;
  object["port"] = value.port;
  return object;
}

bool Coder<std::shared_ptr<HttpResponse>>::decode(const Json& j, std::shared_ptr<HttpResponse>& out,
                                                  std::string& error) {
  if (j.is_null()) {
    out.reset();
    return true;
  }
  HttpResponse value;
  if (!Coder<HttpResponse>::decode(j, value, error)) return false;
  out = std::make_shared<HttpResponse>(std::move(value));
  return true;
}

Json Coder<std::shared_ptr<HttpResponse>>::encode(const std::shared_ptr<HttpResponse>& value) {
  return value ? Coder<HttpResponse>::encode(*value) : Json(nullptr);
}

}  // namespace json

}  // namespace tarnel
