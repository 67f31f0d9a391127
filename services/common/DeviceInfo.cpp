#include "services/common/DeviceInfo.h"

#include <openssl/rand.h>

#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <utility>

#include "platform/SystemInfo.h"
#include "services/base/Logger.h"
#include "services/common/AppInfo.h"
#include "services/common/KeychainManager.h"
#include "services/encryption/Hex.h"

namespace tarnel {
namespace {

constexpr std::string_view kPlatform = "darwin";
constexpr std::string_view kUnknown = "Unknown";

// Hardware model identifiers and the names people know them by.
constexpr std::pair<std::string_view, std::string_view> kModelNames[] = {
    {"Macmini6,1", "Mac mini"},
    {"Macmini6,2", "Mac mini"},
    {"Macmini7,1", "Mac mini"},
    {"Macmini8,1", "Mac mini"},
    {"Macmini9,1", "Mac mini (M1)"},
    {"Mac14,3", "Mac mini (M2)"},
    {"Mac14,12", "Mac mini (M2 Pro)"},
    {"Mac13,1", "Mac Studio (M1 Max)"},
    {"Mac13,2", "Mac Studio (M1 Ultra)"},
    {"Mac14,13", "Mac Studio (M2 Max)"},
    {"Mac14,14", "Mac Studio (M2 Ultra)"},
    {"MacPro5,1", "Mac Pro"},
    {"MacPro6,1", "Mac Pro"},
    {"MacPro7,1", "Mac Pro"},
    {"Mac14,8", "Mac Pro (M2 Ultra)"},
    {"iMac12,1", "iMac 27-Inch"},
    {"iMac13,1", "iMac 21.5-Inch"},
    {"iMac13,2", "iMac 27-Inch"},
    {"iMac14,2", "iMac 27-Inch"},
    {"iMac15,1", "iMac 27-Inch"},
    {"iMac17,1", "iMac 27-Inch"},
    {"iMac18,1", "iMac 21.5-Inch"},
    {"iMac18,2", "iMac 21.5-Inch"},
    {"iMac18,3", "iMac 27-Inch"},
    {"iMac19,1", "iMac 27-Inch"},
    {"iMac20,1", "iMac 27-Inch"},
    {"iMac20,2", "iMac 27-Inch"},
    {"iMac21,1", "iMac 24-Inch (M1)"},
    {"iMac21,2", "iMac 24-Inch (M1)"},
    {"Mac15,4", "iMac 24-Inch (M3, 8 CPU/8 GPU)"},
    {"Mac15,5", "iMac 24-Inch (M3, 8 CPU/10 GPU)"},
    {"iMacPro1,1", "iMac Pro"},
    {"MacBook8,1", "MacBook"},
    {"MacBook9,1", "MacBook"},
    {"MacBook10,1", "MacBook"},
    {"MacBookAir5,1", "MacBook Air 11"},
    {"MacBookAir5,2", "MacBook Air 13"},
    {"MacBookAir6,1", "MacBook Air 11"},
    {"MacBookAir6,2", "MacBook Air 13"},
    {"MacBookAir7,1", "MacBook Air 11"},
    {"MacBookAir7,2", "MacBook Air 13"},
    {"MacBookAir8,1", "MacBook Air 13"},
    {"MacBookAir8,2", "MacBook Air 13"},
    {"MacBookAir9,1", "MacBook Air 13"},
    {"MacBookAir10,1", "MacBook Air 13 (M1)"},
    {"Mac14,2", "MacBook Air 13 (M2)"},
    {"Mac14,15", "MacBook Air 15 (M2)"},
    {"MacBookPro9,1", "MacBook Pro 15"},
    {"MacBookPro9,2", "MacBook Pro 13"},
    {"MacBookPro10,1", "MacBook Pro 15"},
    {"MacBookPro10,2", "MacBook Pro 13"},
    {"MacBookPro11,1", "MacBook Pro 13"},
    {"MacBookPro11,2", "MacBook Pro 15"},
    {"MacBookPro11,3", "MacBook Pro 15"},
    {"MacBookPro11,4", "MacBook Pro 15"},
    {"MacBookPro11,5", "MacBook Pro 15"},
    {"MacBookPro12,1", "MacBook Pro 13"},
    {"MacBookPro13,1", "MacBook Pro 13"},
    {"MacBookPro13,2", "MacBook Pro 13"},
    {"MacBookPro13,3", "MacBook Pro 15"},
    {"MacBookPro14,1", "MacBook Pro 13"},
    {"MacBookPro14,2", "MacBook Pro 13"},
    {"MacBookPro14,3", "MacBook Pro 15"},
    {"MacBookPro15,1", "MacBook Pro 15"},
    {"MacBookPro15,2", "MacBook Pro 13"},
    {"MacBookPro15,3", "MacBook Pro 15"},
    {"MacBookPro15,4", "MacBook Pro 13"},
    {"MacBookPro16,1", "MacBook Pro 16"},
    {"MacBookPro16,2", "MacBook Pro 13"},
    {"MacBookPro16,3", "MacBook Pro 13"},
    {"MacBookPro16,4", "MacBook Pro 16"},
    {"MacBookPro17,1", "MacBook Pro 13 (M1)"},
    {"MacBookPro18,1", "MacBook Pro 16 (M1 Pro)"},
    {"MacBookPro18,2", "MacBook Pro 16 (M1 Max)"},
    {"MacBookPro18,3", "MacBook Pro 14 (M1 Pro)"},
    {"MacBookPro18,4", "MacBook Pro 14 (M1 Max)"},
    {"Mac14,7", "MacBook Pro 13 (M2)"},
    {"Mac14,5", "MacBook Pro 14 (M2 Max)"},
    {"Mac14,6", "MacBook Pro 16 (M2 Max)"},
    {"Mac14,9", "MacBook Pro 14 (M2 Pro)"},
    {"Mac14,10", "MacBook Pro 16 (M2 Pro)"},
    {"Mac15,3", "MacBook Pro 14 (M3, 8 CPU/10 GPU)"},
    {"Mac15,6", "MacBook Pro 14 (M3 Pro)"},
    {"Mac15,7", "MacBook Pro 16 (M3 Pro, 12 CPU/18 GPU)"},
    {"Mac15,8", "MacBook Pro 14 (M3 Max, 16 CPU/40 GPU)"},
    {"Mac15,9", "MacBook Pro 16 (M3 Max, 16 CPU/40 GPU)"},
    {"Mac15,10", "MacBook Pro 14 (M3 Max, 14 CPU/30 GPU)"},
    {"Mac15,11", "MacBook Pro 16 (M3 Max, 14 CPU/30 GPU)"},
};

std::string versionText(const std::array<int, 3>& parts) {
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]);
}

}  // namespace

std::string makeDeviceIdentifierText() {
  std::array<std::uint8_t, 16> bytes{};
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
    std::random_device device;
    for (auto& b : bytes) b = static_cast<std::uint8_t>(device());
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
  return detail::lowercaseHex(bytes);
}

DeviceIdentifier::DeviceIdentifier(KeychainManager& keychain, std::string server)
    : keychain_(keychain), server_(std::move(server)) {}

std::string DeviceIdentifier::value() {
  std::lock_guard lock(mutex_);
  if (!known_.empty()) return known_;
  const std::string account(kAccount);
  if (auto stored = keychain_.getValue(server_, account); !stored.empty()) {
    known_ = std::move(stored);
    return known_;
  }
  std::string fresh = makeDeviceIdentifierText();
  const bool kept = keychain_.setValue(server_, account, fresh);
  if (!kept) {
    // Another process may have added its identifier since our search: that one is the device's.
    if (auto stored = keychain_.getValue(server_, account); !stored.empty()) {
      known_ = std::move(stored);
      return known_;
    }
  }
  // The service counts devices by this identifier: a new one where an old one went unread binds
  // one more device to the account, and this line is what tells that start apart.
  Logger::log(LogLevel::warning, "no device identifier could be read from the keychain; made a new one,", fresh,
              kept ? "(stored)" : "(the keychain did not keep it: the next start makes another)");
  known_ = std::move(fresh);
  return known_;
}

std::string DeviceInfo::ID() {
  static DeviceIdentifier identifier(KeychainManager::shared(), KeychainManager::shared().flag());
  return identifier.value();
}

std::string DeviceInfo::System() { return versionText(platform::SystemInfo().systemVersion()); }

std::string DeviceInfo::Name() {
  static const std::string name = platform::SystemInfo().computerName().value_or(std::string(kUnknown));
  return name;
}

std::string DeviceInfo::Model() {
  static const std::string model =
      modelDisplayName(platform::SystemInfo().hardwareModel().value_or(std::string(kUnknown))) + "_macOS_" + System();
  return model;
}

std::string DeviceInfo::Platform() { return std::string(kPlatform); }

std::map<std::string, std::string> DeviceInfo::parameters() {
  return {
      {"device_id", ID()},
      {"device_name", Name()},
      {"device_model", Model()},
      {"platform", Platform()},
      {"agent", AppInfo().agent},
  };
}

std::string DeviceInfo::modelDisplayName(std::string_view hardwareModel) {
  for (const auto& [identifier, name] : kModelNames) {
    if (identifier == hardwareModel) return std::string(name);
  }
  return std::string(hardwareModel);
}

}  // namespace tarnel
