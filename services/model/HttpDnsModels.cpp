#include "services/model/HttpDnsModels.h"

#include "services/encryption/Encryptor.h"

namespace tarnel {

template <>
std::optional<HttpDns> fromJson<HttpDns>(std::string_view text) {
  if (const auto origin = fromJson<OriginDns>(text)) {
    if (const auto bodyText = dnsBodyEncryptor().decrypt(origin->body)) {
      if (auto body = fromJson<HttpDnsBody>(*bodyText)) return HttpDns{origin->version, std::move(*body)};
    }
  }
  // The plain form, as any other model.
  std::string error;
  HttpDns value;
  if (auto parsed = json::parse(text, &error)) {
    if (json::decodeValue(*parsed, value, error)) return value;
  }
  if (!text.empty()) Logger::log(LogLevel::error, "Error decoding JSON: ", error);
  return std::nullopt;
}

template <>
std::optional<std::string> toJson<HttpDns>(const HttpDns& value) {
  const std::string bodyText = toJson(value.body).value_or(std::string());
  const std::string cipherText = dnsBodyEncryptor().encrypt(bodyText).value_or(std::string());
  return toJson(OriginDns{value.version, cipherText});
}

}  // namespace tarnel
