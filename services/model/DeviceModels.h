#pragma once

// The account's bound devices, the device-list answer and the preview of a larger allowance.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

// One bound device. `device_id` of the device this program runs on is DeviceInfo's identity,
// which is how the devices page recognises it.
struct Devices {
  std::string device_id;
  std::string uid;
  std::string device_name;
  std::string device_model;
  std::int64_t version = 0;
  std::string platform;  // "darwin", "win32", "linux", "android"
  std::string created_at;
  std::string updated_at;
  std::optional<std::string> device_desc;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("device_id", self.device_id);
    v("uid", self.uid);
    v("device_name", self.device_name);
    v("device_model", self.device_model);
    v("version", self.version);
    v("platform", self.platform);
    v("created_at", self.created_at);
    v("updated_at", self.updated_at);
    v("device_desc", self.device_desc);
  }
};

// Answer of the device-list call.
struct DevicesResult {
  std::vector<Devices> devices;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("devices", self.devices);
  }
};

// Preview of a raised device allowance; the texts are shown as the server sends them, and the
// upgrade page shows "0" until the preview arrives.
struct UpgradeInfo {
  std::string days = "0";
  std::string days_less = "0";
  std::string days_lave = "0";

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("days", self.days);
    v("days_less", self.days_less);
    v("days_lave", self.days_lave);
  }
};

}  // namespace tarnel
