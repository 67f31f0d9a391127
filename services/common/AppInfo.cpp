#include "services/common/AppInfo.h"

namespace tarnel {

AppInfo::AppInfo() : AppInfo(platform::mainBundle()) {}

AppInfo::AppInfo(const platform::BundleInfo& bundle)
    : agent(bundle.agent),
      appId(bundle.apiAppId),
      build(bundle.buildVersion),
      version(bundle.shortVersion),
      versionName(bundle.shortVersion + "_" + bundle.buildVersion) {}

}  // namespace tarnel
