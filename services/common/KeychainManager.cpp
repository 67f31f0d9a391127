#include "services/common/KeychainManager.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string_view>

#include "platform/BundleInfo.h"
#include "services/base/Logger.h"
#include "services/common/DeviceInfo.h"
#include "services/encryption/Utf8.h"

namespace tarnel {
namespace {

constexpr std::chrono::milliseconds kKeychainProbe{2000};

// A plain console line (not a log line), written in one piece.
void printLine(std::string line) {
  line.push_back('\n');
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

KeychainManager& KeychainManager::shared() {
  static KeychainManager instance(nullptr, platform::mainBundle().identifier);
  return instance;
}

KeychainManager::KeychainManager(std::shared_ptr<platform::Keychain> keychain, std::string flag)
    : flag_(std::move(flag)), keychain_(std::move(keychain)) {}

std::shared_ptr<platform::Keychain> KeychainManager::keychain() {
  std::lock_guard lock(mutex_);
  // The device identifier is no secret, and a start on which the keyring does not answer reads
  // it from the file alone: the file keeps a copy, so that such a start is still the same device.
  if (!keychain_) keychain_ = platform::openKeychain(kKeychainProbe, {std::string(DeviceIdentifier::kAccount)});
  return keychain_;
}

void KeychainManager::setKeychainForTesting(std::shared_ptr<platform::Keychain> keychain) {
  std::lock_guard lock(mutex_);
  keychain_ = std::move(keychain);
}

std::string KeychainManager::getValue(const std::string& server, const std::string& account) {
  const auto store = keychain();
  const auto found = store->find(server, account);
  const bool damaged = found.status == platform::keychain_status::kDecode ||
                       (found.status == platform::keychain_status::kSuccess &&
                        (!found.value || !detail::isValidUtf8(*found.value)));
  if (damaged) {
    // Left in place it would refuse every add, and each start would make a value of its own.
    const std::int32_t removed = store->remove(server, account);
    Logger::log(LogLevel::error, "keychain item " + server + "/" + account +
                                     " cannot be read; removed (status " + std::to_string(removed) + ")");
    return {};
  }
  if (found.status != platform::keychain_status::kSuccess) return {};
  return *found.value;
}

bool KeychainManager::setValue(const std::string& server, const std::string& account, const std::string& value) {
  const std::int32_t status = keychain()->add(server, account, value);
  if (status == platform::keychain_status::kSuccess) return true;
  printLine("Error save cer to keychain. Error: " + std::to_string(status));
  return false;
}

}  // namespace tarnel
