#include "services/model/Json.h"

#include <cmath>
#include <vector>

#include "platform/BoundedJson.h"

namespace tarnel::json {

std::optional<Json> parse(std::string_view text, std::string* error) {
  return platform::parseJsonBounded<Json>(text, error);
}

// JSON has no NaN or infinity; the writer would put null in their place and the text would no
// longer read back as the model.
bool holdsNonFiniteNumber(const Json& root) {
  std::vector<const Json*> pending{&root};
  while (!pending.empty()) {
    const Json* value = pending.back();
    pending.pop_back();
    if (value->is_number_float() && !std::isfinite(value->get<double>())) return true;
    if (value->is_structured()) {
      for (const auto& element : *value) pending.push_back(&element);
    }
  }
  return false;
}

std::optional<std::string> dump(const Json& value, std::string* error) {
  if (holdsNonFiniteNumber(value)) {
    if (error != nullptr) *error = "a number that is not finite cannot be written as JSON";
    return std::nullopt;
  }
  try {
    return value.dump(2);
  } catch (const Json::exception& e) {
    if (error != nullptr) *error = e.what();
    return std::nullopt;
  }
}

}  // namespace tarnel::json
