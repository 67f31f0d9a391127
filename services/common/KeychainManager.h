#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/Keychain.h"

namespace tarnel {

// Internet-password items of the keychain, by server and account. Safe from any thread.
class KeychainManager {
 public:
  // The process-wide instance over the desktop session's keychain (chosen at first use).
  static KeychainManager& shared();

  KeychainManager(std::shared_ptr<platform::Keychain> keychain, std::string flag);

  // The application's bundle identifier: the server under which its own items live.
  const std::string& flag() const { return flag_; }

  // The item's value, or the empty text when there is none or it cannot be read. An item that
  // cannot be read (damaged store, a value that is not UTF-8 text) is removed, with a log line, so
  // that a new one can take its place.
  std::string getValue(const std::string& server, const std::string& account);

  // Adds a new item and answers whether the keychain accepted it; an existing item is never
  // changed (that answers false and prints the keychain's duplicate status).
  bool setValue(const std::string& server, const std::string& account, const std::string& value);

  // Test seam: the keychain that the shared instance uses from now on.
  void setKeychainForTesting(std::shared_ptr<platform::Keychain> keychain);

 private:
  std::shared_ptr<platform::Keychain> keychain();

  const std::string flag_;
  std::mutex mutex_;
  std::shared_ptr<platform::Keychain> keychain_;  // opened on first use when none was given
};

}  // namespace tarnel
