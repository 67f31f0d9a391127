#include "services/common/Store.h"

#include <limits>

#include <nlohmann/json.hpp>

#include "platform/UserDefaults.h"
#include "services/base/Logger.h"
#include "services/encryption/Encryptor.h"

namespace tarnel {
namespace {

using nlohmann::json;

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

std::optional<std::int64_t> integerOf(const json& j) {
  if (j.is_number_integer()) return j.get<std::int64_t>();
  if (j.is_number_unsigned()) {
    const auto v = j.get<std::uint64_t>();
    if (v <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return static_cast<std::int64_t>(v);
  }
  return std::nullopt;
}

json toPlatform(const StoreValue& value) {
  return std::visit(Overloaded{
                        [](const std::string& text) { return json(text); },
                        [](bool flag) { return json(flag); },
                        [](std::int64_t number) { return json(number); },
                        [](const StoreValue::StringList& list) { return json(list); },
                        [](const StoreValue::OptionalStringList& list) {
                          json array = json::array();
                          for (const auto& element : list) array.push_back(element ? json(*element) : json(nullptr));
                          return array;
                        },
                        [](const StoreValue::IntegerList& list) { return json(list); },
                    },
                    value.variant());
}

// What was stored, as a StoreValue; none for shapes the store never writes (fractions, objects,
// mixed lists).
std::optional<StoreValue> fromPlatform(const json& j) {
  if (j.is_string()) return StoreValue(j.get<std::string>());
  if (j.is_boolean()) return StoreValue(j.get<bool>());
  if (const auto number = integerOf(j)) return StoreValue(*number);
  if (!j.is_array()) return std::nullopt;
  bool allTexts = true;
  bool textsOrNulls = true;
  bool allIntegers = true;
  for (const auto& element : j) {
    allTexts = allTexts && element.is_string();
    textsOrNulls = textsOrNulls && (element.is_string() || element.is_null());
    allIntegers = allIntegers && integerOf(element).has_value();
  }
  if (allTexts) return StoreValue(j.get<StoreValue::StringList>());
  if (textsOrNulls) {
    StoreValue::OptionalStringList list;
    for (const auto& element : j) {
      list.push_back(element.is_null() ? std::nullopt : std::optional<std::string>(element.get<std::string>()));
    }
    return StoreValue(std::move(list));
  }
  if (allIntegers) {
    StoreValue::IntegerList list;
    for (const auto& element : j) list.push_back(*integerOf(element));
    return StoreValue(std::move(list));
  }
  return std::nullopt;
}

// The application's domain, with damage reported on the console.
platform::UserDefaults& settingsDomain() {
  static platform::UserDefaults& domain = []() -> platform::UserDefaults& {
    auto& standard = platform::UserDefaults::standard();
    standard.setDamageObserver([](const platform::UserDefaults::Damage& damage) {
      if (damage.setAsideAs) {
        Logger::log(LogLevel::error, "Settings file damaged (" + damage.reason + "):", damage.file.string(),
                    "set aside as", damage.setAsideAs->string(), "- starting with empty settings");
      } else {
        Logger::log(LogLevel::error, "Settings file damaged (" + damage.reason + "):", damage.file.string(),
                    "could not be set aside; settings are not written until it is mended or removed");
      }
    });
    return standard;
  }();
  return domain;
}

}  // namespace

std::optional<std::string> StoreValue::string() const {
  if (const auto* text = std::get_if<std::string>(&value_)) return *text;
  return std::nullopt;
}

std::optional<bool> StoreValue::boolean() const {
  if (const auto* flag = std::get_if<bool>(&value_)) return *flag;
  if (const auto* number = std::get_if<std::int64_t>(&value_); number && (*number == 0 || *number == 1)) {
    return *number == 1;
  }
  return std::nullopt;
}

std::optional<std::int64_t> StoreValue::integer() const {
  if (const auto* number = std::get_if<std::int64_t>(&value_)) return *number;
  if (const auto* flag = std::get_if<bool>(&value_)) return *flag ? 1 : 0;
  return std::nullopt;
}

std::optional<StoreValue::StringList> StoreValue::stringList() const {
  if (const auto* list = std::get_if<StringList>(&value_)) return *list;
  if (const auto* list = std::get_if<OptionalStringList>(&value_); list && list->empty()) return StringList{};
  if (const auto* list = std::get_if<IntegerList>(&value_); list && list->empty()) return StringList{};
  return std::nullopt;
}

std::optional<StoreValue::OptionalStringList> StoreValue::optionalStringList() const {
  if (const auto* list = std::get_if<OptionalStringList>(&value_)) return *list;
  if (const auto* list = std::get_if<StringList>(&value_)) return OptionalStringList(list->begin(), list->end());
  if (const auto* list = std::get_if<IntegerList>(&value_); list && list->empty()) return OptionalStringList{};
  return std::nullopt;
}

std::optional<StoreValue::IntegerList> StoreValue::integerList() const {
  if (const auto* list = std::get_if<IntegerList>(&value_)) return *list;
  if (const auto* list = std::get_if<StringList>(&value_); list && list->empty()) return IntegerList{};
  if (const auto* list = std::get_if<OptionalStringList>(&value_); list && list->empty()) return IntegerList{};
  return std::nullopt;
}

std::optional<StoreValue> Store::getValue(StoreKeys key) {
  const auto stored = settingsDomain().object(std::string(rawValue(key)));
  if (!stored) return std::nullopt;
  if (stored->is_string()) {
    const auto& text = stored->get_ref<const std::string&>();
    if (auto plain = sharedEncryptor().decrypt(text)) return StoreValue(std::move(*plain));
    return StoreValue(text);
  }
  return fromPlatform(*stored);
}

std::vector<std::string> Store::getTexts(StoreKeys key) {
  std::vector<std::string> texts;
  const auto stored = platform::UserDefaults::standard().object(std::string(rawValue(key)));
  if (!stored || !stored->is_array()) return texts;
  for (const auto& element : *stored) {
    if (element.is_string()) texts.push_back(element.get<std::string>());
  }
  return texts;
}

void Store::setValue(StoreKeys key, const std::optional<StoreValue>& value) {
  std::optional<json> object;
  if (value) {
    if (const auto* text = std::get_if<std::string>(&value->variant())) {
      if (auto sealed = sharedEncryptor().encrypt(*text)) object = json(std::move(*sealed));
    } else {
      object = toPlatform(*value);
    }
  }
  if (!settingsDomain().set(std::string(rawValue(key)), object)) {
    Logger::log(LogLevel::error, "Store write error: ", rawValue(key));
  }
}

bool Store::flush() {
  if (settingsDomain().flush()) return true;
  Logger::log(LogLevel::error, "Store write error: the settings file could not be written");
  return false;
}

bool Store::clearAll() {
  if (settingsDomain().removeAll()) return true;
  Logger::log(LogLevel::error, "Store clear error");
  return false;
}

}  // namespace tarnel
