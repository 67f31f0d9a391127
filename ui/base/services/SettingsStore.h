#pragma once

// The settings store as the user-interface state reads and writes it: one value per key, texts
// kept enciphered by the library. A write is seen at once and reaches the disk shortly after, on
// the store's own writer thread. Safe on any thread.

#include <optional>

#include "services/common/Store.h"

namespace lumora {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // The value under `key`, none when absent.
  virtual std::optional<tarnel::StoreValue> value(tarnel::StoreKeys key) = 0;
  // Keeps `value` under `key`; none removes the key.
  virtual void setValue(tarnel::StoreKeys key, const std::optional<tarnel::StoreValue>& value) = 0;
  // Empties the whole store ("Clear Cache"); the device identity lives elsewhere and stays.
  // Empties the store and the library's in-memory copies of what it held (the account, the
  // status, the node choices); false when the file could not be emptied.
  virtual bool clearAll() = 0;
};

}  // namespace lumora
