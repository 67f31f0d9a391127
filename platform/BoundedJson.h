#pragma once

// JSON text to value for input that comes from outside (answers, stored files): nesting is
// bounded and wide objects are built in linear time.
//
// The library's own parser builds values recursively-safe, but a value nested tens of thousands
// of levels deep overflows the stack later, when it is copied or compared; and an insertion-
// ordered object looks every new key up among the keys before it, so an object of many keys
// takes quadratic time. This builder refuses a value deeper than `maxDepth` containers and keeps
// an index of each open object's keys. A repeated key keeps its first position and its last
// value, as the library's own parser does.
//
// Header-only on purpose: every layer (platform, core, services) parses outside input with it.

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace platform {

// Deeper than any answer or file of ours, far below what copying a value could overflow.
inline constexpr std::size_t kMaxJsonDepth = 256;

namespace detail {

template <class BasicJson>
class BoundedJsonBuilder {
 public:
  using number_integer_t = typename BasicJson::number_integer_t;
  using number_unsigned_t = typename BasicJson::number_unsigned_t;
  using number_float_t = typename BasicJson::number_float_t;
  using string_t = typename BasicJson::string_t;
  using binary_t = typename BasicJson::binary_t;
  using object_t = typename BasicJson::object_t;

  BoundedJsonBuilder(BasicJson& root, std::size_t maxDepth) : root_(root), maxDepth_(maxDepth) {}

  bool null() { return place(BasicJson(nullptr)) != nullptr; }
  bool boolean(bool value) { return place(BasicJson(value)) != nullptr; }
  bool number_integer(number_integer_t value) { return place(BasicJson(value)) != nullptr; }
  bool number_unsigned(number_unsigned_t value) { return place(BasicJson(value)) != nullptr; }
  bool number_float(number_float_t value, const string_t&) { return place(BasicJson(value)) != nullptr; }
  bool string(string_t& value) { return place(BasicJson(std::move(value))) != nullptr; }
  bool binary(binary_t& value) { return place(BasicJson::binary(std::move(value))) != nullptr; }

  bool start_object(std::size_t) { return open(BasicJson::value_t::object); }
  bool start_array(std::size_t) { return open(BasicJson::value_t::array); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }

  bool key(string_t& name) {
    Frame& frame = frames_.back();
    auto& object = frame.value->template get_ref<object_t&>();
    if constexpr (kInsertionOrdered) {
      const auto [at, fresh] = frame.keys.try_emplace(name, object.size());
      if (fresh) {
        // Unique by the index: the ordered map's own insertion would search every earlier key.
        object.emplace_back(std::move(name), BasicJson());
        slot_ = &object.back().second;
      } else {
        slot_ = &(object.begin() + static_cast<std::ptrdiff_t>(at->second))->second;
      }
    } else {
      slot_ = &object[std::move(name)];
    }
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
    return fail(error.what());
  }

  bool fail(std::string reason) {
    if (error_.empty()) error_ = std::move(reason);
    return false;
  }
  const std::string& error() const { return error_; }

 private:
  static constexpr bool kInsertionOrdered = !std::is_same_v<object_t, typename nlohmann::json::object_t>;

  struct Frame {
    BasicJson* value;
    std::unordered_map<string_t, std::size_t> keys;  // insertion-ordered objects only
  };

  // Where a finished value goes: the root, the end of the open array, or the slot of the last key.
  BasicJson* place(BasicJson&& value) {
    if (frames_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    BasicJson& parent = *frames_.back().value;
    if (parent.is_array()) {
      parent.push_back(std::move(value));
      return &parent.back();
    }
    *slot_ = std::move(value);
    return slot_;
  }

  bool open(typename BasicJson::value_t kind) {
    if (frames_.size() >= maxDepth_) {
      return fail("JSON nested deeper than " + std::to_string(maxDepth_) + " levels");
    }
    BasicJson* where = place(BasicJson(kind));
    frames_.push_back(Frame{where, {}});
    return true;
  }

  bool close() {
    frames_.pop_back();
    return true;
  }

  BasicJson& root_;
  std::size_t maxDepth_;
  std::vector<Frame> frames_;
  BasicJson* slot_ = nullptr;
  std::string error_;
};

}  // namespace detail

// The value of a JSON text, or none (with the reason in `error`) when the text is not JSON or
// nests deeper than `maxDepth` arrays and objects. Never throws.
template <class BasicJson = nlohmann::ordered_json>
std::optional<BasicJson> parseJsonBounded(std::string_view text, std::string* error = nullptr,
                                          std::size_t maxDepth = kMaxJsonDepth) {
  BasicJson root;
  detail::BoundedJsonBuilder<BasicJson> builder(root, maxDepth);
  bool parsed = false;
  try {
    parsed = BasicJson::sax_parse(text.begin(), text.end(), &builder);
  } catch (const std::exception& e) {
    builder.fail(e.what());
    parsed = false;
  }
  if (!parsed) {
    if (error != nullptr) *error = builder.error().empty() ? std::string("not JSON") : builder.error();
    return std::nullopt;
  }
  return root;
}

}  // namespace platform
