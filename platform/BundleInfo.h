#pragma once

#include <string>

// The platform library hides everything its headers do not declare.
#pragma GCC visibility push(default)
namespace platform {

// The identity of the application build (what an application bundle's Info.plist holds).
struct BundleInfo {
  std::string identifier;    // "io.tarnelmacos"
  std::string shortVersion;  // CFBundleShortVersionString
  std::string buildVersion;  // CFBundleVersion
  std::string displayName;   // CFBundleDisplayName
  std::string agent;         // "Agent"
  std::string apiAppId;      // "API APPID"
  bool isAppStore = false;   // "Is AppStore"
};

// The running application's own bundle, fixed when it was built.
const BundleInfo& mainBundle();

}  // namespace platform
#pragma GCC visibility pop
