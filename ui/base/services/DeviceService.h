#pragma once

// The account's bound devices and the device allowance. Blocking, safe on any thread; these
// operations turn every failure into an empty outcome (an empty list, none, false), as the
// device pages show fixed texts rather than the service's message. The device list alone tells
// a failure (none) from an account with no devices (an empty list).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/model/DeviceModels.h"

namespace lumora {

class DeviceService {
 public:
  virtual ~DeviceService() = default;

  // The account's devices; none on any failure.
  virtual std::optional<std::vector<tarnel::Devices>> devices() = 0;
  // Names device `deviceId` `name`; false on any failure.
  virtual bool updateDeviceName(const std::string& name, const std::string& deviceId) = 0;
  // What raising the allowance to `deviceCountTarget` costs; none on any failure.
  virtual std::optional<tarnel::UpgradeInfo> previewUpgrade(std::int64_t deviceCountTarget) = 0;
  virtual bool upgradeDevices(std::int64_t deviceCountTarget) = 0;
  // The identifier of the device this program runs on (made and kept on first use).
  virtual std::string thisDeviceId() = 0;
};

}  // namespace lumora
