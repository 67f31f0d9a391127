#pragma once

#include <string>

#include "platform/BundleInfo.h"

namespace tarnel {

// The build of the application, as the service and the reports describe it.
struct AppInfo {
  std::string agent;
  std::string appId;
  std::string build;
  std::string version;
  std::string versionName;  // version + "_" + build

  // The running application's bundle.
  AppInfo();
  explicit AppInfo(const platform::BundleInfo& bundle);

  bool operator==(const AppInfo& other) const = default;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("agent", self.agent);
    v("appId", self.appId);
    v("build", self.build);
    v("version", self.version);
    v("versionName", self.versionName);
  }
};

}  // namespace tarnel
