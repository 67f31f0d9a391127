#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "services/common/StoreKeys.h"

namespace tarnel {

// A value of the settings store: a text, a boolean, an integer, or a list of texts, of optional
// texts or of integers. The accessors convert the way the stored number values of the platform
// do: a boolean reads as the integer 0 or 1, and the integers 0 and 1 read as booleans; any other
// mismatch gives none, so a reader applies its own default.
class StoreValue {
 public:
  using StringList = std::vector<std::string>;
  using OptionalStringList = std::vector<std::optional<std::string>>;
  using IntegerList = std::vector<std::int64_t>;
  using Variant = std::variant<std::string, bool, std::int64_t, StringList, OptionalStringList, IntegerList>;

  StoreValue(std::string text) : value_(std::move(text)) {}
  StoreValue(std::string_view text) : value_(std::string(text)) {}
  StoreValue(const char* text) : value_(std::string(text)) {}
  template <std::same_as<bool> B>
  StoreValue(B flag) : value_(flag) {}
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  StoreValue(I number) : value_(static_cast<std::int64_t>(number)) {}
  StoreValue(StringList list) : value_(std::move(list)) {}
  StoreValue(OptionalStringList list) : value_(std::move(list)) {}
  StoreValue(IntegerList list) : value_(std::move(list)) {}

  const Variant& variant() const { return value_; }

  std::optional<std::string> string() const;
  std::optional<bool> boolean() const;
  std::optional<std::int64_t> integer() const;
  // An empty list reads as an empty list of any element type.
  std::optional<StringList> stringList() const;
  std::optional<OptionalStringList> optionalStringList() const;
  std::optional<IntegerList> integerList() const;

  bool operator==(const StoreValue& other) const = default;

 private:
  Variant value_;
};

// The settings store of the application: its user-defaults domain, with every text value kept
// enciphered with sharedEncryptor(). Lists, numbers and booleans are kept plain. Safe to call from
// any thread. A write is seen by every reader at once and reaches the file within
// platform::UserDefaults::kWriteDelay, written by the domain's own writer thread (never the
// caller's); flush() waits for it. A value written by another process is seen by the next read.
class Store {
 public:
  Store() = delete;

  // The value under `key`, deciphered when it is a text. A stored text that does not decipher
  // (placed there by something else) comes back unchanged. None when the key is absent.
  static std::optional<StoreValue> getValue(StoreKeys key);

  // The texts of the list under `key`, in order; entries of any other kind are left out, so one
  // foreign entry does not hide the rest. Empty when the key is absent or holds no list.
  static std::vector<std::string> getTexts(StoreKeys key);

  // Keeps `value` under `key` (a text enciphered), or removes the key when `value` is none or
  // when the text cannot be enciphered.
  static void setValue(StoreKeys key, const std::optional<StoreValue>& value);

  // Empties the whole domain ("Clear Cache"). The device identity lives elsewhere and stays.
  static bool clearAll();

  // Puts every change made so far in the file and waits for it: the program's way out calls it
  // before the process ends. False (and a log line) when the file could not be written.
  static bool flush();
};

}  // namespace tarnel
