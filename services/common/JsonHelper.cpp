#include "services/common/JsonHelper.h"

#include <cmath>
#include <vector>

#include "services/base/Logger.h"
#include "services/encryption/Utf8.h"

namespace tarnel {
std::string jsonEncode(const Json& value) {
  if (!value.is_object() && !value.is_array()) {
    Logger::log(LogLevel::error, "jsonEncode error:", "top-level value is not a map or a list");
    return {};
  }
  if (json::holdsNonFiniteNumber(value)) {
    Logger::log(LogLevel::error, "jsonEncode error:", "a number that is not finite");
    return {};
  }
  std::string text;
  try {
    text = value.dump();
  } catch (const Json::exception& e) {
    Logger::log(LogLevel::error, "jsonEncode error:", e.what());
    return {};
  }
  if (!detail::isValidUtf8(text)) {
    Logger::log(LogLevel::error, "jsonEncode fail");
    return {};
  }
  return text;
}

std::optional<Json> jsonDecode(std::string_view text) {
  if (!detail::isValidUtf8(text)) {
    Logger::log(LogLevel::error, "jsonDecode fail");
    return std::nullopt;
  }
  std::string error;
  auto value = json::parse(text, &error);
  if (!value) {
    Logger::log(LogLevel::error, "jsonDecode error:", error);
    return std::nullopt;
  }
  return value;
}

}  // namespace tarnel
