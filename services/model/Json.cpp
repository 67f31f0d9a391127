#include "services/model/Json.h"

namespace tarnel::json {

std::optional<Json> parse(std::string_view text, std::string* error) {
  try {
    return Json::parse(text.begin(), text.end());
  } catch (const Json::exception& e) {
    if (error != nullptr) *error = e.what();
    return std::nullopt;
  }
}

std::optional<std::string> dump(const Json& value, std::string* error) {
  try {
    return value.dump(2);
  } catch (const Json::exception& e) {
    if (error != nullptr) *error = e.what();
    return std::nullopt;
  }
}

}  // namespace tarnel::json
