#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace tarnel {

class KeychainManager;

// The installation's device identifier: 32 lowercase hexadecimal digits kept in the keychain
// under (server, "device_id"). It is made once: the first caller reads the keychain and, only
// when nothing can be read there, makes a new identifier, adds it and says so in the log (the
// service counts devices by it). The answer stays in memory for the life of the object, also
// when the keychain refused to keep it, so one process never reports two devices, and threads
// asking at once all get the same identifier.
class DeviceIdentifier {
 public:
  DeviceIdentifier(KeychainManager& keychain, std::string server);

  std::string value();

  static constexpr std::string_view kAccount = "device_id";

 private:
  KeychainManager& keychain_;
  const std::string server_;
  std::mutex mutex_;
  std::string known_;
};

// A fresh random identifier in the keychain's form: a version-4 UUID, lower-cased, without "-".
std::string makeDeviceIdentifierText();

// The running computer, as the service wants it described.
class DeviceInfo {
 public:
  DeviceInfo() = delete;

  // The device identifier of this installation (the process-wide DeviceIdentifier over the
  // shared keychain and the bundle identifier).
  static std::string ID();
  // The operating system's version, "major.minor.patch".
  static std::string System();
  // The computer's name, or "Unknown". Read once.
  static std::string Name();
  // The hardware model's display name, "_macOS_", and the system version. Read once.
  static std::string Model();
  static std::string Platform();

  // "device_id", "device_name", "device_model", "platform" and "agent"; built on every call.
  static std::map<std::string, std::string> parameters();

  // The display name of a hardware model identifier ("Macmini9,1" gives "Mac mini (M1)"); an
  // identifier the table does not know is returned unchanged.
  static std::string modelDisplayName(std::string_view hardwareModel);
};

}  // namespace tarnel
