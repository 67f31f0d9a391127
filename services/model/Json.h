#pragma once

// Strict JSON coding of the service models.
//
// A model declares its fields once, in declaration order, through a static `fields` template:
//
//   struct Tag {
//     int64_t id = 0;
//     std::string name;
//     std::optional<std::string> icon;
//     template <class Self, class Visit>
//     static void fields(Self& self, Visit& v) { v("id", self.id); v("name", self.name); v("icon", self.icon); }
//   };
//
// Decoding: a plain field is a required key (missing, null or another JSON type fails the whole
// record); a std::optional field may be absent or null; no default fills a missing key; unknown
// keys are ignored. Integers are 64-bit signed; a real with a whole value counts (12.0), booleans and
// fractions never do.
// Encoding writes the fields in declaration order and leaves absent optionals out.
// Types with wire forms of their own specialise json::Coder<T>; a single field whose wire form
// differs from its type's names its coder as a third argument: v("time", self.time, json::WholeNumber{}).

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "services/common/Logger.h"

namespace tarnel {

using Json = nlohmann::ordered_json;

namespace json {

template <class T, class = void>
struct Coder;

// Decoding helpers shared by the coders: each returns false and fills `error` on failure.
inline std::string typeName(const Json& j) { return j.type_name(); }

template <class T>
bool decodeValue(const Json& j, T& out, std::string& error);

template <class T>
Json encodeValue(const T& value);

template <>
struct Coder<std::string> {
  static bool decode(const Json& j, std::string& out, std::string& error) {
    if (!j.is_string()) {
      error = "expected a string, found " + typeName(j);
      return false;
    }
    out = j.get_ref<const std::string&>();
    return true;
  }
  static Json encode(const std::string& v) { return v; }
};

template <>
struct Coder<bool> {
  static bool decode(const Json& j, bool& out, std::string& error) {
    if (!j.is_boolean()) {
      error = "expected a boolean, found " + typeName(j);
      return false;
    }
    out = j.get<bool>();
    return true;
  }
  static Json encode(bool v) { return v; }
};

// Whole numbers: JSON integers, and reals with a whole value (12.0, 1e3), as the platform's own
// decoder reads them; fractions, booleans and texts are refused, and so is anything out of range.
template <class T>
struct Coder<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
  static bool decode(const Json& j, T& out, std::string& error) {
    if (j.is_number_unsigned()) {
      const auto v = j.get<std::uint64_t>();
      if (v > static_cast<std::uint64_t>(std::numeric_limits<T>::max())) {
        error = "integer out of range";
        return false;
      }
      out = static_cast<T>(v);
      return true;
    }
    if (j.is_number_integer()) {
      const auto v = j.get<std::int64_t>();
      if (v < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
          (v > 0 && static_cast<std::uint64_t>(v) > static_cast<std::uint64_t>(std::numeric_limits<T>::max()))) {
        error = "integer out of range";
        return false;
      }
      out = static_cast<T>(v);
      return true;
    }
    if (j.is_number_float()) {
      const double v = j.get<double>();
      // The bounds are powers of two, exact as doubles: min is -2^n or 0, and max + 1.0 is 2^n
      // (for 64-bit types max itself already rounds up to 2^n).
      const double lowest = static_cast<double>(std::numeric_limits<T>::min());
      const double beyond = static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
      if (!std::isfinite(v) || v != std::trunc(v)) {
        error = "expected an integer, found a fraction";
        return false;
      }
      if (v < lowest || v >= beyond) {
        error = "integer out of range";
        return false;
      }
      out = static_cast<T>(v);
      return true;
    }
    error = "expected an integer, found " + typeName(j);
    return false;
  }
  static Json encode(T v) { return v; }
};

// Fractional numbers accept any JSON number (never a boolean).
template <>
struct Coder<double> {
  static bool decode(const Json& j, double& out, std::string& error) {
    if (!j.is_number()) {
      error = "expected a number, found " + typeName(j);
      return false;
    }
    out = j.get<double>();
    return true;
  }
  static Json encode(double v) { return v; }
};

// Raw JSON passes through untouched.
template <>
struct Coder<Json> {
  static bool decode(const Json& j, Json& out, std::string&) {
    out = j;
    return true;
  }
  static Json encode(const Json& v) { return v; }
};

template <class T>
struct Coder<std::vector<T>> {
  static bool decode(const Json& j, std::vector<T>& out, std::string& error) {
    if (!j.is_array()) {
      error = "expected an array, found " + typeName(j);
      return false;
    }
    std::vector<T> result;
    result.reserve(j.size());
    for (std::size_t i = 0; i < j.size(); ++i) {
      T element{};
      if (!decodeValue(j[i], element, error)) {
        error = "[" + std::to_string(i) + "]: " + error;
        return false;
      }
      result.push_back(std::move(element));
    }
    out = std::move(result);
    return true;
  }
  static Json encode(const std::vector<T>& v) {
    Json array = Json::array();
    for (const auto& element : v) array.push_back(encodeValue(element));
    return array;
  }
};

template <class T>
struct Coder<std::map<std::string, T>> {
  static bool decode(const Json& j, std::map<std::string, T>& out, std::string& error) {
    if (!j.is_object()) {
      error = "expected an object, found " + typeName(j);
      return false;
    }
    std::map<std::string, T> result;
    for (auto it = j.begin(); it != j.end(); ++it) {
      T element{};
      if (!decodeValue(it.value(), element, error)) {
        error = "\"" + it.key() + "\": " + error;
        return false;
      }
      result.emplace(it.key(), std::move(element));
    }
    out = std::move(result);
    return true;
  }
  static Json encode(const std::map<std::string, T>& v) {
    Json object = Json::object();
    // The keys are unique already; the ordered object's own insertion would look each one up
    // among all before it.
    auto& members = object.get_ref<Json::object_t&>();
    members.reserve(v.size());
    for (const auto& [key, element] : v) members.emplace_back(key, encodeValue(element));
    return object;
  }
};

// A null element of a list of optionals stays a null element.
template <class T>
struct Coder<std::optional<T>> {
  static bool decode(const Json& j, std::optional<T>& out, std::string& error) {
    if (j.is_null()) {
      out.reset();
      return true;
    }
    T value{};
    if (!decodeValue(j, value, error)) return false;
    out = std::move(value);
    return true;
  }
  static Json encode(const std::optional<T>& v) { return v ? encodeValue(*v) : Json(nullptr); }
};

// Integers written by servers that do not tell 12 from 12.0. Every integer field now reads both
// forms; the name stays for the fields that always needed it.
struct WholeNumber {
  static bool decode(const Json& j, std::int64_t& out, std::string& error) {
    return Coder<std::int64_t>::decode(j, out, error);
  }
  static Json encode(std::int64_t v) { return v; }
};

// The coding a field gets when its `fields` entry names none.
struct DefaultCoding {
  template <class T>
  static bool decode(const Json& j, T& out, std::string& error) {
    return decodeValue(j, out, error);
  }
  template <class T>
  static Json encode(const T& value) {
    return encodeValue(value);
  }
};

template <class>
inline constexpr bool isOptional = false;
template <class T>
inline constexpr bool isOptional<std::optional<T>> = true;

class DecodeFields {
 public:
  explicit DecodeFields(const Json& object) : object_(object) {}

  template <class T, class Coding = DefaultCoding>
  void operator()(const char* key, T& field, Coding = {}) {
    if (!error_.empty()) return;
    const auto it = object_.find(key);
    if constexpr (isOptional<T>) {
      if (it == object_.end() || it->is_null()) {
        field.reset();
        return;
      }
      typename T::value_type value{};
      if (!Coding::decode(*it, value, error_)) {
        error_ = std::string("\"") + key + "\": " + error_;
        return;
      }
      field = std::move(value);
    } else {
      if (it == object_.end()) {
        error_ = std::string("missing key \"") + key + "\"";
        return;
      }
      if (it->is_null()) {
        error_ = std::string("\"") + key + "\": null where a value is required";
        return;
      }
      if (!Coding::decode(*it, field, error_)) error_ = std::string("\"") + key + "\": " + error_;
    }
  }

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

 private:
  const Json& object_;
  std::string error_;
};

class EncodeFields {
 public:
  template <class T, class Coding = DefaultCoding>
  void operator()(const char* key, const T& field, Coding = {}) {
    if constexpr (isOptional<T>) {
      if (!field.has_value()) return;
      object_[key] = Coding::encode(*field);
    } else {
      object_[key] = Coding::encode(field);
    }
  }
  Json take() { return std::move(object_); }

 private:
  Json object_ = Json::object();
};

// Records: any type with a static `fields` template.
template <class T>
struct Coder<T, std::void_t<decltype(T::fields(std::declval<T&>(), std::declval<DecodeFields&>()))>> {
  static bool decode(const Json& j, T& out, std::string& error) {
    if (!j.is_object()) {
      error = "expected an object, found " + typeName(j);
      return false;
    }
    T result{};
    DecodeFields visit(j);
    T::fields(result, visit);
    if (visit.failed()) {
      error = visit.error();
      return false;
    }
    out = std::move(result);
    return true;
  }
  static Json encode(const T& value) {
    EncodeFields visit;
    T::fields(value, visit);
    return visit.take();
  }
};

template <class T>
bool decodeValue(const Json& j, T& out, std::string& error) {
  return Coder<T>::decode(j, out, error);
}

template <class T>
Json encodeValue(const T& value) {
  return Coder<T>::encode(value);
}

// Models whose decoding failures are expected and not worth a console line.
template <class T>
inline constexpr bool silentDecode = false;

// Parses JSON text without throwing; none for text that is not JSON.
std::optional<Json> parse(std::string_view text, std::string* error = nullptr);

// True when a NaN or an infinity stands anywhere in the value: JSON cannot write them.
bool holdsNonFiniteNumber(const Json& root);

// Pretty-printed text of a JSON value; none (with the reason) when it cannot be written,
// for example a string that is not valid UTF-8 or a number that is NaN or infinite.
std::optional<std::string> dump(const Json& value, std::string* error = nullptr);

}  // namespace json

// Model from JSON text, or none. Failures are logged as "Error decoding JSON: " with the reason,
// except for empty text and for models marked silent.
template <class T>
std::optional<T> fromJson(std::string_view text) {
  std::string error;
  T value{};
  if (auto parsed = json::parse(text, &error)) {
    if (json::decodeValue(*parsed, value, error)) return value;
  }
  if (!text.empty() && !json::silentDecode<T>) {
    Logger::log(LogLevel::error, "Error decoding JSON: ", error);
  }
  return std::nullopt;
}

// The optional form of a model: the JSON text null is a valid "none" and is not logged.
template <class T>
std::optional<T> fromJsonNullable(std::string_view text) {
  if (auto parsed = json::parse(text); parsed && parsed->is_null()) return std::nullopt;
  return fromJson<T>(text);
}

// Pretty-printed JSON text of a model, or none (logged as "Error encoding JSON: ").
template <class T>
std::optional<std::string> toJson(const T& value) {
  std::string error;
  if (auto text = json::dump(json::encodeValue(value), &error)) return text;
  Logger::log(LogLevel::error, "Error encoding JSON: ", error);
  return std::nullopt;
}

// The model as a dictionary of plain values (its toJson text parsed again); an empty object
// when it cannot be written.
template <class T>
Json toMap(const T& value) {
  const auto text = toJson(value);
  if (!text) return Json::object();
  std::string error;
  auto parsed = json::parse(*text, &error);
  if (!parsed) {
    Logger::log(LogLevel::error, "Error encoding Map: ", error);
    return Json::object();
  }
  if (!parsed->is_object()) return Json::object();
  return std::move(*parsed);
}

}  // namespace tarnel
